#pragma once

#include "tests/support/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
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
    // The result lines of a readable output: the lines under the one that names the port.
    std::vector<std::string> Results() const;
};

class TKestroProcess {
public:
    // Starts kestro (the one built, or a copy at `program`) with the arguments; its output goes
    // to files in `folder`.
    TKestroProcess(const std::vector<std::string>& args, const std::string& folder,
                   const std::string& program = KESTRO_PROGRAM);

    void Interrupt(); // Ctrl+C
    void Signal(int signal);
    TKestroOutcome Wait();
    // Waits at most `limit`; a kestro still running then is killed (Status -1).
    TKestroOutcome Wait(std::chrono::milliseconds limit);

private:
    std::string FOutFile;
    std::string FErrFile;
    std::unique_ptr<TChildProcess> FChild; // killed when still running
};

// An environment variable set (or, with no value, removed) for the programs started while it
// lives.
class TScopedEnv {
public:
    TScopedEnv(std::string name, const char* value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FSaved;
};

// SIGINT, SIGTERM and SIGHUP held back in this thread while it lives, and so in every program
// it starts: a signal sent to such a program waits until the program lets it through.
class TStopSignalsHeldBack {
public:
    TStopSignalsHeldBack();
    ~TStopSignalsHeldBack();
    TStopSignalsHeldBack(const TStopSignalsHeldBack&) = delete;
    TStopSignalsHeldBack& operator=(const TStopSignalsHeldBack&) = delete;

private:
    sigset_t FSaved;
};

// Runs kestro to its end.
TKestroOutcome RunKestro(const std::vector<std::string>& args, const std::string& folder,
                         const std::string& program = KESTRO_PROGRAM);
