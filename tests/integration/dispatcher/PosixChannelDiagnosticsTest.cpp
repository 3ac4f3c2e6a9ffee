// What the channel tells about a port that fails: the system's cause for a missing device, a
// port held by another program and a refused permission; and a device that vanishes under an
// open port, which closes the port and leaves it lost until it opens again.
#include "ChannelOnPty.h"

#include <gmock/gmock.h>

#include <csignal>
#include <functional>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// A child process that runs `work` and hands back its text through a pipe. With `holdOn` the
// child then waits until it is killed, so whatever it opened stays open.
class TChild {
public:
    TChild(const std::function<std::string()>& work, bool holdOn) {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        FPid = ::fork();
        if (FPid < 0)
            throw std::runtime_error("fork failed");
        if (FPid == 0) {
            ::close(fds[0]);
            std::string text = work() + "\n";
            (void)!::write(fds[1], text.data(), text.size());
            ::close(fds[1]);
            while (holdOn)
                ::pause();
            ::_exit(0);
        }
        ::close(fds[1]);
        char ch;
        while (::read(fds[0], &ch, 1) == 1 && ch != '\n')
            FText += ch;
        ::close(fds[0]);
    }
    ~TChild() {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    pid_t Pid() const { return FPid; }
    const std::string& Text() const { return FText; }

private:
    pid_t FPid = -1;
    std::string FText;
};

std::string OpenFailureOf(TCommDispatcher& channel) {
    try {
        channel.Open();
    } catch (const EOpenPort& e) {
        return e.Message() + " | " + channel.LastFailureCause();
    }
    return "opened";
}

} // namespace

TEST_F(ChannelOnPty, MissingDeviceNamesThePathAndAsksForTheAdapter) {
    UsePort(channel, 7);
    const std::string path = (dir.Path() / "no-COM7").string();
    EXPECT_EQ(OpenFailureOf(channel),
              "Cannot open COM7! | " + path + ": no such device: is the adapter plugged in?");
    EXPECT_TRUE(channel.PortLost());
    channel.Close(); // given up on purpose: no longer lost
    EXPECT_FALSE(channel.PortLost());
}

TEST_F(ChannelOnPty, HeldPortNamesTheProgramHoldingIt) {
    TChild holder(
        [&] {
            // Never freed: the child ends by _exit with the port still open.
            auto* own = new TCommDispatcher();
            own->SetDevice(pty.SlavePath());
            own->Open();
            return std::string("holding");
        },
        true);
    ASSERT_EQ(holder.Text(), "holding");
    const std::string failure = OpenFailureOf(channel);
    EXPECT_THAT(failure, StartsWith("Cannot open COM3! | " + pty.SlavePath() +
                                    ": in use by another program: "));
    EXPECT_THAT(failure, EndsWith("(pid " + std::to_string(holder.Pid()) + ")"));
    EXPECT_THAT(failure, HasSubstr("dispatcher_integration_tests"));
}

TEST_F(ChannelOnPty, RefusedPermissionNamesTheGroupToJoin) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child as another user";
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr)
        GTEST_SKIP() << "no group dialout";
    // As a serial adapter on Debian: root's, group dialout, read and write for the group only.
    ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0660), 0);
    TChild user(
        [&] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                return std::string("cannot become nobody");
            TCommDispatcher own;
            UsePort(own, 3);
            return OpenFailureOf(own);
        },
        false);
    EXPECT_EQ(user.Text(), "Cannot open COM3! | " + pty.SlavePath() +
                               ": permission denied: add the user to the group dialout and log "
                               "in again");
}

// Whichever operation meets the vanished device first closes the port; the others then fail
// with their usual texts and the same cause, and the port counts as lost until it opens.
TEST(VanishedDevice, FirstFailingOperationClosesThePortAndKeepsItsCause) {
    const std::string saved[] = {SCommError, SReadPort, SWritePort};
    SCommError = "COM%d unexpected error!";
    SReadPort = "COM%d read error!";
    SWritePort = "COM%d write error!";
    char ch;
    const std::pair<const char*, std::function<void(TCommDispatcher&)>> operations[] = {
        {"ECommError: COM1 unexpected error!",
         [](TCommDispatcher& c) {
             c.Purge();
         }},
        {"EReadPort: COM1 read error!",
         [&](TCommDispatcher& c) {
             c.ReadChar(ch);
         }},
        {"EReadPort: COM1 read error!",
         [](TCommDispatcher& c) {
             c.WaitForInput(50);
         }},
        {"EWritePort: COM1 write error!",
         [](TCommDispatcher& c) {
             c.WriteStr("#R05E*12\r");
         }},
    };
    for (const auto& [message, operation] : operations) {
        TPseudoTerminal pty;
        TCommDispatcher channel;
        channel.SetDevice(pty.SlavePath());
        channel.Open();
        pty.CloseMaster();
        EXPECT_EQ(Thrown([&] { operation(channel); }), message);
        EXPECT_FALSE(channel.GetActive()) << message;
        EXPECT_TRUE(channel.PortLost()) << message;
        const std::string cause = channel.LastFailureCause();
        EXPECT_THAT(cause, StartsWith(pty.SlavePath() + ": the device is gone ("));
        EXPECT_THAT(cause, EndsWith("): is the adapter plugged in?"));
        EXPECT_EQ(Thrown([&] { channel.WriteStr("x"); }), "EWritePort: COM1 write error!");
        EXPECT_EQ(channel.LastFailureCause(), cause) << message;
    }
    SCommError = saved[0];
    SReadPort = saved[1];
    SWritePort = saved[2];
}
