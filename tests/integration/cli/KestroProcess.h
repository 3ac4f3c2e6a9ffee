#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
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
    ~TKestroProcess(); // kills a child still running

    TKestroProcess(const TKestroProcess&) = delete;
    TKestroProcess& operator=(const TKestroProcess&) = delete;

    void Interrupt(); // Ctrl+C
    TKestroOutcome Wait();
    // Waits at most `limit`; a kestro still running then is killed (Status -1).
    TKestroOutcome Wait(std::chrono::milliseconds limit);

private:
    pid_t FPid = -1;
    std::string FOutFile;
    std::string FErrFile;
};

// Runs kestro to its end.
TKestroOutcome RunKestro(const std::vector<std::string>& args, const std::string& folder,
                         const std::string& program = KESTRO_PROGRAM);
