#include "runtime/DateTime.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double MSec = 1.0 / 86'400'000;

TEST(EncodeDateTest, CountsDaysFromThe30thOfDecember1899) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
    EXPECT_EQ(EncodeDate(2024, 3, 7), 45358);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
}

TEST(EncodeDateTest, KnowsGregorianLeapYears) {
    EXPECT_EQ(EncodeDate(2024, 3, 1) - EncodeDate(2024, 2, 29), 1);
    EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 29), 1);
    TDateTime ignored = 0;
    EXPECT_FALSE(TryEncodeDate(2100, 2, 29, ignored));
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, ignored));
    EXPECT_TRUE(TryEncodeDate(2100, 2, 28, ignored));
}

TEST(EncodeDateTest, InvalidDatesRaiseConvertError) {
    const int invalid[][3] = {{0, 1, 1},    {10000, 1, 1}, {2024, 0, 1},  {2024, 13, 1},
                              {2024, 1, 0}, {2024, 4, 31}, {2023, 2, 29}, {2024, -1, 5}};
    for (const auto& d : invalid) {
        try {
            EncodeDate(d[0], d[1], d[2]);
            ADD_FAILURE() << d[0] << "-" << d[1] << "-" << d[2] << " was accepted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Invalid argument to date encode");
        }
    }
}

TEST(EncodeTimeTest, GivesTheFractionOfADay) {
    EXPECT_EQ(EncodeTime(0, 0, 0, 0), 0);
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_NEAR(EncodeTime(23, 59, 59, 999), 1 - MSec, MSec / 10);
}

TEST(EncodeTimeTest, InvalidTimesRaiseConvertError) {
    const int invalid[][4] = {{24, 0, 0, 0},   {0, 60, 0, 0}, {0, 0, 60, 0},
                              {0, 0, 0, 1000}, {-1, 0, 0, 0}, {0, 0, 0, -1}};
    for (const auto& t : invalid) {
        EXPECT_THROW(
            {
                try {
                    EncodeTime(t[0], t[1], t[2], t[3]);
                } catch (const EConvertError& e) {
                    EXPECT_EQ(e.Message(), "Invalid argument to time encode");
                    throw;
                }
            },
            EConvertError);
    }
}

TEST(DecodeTest, RoundTripsEveryDayOfSeveralYears) {
    for (int year : {1, 1899, 1900, 2000, 2024, 2100, 9999}) {
        for (TDateTime day = EncodeDate(year, 1, 1); day <= EncodeDate(year, 12, 31); ++day) {
            // Before day zero the time of day counts away from zero.
            const TDateParts d = DecodeDate(day < 0 ? day - 0.5 : day + 0.5);
            ASSERT_EQ(EncodeDate(d.Year, d.Month, d.Day), day);
        }
    }
}

TEST(DecodeTest, RoundsToTheNearestMillisecondConsistently) {
    const TDateTime lastMoment = EncodeDate(2023, 12, 31) + 1 - MSec * 0.4;
    const TDateParts date = DecodeDate(lastMoment);
    const TTimeParts time = DecodeTime(lastMoment);
    EXPECT_EQ(date.Year, 2024);
    EXPECT_EQ(date.Month, 1);
    EXPECT_EQ(date.Day, 1);
    EXPECT_EQ(time.Hour, 0);
    EXPECT_EQ(time.Minute, 0);
    EXPECT_EQ(time.Second, 0);
    EXPECT_EQ(time.MSec, 0);

    const TTimeParts justBefore = DecodeTime(EncodeTime(14, 30, 5, 999) + MSec * 0.4);
    EXPECT_EQ(justBefore.Second, 5);
    EXPECT_EQ(justBefore.MSec, 999);
}

TEST(DecodeTest, ValuesBeforeDayZeroCountTheTimeAwayFromZero) {
    const TDateParts date = DecodeDate(-1.25);
    EXPECT_EQ(date.Year, 1899);
    EXPECT_EQ(date.Month, 12);
    EXPECT_EQ(date.Day, 29);
    EXPECT_EQ(DecodeTime(-1.25).Hour, 6);
    EXPECT_EQ(DecodeDate(-0.25).Day, 30);
    EXPECT_EQ(DecodeTime(-0.25).Hour, 6);
}

TEST(DecodeTest, NonFiniteOrHugeValuesRaiseInsteadOfMisbehaving) {
    for (double value : {double(NAN), double(INFINITY), -double(INFINITY), 1e300, -1e18})
        EXPECT_THROW(DecodeDate(value), EConvertError) << value;
}

TEST(DateOfTimeOfTest, SplitAfterRounding) {
    const TDateTime value = EncodeDate(2024, 3, 7) + EncodeTime(14, 30, 5, 0);
    EXPECT_EQ(DateOf(value), EncodeDate(2024, 3, 7));
    EXPECT_NEAR(TimeOf(value), EncodeTime(14, 30, 5, 0), MSec / 10);
    EXPECT_EQ(DateOf(0.99999999999), 1);
    EXPECT_EQ(TimeOf(0.99999999999), 0);
    EXPECT_EQ(DateOf(-1.25), -1);
    EXPECT_EQ(TimeOf(-1.25), -0.25);
}

TEST(FormatDateTimeTest, ProducesTheClockText) {
    const TDateTime date = EncodeDate(2024, 3, 7);
    EXPECT_EQ(FormatDateTime("hhnnss,ddmmyy", date + EncodeTime(14, 30, 5, 0)), "143005,070324");
    EXPECT_EQ(
        FormatDateTime("hhnnss,ddmmyy", date + EncodeTime(14, 30, 5, 0) + 0.9996 * 1000 * MSec),
        "143006,070324");
    EXPECT_EQ(
        FormatDateTime("hhnnss,ddmmyy", date + EncodeTime(14, 30, 5, 0) + 0.9994 * 1000 * MSec),
        "143005,070324");
    EXPECT_EQ(FormatDateTime("hhnnss,ddmmyy", EncodeDate(1999, 12, 31)), "000000,311299");
    EXPECT_EQ(FormatDateTime("hhnnss,ddmmyy", EncodeDate(2099, 12, 31) + EncodeTime(23, 59, 59, 0)),
              "235959,311299");
}

TEST(FormatDateTimeTest, ExpandsEveryTokenAndCopiesTheRest) {
    const TDateTime value = EncodeDate(5, 1, 2) - EncodeTime(3, 4, 5, 6); // before day zero
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", value), "0005-01-02 03:04:05.006");
    EXPECT_EQ(FormatDateTime("dd.MM.yyyy", EncodeDate(2000, 1, 1)), "01.01.2000");
    EXPECT_EQ(FormatDateTime("y/m/q yy", EncodeDate(2000, 1, 1)), "y/m/q 00");
    EXPECT_EQ(FormatDateTime("", value), "");
}

TEST(NowTest, LiesInThePresentEra) {
    const TDateTime now = Now();
    EXPECT_GT(now, EncodeDate(2020, 1, 1));
    EXPECT_LT(now, EncodeDate(2200, 1, 1));
}

} // namespace
