// The clock offset measurement and the precise set over the Win32 channel, against a virtual
// meter on a timed line (its replies paced, a turnaround of 2 to 20 ms) whose log holds its
// true offset. The claimed intervals must hold the truth; the figures are printed, as they
// show how soon the channel notices a reply's bytes.
#include "MeterLog.h"
#include "WinTestSupport.h"

#include "app/ClockSync.h"
#include "app/uGlobals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace wintest;

namespace {

// COM port of a virtual meter 05 on a timed line, and its request log (a Windows path).
constexpr const char* ClockPortVar = "KESTRO_WIN_TEST_CLOCK_COM";
constexpr const char* ClockLogVar = "KESTRO_WIN_TEST_CLOCK_LOG";
constexpr TKestroAddr Meter = 5;
constexpr double RoundingMs = 1;

class WinClock : public ::testing::Test {
protected:
    void SetUp() override {
        const auto port = PortFromEnv(ClockPortVar);
        if (!port)
            GTEST_SKIP() << ClockPortVar << " is not set: no COM port leads to a timed meter";
        SetEnglishMessages();
        LogPath = TextFromEnv(ClockLogVar);
        LogStart = ReadMeterLog(LogPath).size();
        Dispatcher.SetPort(*port);
        Dispatcher.Open();
        Kestro.Timeout = 3000;
        Kestro.Retries = 1;
    }

    // True offsets of the clock reads ('R') or writes ('W') logged since the test began.
    std::vector<double> Truths(char kind, std::size_t count) const {
        std::vector<double> truths;
        for (const TMeterLogEntry& entry : AwaitMeterLog(LogPath, LogStart, count))
            if (entry.Frame.size() > 4 && entry.Frame[1] == kind && entry.Frame[4] == 'C' &&
                entry.ClockOffsetMs)
                truths.push_back(*entry.ClockOffsetMs);
        return truths;
    }

    static void ExpectWithin(const std::vector<double>& truths, const TOffsetResult& claim) {
        ASSERT_FALSE(truths.empty());
        for (double truth : truths) {
            EXPECT_GE(truth, claim.LowMs - RoundingMs);
            EXPECT_LE(truth, claim.HighMs + RoundingMs);
        }
    }

    static void Print(const char* what, const TOffsetResult& r, double truth) {
        std::printf("%s: offset %.1f +- %.1f ms (truth %.1f, error %.1f), %d reads, mean read "
                    "window %.1f ms, %.1f s\n",
                    what, r.OffsetMs, r.UncertaintyMs, truth, r.OffsetMs - truth, r.Reads,
                    r.MeanWindowMs, r.DurationMs / 1000);
    }

    std::string LogPath;
    std::size_t LogStart = 0;
    TCommDispatcher Dispatcher;
    TCommKestro Kestro{Dispatcher};
};

TEST_F(WinClock, MeasuresAndSetsAgainstTheMetersTruth) {
    TClockSyncOptions options;
    options.Force = true; // the PC's clock is not checked on Windows anyway
    const TSyncResult result = SyncClock(Kestro, Meter, SystemPcClock(), options);
    EXPECT_EQ(result.PcClock.State, TPcClockStatus::TState::NotChecked);
    EXPECT_EQ(result.PcClock.Text, "The PC's clock is not checked on Windows");

    const std::size_t requests = static_cast<std::size_t>(result.Reads + result.Writes);
    const std::vector<double> reads = Truths('R', requests);
    const std::vector<double> writes = Truths('W', requests);
    ASSERT_EQ(reads.size(), static_cast<std::size_t>(result.Reads));
    ASSERT_EQ(writes.size(), static_cast<std::size_t>(result.Writes));
    ExpectWithin({reads.begin(), reads.begin() + result.Before.Reads}, result.Before);
    ExpectWithin({reads.end() - result.After.Reads, reads.end()}, result.After);
    EXPECT_TRUE(result.WithinLimit);
    // The meter restarts its second; that shows unless it was close to whole seconds before
    // (a second run finds it set already).
    const double fromWhole =
        std::abs(result.Before.OffsetMs - 1000 * std::round(result.Before.OffsetMs / 1000));
    if (fromWhole > 200)
        EXPECT_EQ(result.TakeOver, TTakeOver::RestartsSecond);
    else
        EXPECT_NE(result.TakeOver, TTakeOver::KeepsFraction);
    EXPECT_NE(result.TakeOver, TTakeOver::Unexplained);
    Print("before", result.Before, reads[result.Before.Reads - 1]);
    Print("after", result.After, reads.back());
    std::printf("set: true offset just after %.1f ms, request handed %.2f ms late, %d write(s)\n",
                writes.back(), result.WriteLateMs, result.Writes);
}

} // namespace
