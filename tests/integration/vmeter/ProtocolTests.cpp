// The meters' own protocol pieces and the command line, without a pseudo-terminal.
#include "CommandLine.h"
#include "FrameReader.h"
#include "MeterClock.h"
#include "MeterProtocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

using vmeter::EVirtualMeter;
using namespace std::string_view_literals;

TEST(MeterProtocol, RequestParts) {
    const auto echo = vmeter::ParseRequest("#R05E*12\r");
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->Cmd, 'R');
    EXPECT_EQ(echo->Addr, "05");
    EXPECT_EQ(echo->Object, 'E');
    EXPECT_FALSE(echo->HasData);
    EXPECT_TRUE(echo->ChecksumOk);

    // Only the last "*" starts the checksum; commas after the first belong to the data.
    const auto write = vmeter::ParseRequest("#W05C,143005,070324*10\r");
    ASSERT_TRUE(write);
    EXPECT_EQ(write->Data, "143005,070324");
    EXPECT_TRUE(write->ChecksumOk);

    const auto junk = vmeter::ParseRequest("#R05E1234*16\r");
    ASSERT_TRUE(junk);
    EXPECT_FALSE(junk->WellFormed);

    EXPECT_FALSE(vmeter::ParseRequest("#R05*62\r"));
    EXPECT_FALSE(vmeter::ParseRequest("#R05E*123\r")->ChecksumOk);
    EXPECT_FALSE(vmeter::ParseRequest("#R05E*1\r")->ChecksumOk);
}

TEST(MeterProtocol, RequestAddresses) {
    EXPECT_EQ(vmeter::RequestAddress("00"), 0);
    EXPECT_EQ(vmeter::RequestAddress("99"), 99);
    EXPECT_EQ(vmeter::RequestAddress("??"), -1);
    EXPECT_FALSE(vmeter::RequestAddress(" 5"));
    EXPECT_FALSE(vmeter::RequestAddress("-1"));
    EXPECT_FALSE(vmeter::RequestAddress("?5"));
}

TEST(MeterProtocol, ClockDataRoundTripsOverTheCentury) {
    for (const char* text : {"000000,010100", "143005,070324", "120000,290224", "235959,311299"}) {
        const auto moment = vmeter::ParseClockData(text);
        ASSERT_TRUE(moment) << text;
        EXPECT_EQ(vmeter::FormatClockData(*moment), text);
    }
    // One second past the end of a year turns the date over.
    EXPECT_EQ(vmeter::FormatClockData(*vmeter::ParseClockData("235959,311224") + 1),
              "000000,010125");
}

TEST(MeterProtocol, ClockDataRejected) {
    for (const char* text :
         {"240000,070324", "126000,070324", "120060,070324", "120000,290223", "120000,000324",
          "120000,071324", "120000,320124", "12000,070324", "1200000,70324", "120000;070324",
          "12000a,070324", "120000,070324,", " 20000,070324", ""}) {
        EXPECT_FALSE(vmeter::ParseClockData(text)) << '"' << text << '"';
    }
}

TEST(FrameReader, CutsFramesAsTheMetersHearThem) {
    vmeter::TFrameReader reader;
    EXPECT_TRUE(reader.Feed("noise\r#R05").empty());
    const auto frames = reader.Feed("E*12\r\x00#R0#R08E*1F\rtail"sv);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], "#R05E*12\r");
    EXPECT_EQ(frames[1], "#R08E*1F\r");
    EXPECT_TRUE(reader.Feed("\r").empty()) << "a CR outside a frame is no frame";
}

TEST(FrameReader, DropsRunawayFrames) {
    vmeter::TFrameReader reader;
    EXPECT_TRUE(reader.Feed("#" + std::string(vmeter::TFrameReader::MaxFrameLength, 'x')).empty());
    EXPECT_TRUE(reader.Feed("\r").empty());
    EXPECT_EQ(reader.Feed("#R05E*12\r").size(), 1u);
}

