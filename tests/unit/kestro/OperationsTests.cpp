#include "EnglishTexts.h"
#include "FakeMeterLine.h"
#include "Raises.h"

#include "runtime/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

using namespace kestro_test;

namespace {

class OperationsTest : public ::testing::Test {
protected:
    OperationsTest() { Engine.Retries = 1; }

    TEnglishTexts English;
    TEngineRig Rig;
    TCommKestro& Engine = *Rig.Engine;
    TFakeMeterLine& Meter = *Rig.Line;
};

TEST_F(OperationsTest, GetParamWalksTheCommaSeparatedFields) {
    struct TCase {
        std::string Data;
        int Index;
        std::string Field;
    };
    const std::vector<TCase> cases{
        {"a,b", 0, "a"},    {"a,b", 1, "b"},         {"a,b", 2, ""},   {"a,b", -1, ""},
        {"a,", 0, "a"},     {"a,", 1, ""},           {",b", 0, ""},    {",b", 1, "b"},
        {"", 0, ""},        {"abc", 0, "abc"},       {"x,,z", 2, "z"}, {"x,,z", 1, ""},
        {"a,b", -1000, ""}, {"a,b", 2147483647, ""},
    };
    for (const TCase& c : cases) {
        Engine.Response.Data = c.Data;
        EXPECT_EQ(Engine.GetParam(c.Index), c.Field) << c.Data << " [" << c.Index << "]";
    }
}

TEST_F(OperationsTest, GetIntParamReadsLenientlyWithDefaultZero) {
    Engine.Response.Data = " 12,-7,$1F,12 ,x,";
    const std::vector<std::int32_t> expected{12, -7, 31, 0, 0, 0, 0};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Engine.GetIntParam(std::int32_t(i)), expected[i]) << i;
}

struct TClockCase {
    std::string Data;
    int H, N, S;        // expected time of day
    int Y, M, D;        // expected date
    std::string Raised; // instead: the message raised, empty for none
};

// Clock fields are six decimal digits each: anything else is a bad packet, never a clock read
// leniently; six digits that are no time or date are the date routines' errors.
TEST_F(OperationsTest, GetDateTimeTakesSixDigitFieldsAndDecodesTimeThenDate) {
    const std::string badPacket = "[Kestro #05] Bad packet format";
    const std::string badTime = "Invalid argument to time encode";
    const std::string badDate = "Invalid argument to date encode";
    const std::vector<TClockCase> cases{
        {"143005,070324", 14, 30, 5, 2024, 3, 7, ""},
        {"000000,010100", 0, 0, 0, 2000, 1, 1, ""},
        {"235959,311299", 23, 59, 59, 2099, 12, 31, ""},
        {"120000,290224", 12, 0, 0, 2024, 2, 29, ""},
        {"143005,070324,4", 14, 30, 5, 2024, 3, 7, ""}, // further fields ignored
        {"120000,290223", 0, 0, 0, 0, 0, 0, badDate},
        {"240000,070324", 0, 0, 0, 0, 0, 0, badTime},
        {"240000,000000", 0, 0, 0, 0, 0, 0, badTime}, // the time first
        {"250000,010125", 0, 0, 0, 0, 0, 0, badTime},
        {"126000,070324", 0, 0, 0, 0, 0, 0, badTime},
        {"120060,070324", 0, 0, 0, 0, 0, 0, badTime},
        {"120000,321224", 0, 0, 0, 0, 0, 0, badDate},
        {"120000,011324", 0, 0, 0, 0, 0, 0, badDate},
        {"120000,000000", 0, 0, 0, 0, 0, 0, badDate},
        {"", 0, 0, 0, 0, 0, 0, badPacket},
        {"abc", 0, 0, 0, 0, 0, 0, badPacket},
        {"120000", 0, 0, 0, 0, 0, 0, badPacket},
        {"120000,", 0, 0, 0, 0, 0, 0, badPacket},
        {",070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"999999999999,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"1200,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"$1E240,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"143005,0x1234", 0, 0, 0, 0, 0, 0, badPacket},
        {" 143005,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"143005 ,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"-12000,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"+12000,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"12000a,070324", 0, 0, 0, 0, 0, 0, badPacket},
        {"120000,-70324", 0, 0, 0, 0, 0, 0, badPacket},
    };
    for (const TClockCase& c : cases) {
        Rig.Reply(Line("A05C," + c.Data));
        TDateTime time = -1, date = -1;
        if (!c.Raised.empty()) {
            const TExceptionClass& cls =
                c.Raised == badPacket ? EKestroBadPacket::ClassType : EConvertError::ClassType;
            EXPECT_TRUE(Raises([&] { Engine.GetDateTime(5, time, date); }, cls, c.Raised))
                << c.Data;
            continue;
        }
        ASSERT_NO_THROW(Engine.GetDateTime(5, time, date)) << c.Data;
        EXPECT_NEAR(time, (c.H * 3600 + c.N * 60 + c.S) / 86400.0, 1e-9) << c.Data;
        EXPECT_EQ(date, EncodeDate(c.Y, c.M, c.D)) << c.Data;
    }
    EXPECT_EQ(Meter.Written.front(), "#R05C*14\r");
}

