// The offset measurement and the precise set over the real channel and engine, against the
// virtual meter's clock (a fraction of a second, drift, a random turnaround, a timed line). The
// meter logs its true offset at every clock read and write; what the program claims must hold
// against it. The claims are intervals whose bounds only widen when the machine is slow, so
// the checks allow no more than rounding.
#include "VirtualMeter.h"
#include "app/ClockSync.h"
#include "comm/PortNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <ostream>
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

// The true offsets of the clock reads after the `writes`-th write (0: before any) and up to the
// next, and those just after each write.
struct TTruths {
    std::vector<std::vector<double>> Reads; // [writes]
    std::vector<double> Writes;
};

TTruths TruthsOf(const std::vector<vmeter::TLogEntry>& log) {
    TTruths truths;
    truths.Reads.emplace_back();
    for (const vmeter::TLogEntry& entry : log) {
        if (entry.Frame.size() <= 4 || entry.Frame[4] != 'C' || !entry.ClockOffsetMs)
            continue;
        if (entry.Frame[1] == 'W') {
            truths.Writes.push_back(*entry.ClockOffsetMs);
            truths.Reads.emplace_back();
        } else {
            truths.Reads.back().push_back(*entry.ClockOffsetMs);
        }
    }
    return truths;
}

struct TSyncCase {
    const char* Name;
    int Baud;
    vmeter::TTakeOver TakeOver;
    double StartMs;     // the meter's offset before
    double MaxOffsetMs; // the limit asked
    TTakeOver Told;
    int Writes;     // 2 when corrected
    bool Within;    // the offset after within the limit
    double EndMs;   // the meter's true offset just after the last write, give or take
    double EndByMs; // this much
};

void PrintTo(const TSyncCase& c, std::ostream* os) {
    *os << c.Name;
}

class ClockSyncOnVirtualMeterAt : public ::testing::TestWithParam<TSyncCase> {};

// A meter that restarts its second ends near zero. One that keeps its fraction can only be
// moved by whole seconds: it ends at the fraction it had or a second less, whichever is
// smaller, corrected once when the first set left it on the wrong side. Either way the program
// says which, its claims before and after hold against the meter's truth, and the result says
// whether the limit holds.
TEST_P(ClockSyncOnVirtualMeterAt, SetsTheClockAndHoldsItToTheLimit) {
    const TSyncCase c = GetParam();
    TClockRig rig(c.Baud, MeterWith(c.StartMs, 20, c.TakeOver));
    TClockSyncOptions options;
    options.Force = true; // the PC's own clock is not this test's concern
    options.MaxOffsetMs = c.MaxOffsetMs;
    rig.Engine.Retries = 2;
    const TSyncResult result = SyncClock(
        rig.Engine, Meter, PcClockSaying(TPcClockStatus::TState::NotSynchronised), options);

    const TTruths truths = TruthsOf(rig.Line.Log());
    ASSERT_EQ(result.Writes, c.Writes);
    ASSERT_EQ(truths.Writes.size(), static_cast<std::size_t>(c.Writes));
    EXPECT_EQ(static_cast<int>(truths.Reads[0].size()), result.Before.Reads);
    EXPECT_EQ(static_cast<int>(truths.Reads.back().size()), result.After.Reads);
    ExpectWithin(truths.Reads[0], result.Before);
    ExpectWithin(truths.Reads.back(), result.After);
    EXPECT_EQ(result.TakeOver, c.Told);
    EXPECT_EQ(result.WithinLimit, c.Within);
    EXPECT_NEAR(truths.Writes.back(), c.EndMs, c.EndByMs);
    EXPECT_GE(result.LimitMs, c.MaxOffsetMs);
    EXPECT_EQ(rig.Engine.Retries, 2); // the write's single attempt did not stick
}

