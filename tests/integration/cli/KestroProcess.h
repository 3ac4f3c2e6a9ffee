#pragma once

#include "tests/support/ChildProcess.h"

#include <memory>
#include <string>
#include <vector>

// The kestro program run as a child process, as a script runs it: its exit status, standard
// output and standard error.
struct TKestroOutcome {
    int Status = -1; // exit status; -1 when it did not exit normally
    std::string Out;
    std::string Err;

    // Standard output split into lines.
    std::vector<std::string> Lines() const;
};

class TKestroProcess {
public:
    // Starts kestro (the one built, or a copy at `program`) with the arguments; its output goes
    // to files in `folder`.
    TKestroProcess(const std::vector<std::string>& args, const std::string& folder,
                   const std::string& program = KESTRO_PROGRAM);

    void Interrupt(); // Ctrl+C
    TKestroOutcome Wait();

private:
    std::string FOutFile;
    std::string FErrFile;
    std::unique_ptr<TChildProcess> FChild; // killed when still running
};

// Runs kestro to its end.
TKestroOutcome RunKestro(const std::vector<std::string>& args, const std::string& folder,
                         const std::string& program = KESTRO_PROGRAM);
