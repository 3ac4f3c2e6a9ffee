#pragma once

// Permission checks hold only for an ordinary user: root may write any file and any folder. When
// the tests run as root (as in CI), a permission case runs in a child process that has dropped
// to the user nobody; the files and folders that user must write are given to it first.

#include <functional>

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

struct TOrdinaryUser {
    uid_t Uid;
    gid_t Gid;
};

inline constexpr TOrdinaryUser Nobody{65534, 65534};

inline bool RunningAsRoot() {
    return geteuid() == 0;
}

// Who runs the permission cases: nobody under root, else the tests' own user.
inline TOrdinaryUser OrdinaryUser() {
    return RunningAsRoot() ? Nobody : TOrdinaryUser{geteuid(), getegid()};
}

// Runs `check` as OrdinaryUser(): directly, or in a child that has dropped root's user, group
// and supplementary groups. True when `check` answered true; an exception counts as false.
inline bool AsOrdinaryUser(const std::function<bool()>& check) {
    const auto run = [&check] {
        try {
            return check();
        } catch (...) {
            return false;
        }
    };
    if (!RunningAsRoot())
        return run();
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped =
            setgroups(0, nullptr) == 0 && setgid(Nobody.Gid) == 0 && setuid(Nobody.Uid) == 0;
        _exit(dropped && geteuid() == Nobody.Uid && run() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
