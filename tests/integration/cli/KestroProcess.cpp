#include "KestroProcess.h"

#include <cstdlib>
#include <fstream>
#include <pthread.h>
#include <sstream>

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

std::vector<std::string> TKestroOutcome::Results() const {
    std::vector<std::string> lines = Lines();
    if (!lines.empty() && lines.front().rfind("Port ", 0) == 0)
        lines.erase(lines.begin());
    return lines;
}

TKestroProcess::TKestroProcess(const std::vector<std::string>& args, const std::string& folder,
                               const std::string& program)
    : FOutFile(folder + "/kestro.out"), FErrFile(folder + "/kestro.err") {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    FChild = std::make_unique<TChildProcess>(
        argv, TChildProcess::TStreams{.In = "/dev/null", .Out = FOutFile, .Err = FErrFile});
}

void TKestroProcess::Interrupt() {
    FChild->Signal(SIGINT);
}

void TKestroProcess::Signal(int signal) {
    FChild->Signal(signal);
}

TKestroOutcome TKestroProcess::Wait() {
    TKestroOutcome outcome;
    outcome.Status = FChild->Wait();
    outcome.Out = ReadFile(FOutFile);
    outcome.Err = ReadFile(FErrFile);
    return outcome;
}

TKestroOutcome TKestroProcess::Wait(std::chrono::milliseconds limit) {
    TKestroOutcome outcome;
    outcome.Status = FChild->Wait(limit);
    outcome.Out = ReadFile(FOutFile);
    outcome.Err = ReadFile(FErrFile);
    return outcome;
}

TKestroOutcome RunKestro(const std::vector<std::string>& args, const std::string& folder,
                         const std::string& program) {
    TKestroProcess process(args, folder, program);
    return process.Wait();
}

TScopedEnv::TScopedEnv(std::string name, const char* value) : FName(std::move(name)) {
    if (const char* saved = std::getenv(FName.c_str()))
        FSaved = saved;
    if (value != nullptr)
        ::setenv(FName.c_str(), value, 1);
    else
        ::unsetenv(FName.c_str());
}

TScopedEnv::~TScopedEnv() {
    if (FSaved)
        ::setenv(FName.c_str(), FSaved->c_str(), 1);
    else
        ::unsetenv(FName.c_str());
}

TStopSignalsHeldBack::TStopSignalsHeldBack() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal);
    ::pthread_sigmask(SIG_BLOCK, &signals, &FSaved);
}

TStopSignalsHeldBack::~TStopSignalsHeldBack() {
    ::pthread_sigmask(SIG_SETMASK, &FSaved, nullptr);
}
