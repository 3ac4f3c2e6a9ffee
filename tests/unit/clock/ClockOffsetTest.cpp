// The offset interval and the planning of reads, driven by a simulated meter on a fake clock:
// the meter reads its clock at a random instant of each read's window, after a random
// turnaround, and shows whole seconds.
#include "app/ClockOffset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double SecondMs = 1000;
// Line times of a clock read: the request of 9 bytes and the reply of 23, at 9600 and 300 baud.
constexpr TReadTiming Fast{9 * 10000.0 / 9600, 23 * 10000.0 / 9600};
constexpr TReadTiming Slow{9 * 10000.0 / 300, 23 * 10000.0 / 300};

// The whole second a meter with this offset shows at PC time `pcMs`.
std::int64_t Shown(double pcMs, double offsetMs) {
    return static_cast<std::int64_t>(std::floor((pcMs + offsetMs) / SecondMs));
}

struct TRun {
    TClockOffset Offset;
    double ElapsedMs = 0; // fake time from the first request to the last reply
};

// Measures a meter whose offset is `offsetMs`, its turnaround drawn from 2 to 20 ms.
TRun Measure(double offsetMs, const TReadTiming& timing, unsigned seed,
             TClockOffsetOptions options = {}) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> turnaround(2, 20);
    std::uniform_real_distribution<double> within(0, 1);
    const double start = 1.7e12 + within(random) * 1e6; // a PC time in 2023
    TRun run{TClockOffset(options)};
    double now = start;
    std::optional<double> send = now;
    while (send) {
        const double windowStart = *send + timing.RequestLineMs;
        const double windowEnd = windowStart + turnaround(random);
        const double readAt = windowStart + within(random) * (windowEnd - windowStart);
        run.Offset.AddRead(Shown(readAt, offsetMs), windowStart, windowEnd);
        now = windowEnd + timing.ReplyLineMs;
        send = run.Offset.NextSendMs(now, timing);
    }
    run.ElapsedMs = now - start;
    return run;
}

TEST(ClockOffset, NarrowsToTheTargetAroundTheTrueOffsetAtBothSpeeds) {
    for (const TReadTiming& timing : {Fast, Slow}) {
        for (unsigned seed = 0; seed < 200; ++seed) {
            const double truth = (seed % 2 ? 1 : -1) * (seed * 7919.37);
            const TRun run = Measure(truth, timing, seed);
            const TClockOffset& offset = run.Offset;
            ASSERT_FALSE(offset.Contradicted()) << seed;
            ASSERT_LE(offset.LowMs(), truth) << seed;
            ASSERT_GE(offset.HighMs(), truth) << seed;
            ASSERT_TRUE(offset.TargetReached()) << seed << " width " << offset.WidthMs();
            ASSERT_LT(offset.Reads(), 40) << seed;
        }
    }
}

TEST(ClockOffset, OneReadConfinesTheOffsetToItsSecondAndWindow) {
    TClockOffset offset;
    EXPECT_FALSE(offset.NextSendMs(0, Fast)); // nothing to plan from before the first read
    offset.AddRead(100, 99'500, 99'510);      // showed second 100 between PC 99.5 s and 99.51 s
    EXPECT_DOUBLE_EQ(offset.LowMs(), 100'000 - 99'510);
    EXPECT_DOUBLE_EQ(offset.HighMs(), 101'000 - 99'500);
    EXPECT_DOUBLE_EQ(offset.MiddleMs(), (490 + 1500) / 2.0);
    EXPECT_DOUBLE_EQ(offset.HalfWidthMs(), 505);
    EXPECT_DOUBLE_EQ(offset.MeanWindowMs(), 10);
}

// Two reads on either side of a tick: not yet at PC 10.54 s, ticked by PC 10.6 s.
TClockOffset NarrowedTo400To460(TClockOffsetOptions options = {}) {
    TClockOffset offset(options);
    offset.AddRead(10, 10'540, 10'550);
    offset.AddRead(11, 10'590, 10'600);
    return offset;
}

TEST(ClockOffset, PlansANarrowIntervalsReadOnTheBoundaryThatSplitsIt) {
    for (const TReadTiming& timing : {Fast, Slow}) {
        const TClockOffset offset = NarrowedTo400To460();
        ASSERT_DOUBLE_EQ(offset.LowMs(), 400);
        ASSERT_DOUBLE_EQ(offset.HighMs(), 460);
        const std::optional<double> send = offset.NextSendMs(20'000, timing);
        ASSERT_TRUE(send);
        EXPECT_GE(*send, 20'000);
        EXPECT_LT(*send, 21'000);
        // The window's centre meets the meter's boundary for an offset in the middle half.
        const double centre = *send + timing.RequestLineMs + offset.MeanWindowMs() / 2;
        const double split = std::ceil((centre + 400) / SecondMs) * SecondMs - centre;
        EXPECT_GT(split, 415);
        EXPECT_LT(split, 445);
    }
}

TEST(ClockOffset, StopsAtTheTargetTheBudgetOrWhenNoReadCanNarrowFurther) {
    TClockOffsetOptions wideTarget;
    wideTarget.TargetWidthMs = 100;
    const TClockOffset reached = NarrowedTo400To460(wideTarget);
    EXPECT_TRUE(reached.TargetReached());
    EXPECT_FALSE(reached.NextSendMs(20'000, Fast));

    TClockOffsetOptions twoReads;
    twoReads.ReadBudget = 2;
    const TClockOffset spent = NarrowedTo400To460(twoReads);
    EXPECT_FALSE(spent.TargetReached());
    EXPECT_FALSE(spent.NextSendMs(20'000, Fast));
    EXPECT_TRUE(NarrowedTo400To460().NextSendMs(20'000, Fast));

    // A meter that takes 80 ms to answer cannot narrow a 60 ms interval any more.
    TClockOffset slowMeter;
    slowMeter.AddRead(10, 10'540, 10'620);
    slowMeter.AddRead(11, 10'520, 10'600);
    ASSERT_DOUBLE_EQ(slowMeter.LowMs(), 400);
    ASSERT_DOUBLE_EQ(slowMeter.HighMs(), 460);
    EXPECT_FALSE(slowMeter.TargetReached());
    EXPECT_FALSE(slowMeter.NextSendMs(20'000, Fast));
}

TEST(ClockOffset, ReadsThatFitNoOffsetAreAContradiction) {
    // The same second shown two PC seconds apart: the meter's clock is not counting.
    TClockOffset stopped;
    stopped.AddRead(10, 1'000, 1'010);
    EXPECT_FALSE(stopped.Contradicted());
    stopped.AddRead(10, 3'000, 3'010);
    EXPECT_TRUE(stopped.Contradicted());
    EXPECT_FALSE(stopped.TargetReached());
    EXPECT_FALSE(stopped.NextSendMs(4'000, Fast));
    // Reads of one second a second apart narrow the interval as a tick about to come would;
    // that is no result until the meter is seen counting, so reading goes on.
    TClockOffset waiting;
    waiting.AddRead(20, 1'000, 1'010);
    waiting.AddRead(20, 1'995, 2'003);
    ASSERT_FALSE(waiting.Contradicted());
    ASSERT_LT(waiting.WidthMs(), 20);
    EXPECT_FALSE(waiting.TargetReached());
    EXPECT_TRUE(waiting.NextSendMs(2'010, Fast));
    // Once contradicted, no later read makes it consistent again.
    stopped.AddRead(12, 4'000, 4'010);
    EXPECT_TRUE(stopped.Contradicted());
}

} // namespace
