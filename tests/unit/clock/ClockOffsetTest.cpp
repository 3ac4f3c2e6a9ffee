// The offset interval and the planning of reads, driven by a simulated meter and line on a fake
// clock: the meter reads its clock when the request has reached it and answers after a random
// turnaround; the line delivers bytes as real ones do (up to a byte time early, in batches of
// a USB adapter's latency timer, late by a random jitter).
#include "app/ClockOffset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double SecondMs = 1000;

// A clock read at a line speed: a request of 9 bytes and a reply of 23.
TReadTiming TimingAt(int baud) {
    const double byte = 10 * SecondMs / baud;
    return {9 * byte, 23 * byte, byte};
}

struct TLine {
    const char* Name;
    int Baud;
    double TurnaroundMinMs;
    double TurnaroundMaxMs;
    int EarlyBits;         // bytes count this many bit times early, at both ends
    double LatencyTimerMs; // reply bytes handed over at the ticks of this timer
    double JitterMs;       // each direction up to this late
};

void PrintTo(const TLine& line, std::ostream* os) {
    *os << line.Name;
}

struct TRun {
    TClockOffset Offset;
    double ElapsedMs = 0;   // fake time from the first request to the last reply
    double TrueDelayMs = 0; // when the meter read its clock after the end of the last request
};

// Measures a meter whose offset is `offsetMs` over the line, as the program plans its reads.
TRun Measure(double offsetMs, const TLine& line, unsigned seed, TClockOffsetOptions options = {},
             std::optional<TPhaseExpectation> expected = std::nullopt) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto between = [&](double low, double high) {
        return low + unit(random) * (high - low);
    };
    const TReadTiming timing = TimingAt(line.Baud);
    const double early = line.EarlyBits * timing.ByteMs / 10;
    const double tickPhase = between(0, line.LatencyTimerMs);
    const double start = 1.7e12 + between(0, 1e6); // a PC time in 2023
    TRun run{TClockOffset(options)};
    if (expected)
        run.Offset.Expect(*expected);
    double now = start;
    std::optional<double> send = expected ? run.Offset.NextSendMs(now, timing) : now;
    while (send) {
        const double requestEnd = *send + timing.RequestLineMs;
        const double readAt = requestEnd - early + between(0, line.JitterMs);
        run.TrueDelayMs = readAt - requestEnd;
        double received = readAt + between(line.TurnaroundMinMs, line.TurnaroundMaxMs) +
                          timing.ReplyLineMs - early;
        if (line.LatencyTimerMs > 0)
            received = tickPhase + std::ceil((received - tickPhase) / line.LatencyTimerMs) *
                                       line.LatencyTimerMs;
        received += between(0, line.JitterMs);
        const auto shown = static_cast<std::int64_t>(std::floor((readAt + offsetMs) / SecondMs));
        run.Offset.AddRead({shown, *send, received}, timing);
        now = received;
        send = run.Offset.NextSendMs(now + 3, timing);
    }
    run.ElapsedMs = now - start;
    return run;
}

class ClockOffsetOnLine : public ::testing::TestWithParam<TLine> {};

// Whatever the line does within the model, the interval holds the true offset, the reads fit
// the model, the budget is kept, and the delay the reads show lies where the meter read.
TEST_P(ClockOffsetOnLine, TheIntervalHoldsTheTrueOffset) {
    const TLine line = GetParam();
    for (unsigned seed = 0; seed < 60; ++seed) {
        const double truth = (seed % 2 ? 1 : -1) * (seed * 7919.37);
        const TRun run = Measure(truth, line, seed);
        const TClockOffset& offset = run.Offset;
        ASSERT_FALSE(offset.Contradicted()) << seed;
        ASSERT_LE(offset.LowMs(), truth) << seed;
        ASSERT_GE(offset.HighMs(), truth) << seed;
        ASSERT_TRUE(offset.SeenCounting()) << seed;
        ASSERT_EQ(offset.WidenedReads(), 0) << seed;
        ASSERT_LT(offset.Reads(), 40) << seed;
        // The meter's delay lies within the spread of the shortest window the reads saw.
        ASSERT_NEAR(offset.ReadDelayMs(), run.TrueDelayMs, offset.MeanWindowMs()) << seed;
        EXPECT_LT(run.ElapsedMs, 60 * SecondMs) << seed;
    }
}

