// The scan's progress bar, drawn when standard error is a terminal: kestro runs with its
// standard error on a pseudo-terminal of the test's own.
#include "KestroFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

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
    TChildProcess kestro({KESTRO_PROGRAM, "scan", "--from", "11", "--to", "13", "--timeout", "100",
                          "--config", Config},
                         {.In = "/dev/null", .Out = out, .Err = terminal});
    const int status = kestro.Wait();
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

    EXPECT_EQ(status, 0);
    EXPECT_NE(err.find("]   0/3 11, found 0"), std::string::npos) << err;
    EXPECT_NE(err.find("]   2/3 13, found 1"), std::string::npos) << err;
    // The summary starts at the beginning of a cleared line.
    EXPECT_NE(err.find(std::string(30, ' ') + "\rkestro: scan 11-13: 1 meter answered"),
              std::string::npos)
        << err;
}

} // namespace
