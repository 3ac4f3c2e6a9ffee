// The window model's timers: the status line's return to "Ready" that never comes early, and
// the idle watch of the port every 2 s that finds a vanished device without sending anything
// and opens the port again once it is back.
#include "ModelRig.h"

#include <gtest/gtest.h>

using namespace model_test;

namespace {

// However early the system's timer fires, the text stays its full 5000 ms, and "Ready" comes
// once.
class StatusReturn : public ::testing::TestWithParam<double> {};

TEST_P(StatusReturn, ReadyComesBackAfter5000MsNeverEarlier) {
    TModelRig rig;
    rig.timers.Early = GetParam();
    rig.Start();
    rig.UseAddress(5);
    rig.Run(TMainAction::SendEcho);
    const std::size_t shown = rig.view.Statuses.size();
    rig.timers.Advance(4999);
    EXPECT_EQ(rig.view.Statuses.size(), shown);
    EXPECT_EQ(rig.view.Status(), "Status: Echo from meter #05 returned");
    rig.timers.Advance(10); // a timer started for the last millisecond may itself be late
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
    rig.timers.Advance(20000);
    EXPECT_EQ(rig.view.Statuses.size(), shown + 1);
}

INSTANTIATE_TEST_SUITE_P(TimerEarliness, StatusReturn, ::testing::Values(0.0, 0.05, 0.5));

TEST(StatusReturnAgain, EveryNewTextStartsTheIntervalAnew) {
    TModelRig rig;
    rig.Start();
    rig.UseAddress(5);
    rig.timers.Advance(4000);
    rig.Run(TMainAction::SendEcho);
    rig.timers.Advance(4000);
    EXPECT_EQ(rig.view.Status(), "Status: Echo from meter #05 returned");
    rig.timers.Advance(1000);
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
}

class PortWatch : public ::testing::Test {
protected:
    PortWatch() {
        rig.Start();
        rig.UseAddress(5);
    }
    void Vanish() {
        rig.meters.Line->FailWait = true;
        rig.meters.Line->Gone = true;
        rig.meters.Line->Cause = Cause;
    }
    void PlugIn() {
        rig.meters.Line->FailWait = false;
        rig.meters.Line->Gone = false;
        rig.meters.Line->FailOpen = false;
    }

    const std::string Cause =
        "socket://kestro-meters:4001: the device is gone (hang-up): is the adapter plugged in?";
    TModelRig rig;
};

TEST_F(PortWatch, AVanishedDeviceDisablesTheDeviceActionsWithin2sSendingNothing) {
    Vanish();
    rig.timers.Advance(2000);
    EXPECT_EQ(rig.view.Status(), "Status: COM1 unexpected error!");
    EXPECT_EQ(rig.view.Cause(), Cause);
    for (TMainAction action : DeviceActions)
        EXPECT_FALSE(rig.Enabled(action)) << static_cast<int>(action);
    EXPECT_TRUE(rig.meters.Frames.empty());
    EXPECT_TRUE(rig.meters.Line->Output.empty());

    // While it is away the reopening fails quietly; the cause stays with every text.
    rig.meters.Line->FailOpen = true;
    rig.timers.Advance(6000);
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
    EXPECT_EQ(rig.view.Cause(), Cause);
    EXPECT_FALSE(rig.Enabled(TMainAction::SendEcho));

    PlugIn();
    rig.timers.Advance(2000);
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
    EXPECT_EQ(rig.view.Cause(), "");
    EXPECT_TRUE(rig.Enabled(TMainAction::SendEcho));
    rig.Run(TMainAction::SendEcho);
    EXPECT_EQ(rig.Text(), "Echo from meter #05 returned");
}

TEST_F(PortWatch, AnOperationThatMeetsTheGoneDeviceLosesThePortToo) {
    rig.meters.Line->FailPurge = true;
    Vanish();
    rig.Run(TMainAction::SendEcho);
    EXPECT_EQ(rig.Text(), "COM1 unexpected error!");
    EXPECT_EQ(rig.view.Cause(), Cause);
    EXPECT_FALSE(rig.Enabled(TMainAction::SendEcho));
    rig.meters.Line->FailPurge = false;
    PlugIn();
    rig.timers.Advance(2000);
    EXPECT_TRUE(rig.Enabled(TMainAction::SendEcho));
}

// The dialog owns the port while it is up: neither the check nor the reopening runs under it.
TEST_F(PortWatch, NothingIsCheckedOrReopenedUnderTheConfigDialog) {
    Vanish();
    rig.timers.Advance(2000);
    PlugIn();
    bool openedUnderDialog = false;
    rig.view.Config = [&](const TSettings&) {
        rig.timers.Advance(4000);
        openedUnderDialog = rig.meters.Line->Open;
        return std::nullopt;
    };
    rig.Run(TMainAction::Config);
    EXPECT_FALSE(openedUnderDialog);
    rig.timers.Advance(2000);
    EXPECT_TRUE(rig.meters.Line->Open);
}

} // namespace