const TLine Lines[] = {
    {"At9600Exact", 9600, 2, 20, 0, 0, 0},
    {"At9600ByteEarlyLatency16", 9600, 2, 20, 10, 16, 2},
    {"At9600Turnaround200Jitter20", 9600, 150, 200, 0, 0, 20},
    {"At2400ByteEarlyLatency8", 2400, 2, 60, 10, 8, 5},
    {"At300Exact", 300, 2, 20, 0, 0, 0},
    {"At300ByteEarly", 300, 2, 20, 10, 0, 0},
    {"At300ByteEarlyTurnaround40to60", 300, 40, 60, 10, 0, 0},
    {"At300StopBitEarlyLatency16Jitter20", 300, 2, 200, 1, 16, 20},
    // A device server a second's round trip away: its unknown is the network's half.
    {"At9600RoundTrip1s", 9600, 490, 510, 0, 0, 20},
};

INSTANTIATE_TEST_SUITE_P(Lines, ClockOffsetOnLine, ::testing::ValuesIn(Lines),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ClockOffset, AReadConfinesTheOffsetToItsSecondAndTheLinesWindow) {
    const TReadTiming at300 = TimingAt(300); // request 300 ms, reply 766.7 ms, byte 33.3 ms
    TClockOffset offset;
    EXPECT_FALSE(offset.NextSendMs(0, at300)); // nothing to plan from before the first read
    // Showed second 100; handed over at PC 99 s, the reply in at 100.1 s: the meter read its
    // clock between 99.3 s (less a byte) and 99.3333 s (plus a byte).
    offset.AddRead({100, 99'000, 100'100}, at300);
    EXPECT_NEAR(offset.LowMs(), 100'000 - (100'100 - 766.667 + 33.333), 1e-3);
    EXPECT_NEAR(offset.HighMs(), 101'000 - (99'300 - 33.333), 1e-3);
    EXPECT_NEAR(offset.MeanWindowMs(), 100'100 - 766.667 + 33.333 - 99'300 + 33.333, 1e-3);
    EXPECT_EQ(offset.WidenedReads(), 0);
    EXPECT_TRUE(offset.LineTimed());
}

