#pragma once

// A program run as a child process (POSIX), with its standard streams sent where the test
// wants them. A child still running when the object goes is killed and reaped.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// Where each stream goes: a file (created or emptied), a device such as /dev/null or a
// terminal; empty: the test's own stream.
struct TChildStreams {
    std::string In = "/dev/null";
    std::string Out;
    std::string Err;
};

class TChildProcess {
public:
    using TStreams = TChildStreams;

    // `argv[0]` is the program's path.
    explicit TChildProcess(std::vector<std::string> argv, const TStreams& streams = {}) {
        std::vector<char*> pointers;
        for (std::string& arg : argv)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!streams.In.empty())
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, streams.In.c_str(),
                                             O_RDONLY | O_NOCTTY, 0);
        for (const auto& [fd, path] :
             {std::pair{STDOUT_FILENO, &streams.Out}, std::pair{STDERR_FILENO, &streams.Err}})
            if (!path->empty())
                posix_spawn_file_actions_addopen(&actions, fd, path->c_str(),
                                                 O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644);
        const int error =
            posix_spawn(&FPid, pointers[0], &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            throw std::runtime_error("cannot start " + argv[0]);
    }
    ~TChildProcess() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    void Signal(int signal) const {
        if (FPid > 0)
            ::kill(FPid, signal);
    }
    // Waits for the end: the exit status, or -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        pid_t got = -1;
        do
            got = ::waitpid(FPid, &status, 0);
        while (got < 0 && errno == EINTR);
        FPid = -1;
        return got > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t FPid = -1;
};
