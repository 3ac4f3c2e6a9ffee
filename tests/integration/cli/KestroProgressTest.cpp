// The scan's progress bar, drawn when standard error is a terminal: kestro runs with its
// standard error on a pseudo-terminal of the test's own.
#include "KestroFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

class KestroProgress : public KestroFixture, public ::testing::Test {};

TEST_F(KestroProgress, ScanDrawsItsBarOnATerminalAndClearsItBeforeAnyOtherText) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    // Held open here too, so that the terminal keeps what kestro wrote after it has ended.
    const int slave = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);

    const std::string out = Folder.File("scan.out");
    std::vector<std::string> args{KESTRO_PROGRAM, "scan",      "--from", "11",       "--to",
                                  "13",           "--timeout", "100",    "--config", Config};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, terminal.c_str(), O_RDWR | O_NOCTTY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, KESTRO_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    int status = 0;
    ::waitpid(pid, &status, 0);
    std::string err;
    for (;;) {
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0)
            break;
        char buffer[512];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0)
            break;
        err.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(slave);
    ::close(master);

    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(err.find("]   0/3 11, found 0"), std::string::npos) << err;
    EXPECT_NE(err.find("]   2/3 13, found 1"), std::string::npos) << err;
    // The summary starts at the beginning of a cleared line.
    EXPECT_NE(err.find(std::string(30, ' ') + "\rkestro: scan 11-13: 1 meter answered"),
              std::string::npos)
        << err;
}

} // namespace
