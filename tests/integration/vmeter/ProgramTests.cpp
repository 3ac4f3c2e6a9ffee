// kestro-virtual-meter as a user starts it: link, answers, log file, clean stop.
#include "TestLine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Starts the program with its output `silenced` (a file descriptor) going to /dev/null.
pid_t Spawn(std::vector<std::string> args, int silenced) {
    args.insert(args.begin(), VMETER_PROGRAM);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, silenced, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, VMETER_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " VMETER_PROGRAM);
    return pid;
}

int ExitCode(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(VirtualMeterProgram, AnswersLogsAndRemovesItsLinkOnSigterm) {
    TTempDir dir;
    const std::string link = (dir.Path() / "ttyKestro").string();
    const std::string log = (dir.Path() / "requests.jsonl").string();
    const pid_t pid = Spawn({"--link", link, "--meter", "12", "--log", log}, STDOUT_FILENO);

    ASSERT_TRUE(WaitFor([&] { return std::filesystem::is_symlink(link); }));
    {
        TTestLine line(link);
        // R12E -> 52^31^32^45 = 14;  A12E -> 41^31^32^45 = 07.
        line.Write("#R12E*14\r");
        EXPECT_EQ(line.ReadLine(), "#A12E*07\r");
    }

    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitCode(pid), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    std::ifstream logFile(log);
    std::string line;
    ASSERT_TRUE(std::getline(logFile, line));
    EXPECT_EQ(line, R"({"frame":"#R12E*14\r","baud":9600,"answered":true})");
}

TEST(VirtualMeterProgram, BadOptionExitsWithMessage) {
    EXPECT_EQ(ExitCode(Spawn({"--link", "/nonexistent/x", "--fault", "x"}, STDERR_FILENO)), 2);
}

} // namespace
