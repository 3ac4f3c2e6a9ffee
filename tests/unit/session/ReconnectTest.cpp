// Reopening a lost port: what counts as lost, the single reopen of a batch, and the attempts of
// an idle caller.
#include "app/Reconnect.h"
#include "FakeSerialBackend.h"
#include "comm/PortNames.h"
#include "comm/uCommDispatcher.h"

#include <gtest/gtest.h>

namespace {

class ReconnectTest : public ::testing::Test {
protected:
    ReconnectTest() {
        SetPortMap({{1, "/dev/kestro-test"}});
        channel.Open();
    }
    ~ReconnectTest() override { SetPortMap({}); }

    // The device vanishes: the next operation fails and closes the port.
    void Vanish() {
        line->FailPurge = true;
        line->Gone = true;
        line->Cause = "/dev/kestro-test: the device is gone (hang-up): is the adapter plugged in?";
    }
    void ComeBack() {
        line->FailPurge = false;
        line->Gone = false;
        line->FailOpen = false;
    }

    std::shared_ptr<TFakeSerialLine> line = std::make_shared<TFakeSerialLine>();
    TCommDispatcher channel{std::make_unique<TFakeSerialBackend>(line)};
};

} // namespace

TEST_F(ReconnectTest, GoneDeviceLosesThePortOtherFailuresDoNot) {
    line->FailPurge = true; // a failure that leaves the device in place
    EXPECT_THROW(channel.Purge(), ECommError);
    EXPECT_TRUE(channel.GetActive());
    EXPECT_FALSE(ShouldReconnect(channel));

    Vanish();
    EXPECT_THROW(channel.Purge(), ECommError);
    EXPECT_FALSE(channel.GetActive());
    EXPECT_TRUE(ShouldReconnect(channel));
    EXPECT_EQ(channel.LastFailureCause(), line->Cause);

    channel.Close(); // closed on purpose: nothing to reopen
    EXPECT_FALSE(ShouldReconnect(channel));
    EXPECT_FALSE(Reconnect(channel));
    EXPECT_FALSE(line->Open);
}

TEST_F(ReconnectTest, IdleAttemptsReopenOnceTheDeviceIsBack) {
    Vanish();
    EXPECT_THROW(channel.Purge(), ECommError);
    line->FailOpen = true;
    line->Cause = "/dev/kestro-test: no such device: is the adapter plugged in?";
    EXPECT_FALSE(Reconnect(channel));
    EXPECT_TRUE(ShouldReconnect(channel));
    EXPECT_EQ(channel.LastFailureCause(), line->Cause);

    ComeBack();
    const std::string cause = line->Cause;
    line->Cause.clear();
    EXPECT_TRUE(Reconnect(channel));
    EXPECT_TRUE(channel.GetActive());
    EXPECT_FALSE(ShouldReconnect(channel));
    // The reopen does not wipe out why the port was lost.
    EXPECT_EQ(channel.LastFailureCause(), cause);
}

TEST_F(ReconnectTest, BatchRunsAgainOnceAfterTheReopen) {
    int runs = 0;
    RunReopeningOnce(channel, [&] {
        ++runs;
        if (runs == 1) {
            Vanish();
            channel.Purge();
        }
        ComeBack();
        channel.Purge();
    });
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(channel.GetActive());

    // Failing again after the reopen: the batch gives up with that failure.
    runs = 0;
    EXPECT_THROW(RunReopeningOnce(channel,
                                  [&] {
                                      ++runs;
                                      Vanish();
                                      channel.Purge();
                                  }),
                 ECommError);
    EXPECT_EQ(runs, 2);
}

TEST_F(ReconnectTest, BatchGivesUpWhenTheReopenFailsOrThePortWasNotLost) {
    int runs = 0;
    EXPECT_THROW(RunReopeningOnce(channel,
                                  [&] {
                                      ++runs;
                                      Vanish();
                                      line->FailOpen = true;
                                      channel.Purge();
                                  }),
                 EOpenPort);
    EXPECT_EQ(runs, 1);

    ComeBack();
    channel.Open();
    runs = 0;
    line->FailPurge = true; // the port stays open: nothing to reopen
    EXPECT_THROW(RunReopeningOnce(channel,
                                  [&] {
                                      ++runs;
                                      channel.Purge();
                                  }),
                 ECommError);
    EXPECT_EQ(runs, 1);
}
