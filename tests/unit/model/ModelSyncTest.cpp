// "Synchronise clock" in the window model: the question when the PC's clock is not
// synchronised, the progress texts, Escape before the write (nothing written, link mode
// ended), and the window's texts about a meter's clock.
#include "ModelRig.h"

#include "app/ClockTexts.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace model_test;

namespace {

bool Wrote(const std::vector<std::string>& frames) {
    return std::any_of(frames.begin(), frames.end(),
                       [](const std::string& f) { return f.rfind("#W05C", 0) == 0; });
}

class ModelSync : public ::testing::Test {
protected:
    ModelSync() {
        rig.Start();
        rig.UseAddress(5);
    }
    TModelRig rig;
};

TEST_F(ModelSync, AnUnsynchronisedPcClockIsAskedAboutAndNoMeansNothingIsSent) {
    rig.PcClockStatus = {TPcClockStatus::TState::NotSynchronised,
                         "The PC's clock is not synchronised"};
    rig.view.Answer = false;
    EXPECT_TRUE(rig.Run(TMainAction::SyncClock).empty());
    EXPECT_EQ(rig.view.Questions,
              std::vector<std::string>({"The PC's clock is not synchronised. Set anyway?"}));
    EXPECT_TRUE(rig.meters.Frames.empty());
}

// Escape at any point before the write: the meter's clock is not written, link mode is ended.
class ModelSyncCancel : public ::testing::TestWithParam<int> {};

TEST_P(ModelSyncCancel, EscapeBeforeTheWriteWritesNothingAndEndsLinkMode) {
    TModelRig rig;
    rig.Start();
    rig.meters.Bus.clear();
    rig.meters.OffsetDays = 1.5 / 86400;
    int looks = 0;
    rig.view.OnPendingEvents = [&] {
        if (++looks == GetParam())
            rig.model->Cancel();
    };
    rig.Run(TMainAction::SyncClock);
    EXPECT_EQ(rig.Text(), "Stopped: the meter's clock was not set");
    EXPECT_FALSE(std::any_of(rig.meters.Frames.begin(), rig.meters.Frames.end(),
                             [](const std::string& f) { return f.rfind("#W??C", 0) == 0; }));
    EXPECT_EQ(rig.meters.Frames.back(), "#W??k,00*10\r");
    EXPECT_FALSE(rig.meters.LinkMode);
    EXPECT_TRUE(rig.view.Dot(TWarnDot::DateTime));
    EXPECT_NEAR(rig.meters.OffsetDays, 1.5 / 86400, 1e-9);
}

// The first look comes before any read, later ones between the reads of the measurement.
INSTANTIATE_TEST_SUITE_P(AtLook, ModelSyncCancel, ::testing::Values(1, 3, 6));

TEST_F(ModelSync, EscapeWithoutASynchronisationDoesNothing) {
    rig.model->Cancel();
    rig.Run(TMainAction::SendEcho);
    EXPECT_EQ(rig.Text(), "Echo from meter #05 returned");
}

TEST_F(ModelSync, ProgressCountsTheReadsAndTheResultGivesTheOffsets) {
    rig.meters.OffsetDays = -2.0 / 86400;
    rig.PcClockStatus = {TPcClockStatus::TState::NotSynchronised, "not synchronised"};
    rig.view.Answer = true;
    const std::vector<std::string> texts = rig.Run(TMainAction::SyncClock);
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[0], "Connecting...");
    EXPECT_EQ(texts[1], "Measuring the meter's clock...");
    EXPECT_EQ(texts[2], "Measuring the meter's clock... (1 read)");
    EXPECT_EQ(texts[3], "Measuring the meter's clock... (2 reads)");
    EXPECT_EQ(texts.back().rfind("Clock set: ", 0), 0u) << texts.back();
    EXPECT_NE(texts.back().find(" (was -"), std::string::npos) << texts.back();
    EXPECT_TRUE(Wrote(rig.meters.Frames));
    EXPECT_FALSE(rig.view.Dot(TWarnDot::DateTime));
    // A meter without a fraction of a second shows whole seconds only: set within a second.
    EXPECT_NEAR(rig.meters.OffsetDays, 0, 1.0 / 86400);
}

TEST(ClockTexts, OffsetsReadAsAPersonSaysThem) {
    const TDateTime pc = EncodeDate(2026, 12, 10) + EncodeTime(12, 0, 0, 0);
    const double second = 1.0 / 86400;
    const struct {
        double MeterMinusPc; // seconds, the meter's whole second against the PC's time
        const char* Text;
    } cases[] = {
        {-0.3, "meter on time"},
        {-0.9, "meter on time"},
        {-1.6, "meter 1 s behind"},
        {-2.7, "meter 2 s behind"},
        {3.2, "meter 4 s ahead"},
        {58.8, "meter 59 s ahead"},
        {-61.7, "meter 00:01:01 behind"},
        {-3600.7, "meter 01:00:00 behind"},
        {90061.2, "meter 1 d 01:01:02 ahead"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClockOffsetText(pc + c.MeterMinusPc * second, pc), c.Text) << c.MeterMinusPc;
}

TEST(ClockTexts, TheSyncResultRoundsTheUncertaintyUp) {
    TSyncResult result;
    result.After.OffsetMs = 2.6;
    result.After.UncertaintyMs = 5.01;
    result.Before.OffsetMs = -733.4;
    EXPECT_EQ(ClockSetText(result), "Clock set: +3 ms \u00b1 6 ms (was -0.733 s)");
    result.After.OffsetMs = -0.4;
    result.Before.OffsetMs = 12345.6;
    EXPECT_EQ(ClockSetText(result), "Clock set: +0 ms \u00b1 6 ms (was +12.346 s)");
    EXPECT_EQ(MeasuringText(0), "Measuring the meter's clock...");
    EXPECT_EQ(MeasuringText(7), "Measuring the meter's clock... (7 reads)");
}

} // namespace
