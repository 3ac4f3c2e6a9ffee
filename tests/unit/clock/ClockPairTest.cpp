// The PC's clock is tied to the steady clock by reading both; a pause between the two reads (the
// process preempted) must not shift the PC's time by its length.
#include "app/PcClock.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

struct TPausedReads {
    const char* Name;
    int Paused; // how many brackets, the first ones, read the system clock after a 30 ms pause
    microseconds MaxError;
};

class ClockPair : public ::testing::TestWithParam<TPausedReads> {};

// A timeline read in 1 µs steps; the system clock stands a fixed distance from the steady clock.
TEST_P(ClockPair, APauseBetweenTheReadsDoesNotShiftThePair) {
    const auto& c = GetParam();
    const nanoseconds systemAhead = hours(24 * 365 * 50);
    nanoseconds now{1'000'000'000};
    int steadyReads = 0;
    auto steady = [&] {
        ++steadyReads;
        now += microseconds(1);
        return steady_clock::time_point(now);
    };
    auto system = [&] {
        const int bracket = (steadyReads - 1) / 2; // the first steady read is the deadline's
        if (bracket < c.Paused)
            now += milliseconds(30);
        now += microseconds(1);
        return system_clock::time_point(duration_cast<system_clock::duration>(now + systemAhead));
    };
    const TClockPair pair = ReadClockPair(steady, system);
    const auto error =
        pair.System.time_since_epoch() -
        duration_cast<system_clock::duration>(pair.Steady.time_since_epoch() + systemAhead);
    EXPECT_LE(abs(duration_cast<microseconds>(error)), c.MaxError) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Pauses, ClockPair,
    ::testing::Values(TPausedReads{"no pause", 0, microseconds(1)},
                      TPausedReads{"first bracket", 1, microseconds(1)},
                      TPausedReads{"first two brackets", 2, microseconds(1)},
                      // never a quiet moment: the search ends, off by half a pause at most
                      TPausedReads{"every bracket", 1000000, milliseconds(15) + microseconds(1)}));

} // namespace
