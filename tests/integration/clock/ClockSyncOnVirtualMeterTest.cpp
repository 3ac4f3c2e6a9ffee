// The offset measurement and the precise set over the real channel and engine, against the
// virtual meter's clock (a fraction of a second, drift, a random turnaround, a timed line). The
// meter logs its true offset at every clock read and write; what the program claims must hold
// against it. The claims are intervals whose bounds only widen when the machine is slow, so
// the checks allow no more than rounding.
#include "VirtualMeter.h"
#include "app/ClockSync.h"
#include "comm/PortNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int Meter = 5;
constexpr double RoundingMs = 1;

vmeter::TOptions MeterWith(double offsetMs, double driftPpm, vmeter::TTakeOver takeOver) {
    vmeter::TOptions options;
    options.BusMeters = {Meter};
    options.Pace = true;
    options.TurnaroundMs = 2;
    options.TurnaroundMaxMs = 20;
    options.Clock = {offsetMs, driftPpm, takeOver};
    return options;
}

TPcClock PcClockSaying(TPcClockStatus::TState state) {
    TPcClock pc = SystemPcClock();
    pc.Check = [state] {
        return TPcClockStatus{state, "test"};
    };
    return pc;
}

struct TClockRig {
    TClockRig(int baud, const vmeter::TOptions& options) : Line(options) {
        Dispatcher.SetPort(1);
        Dispatcher.SetDevice(Line.SlavePath());
        Dispatcher.SetBaudRate(baud);
        Dispatcher.SetSlowLink(baud < 1200);
        Dispatcher.Open();
        Engine.Timeout = 3000; // generous: the meter's thread competes for the processor
        Engine.Retries = 1;
    }

    // The true offsets the meter logged with its clock reads ('R') or writes ('W').
    std::vector<double> Truths(char kind) const {
        std::vector<double> truths;
        for (const vmeter::TLogEntry& entry : Line.Log())
            if (entry.Frame.size() > 4 && entry.Frame[1] == kind && entry.Frame[4] == 'C' &&
                entry.ClockOffsetMs)
                truths.push_back(*entry.ClockOffsetMs);
        return truths;
    }

    vmeter::TVirtualMeter Line;
    TCommDispatcher Dispatcher;
    TCommKestro Engine{Dispatcher};
};

// Every true offset in `truths` lies in the claimed interval.
void ExpectWithin(const std::vector<double>& truths, const TOffsetResult& claim) {
    ASSERT_FALSE(truths.empty());
    for (double truth : truths) {
        EXPECT_GE(truth, claim.LowMs - RoundingMs)
            << claim.OffsetMs << " +- " << claim.UncertaintyMs;
        EXPECT_LE(truth, claim.HighMs + RoundingMs)
            << claim.OffsetMs << " +- " << claim.UncertaintyMs;
    }
}

TEST(ClockOffsetOnVirtualMeter, TheClaimedIntervalHoldsTheTrueOffset) {
    TClockRig rig(9600, MeterWith(12'345.6, 30, vmeter::TTakeOver::Restart));
    const TOffsetResult offset = MeasureClockOffset(rig.Engine, Meter, SystemPcClock());
    EXPECT_GT(offset.Reads, 1);
    EXPECT_EQ(offset.Reads, static_cast<int>(rig.Truths('R').size()));
    ExpectWithin(rig.Truths('R'), offset);
    EXPECT_NEAR(offset.OffsetMs, 12'345.6, 1000); // the whole seconds are right, at the least
}

TEST(ClockOffsetOnVirtualMeter, AStoppedClockIsAContradictionNotANumber) {
    TClockRig rig(9600, MeterWith(0, -1e6, vmeter::TTakeOver::Restart)); // it does not count
    try {
        MeasureClockOffset(rig.Engine, Meter, SystemPcClock());
        FAIL() << "a stopped clock gave an offset";
    } catch (const EClockContradiction& e) {
        EXPECT_STREQ(e.what(), "The meter's clock readings contradict each other: its clock "
                               "stepped or is not counting");
    }
}

TEST(ClockSyncOnVirtualMeter, AnUnsynchronisedPcClockStopsTheSetUnlessForced) {
    TClockRig rig(9600, MeterWith(5'000, 0, vmeter::TTakeOver::Restart));
    try {
        SyncClock(rig.Engine, Meter, PcClockSaying(TPcClockStatus::TState::NotSynchronised));
        FAIL() << "set with an unsynchronised PC clock";
    } catch (const EPcClockNotSynchronised& e) {
        EXPECT_STREQ(
            e.what(),
            "The PC's clock is not synchronised: the meter can only be as right as the PC");
    }
    EXPECT_TRUE(rig.Line.Log().empty()); // not a single request went out
}

struct TSyncCase {
    int Baud;
    vmeter::TTakeOver TakeOver;
};

class ClockSyncOnVirtualMeterAt : public ::testing::TestWithParam<TSyncCase> {};

// Set from 3.4567 s ahead (plus drift): a meter that restarts its second ends near zero; one
// that keeps its fraction ends 0.4567 s ahead. Either way the program says which, and its
// claims before and after hold against the meter's truth.
TEST_P(ClockSyncOnVirtualMeterAt, SetsOnTheSecondBoundaryAndTellsTheTakeOver) {
    const TSyncCase c = GetParam();
    TClockRig rig(c.Baud, MeterWith(3'456.7, 20, c.TakeOver));
    TClockSyncOptions options;
    options.Force = true; // the PC's own clock is not this test's concern
    rig.Engine.Retries = 2;
    const TSyncResult result = SyncClock(
        rig.Engine, Meter, PcClockSaying(TPcClockStatus::TState::NotSynchronised), options);

    const std::vector<double> writes = rig.Truths('W');
    ASSERT_EQ(writes.size(), 1u);
    const std::vector<double> reads = rig.Truths('R');
    ASSERT_EQ(reads.size(), static_cast<std::size_t>(result.Before.Reads + result.After.Reads));
    ExpectWithin({reads.begin(), reads.begin() + result.Before.Reads}, result.Before);
    ExpectWithin({reads.begin() + result.Before.Reads, reads.end()}, result.After);

    if (c.TakeOver == vmeter::TTakeOver::Restart) {
        EXPECT_EQ(result.TakeOver, TTakeOver::RestartsSecond);
        EXPECT_LT(std::abs(writes[0]), 500); // on the boundary, not a second or half off
    } else {
        EXPECT_EQ(result.TakeOver, TTakeOver::KeepsFraction);
        EXPECT_NEAR(writes[0], 456.7, 5);
    }
    EXPECT_EQ(rig.Engine.Retries, 2); // the write's single attempt did not stick
}

INSTANTIATE_TEST_SUITE_P(BothSpeedsBothTakeOvers, ClockSyncOnVirtualMeterAt,
                         ::testing::Values(TSyncCase{9600, vmeter::TTakeOver::Restart},
                                           TSyncCase{9600, vmeter::TTakeOver::KeepFraction},
                                           TSyncCase{300, vmeter::TTakeOver::Restart},
                                           TSyncCase{300, vmeter::TTakeOver::KeepFraction}),
                         [](const ::testing::TestParamInfo<TSyncCase>& info) {
                             return std::to_string(info.param.Baud) +
                                    (info.param.TakeOver == vmeter::TTakeOver::Restart ? "Restart"
                                                                                       : "Keep");
                         });

} // namespace
