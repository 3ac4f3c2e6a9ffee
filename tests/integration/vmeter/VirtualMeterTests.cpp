// The meters on a pseudo-terminal, driven from the program's end of the line with
// hand-written frames. Expected replies are spelled out byte by byte.
#include "TestLine.h"
#include "VirtualMeter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <regex>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace std::string_view_literals;
using vmeter::TFault;
using vmeter::TOptions;
using vmeter::TVirtualMeter;

namespace {

constexpr auto Quiet = 100ms; // long enough for any unpaced reply to have come

TOptions BusAndOpto() {
    TOptions options;
    options.BusMeters = {5, 8};
    options.OptoMeter = 7;
    return options;
}

struct TExchange {
    const char* Name;
    std::string_view Request;
    std::string_view Reply; // empty: the meters stay silent
};

// Lets test names and failure messages show the case by its name instead of its raw bytes.
void PrintTo(const TExchange& exchange, std::ostream* os) {
    *os << exchange.Name;
}

class VirtualMeterExchange : public testing::TestWithParam<TExchange> {};

// Echo to 5:  R05E -> 52^30^35^45 = 12;  A05E -> 41^30^35^45 = 01.
// Echo to 8:  R08E -> 1F;  A08E -> 0C.
// Bad request checksum: E05S -> 45^30^35^53 = 13.  Unknown object X: R05X -> 0F, E05C -> 03.
// Link mode to "??": W??k,01 -> 11, A07k,01 -> 00; W??k,00 -> 10, A07k,00 -> 01.
// Clock write: W05C,143005,070324 -> 10, A05C,143005,070324 -> 06.
const TExchange Exchanges9600[] = {
    {"EchoBusMeter", "#R05E*12\r", "#A05E*01\r"},
    {"EchoSecondBusMeter", "#R08E*1F\r", "#A08E*0C\r"},
    {"BadRequestChecksum", "#R05E*13\r", "#E05S*13\r"},
    {"LowerCaseChecksumDigits", "#R08E*1f\r", "#E08S*1E\r"},
    {"ChecksumMissing", "#R05E\r", "#E05S*13\r"},
    {"UnknownObject", "#R05X*0F\r", "#E05C*03\r"},
    {"EchoAsWrite", "#W05E*17\r", "#E05C*03\r"},
    {"ClockWriteEchoed", "#W05C,143005,070324*10\r", "#A05C,143005,070324*06\r"},
    // W05C,240000,070324: the hour 24 does not exist.  E05D -> 04.
    {"ClockWriteBadHour", "#W05C,240000,070324*15\r", "#E05D*04\r"},
    // W05C,120000,290223: 29 February 2023 does not exist.
    {"ClockWriteBadDate", "#W05C,120000,290223*1A\r", "#E05D*04\r"},
    {"ClockWriteNoData", "#W05C*11\r", "#E05D*04\r"},
    // W05k,02 -> 57^30^35^6B^2C^30^32 = 17.
    {"LinkModeBadData", "#W05k,02*17\r", "#E05D*04\r"},
    {"UnknownAddress", "#R06E*11\r", ""},
    {"AllMetersNotAt9600", "#R??E*17\r", ""},
    {"OptoMeterOwnAddressNotAt9600", "#R07E*10\r", ""},
    {"ReplyFramesIgnored", "#A05E*01\r", ""},
    {"NoiseAndRestartBeforeRequest", "\x00zz#R0#R05E*12\r"sv, "#A05E*01\r"},
    {"TooShortToName", "#R0*62\r", ""},
};

TEST_P(VirtualMeterExchange, At9600) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath(), B9600);
    line.Write(GetParam().Request);
    const std::string expected(GetParam().Reply);
    EXPECT_EQ(line.ReadLine(expected.empty() ? Quiet : 1000ms), expected);
}

INSTANTIATE_TEST_SUITE_P(Requests, VirtualMeterExchange, testing::ValuesIn(Exchanges9600),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(VirtualMeter, OptoMeterAnswersAllMetersOnlyAt300Baud) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath(), B300);
    line.Write("#R??E*17\r");
    EXPECT_EQ(line.ReadLine(), "#A07E*03\r");
    line.Write("#R07E*10\r");
    EXPECT_EQ(line.ReadLine(), "#A07E*03\r");
    // Bus meters hear at any speed.
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadLine(), "#A05E*01\r");

    line.SetSpeed(B9600);
    line.Write("#R??E*17\r");
    EXPECT_EQ(line.ReadLine(Quiet), "");

    const auto log = meter.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].Frame, "#R??E*17\r");
    EXPECT_EQ(log[0].BaudRate, 300);
    EXPECT_TRUE(log[0].Answered);
    EXPECT_EQ(log[3].BaudRate, 9600);
    EXPECT_FALSE(log[3].Answered);
}

