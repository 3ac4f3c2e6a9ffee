// How long an attempt waits for its reply: the time-out counts from when the request has left
// the line, a network's allowance comes on top, a reply under way gets the line time of the
// bytes it brings, and nothing waits past the minute.
#include "EnglishTexts.h"
#include "FakeMeterLine.h"

#include <gtest/gtest.h>

#include <optional>

using namespace kestro_test;

namespace {

// "#R05C*..\r": 9 bytes; the clock reply "#A05C,120000,010124*..\r": 23 bytes.
const std::string ClockReply = Line("A05C,120000,010124");
constexpr double RequestBytes = 9;

struct TWaitCase {
    const char* Name;
    std::int32_t BaudRate;
    std::int32_t Timeout;
    double AllowanceMs;                   // the network's share
    std::optional<std::uint32_t> DelayMs; // from the write to the reply's first byte; none: silent
    std::uint32_t GapMs;                  // between the reply's bytes
    std::size_t Bytes;                    // of the reply sent (a cut reply stalls)
    bool Answered;
    std::uint64_t EndsAfterMs; // the exchange ends after this, within a millisecond
};

double LineMs(double bytes, std::int32_t baud) {
    return bytes * 10 * 1000 / baud;
}

// 300 baud: a byte takes 33.3 ms, the request 300 ms.
const TWaitCase WaitCases[] = {
    {"ClockReplyAt300BaudBeginsInTimeAfterTheRequestLeftTheLine", 300, 200, 0, 490, 33, 23, true,
     490 + 22 * 33},
    {"ReplyBeginningLaterIsTooLate", 300, 200, 0, 510, 34, 23, false, 500},
    {"ReplyStoppingHalfWayGetsOnlyTheLineTimeOfWhatCame", 300, 200, 0, 400, 34, 10, false,
     833}, // 500 + 10 bytes * 33.3
    {"NetworkRoundTripIsAddedBehindADeviceServer", 9600, 200, 1000, 1100, 1, 23, true, 1122},
    {"ReplyLaterThanTheRoundTripAllowsIsTooLate", 9600, 200, 1000, 1215, 1, 23, false, 1209},
    {"NothingWaitsPastTheMinute", 300, 59000, 5000, std::nullopt, 0, 0, false, 60000},
    {"NegativeTimeoutLeavesTheLineAndNetworkTimes", 9600, -5, 40, std::nullopt, 0, 0, false, 49},
};

class ReplyWait : public ::testing::TestWithParam<TWaitCase> {
protected:
    ReplyWait() {
        Rig.Dispatcher->Reconfigure(GetParam().BaudRate);
        Rig.Line->AllowanceMs = GetParam().AllowanceMs;
        Rig.Engine->Timeout = GetParam().Timeout;
        Rig.Engine->Retries = 1;
    }
    TEnglishTexts English;
    TEngineRig Rig;
};

TEST_P(ReplyWait, EndsWhenTheLineAndTheNetworkAllow) {
    const TWaitCase& c = GetParam();
    if (c.DelayMs)
        Rig.Reply(ClockReply.substr(0, c.Bytes), *c.DelayMs, c.GapMs);
    TDateTime time = 0, date = 0;
    if (c.Answered)
        EXPECT_NO_THROW(Rig.Engine->GetDateTime(5, time, date));
    else
        EXPECT_THROW(Rig.Engine->GetDateTime(5, time, date), EKestroTimeout);
    EXPECT_GE(Rig.Clock.Elapsed, c.EndsAfterMs);
    EXPECT_LE(Rig.Clock.Elapsed, c.EndsAfterMs + 1);
    // The reply's delay after the request left the line goes to the channel: the round trip
    // where the network offers no other measure.
    if (c.Answered) {
        ASSERT_EQ(Rig.Line->ReplyDelays.size(), 1u);
        EXPECT_NEAR(Rig.Line->ReplyDelays[0], *c.DelayMs - LineMs(RequestBytes, c.BaudRate), 1);
    } else {
        EXPECT_TRUE(Rig.Line->ReplyDelays.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Conditions, ReplyWait, ::testing::ValuesIn(WaitCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// After a time-out a reply that would answer the timed-out request too may be its late reply:
// its delay says nothing about the request now out, and is not reported. Another meter's reply
// is unambiguous.
TEST(ReplyWaitAfterATimeout, ReportsNoDelayForAnAmbiguousReply) {
    TEnglishTexts english;
    TEngineRig rig;
    rig.Engine->Timeout = 20;
    rig.Engine->Retries = 1;
    rig.Reply(Line("A05E"), 25);
    EXPECT_THROW(rig.Engine->Echo(5), EKestroTimeout);
    rig.Silence(); // the late reply answers the repeated request
    EXPECT_NO_THROW(rig.Engine->Echo(5));
    EXPECT_TRUE(rig.Line->ReplyDelays.empty());

    rig.Silence();
    EXPECT_THROW(rig.Engine->Echo(5), EKestroTimeout);
    rig.Reply(Line("A06E"), 7);
    EXPECT_NO_THROW(rig.Engine->Echo(6));
    ASSERT_EQ(rig.Line->ReplyDelays.size(), 1u);
    EXPECT_NEAR(rig.Line->ReplyDelays[0], 7, 1);
}

} // namespace
