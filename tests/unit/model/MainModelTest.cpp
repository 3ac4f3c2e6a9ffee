// The window model's operations on fake meters: what each shows on the status line, which frames
// go out at which speed, the warning dots, the fields, the routing of failures and what is
// enabled when.
#include "ModelRig.h"

#include <gtest/gtest.h>

using namespace model_test;

namespace {

using Texts = std::vector<std::string>;
const std::string LinkOn = "#W??k,01*11\r";
const std::string LinkOff = "#W??k,00*10\r";

class MainModel : public ::testing::Test {
protected:
    MainModel() { rig.Start(); }
    TModelRig rig;
};

TEST_F(MainModel, StartsReadyWithTheTargetOfTheWindowAndEverythingEnabled) {
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
    EXPECT_EQ(rig.view.Cause(), "");
    EXPECT_FALSE(rig.view.AddressEnabled); // the box is ticked
    EXPECT_FALSE(rig.view.Dot(TWarnDot::KestroId));
    EXPECT_FALSE(rig.view.Dot(TWarnDot::DateTime));
    for (const auto& [action, enabled] : rig.view.Enabled)
        EXPECT_TRUE(enabled) << static_cast<int>(action);
    EXPECT_EQ(rig.view.Enabled.size(), 8u);
    EXPECT_EQ(rig.meters.Line->OpenedDevice, "socket://kestro-meters:4001");
    EXPECT_TRUE(rig.meters.Frames.empty());
}

TEST(MainModelStart, APortThatDoesNotOpenLeavesConfigAndCleanupOnly) {
    TModelRig rig;
    rig.meters.Line->FailOpen = true;
    rig.meters.Line->Cause =
        "socket://kestro-meters:4001: no such device: is the adapter plugged in?";
    rig.Start();
    EXPECT_EQ(rig.view.Status(), "Status: Cannot open COM1!");
    EXPECT_EQ(rig.view.Cause(), rig.meters.Line->Cause);
    EXPECT_TRUE(rig.view.Messages.empty());
    for (TMainAction action : DeviceActions)
        EXPECT_FALSE(rig.Enabled(action)) << static_cast<int>(action);
    EXPECT_TRUE(rig.Enabled(TMainAction::Config));
    EXPECT_TRUE(rig.Enabled(TMainAction::CleanupMarks));
    rig.timers.Advance(5000);
    EXPECT_EQ(rig.view.Status(), "Status: Ready");
}

TEST_F(MainModel, EchoToOneMeterGoesOutAtTheConfiguredSpeed) {
    rig.UseAddress(5);
    EXPECT_TRUE(rig.view.AddressEnabled);
    EXPECT_EQ(rig.Run(TMainAction::SendEcho),
              Texts({"Connecting...", "Sending echo request...", "Echo from meter #05 returned"}));
    EXPECT_EQ(rig.meters.Frames, Texts({"#R05E*12\r"}));
    EXPECT_EQ(rig.meters.Speeds, std::vector<int>({9600}));
    EXPECT_FALSE(rig.view.Dot(TWarnDot::KestroId));
}

TEST_F(MainModel, EchoThroughTheOpticalHeadSwitchesTo300BaudAndBack) {
    EXPECT_EQ(rig.Run(TMainAction::SendEcho),
              Texts({"Connecting...", "Sending echo request...", "Echo from meter #07 returned",
                     "Closing connection...", "Echo from meter #07 returned"}));
    ASSERT_EQ(rig.meters.Frames.size(), 3u);
    EXPECT_EQ(rig.meters.Frames[0], LinkOn);
    EXPECT_EQ(rig.meters.Frames[2], LinkOff);
    EXPECT_EQ(rig.meters.Speeds, std::vector<int>({300, 300, 300}));
    EXPECT_FALSE(rig.meters.LinkMode);
    EXPECT_EQ(rig.meters.Line->Settings->BaudRate, 9600);
    EXPECT_EQ(rig.meters.Line->Settings->WriteTimeoutMs, 2000u); // never set back
}

// Each panel's dot: shown when its operation begins, hidden when it succeeds; a failure leaves
// it until that panel's next success, whatever the other panel does.
TEST_F(MainModel, AFailureLeavesItsPanelsDotAndTheFieldsUntilThatPanelSucceeds) {
    rig.UseAddress(5);
    rig.view.Time = 0.5;
    rig.view.Date = 40000;
    rig.meters.Faults = {""};
    rig.Run(TMainAction::GetDateTime);
    EXPECT_EQ(rig.Text(), "[Kestro #05] Timeout");
    EXPECT_TRUE(rig.view.Dot(TWarnDot::DateTime));
    EXPECT_FALSE(rig.view.Dot(TWarnDot::KestroId));
    EXPECT_EQ(rig.view.Time, 0.5);
    EXPECT_EQ(rig.view.Date, 40000);

    rig.meters.Faults = {"A05C"}; // the answer to another question
    rig.Run(TMainAction::SendEcho);
    EXPECT_TRUE(rig.view.Dot(TWarnDot::KestroId));
    rig.Run(TMainAction::SendEcho);
    EXPECT_FALSE(rig.view.Dot(TWarnDot::KestroId));
    EXPECT_TRUE(rig.view.Dot(TWarnDot::DateTime));

    rig.Run(TMainAction::GetDateTime);
    EXPECT_EQ(rig.Text(), "OK");
    EXPECT_FALSE(rig.view.Dot(TWarnDot::DateTime));
    EXPECT_NEAR(rig.view.Date + rig.view.Time, Now(), 3.0 / 86400);
    EXPECT_EQ(rig.view.ClockOffset, "meter on time");
}

TEST_F(MainModel, ReadingShowsTheMetersOffsetInWholeSeconds) {
    rig.meters.OffsetDays = -125.0 / 86400;
    rig.UseAddress(5);
    rig.Run(TMainAction::GetDateTime);
    EXPECT_EQ(rig.view.ClockOffset, "meter 00:02:05 behind");
    rig.meters.OffsetDays = 2.4 / 86400;
    rig.Run(TMainAction::GetDateTime);
    EXPECT_TRUE(rig.view.ClockOffset == "meter 2 s ahead" ||
                rig.view.ClockOffset == "meter 3 s ahead")
        << rig.view.ClockOffset;
    rig.Run(TMainAction::SetDateTime); // what was read no longer holds
    EXPECT_EQ(rig.view.ClockOffset, "");
}

TEST_F(MainModel, CleanupMarksHidesBothDotsAndStopsTheStatusTimer) {
    rig.UseAddress(5);
    rig.meters.Faults = {"", ""};
    rig.Run(TMainAction::SendEcho);
    rig.Run(TMainAction::GetDateTime);
    ASSERT_TRUE(rig.view.Dot(TWarnDot::KestroId) && rig.view.Dot(TWarnDot::DateTime));
    EXPECT_EQ(rig.Run(TMainAction::CleanupMarks), Texts({"Ready"}));
    EXPECT_FALSE(rig.view.Dot(TWarnDot::KestroId) || rig.view.Dot(TWarnDot::DateTime));
    const std::size_t shown = rig.view.Statuses.size();
    rig.timers.Advance(10000);
    EXPECT_EQ(rig.view.Statuses.size(), shown);
}

TEST_F(MainModel, ARefusedLinkModeSendsNoOffRestoresTheSpeedAndShowsNoDot) {
    rig.meters.Faults = {"E07P"};
    rig.Run(TMainAction::SendEcho);
    EXPECT_EQ(rig.Text(), "Kestro #07 return: Device is not enabled for config!");
    EXPECT_EQ(rig.meters.Frames, Texts({LinkOn}));
    EXPECT_FALSE(rig.view.Dot(TWarnDot::KestroId));
    rig.UseAddress(5);
    rig.Run(TMainAction::SendEcho);
    EXPECT_EQ(rig.meters.Speeds.back(), 9600);
}

TEST_F(MainModel, AFieldThatCannotBeTakenStillEndsLinkModeAndSendsNoClock) {
    rig.view.TimeError = "'12:3' is not a valid time";
    rig.Run(TMainAction::SetDateTime);
    EXPECT_EQ(rig.meters.Frames, Texts({LinkOn, LinkOff}));
    EXPECT_TRUE(rig.view.Dot(TWarnDot::DateTime));
    EXPECT_EQ(rig.view.Messages, Texts({"'12:3' is not a valid time"}));
    EXPECT_EQ(rig.Text(), "Closing connection...");
}

TEST_F(MainModel, AnAddressThatCannotBeTakenStopsBeforeAnythingIsSent) {
    rig.UseAddress(5);
    rig.view.AddressError = "'x' is not a valid integer value";
    EXPECT_EQ(rig.Run(TMainAction::SendEcho), Texts({"Connecting..."}));
    EXPECT_TRUE(rig.meters.Frames.empty());
    EXPECT_FALSE(rig.view.Dot(TWarnDot::KestroId));
    EXPECT_EQ(rig.view.Messages, Texts({"'x' is not a valid integer value"}));
}

TEST_F(MainModel, WriteSendsTheFieldsAndWriteCurrentThePcsClockTakenFirst) {
    rig.UseAddress(5);
    rig.view.Time = EncodeTime(10, 20, 30, 0);
    rig.view.Date = EncodeDate(2031, 6, 15);
    rig.Run(TMainAction::SetDateTime);
    EXPECT_EQ(rig.meters.Frames.back().substr(0, 19), "#W05C,102030,150631");

    rig.meters.Faults = {""};
    const TDateTime before = Now();
    rig.Run(TMainAction::SetCurrDateTime);
    EXPECT_EQ(rig.Text(), "[Kestro #05] Timeout");
    EXPECT_NEAR(rig.view.Date + rig.view.Time, before, 2.0 / 86400); // kept after the failure
    EXPECT_TRUE(rig.view.Dot(TWarnDot::DateTime));
    rig.Run(TMainAction::SetCurrDateTime);
    EXPECT_EQ(rig.Text(), "OK");
    EXPECT_NEAR(rig.meters.OffsetDays, 0, 2.0 / 86400);
}

// Failures go where the window's exception handler sends them.
struct TRouteCase {
    const char* Name;
    std::string Reply; // the meter's reply body to a clock read
    std::string Status;
    std::string Message;
};

class MainModelRoutes : public ::testing::TestWithParam<TRouteCase> {};

TEST_P(MainModelRoutes, CommunicationFailuresToTheStatusLineOthersToAMessageBox) {
    TModelRig rig;
    rig.Start();
    rig.UseAddress(5);
    rig.meters.Faults = {GetParam().Reply};
    rig.Run(TMainAction::GetDateTime);
    EXPECT_EQ(rig.Text(), GetParam().Status);
    EXPECT_EQ(rig.view.Cause(), ""); // the meter's answer has no cause in the system
    EXPECT_EQ(rig.view.Messages, GetParam().Message.empty() ? Texts{} : Texts{GetParam().Message});
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MainModelRoutes,
    ::testing::Values(TRouteCase{"Silence", "", "[Kestro #05] Timeout", ""},
                      TRouteCase{"ErrorReply", "E05D", "Kestro #05 return: Data format error!", ""},
                      TRouteCase{"WrongMeter", "A06C,120000,010125",
                                 "[Kestro #05] Packet with wrong network address", ""},
                      TRouteCase{"InvalidDate", "A05C,120000,320125", "Reading clock/calendar...",
                                 "Invalid argument to date encode"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(MainModel, AnActionChosenWhileAnotherRunsIsIgnored) {
    rig.UseAddress(5);
    int nested = 0;
    rig.view.OnPendingEvents = [&] {
        if (nested++ == 0)
            rig.model->Execute(TMainAction::GetDateTime);
    };
    rig.Run(TMainAction::SendEcho);
    rig.view.OnPendingEvents = nullptr;
    EXPECT_EQ(rig.meters.Frames, Texts({"#R05E*12\r"}));
    EXPECT_EQ(rig.Text(), "Echo from meter #05 returned");
}

TEST_F(MainModel, DeviceActionsStayEnabledDuringAnOperationExitDoesNot) {
    rig.UseAddress(5);
    std::map<TMainAction, bool> during;
    rig.view.OnPendingEvents = [&] {
        during = rig.view.Enabled;
    };
    rig.Run(TMainAction::SendEcho);
    EXPECT_FALSE(during.at(TMainAction::Exit));
    EXPECT_TRUE(during.at(TMainAction::SendEcho));
    EXPECT_TRUE(rig.Enabled(TMainAction::Exit));
}

} // namespace