TEST(VirtualMeter, LinkModeFollowsTheOptoMeterCommands) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath(), B300);
    EXPECT_FALSE(meter.LinkMode());
    line.Write("#W??k,01*11\r");
    EXPECT_EQ(line.ReadLine(), "#A07k,01*00\r");
    EXPECT_TRUE(meter.LinkMode());
    line.Write("#W??k,00*10\r");
    EXPECT_EQ(line.ReadLine(), "#A07k,00*01\r");
    EXPECT_FALSE(meter.LinkMode());
}

TEST(VirtualMeter, ClockReadGivesTimeAndDateWithValidChecksum) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    line.Write("#R05C*14\r");
    const std::string reply = line.ReadLine();
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(reply, match, std::regex("#(A05C,(\\d{6}),(\\d{6}))\\*([0-9A-F]{2})\r")))
        << reply;
    EXPECT_EQ(std::stoi(match[4].str(), nullptr, 16), XorOf(match[1].str()));
    EXPECT_LT(std::stoi(match[2].str().substr(0, 2)), 24);
}

TEST(VirtualMeter, ClockWriteMovesTheClockItReads) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    EXPECT_EQ(meter.ClockOffsetSeconds(), 0);
    line.Write("#W05C,143005,070324*10\r");
    ASSERT_EQ(line.ReadLine(), "#A05C,143005,070324*06\r");
    EXPECT_NE(meter.ClockOffsetSeconds(), 0);

    line.Write("#R05C*14\r");
    const std::string reply = line.ReadLine();
    // Read within a few seconds of the write: 14:30:05 to 14:30:09 on 7 March 2024.
    EXPECT_TRUE(std::regex_match(reply, std::regex("#A05C,14300[5-9],070324\\*[0-9A-F]{2}\r")))
        << reply;
}

TEST(VirtualMeter, FaultsChangeTheNextReplies) {
    struct TCase {
        TFault Fault;
        std::string Reply;
    };
    // A05E with address 06: 02; with object C: 07; checksum 01 ^ 1 = 00.
    const TCase cases[] = {
        {TFault::ErrorS, "#E05S*13\r"},
        {TFault::ErrorC, "#E05C*03\r"},
        {TFault::ErrorD, "#E05D*04\r"},
        {TFault::ErrorP, "#E05P*10\r"},
        {TFault::ErrorUnknown, "#E05X*18\r"},
        {TFault::BadChecksum, "#A05E*00\r"},
        {TFault::WrongAddress, "#A06E*02\r"},
        {TFault::WrongObject, "#A05C*07\r"},
        {TFault::NoiseBeforeHash, std::string("\x00\xFFxyz#A05E*01\r", 14)},
    };
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    for (const auto& c : cases) {
        SCOPED_TRACE(vmeter::FaultName(c.Fault));
        meter.SetFault(c.Fault, 1);
        line.Write("#R05E*12\r");
        EXPECT_EQ(line.ReadLine(), c.Reply);
        line.Write("#R05E*12\r");
        EXPECT_EQ(line.ReadLine(), "#A05E*01\r") << "the fault outlived its count";
    }
}

TEST(VirtualMeter, ReplyWithoutCR) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    meter.SetFault(TFault::NoCR);
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadFor(Quiet), "#A05E*01");
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadFor(Quiet), "#A05E*01") << "a fault without count stays";
}

TEST(VirtualMeter, SilenceIsLoggedAsUnanswered) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    meter.SetFault(TFault::Silence, 1);
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadLine(Quiet), "");
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadLine(), "#A05E*01\r");
    const auto log = meter.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_FALSE(log[0].Answered);
    EXPECT_TRUE(log[1].Answered);
    EXPECT_EQ(log[1].BaudRate, 9600);
    meter.ClearLog();
    EXPECT_TRUE(meter.Log().empty());
}

TEST(VirtualMeter, ErrorFaultLeavesTheClockAlone) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    meter.SetFault(TFault::ErrorP, 1);
    line.Write("#W05C,143005,070324*10\r");
    EXPECT_EQ(line.ReadLine(), "#E05P*10\r");
    EXPECT_EQ(meter.ClockOffsetSeconds(), 0);
}

