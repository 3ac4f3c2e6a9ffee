// kestro-virtual-meter as a user starts it: link, answers, log file, clean stop.
#include "TestLine.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <thread>

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

// Starts the program with its standard output or error (`silenced`) going to /dev/null.
std::unique_ptr<TChildProcess> Spawn(std::vector<std::string> args, int silenced) {
    args.insert(args.begin(), VMETER_PROGRAM);
    TChildProcess::TStreams streams;
    (silenced == STDOUT_FILENO ? streams.Out : streams.Err) = "/dev/null";
    return std::make_unique<TChildProcess>(args, streams);
}

TEST(VirtualMeterProgram, AnswersLogsAndRemovesItsLinkOnSigterm) {
    TTempDir dir;
    const std::string link = (dir.Path() / "ttyKestro").string();
    const std::string log = (dir.Path() / "requests.jsonl").string();
    const auto meter = Spawn({"--link", link, "--meter", "12", "--log", log}, STDOUT_FILENO);

    ASSERT_TRUE(WaitFor([&] { return std::filesystem::is_symlink(link); }));
    {
        TTestLine line(link);
        // R12E -> 52^31^32^45 = 14;  A12E -> 41^31^32^45 = 07.
        line.Write("#R12E*14\r");
        EXPECT_EQ(line.ReadLine(), "#A12E*07\r");
    }

    meter->Signal(SIGTERM);
    EXPECT_EQ(meter->Wait(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    std::ifstream logFile(log);
    std::string line;
    ASSERT_TRUE(std::getline(logFile, line));
    EXPECT_EQ(line, R"({"frame":"#R12E*14\r","baud":9600,"answered":true})");
}

TEST(VirtualMeterProgram, BadOptionExitsWithMessage) {
    EXPECT_EQ(Spawn({"--link", "/nonexistent/x", "--fault", "x"}, STDERR_FILENO)->Wait(), 2);
}

} // namespace
