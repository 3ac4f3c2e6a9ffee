// The frame trace of the real channel and engine against the virtual meter: one line per frame
// in both directions, timeouts and failures as lines of their own, and time fields that agree
// with each other and with the clocks.
#include "tests/support/TempFolder.h"
#include "tests/unit/kestro/EnglishTexts.h"

#include "VirtualMeter.h"
#include "comm/FrameTrace.h"
#include "comm/PortNames.h"
#include "comm/uCommKestro.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <vector>

namespace {

struct TTraceLine {
    std::chrono::sys_time<std::chrono::milliseconds> Wall;
    long long SinceOpen; // -1 for "-"
    std::string Port, Device, Speed, Event;
    long long After; // -1 when the line has none
    std::string Text;
};

std::vector<TTraceLine> ReadTrace(const std::filesystem::path& file) {
    static const std::regex form(R"(^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)\.(\d{3})Z )"
                                 R"((?:(\d+)ms|-) (COM\d+) (\S+) (\d+) ([A-Z]+) *)"
                                 R"((?:after=(\d+)ms)? ?(.*)$)");
    std::vector<TTraceLine> lines;
    std::ifstream in(file);
    std::string text;
    while (std::getline(in, text)) {
        std::smatch m;
        if (!std::regex_match(text, m, form)) {
            ADD_FAILURE() << "malformed trace line: " << text;
            continue;
        }
        auto number = [&](int i) {
            return std::stoll(m[i].str());
        };
        using namespace std::chrono;
        const year_month_day day{year{static_cast<int>(number(1))},
                                 month{static_cast<unsigned>(number(2))},
                                 std::chrono::day{static_cast<unsigned>(number(3))}};
        const auto wall = sys_days{day} + hours{number(4)} + minutes{number(5)} +
                          seconds{number(6)} + milliseconds{number(7)};
        lines.push_back({wall, m[8].matched ? number(8) : -1, m[9], m[10], m[11], m[12],
                         m[13].matched ? number(13) : -1, m[14]});
    }
    return lines;
}

} // namespace

TEST(FrameTraceOnVirtualMeter, FramesTimeoutsAndFailuresWithConsistentTimes) {
    kestro_test::TEnglishTexts english;
    TTempFolder folder;
    const auto file = folder.Path() / "trace.log";
    vmeter::TVirtualMeter meter(vmeter::TOptions{{5}, -1, false, 0, "", {}});
    TCommDispatcher channel;
    channel.SetDevice(meter.SlavePath());
    TCommKestro engine(channel);
    engine.Retries = 1;
    engine.Timeout = 1000;
    std::string traceFailure;
    channel.SetTrace(
        OpenFrameTrace(file.string(), [&](const std::string& reason) { traceFailure = reason; }));
    const auto started = std::chrono::system_clock::now();
    channel.Open();

    engine.Echo(5);
    meter.SetFault(vmeter::TFault::NoiseBeforeHash, 1);
    engine.Echo(5);
    meter.SetFault(vmeter::TFault::NoCR, 1);
    engine.Timeout = 150;
    EXPECT_THROW(engine.Echo(5), EKestroTimeout);
    engine.Timeout = 1000;
    meter.SetFault(vmeter::TFault::ErrorP, 1);
    EXPECT_THROW(engine.Echo(5), EKsRdWriteProtect);
    meter.SetFault(vmeter::TFault::DropLine, 1);
    EXPECT_THROW(engine.Echo(5), EReadPort);
    const auto finished = std::chrono::system_clock::now();

    EXPECT_EQ(traceFailure, "");
    const std::vector<TTraceLine> lines = ReadTrace(file);
    std::vector<std::string> events;
    for (const TTraceLine& line : lines)
        events.push_back(line.Event);
    ASSERT_EQ(events,
              (std::vector<std::string>{"OPEN", "TX", "RX", "TX", "RX", "TX", "RX", "TIMEOUT", "TX",
                                        "RX", "ERROR", "TX", "ERROR", "CLOSE"}));
    const std::string echo = "#R05E*12\\r";
    for (std::size_t i : {1u, 3u, 5u, 8u, 11u})
        EXPECT_EQ(lines[i].Text, echo) << i;
    EXPECT_EQ(lines[2].Text.rfind("#A05E", 0), 0u) << lines[2].Text;
    EXPECT_EQ(lines[4].Text.rfind("\\x00\\xFFxyz#A05E", 0), 0u) << lines[4].Text;
    EXPECT_EQ(lines[6].Text.find("\\r"), std::string::npos); // the reply that never ended
    EXPECT_EQ(lines[7].Text, "[Kestro #05] Timeout");
    EXPECT_EQ(lines[10].Text, "Kestro #05 return: Device is not enabled for config!");
    EXPECT_EQ(lines[12].Text.rfind(
                  "COM1 read error! cause: " + meter.SlavePath() + ": the device is gone (", 0),
              0u)
        << lines[12].Text;
    for (std::size_t i : {2u, 4u, 9u})
        EXPECT_EQ(lines[i].Text.substr(lines[i].Text.size() - 2), "\\r") << i;

    const auto tolerance = std::chrono::milliseconds(5);
    EXPECT_GE(lines.front().Wall + tolerance, started);
    EXPECT_LE(lines.back().Wall, finished + tolerance);
    EXPECT_EQ(lines.front().SinceOpen, 0);
    std::size_t request = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TTraceLine& line = lines[i];
        EXPECT_EQ(line.Port, "COM1");
        EXPECT_EQ(line.Device, meter.SlavePath());
        EXPECT_EQ(line.Speed, "9600");
        if (i > 0) {
            EXPECT_GE(line.SinceOpen, lines[i - 1].SinceOpen) << i;
            EXPECT_GE(line.Wall, lines[i - 1].Wall) << i;
        }
        if (line.Event == "TX") {
            request = i;
            EXPECT_EQ(line.After, -1) << i;
        } else if (line.Event != "OPEN" && line.Event != "CLOSE") {
            // Both clocks agree with the time since the request, within rounding.
            const long long sinceRequest = line.SinceOpen - lines[request].SinceOpen;
            EXPECT_LE(std::llabs(line.After - sinceRequest), 1) << i;
            const long long wallSinceRequest = (line.Wall - lines[request].Wall).count();
            EXPECT_LE(std::llabs(line.After - wallSinceRequest), 2) << i;
        }
    }
    EXPECT_GE(lines[7].After, 150);
}