TEST(ClockOffset, AReadSoonerThanTheLineAllowsCountsWithItsWholeExchange) {
    const TReadTiming at9600 = TimingAt(9600);
    // A line without timing: the reply is in 0.2 ms after the hand-over.
    EXPECT_TRUE(ExchangeWindow(5'000, 5'000.2, at9600).Widened);
    const TExchangeWindow window = ExchangeWindow(5'000, 5'000.2, at9600);
    EXPECT_DOUBLE_EQ(window.StartMs, 5'000);
    EXPECT_DOUBLE_EQ(window.EndMs, 5'000.2);
    // A whole byte early at both ends with no turnaround still fits the model.
    const double early = 30 * at9600.ByteMs + 0.01;
    EXPECT_FALSE(ExchangeWindow(5'000, 5'000 + early, at9600).Widened);

    // Such a read shows that the line keeps no timing: from then on every read, the earlier
    // ones too, counts with its whole exchange.
    TClockOffset offset;
    offset.AddRead({10, 9'400, 9'460}, at9600);
    offset.AddRead({11, 10'400, 10'460}, at9600);
    ASSERT_TRUE(offset.LineTimed());
    ASSERT_GT(offset.LowMs(), 10'000 - 9'460);
    offset.AddRead({12, 11'500, 11'501}, at9600);
    EXPECT_FALSE(offset.LineTimed());
    EXPECT_EQ(offset.WidenedReads(), 3);
    EXPECT_DOUBLE_EQ(offset.LowMs(), 10'000 - 9'460);
    EXPECT_DOUBLE_EQ(offset.HighMs(), 13'000 - 11'500);
}

TEST(ClockOffset, OnALineWithoutTimingThePhaseCountsFromTheHandOver) {
    const TReadTiming at9600 = TimingAt(9600);
    TClockOffset offset;
    offset.AddRead({10, 9'990, 9'990.3}, at9600);
    offset.AddRead({11, 10'010, 10'010.3}, at9600);
    EXPECT_FALSE(offset.LineTimed());
    EXPECT_EQ(offset.WidenedReads(), 2);
    EXPECT_NEAR(offset.ReadDelayMs(), 0.15, 1e-9);
    EXPECT_NEAR(offset.Phase().LowMs, 11'000 - 10'010, 1e-9);
    EXPECT_NEAR(offset.Phase().HighMs, 11'000 - 9'990, 1e-9);
}

TEST(ClockOffset, AnExpectedPhasePlansTheFirstReadUntilAReadShowsItWrong) {
    const TLine line{"Exact", 9600, 2, 20, 0, 0, 0};
    const double truth = 320.5;
    // The phase (offset plus the meter's delay, about 0) expected to within 5 ms: two or three
    // reads on the second boundary give the offset.
    const TRun right = Measure(truth, line, 7, {}, TPhaseExpectation{316, 326, true, 15, 50});
    EXPECT_LE(right.Offset.LowMs(), truth);
    EXPECT_GE(right.Offset.HighMs(), truth);
    EXPECT_LE(right.Offset.Reads(), 4);
    EXPECT_LT(right.Offset.WidthMs(), 40);
    // Expected half a second off: the reads alone count once one shows it.
    const TRun wrong = Measure(truth, line, 7, {}, TPhaseExpectation{816, 826, true, 15, 50});
    EXPECT_LE(wrong.Offset.LowMs(), truth);
    EXPECT_GE(wrong.Offset.HighMs(), truth);
    EXPECT_GT(wrong.Offset.Phase().HighMs, truth);
    EXPECT_LT(wrong.Offset.Phase().LowMs, truth + 1);
}

// Two reads on either side of a tick: not yet at PC 10.54 s, ticked by PC 10.6 s (reference
// instants, the line being exact).
TClockOffset NarrowedAround450(TClockOffsetOptions options = {}) {
    const TReadTiming exact{0, 0, 0};
    TClockOffset offset(options);
    offset.AddRead({10, 10'540, 10'550}, exact);
    offset.AddRead({11, 10'590, 10'600}, exact);
    return offset;
}

TEST(ClockOffset, StopsAtTheTargetTheBudgetOrWhenNoReadIsWorthItsTime) {
    const TReadTiming exact{0, 0, 0};
    TClockOffsetOptions wideTarget;
    wideTarget.TargetWidthMs = 100;
    const TClockOffset reached = NarrowedAround450(wideTarget);
    ASSERT_DOUBLE_EQ(reached.LowMs(), 400);
    ASSERT_DOUBLE_EQ(reached.HighMs(), 460);
    EXPECT_TRUE(reached.TargetReached());
    EXPECT_FALSE(reached.NextSendMs(20'000, exact));

    TClockOffsetOptions twoReads;
    twoReads.ReadBudget = 2;
    EXPECT_FALSE(NarrowedAround450(twoReads).NextSendMs(20'000, exact));
    const std::optional<double> next = NarrowedAround450().NextSendMs(20'000, exact);
    ASSERT_TRUE(next);
    // On the meter's boundary for a phase between 400 and 460.
    const double split = std::ceil((*next + 400) / SecondMs) * SecondMs - *next;
    EXPECT_GE(split, 399);
    EXPECT_LE(split, 461);

    // A meter that takes 80 ms to answer cannot narrow a 60 ms interval enough.
    TClockOffset slowMeter;
    slowMeter.AddRead({10, 10'460, 10'620}, exact);
    slowMeter.AddRead({11, 10'520, 10'600}, exact);
    ASSERT_DOUBLE_EQ(slowMeter.LowMs(), 400);
    ASSERT_DOUBLE_EQ(slowMeter.HighMs(), 540);
    EXPECT_FALSE(slowMeter.TargetReached());
    EXPECT_FALSE(slowMeter.NextSendMs(20'000, exact));
}

TEST(ClockOffset, ReadsThatFitNoOffsetAreAContradiction) {
    const TReadTiming exact{0, 0, 0};
    // The same second shown two PC seconds apart: the meter's clock is not counting.
    TClockOffset stopped;
    stopped.AddRead({10, 1'000, 1'010}, exact);
    EXPECT_FALSE(stopped.Contradicted());
    stopped.AddRead({10, 3'000, 3'010}, exact);
    EXPECT_TRUE(stopped.Contradicted());
    EXPECT_FALSE(stopped.TargetReached());
    EXPECT_FALSE(stopped.NextSendMs(4'000, exact));
    // Reads of one second a second apart narrow the interval as a tick about to come would;
    // that is no result until the meter is seen counting, so reading goes on.
    TClockOffset waiting;
    waiting.AddRead({20, 1'000, 1'010}, exact);
    waiting.AddRead({20, 1'995, 2'003}, exact);
    ASSERT_FALSE(waiting.Contradicted());
    ASSERT_LT(waiting.WidthMs(), 20);
    EXPECT_FALSE(waiting.TargetReached());
    EXPECT_TRUE(waiting.NextSendMs(2'010, exact));
    // Once contradicted, no later read makes it consistent again.
    stopped.AddRead({12, 4'000, 4'010}, exact);
    EXPECT_TRUE(stopped.Contradicted());
}

} // namespace