using enum vmeter::TTakeOver;
const TSyncCase SyncCases[] = {
    {"At9600Restarts", 9600, Restart, 3'456.7, 50, TTakeOver::RestartsSecond, 1, true, 0, 25},
    {"At300Restarts", 300, Restart, 3'456.7, 50, TTakeOver::RestartsSecond, 1, true, 0, 25},
    // Kept fractions: +0.4567 s cannot be bettered by whole seconds, -0.3 s is left -0.3 s
    // (the first set makes it +0.7 s), -0.7 s becomes +0.3 s.
    {"KeptAhead", 9600, KeepFraction, 3'456.7, 50, TTakeOver::KeepsFraction, 1, false, 456.7, 5},
    {"KeptBehind300", 9600, KeepFraction, -2'300, 50, TTakeOver::KeepsFraction, 2, false, -300, 5},
    {"KeptBehind700", 9600, KeepFraction, -700, 50, TTakeOver::KeepsFraction, 1, false, 300, 5},
    {"KeptBehind300Allowed", 9600, KeepFraction, -300, 400, TTakeOver::KeepsFraction, 2, true, -300,
     5},
};

INSTANTIATE_TEST_SUITE_P(TakeOvers, ClockSyncOnVirtualMeterAt, ::testing::ValuesIn(SyncCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The PC's clock steps 300 ms ahead just after the write (a time service correcting it): the
// meter, set to the old time, is 300 ms behind the new one. The measurement after shows it and
// one corrected write mends it; when the PC's clock steps again after that one, the result says
// the meter is beyond the limit.
class ClockSyncWithPcClockSteps : public ::testing::TestWithParam<int> {};

TEST_P(ClockSyncWithPcClockSteps, ACorrectedWriteFollowsWhenTheMeterEndsBeyondTheLimit) {
    const int steps = GetParam();
    TClockRig rig(9600, MeterWith(1'234.5, 0, vmeter::TTakeOver::Restart));
    TPcClock pc = PcClockSaying(TPcClockStatus::TState::Synchronised);
    std::vector<std::chrono::steady_clock::time_point> stepsAt;
    const auto base = pc.LocalMs;
    pc.LocalMs = [&, base](std::chrono::steady_clock::time_point at) {
        if (rig.Engine.Request.Cmd == 'W' &&
            (stepsAt.empty() || stepsAt.back() < rig.Engine.RequestSentAt) &&
            static_cast<int>(stepsAt.size()) < steps)
            stepsAt.push_back(rig.Engine.RequestSentAt + std::chrono::milliseconds(1));
        double ms = base(at);
        for (const auto& step : stepsAt)
            ms += at >= step ? 300 : 0;
        return ms;
    };
    const TSyncResult result = SyncClock(rig.Engine, Meter, pc);
    const TTruths truths = TruthsOf(rig.Line.Log());
    EXPECT_EQ(result.Writes, 2);
    EXPECT_EQ(result.WithinLimit, steps == 1);
    EXPECT_NEAR(result.After.OffsetMs, steps == 1 ? 0 : -300, 25);
    // Against the system's clock, which the meter follows, the PC's clock ran ahead.
    EXPECT_NEAR(truths.Writes.back(), 300, 25);
}

INSTANTIATE_TEST_SUITE_P(OnceAndTwice, ClockSyncWithPcClockSteps, ::testing::Values(1, 2),
                         [](const auto& info) {
                             return info.param == 1 ? std::string("Mended")
                                                    : std::string("StillBeyond");
                         });

// Asked to stop, the set sends nothing more: not the write once the measurement before has
// begun, not the corrected write once the measurement after has.
TEST(ClockSyncOnVirtualMeter, NothingIsSentOnceAStopIsAsked) {
    for (const char after : {'R', 'W'}) {
        TClockRig rig(9600, MeterWith(-2'300, 0, vmeter::TTakeOver::KeepFraction));
        TClockSyncOptions options;
        options.Force = true;
        std::optional<std::size_t> requestsWhenStopped;
        options.Offset.StopRequested = [&] {
            const std::vector<vmeter::TLogEntry> log = rig.Line.Log();
            const bool stop = std::any_of(log.begin(), log.end(), [&](const auto& entry) {
                return entry.Frame.size() > 4 && entry.Frame[1] == after;
            });
            if (stop && !requestsWhenStopped)
                requestsWhenStopped = log.size();
            return stop;
        };
        EXPECT_THROW(SyncClock(rig.Engine, Meter, SystemPcClock(), options), EStopped) << after;
        ASSERT_TRUE(requestsWhenStopped) << after;
        EXPECT_EQ(rig.Line.Log().size(), *requestsWhenStopped) << after;
    }
}

} // namespace
