// The link: what counts as a lost port, its reopening (idle attempts and a batch's one second
// chance), the one step that changes speed and timeout, and the name of the port in messages.
#include "EnglishTexts.h"
#include "FakeSerialBackend.h"

#include "app/Link.h"

#include <gtest/gtest.h>

namespace {

using kestro_test::TEnglishTexts;

class LinkTest : public ::testing::Test {
protected:
    LinkTest() { link.Open(); }

    // The device vanishes: the next operation fails and closes the port.
    void Vanish() {
        line->FailPurge = true;
        line->Gone = true;
        line->Cause =
            "socket://kestro-test:4001: the device is gone (hang-up): is the adapter plugged in?";
    }
    void ComeBack() {
        line->FailPurge = false;
        line->FailWait = false;
        line->Gone = false;
        line->FailOpen = false;
    }
    void LoseThePort() {
        Vanish();
        EXPECT_THROW(link.Engine().Dispatcher->Purge(), ECommError);
    }

    TEnglishTexts english;
    std::shared_ptr<TFakeSerialLine> line = std::make_shared<TFakeSerialLine>();
    TLink link{TSettings{1, 9600, 250},
               TPortMap{{1, "socket://kestro-test:4001"}},
               {},
               std::make_unique<TFakeSerialBackend>(line)};
};

} // namespace

TEST_F(LinkTest, OpensTheMappedDeviceWithTheSettings) {
    EXPECT_EQ(line->OpenedDevice, "socket://kestro-test:4001");
    EXPECT_EQ(line->Settings->BaudRate, 9600);
    EXPECT_EQ(link.Engine().Timeout, 250);
    link.Apply({2, 4800, 300}, {{2, "socket://kestro-other:4002"}});
    EXPECT_EQ(line->OpenedDevice, "socket://kestro-other:4002");
    EXPECT_EQ(line->Settings->BaudRate, 4800);
    EXPECT_EQ(link.Engine().Timeout, 300);
}

TEST_F(LinkTest, GoneDeviceLosesThePortOtherFailuresDoNot) {
    line->FailPurge = true; // a failure that leaves the device in place
    EXPECT_THROW(link.Engine().Dispatcher->Purge(), ECommError);
    EXPECT_TRUE(link.Active());
    EXPECT_FALSE(link.Lost());

    LoseThePort();
    EXPECT_FALSE(link.Active());
    EXPECT_TRUE(link.Lost());
    EXPECT_EQ(link.FailureCause(), line->Cause);

    link.Close(); // closed on purpose: nothing to reopen
    EXPECT_FALSE(link.Lost());
    EXPECT_FALSE(link.Reconnect());
    EXPECT_FALSE(line->Open);
}

TEST_F(LinkTest, IdleAttemptsReopenOnceTheDeviceIsBack) {
    LoseThePort();
    line->FailOpen = true;
    line->Cause = "socket://kestro-test:4001: no such device: is the adapter plugged in?";
    EXPECT_FALSE(link.Reconnect());
    EXPECT_TRUE(link.Lost());
    EXPECT_EQ(link.FailureCause(), line->Cause);

    ComeBack();
    EXPECT_TRUE(link.Reconnect());
    EXPECT_TRUE(link.Active());
    EXPECT_FALSE(link.Lost());
}

TEST_F(LinkTest, ABatchGetsOneSecondChanceOnly) {
    EXPECT_FALSE(link.CanReopenOnce()); // nothing lost
    LoseThePort();
    EXPECT_TRUE(link.CanReopenOnce());
    ComeBack();
    EXPECT_TRUE(link.ReopenOnce());
    EXPECT_TRUE(link.Active());

    LoseThePort();
    ComeBack();
    EXPECT_FALSE(link.CanReopenOnce());
    EXPECT_FALSE(link.ReopenOnce());
    EXPECT_FALSE(link.Active());
}

TEST_F(LinkTest, ReconfigureChangesSpeedAndTimeoutOnTheOpenPort) {
    line->Calls.clear();
    link.SetSlowLink(true);
    link.Reconfigure(300, 2000);
    EXPECT_EQ(line->Calls, std::vector<std::string>({"Configure(300,2000)"}));
    EXPECT_EQ(link.Engine().Timeout, 2000);
    link.Restore();
    EXPECT_EQ(line->Calls.back(), "Configure(9600,2000)"); // the long write timeout stays
    EXPECT_EQ(link.Engine().Timeout, 250);
    EXPECT_TRUE(link.Active());
}

TEST_F(LinkTest, RestoreReopensAPortThatARefusedSpeedClosed) {
    line->FailConfigure = true;
    EXPECT_THROW(link.Reconfigure(300, 2000), ESetupPort);
    EXPECT_TRUE(link.Lost());
    line->FailConfigure = false;
    line->Calls.clear();
    link.Restore();
    EXPECT_EQ(line->Calls,
              std::vector<std::string>({"Open(socket://kestro-test:4001)", "Configure(9600,200)"}));
    EXPECT_EQ(link.Engine().Timeout, 250);
}

TEST_F(LinkTest, APresenceCheckSendsNothingAndLosesAGonePort) {
    line->Calls.clear();
    link.CheckPresent();
    EXPECT_TRUE(link.Active());
    line->FailWait = true;
    line->Gone = true;
    line->Cause =
        "socket://kestro-test:4001: the device is gone (hang-up): is the adapter plugged in?";
    try {
        link.CheckPresent();
        FAIL() << "a gone device passed";
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "COM1 unexpected error!");
    }
    EXPECT_TRUE(link.Lost());
    EXPECT_EQ(link.FailureCause(), line->Cause);
    for (const std::string& call : line->Calls)
        EXPECT_TRUE(call.rfind("Write", 0) != 0 && call.rfind("Read", 0) != 0) << call;
}

// kestro --port: a device that a COM n leads to keeps that name in messages; any other device is
// named by its path, never "COM0".
TEST(LinkNames, APortGivenByItsDeviceIsNamedByTheComPortOrByThePath) {
    TEnglishTexts english;
    const struct {
        const char* Device;
        const char* Message;
    } cases[] = {
        {"rfc2217://meters.example:4001", "Cannot open COM2!"},
        {"/dev/ttyUSB7", "Cannot open /dev/ttyUSB7!"},
        {"socket://meters.example:4002", "Cannot open socket://meters.example:4002!"},
    };
    for (const auto& c : cases) {
        auto line = std::make_shared<TFakeSerialLine>();
        line->FailOpen = true;
        TLink link({1, 9600, 200}, {{2, "rfc2217://meters.example:4001"}}, c.Device,
                   std::make_unique<TFakeSerialBackend>(line));
        try {
            link.Open();
            ADD_FAILURE() << c.Device << " opened";
        } catch (const EOpenPort& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        EXPECT_EQ(line->Calls.front(), std::string("Open(") + c.Device + ")");
    }
}