TEST_F(OperationsTest, SetDateTimeSendsTheClockTextAndChecksTheEcho) {
    const TDateTime time = EncodeTime(14, 30, 5, 0);
    const TDateTime date = EncodeDate(2024, 3, 7);

    Rig.Reply(Line("A05C,143005,070324"));
    EXPECT_NO_THROW(Engine.SetDateTime(5, time, date));
    EXPECT_EQ(Meter.Written.back(), "#W05C,143005,070324*10\r");

    Rig.Reply(Line("A05C,143006,070324"));
    EXPECT_TRUE(Raises([&] { Engine.SetDateTime(5, time, date); }, EKestroDataDiff::ClassType,
                       "[Kestro #05] Different data in responce! Data not written."));

    Rig.Reply(Line("A05C,143005,070324 ")); // a blank inside the body is data
    EXPECT_THROW(Engine.SetDateTime(5, time, date), EKestroDataDiff);

    Rig.Reply(Line("A05C,235959,311299"));
    EXPECT_NO_THROW(Engine.SetDateTime(5, EncodeTime(23, 59, 59, 0), EncodeDate(1999, 12, 31)));
    EXPECT_EQ(Meter.Written.back().substr(0, 19), "#W05C,235959,311299");
}

TEST_F(OperationsTest, SetDateTimeRoundsToTheMillisecondBeforeDroppingIt) {
    // Just below 12:00:00 by less than half a millisecond: rounds up to the full second.
    const TDateTime time = EncodeTime(12, 0, 0, 0) - 0.0004 / 86400.0;
    Rig.Reply(Line("A05C,120000,010124"));
    EXPECT_NO_THROW(Engine.SetDateTime(5, time, EncodeDate(2024, 1, 1)));
    EXPECT_EQ(Meter.Written.back().substr(0, 19), "#W05C,120000,010124");
}

TEST_F(OperationsTest, EchoAndLinkModeFrames) {
    Rig.Reply(Line("A08E"));
    Engine.Echo(8);
    Rig.Reply(Line("A03E"));
    Engine.Echo(255);
    EXPECT_EQ(Engine.Response.Addr, 3);
    Rig.Reply(Line("A03k,01"));
    Engine.WriteCmd(255, 'k', "01");
    Rig.Reply(Line("A03k"));
    Engine.WriteCmd(255, 'k', "00");
    EXPECT_EQ(Meter.Written, (std::vector<std::string>{"#R08E*1F\r", "#R??E*17\r", "#W??k,01*11\r",
                                                       "#W??k,00*10\r"}));
}

} // namespace