TEST(CommandLine, Options) {
    const auto defaults = vmeter::ParseCommandLine({"--link", "/tmp/x"});
    EXPECT_EQ(defaults.Options.LinkPath, "/tmp/x");
    EXPECT_EQ(defaults.Options.OptoMeter, 7);
    EXPECT_EQ(defaults.Options.BusMeters, std::vector<int>{5});
    EXPECT_FALSE(defaults.Options.Pace);

    const auto full =
        vmeter::ParseCommandLine({"--meter", "3", "--meter", "40", "--pace", "--turnaround", "15",
                                  "--fault", "no-cr", "--log", "/tmp/l", "--link", "/tmp/y"});
    EXPECT_EQ(full.Options.BusMeters, (std::vector<int>{3, 40}));
    EXPECT_EQ(full.Options.OptoMeter, -1);
    EXPECT_TRUE(full.Options.Pace);
    EXPECT_EQ(full.Options.TurnaroundMs, 15);
    EXPECT_EQ(full.Fault, vmeter::TFault::NoCR);
    EXPECT_EQ(full.LogFile, "/tmp/l");

    const auto opto = vmeter::ParseCommandLine({"--optohead", "12", "--link", "p"});
    EXPECT_EQ(opto.Options.OptoMeter, 12);
    EXPECT_TRUE(opto.Options.BusMeters.empty());

    EXPECT_TRUE(vmeter::ParseCommandLine({"--help"}).Help);

    const auto clock = vmeter::ParseCommandLine(
        {"--link", "p", "--turnaround", "2", "--turnaround-max", "20", "--clock-offset", "-1500.25",
         "--drift", "12.5", "--takeover", "keep", "--early", "10", "--latency-timer", "16",
         "--jitter", "20"});
    EXPECT_EQ(clock.Options.TurnaroundMaxMs, 20);
    EXPECT_EQ(clock.Options.Clock.OffsetMs, -1500.25);
    EXPECT_EQ(clock.Options.Clock.DriftPpm, 12.5);
    EXPECT_EQ(clock.Options.Clock.TakeOver, vmeter::TTakeOver::KeepFraction);
    EXPECT_EQ(clock.Options.Delivery.EarlyBits, 10);
    EXPECT_EQ(clock.Options.Delivery.LatencyTimerMs, 16);
    EXPECT_EQ(clock.Options.Delivery.JitterMs, 20);
    EXPECT_EQ(defaults.Options.Clock.TakeOver, vmeter::TTakeOver::Restart);
}

TEST(CommandLine, Rejected) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--meter", "5"},
        {"--link"},
        {"--link", ""},
        {"--link", "p", "--meter", "100"},
        {"--link", "p", "--meter", "-1"},
        {"--link", "p", "--meter", "5x"},
        {"--link", "p", "--optohead", ""},
        {"--link", "p", "--turnaround", "-5"},
        {"--link", "p", "--fault", "loud"},
        {"--link", "p", "--clock-offset", "1s"},
        {"--link", "p", "--drift", "nan"},
        {"--link", "p", "--takeover", "slow"},
        {"--link", "p", "--early", "11"},
        {"--link", "p", "--latency-timer", "-1"},
        {"--link", "p", "--jitter", "5ms"},
        {"--link", "p", "--verbose"},
    };
    for (const auto& args : bad)
        EXPECT_THROW(vmeter::ParseCommandLine(args), EVirtualMeter) << testing::PrintToString(args);
}

// The meters' clock, which the tests and the benchmark take as the truth.
TEST(MeterClock, RunsWithItsFractionDriftsAndTakesOverAWrittenTimeBothWays) {
    using namespace std::chrono_literals;
    const auto at = std::chrono::steady_clock::now();
    vmeter::TMeterClock restart({1234.5, 0, vmeter::TTakeOver::Restart});
    EXPECT_NEAR(restart.OffsetMs(at), 1234.5, 1e-6);
    EXPECT_NEAR(restart.OffsetMs(at + 10s), 1234.5, 1e-6);
    const std::int64_t shown = restart.Read(at);
    EXPECT_EQ(restart.Read(at + 1s), shown + 1);

    vmeter::TMeterClock keep({1234.5, 0, vmeter::TTakeOver::KeepFraction});
    restart.Write(shown + 7, at);
    keep.Write(shown + 7, at);
    EXPECT_EQ(restart.Read(at), shown + 7);
    EXPECT_EQ(keep.Read(at), shown + 7);
    // Restarted: the meter is at shown + 7 s exactly; kept: that plus the fraction it had.
    const double pcMs = static_cast<double>(shown + 7) * 1000 - restart.OffsetMs(at);
    const double fraction = std::fmod(pcMs + 1234.5, 1000);
    EXPECT_NEAR(keep.OffsetMs(at) - restart.OffsetMs(at), fraction, 0.1);

    vmeter::TMeterClock fast({0, 100, vmeter::TTakeOver::Restart});
    EXPECT_NEAR(fast.OffsetMs(at + 10s) - fast.OffsetMs(at), 1.0, 1e-3); // 100 ppm of 10 s
    vmeter::TMeterClock stopped({0, -1e6, vmeter::TTakeOver::Restart});
    EXPECT_EQ(stopped.Read(at + 5s), stopped.Read(at));
}

TEST(CommandLine, FaultNamesRoundTrip) {
    for (const char* name : {"none", "silence", "error-s", "error-c", "error-d", "error-p",
                             "error-unknown", "bad-checksum", "wrong-address", "wrong-object",
                             "noise", "no-cr", "write-data-diff", "drop-line"}) {
        const auto fault = vmeter::ParseFault(name);
        ASSERT_TRUE(fault) << name;
        EXPECT_EQ(vmeter::FaultName(*fault), name);
    }
}

TEST(CommandLine, JsonLogLineEscapesEveryByte) {
    EXPECT_EQ(vmeter::JsonLogLine({"#R05E*12\r", 9600, true}),
              R"({"frame":"#R05E*12\r","baud":9600,"answered":true})");
    EXPECT_EQ(vmeter::JsonLogLine({std::string("#\"\\\x01\xFF\n\r", 7), 300, false}),
              R"({"frame":"#\"\\\u0001\u00ff\n\r","baud":300,"answered":false})");
}

} // namespace