TEST(VirtualMeter, WriteDataDiffAffectsOnlyClockWrites) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    meter.SetFault(TFault::WriteDataDiff, 1);
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadLine(), "#A05E*01\r");
    line.Write("#W05C,143005,070324*10\r");
    EXPECT_EQ(line.ReadLine(), "#A05C,143006,070324*05\r");
    line.Write("#W05C,143005,070324*10\r");
    EXPECT_EQ(line.ReadLine(), "#A05C,143005,070324*06\r");
}

TEST(VirtualMeter, DropLineFaultCutsTheLine) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    meter.SetFault(TFault::DropLine, 1);
    line.Write("#R05E*12\r");
    EXPECT_TRUE(line.ReadsAsGone());
    const auto log = meter.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_FALSE(log[0].Answered);
    EXPECT_NE(::access(meter.DevicePath().c_str(), F_OK), 0) << "the device outlived the line";
}

TEST(VirtualMeter, DropLineNow) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    meter.DropLine();
    EXPECT_TRUE(line.ReadsAsGone());
    meter.DropLine(); // a second drop finds nothing left to close
}

TEST(VirtualMeter, AnswersAgainAfterTheProgramReopensThePort) {
    TVirtualMeter meter(BusAndOpto());
    {
        TTestLine first(meter.SlavePath());
        first.Write("#R05E*12\r");
        EXPECT_EQ(first.ReadLine(), "#A05E*01\r");
    }
    std::this_thread::sleep_for(50ms); // the meters see the line closed in between
    TTestLine second(meter.SlavePath(), B300);
    second.Write("#R??E*17\r");
    EXPECT_EQ(second.ReadLine(), "#A07E*03\r");
}

TEST(VirtualMeter, SeveralRequestsInOneWrite) {
    TVirtualMeter meter(BusAndOpto());
    TTestLine line(meter.SlavePath());
    line.Write("#R05E*12\r#R08E*1F\r");
    EXPECT_EQ(line.ReadLine(), "#A05E*01\r");
    EXPECT_EQ(line.ReadLine(), "#A08E*0C\r");
}

TEST(VirtualMeter, PacedReplyTakesItsLineTime) {
    TOptions options = BusAndOpto();
    options.Pace = true;
    TVirtualMeter meter(options);
    TTestLine line(meter.SlavePath(), B300);
    const auto start = std::chrono::steady_clock::now();
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadLine(2000ms), "#A05E*01\r");
    // 9 bytes of 10 bits at 300 baud: 300 ms on a real line.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
}

TEST(VirtualMeter, TurnaroundDelaysTheReply) {
    TOptions options = BusAndOpto();
    options.TurnaroundMs = 120;
    TVirtualMeter meter(options);
    TTestLine line(meter.SlavePath());
    const auto start = std::chrono::steady_clock::now();
    line.Write("#R05E*12\r");
    EXPECT_EQ(line.ReadLine(), "#A05E*01\r");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}

TEST(VirtualMeter, LinkPointsToTheDeviceAndGoesWithTheMeter) {
    TTempDir dir;
    const std::string link = (dir.Path() / "ttyKestro").string();
    std::filesystem::create_symlink("/nonexistent/old", link); // a leftover of an earlier run
    {
        TOptions options = BusAndOpto();
        options.LinkPath = link;
        TVirtualMeter meter(options);
        EXPECT_EQ(meter.SlavePath(), link);
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), meter.DevicePath());
        TTestLine line(link);
        line.Write("#R05E*12\r");
        EXPECT_EQ(line.ReadLine(), "#A05E*01\r");
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(VirtualMeter, RefusesSetupsItCannotHonour) {
    TTempDir dir;
    const std::string file = (dir.Path() / "precious").string();
    std::ofstream(file) << "keep me";
    TOptions blocked = BusAndOpto();
    blocked.LinkPath = file;
    EXPECT_THROW(TVirtualMeter{blocked}, vmeter::EVirtualMeter);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));

    TOptions badAddress;
    badAddress.BusMeters = {100};
    EXPECT_THROW(TVirtualMeter{badAddress}, vmeter::EVirtualMeter);
    TOptions badOpto;
    badOpto.OptoMeter = -2;
    EXPECT_THROW(TVirtualMeter{badOpto}, vmeter::EVirtualMeter);
}

} // namespace
