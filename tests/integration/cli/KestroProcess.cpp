#include "KestroProcess.h"

#include <fstream>
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

TKestroOutcome TKestroProcess::Wait() {
    TKestroOutcome outcome;
    outcome.Status = FChild->Wait();
    outcome.Out = ReadFile(FOutFile);
    outcome.Err = ReadFile(FErrFile);
    return outcome;
}

TKestroOutcome RunKestro(const std::vector<std::string>& args, const std::string& folder,
                         const std::string& program) {
    TKestroProcess process(args, folder, program);
    return process.Wait();
}
