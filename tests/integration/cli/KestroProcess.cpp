#include "KestroProcess.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

std::vector<std::string> TKestroOutcome::Lines() const {
    std::vector<std::string> lines;
    std::istringstream text(Out);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

TKestroProcess::TKestroProcess(const std::vector<std::string>& args, const std::string& folder,
                               const std::string& program)
    : FOutFile(folder + "/kestro.out"), FErrFile(folder + "/kestro.err") {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, FOutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, FErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const int error =
        posix_spawn(&FPid, program.c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + program);
}

TKestroProcess::~TKestroProcess() {
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
}

void TKestroProcess::Interrupt() {
    ::kill(FPid, SIGINT);
}

TKestroOutcome TKestroProcess::Wait() {
    int status = 0;
    ::waitpid(FPid, &status, 0);
    FPid = -1;
    TKestroOutcome outcome;
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.Out = ReadFile(FOutFile);
    outcome.Err = ReadFile(FErrFile);
    return outcome;
}

TKestroOutcome TKestroProcess::Wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, FPid, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0)
            break; // ended: Wait collects it
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(FPid, SIGKILL);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Wait();
}

TKestroOutcome RunKestro(const std::vector<std::string>& args, const std::string& folder,
                         const std::string& program) {
    TKestroProcess process(args, folder, program);
    return process.Wait();
}
