// Which way of taking over a written time explains the offset measured after a set, and how a
// measured offset is printed in whole milliseconds.
#include "app/ClockSync.h"

#include <gtest/gtest.h>

namespace {

TOffsetResult Offset(double low, double high) {
    TOffsetResult result;
    result.LowMs = low;
    result.HighMs = high;
    result.OffsetMs = (low + high) / 2;
    result.UncertaintyMs = (high - low) / 2;
    return result;
}

// The second 1000 written while the PC's clock was between 999.995 s and 1000.010 s.
constexpr std::int64_t Written = 1000;
constexpr double WriteStart = 999'995;
constexpr double WriteEnd = 1'000'010;

TEST(TakeOver, TheOffsetAfterTheSetTellsRestartFromKeep) {
    // Before: the meter 3.45 s ahead. A restart leaves it within the write's window of zero; a
    // kept fraction leaves it 0.45 s ahead.
    const TOffsetResult before = Offset(3'440, 3'460);
    EXPECT_EQ(ClassifyTakeOver(before, WriteStart, WriteEnd, Written, Offset(-8, 4)),
              TTakeOver::RestartsSecond);
    EXPECT_EQ(ClassifyTakeOver(before, WriteStart, WriteEnd, Written, Offset(442, 458)),
              TTakeOver::KeepsFraction);
    // Behind by 2.7 s before: the kept fraction shows as 0.3 s ahead.
    EXPECT_EQ(
        ClassifyTakeOver(Offset(-2'710, -2'690), WriteStart, WriteEnd, Written, Offset(292, 308)),
        TTakeOver::KeepsFraction);
    // Half a second off after the set: neither.
    EXPECT_EQ(ClassifyTakeOver(before, WriteStart, WriteEnd, Written, Offset(-510, -490)),
              TTakeOver::Unexplained);
    // Whole seconds off before: both explain an offset near zero.
    EXPECT_EQ(ClassifyTakeOver(Offset(-2'008, 2'003 - 4'000), WriteStart, WriteEnd, Written,
                               Offset(-5, 5)),
              TTakeOver::Undetermined);
}

// The printed range always holds the measured interval, and claims at most a millisecond more.
TEST(PrintedOffset, TheRangeInWholeMillisecondsHoldsTheInterval) {
    const std::pair<double, double> intervals[] = {
        {0.3, 2.3}, {-10.5, 9.5}, {-0.4, 0.4}, {1'000.49, 1'020.51}, {-7.6, -7.4}, {5, 5},
    };
    for (const auto& [low, high] : intervals) {
        const TPrintedOffset printed = PrintedOffset(Offset(low, high));
        const auto offset = static_cast<double>(printed.OffsetMs);
        const auto uncertainty = static_cast<double>(printed.UncertaintyMs);
        EXPECT_LE(offset - uncertainty, low) << low << ".." << high;
        EXPECT_GE(offset + uncertainty, high) << low << ".." << high;
        EXPECT_LE(uncertainty, (high - low) / 2 + 1) << low << ".." << high;
    }
}

} // namespace
