// What kestro prints for people and for scripts: the port and speed it used, offsets that hold
// the meter's truth however large, times that say their UTC offset, columns that line up, the
// plus-minus sign the terminal can show, help that stays readable, and one hint when nothing
// answered.
#include "KestroFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <regex>

namespace {

class KestroOutput : public KestroFixture, public ::testing::Test {};

TEST_F(KestroOutput, ResultsNameThePortAndTheSpeedUsed) {
    const TKestroOutcome table = Kestro({"echo", "--addr", "5"});
    ASSERT_EQ(table.Lines().size(), 2u) << table.Out;
    const std::string header = table.Lines()[0];
    EXPECT_NE(header.find("COM1"), std::string::npos) << header;
    EXPECT_NE(header.find(Meter.SlavePath()), std::string::npos) << header;
    EXPECT_NE(header.find("9600"), std::string::npos) << header;
    EXPECT_NE(Kestro({"echo", "--optohead"}).Lines().at(0).find("300"), std::string::npos);

    const auto mapped = JsonLines(Kestro({"echo", "--addr", "5,6", "--json", "--timeout", "50"}));
    ASSERT_EQ(mapped.size(), 2u);
    for (const auto& line : mapped) {
        EXPECT_EQ(line["port"], "COM1");
        EXPECT_EQ(line["device"], Meter.SlavePath());
        EXPECT_EQ(line["baud"], 9600);
    }
    // A device that no COM n leads to is named by its path, in the results and in the trace.
    const TKestroOutcome direct =
        Kestro({"echo", "--optohead", "--port", Meter.DevicePath(), "--json", "--trace", "-"});
    const auto lines = JsonLines(direct);
    ASSERT_EQ(lines.size(), 1u) << direct.Out;
    EXPECT_TRUE(lines[0]["port"].is_null());
    EXPECT_EQ(lines[0]["device"], Meter.DevicePath());
    EXPECT_EQ(lines[0]["baud"], 300);
    EXPECT_NE(direct.Err.find(" - " + Meter.DevicePath() + " "), std::string::npos) << direct.Err;
    EXPECT_EQ(direct.Err.find("COM0"), std::string::npos) << direct.Err;
}

// A read knows the meter's whole seconds only: what it prints must hold the meter's true
// offset, here more than a year, in text and in JSON.
TEST_F(KestroOutput, AReadsOffsetHoldsTheTruthInWholeSecondsHoweverLarge) {
    ASSERT_EQ(Kestro({"write", "--addr", "5", "--time", "12:00:00", "--date", "01.01.2025"}).Status,
              0);
    const TKestroOutcome table = Kestro({"read", "--addr", "5"});
    const double truth = Meter.ClockOffsetMs();
    ASSERT_EQ(table.Lines().size(), 2u) << table.Out;
    std::smatch shown;
    const std::string line = table.Lines()[1];
    ASSERT_TRUE(std::regex_search(
        line, shown,
        std::regex(R"(offset +([-+])(\d+) d (\d\d):(\d\d):(\d\d) (?:±|\+-) (\d+) s$)")))
        << line;
    const double seconds = std::stod(shown[2]) * 86400 + std::stod(shown[3]) * 3600 +
                           std::stod(shown[4]) * 60 + std::stod(shown[5]);
    const double offset = (shown[1] == "-" ? -seconds : seconds) * 1000;
    EXPECT_LE(std::fabs(offset - truth), std::stod(shown[6]) * 1000 + 1000)
        << line << " against " << truth << " ms, the meter having run on for up to a second";

    const auto json = JsonLines(Kestro({"read", "--addr", "5", "--json"}));
    ASSERT_EQ(json.size(), 1u);
    const double jsonTruth = Meter.ClockOffsetMs();
    // Milliseconds in JSON, with the range a read of whole seconds allows.
    const double uncertainty = json[0]["uncertainty_ms"];
    EXPECT_GE(uncertainty, 500);
    EXPECT_LE(uncertainty, 600);
    EXPECT_LE(std::fabs(json[0]["offset_ms"].get<double>() - jsonTruth), uncertainty + 1000);
}

TEST_F(KestroOutput, TimesInJsonCarryTheirUtcOffset) {
    struct TZone {
        const char* Tz;
        const char* Suffix;
        int OffsetMinutes;
    };
    for (const TZone zone : {TZone{"XYZ-3", "+03:00", 180}, TZone{"XYZ+5:30", "-05:30", -330},
                             TZone{"UTC0", "+00:00", 0}}) {
        const TScopedEnv tz("TZ", zone.Tz);
        const auto lines = JsonLines(Kestro({"read", "--addr", "5", "--json"}));
        ASSERT_EQ(lines.size(), 1u) << zone.Tz;
        const std::string pcTime = lines[0]["pc_time"];
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(
            pcTime, parts,
            std::regex(R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)\.\d{3}([-+]\d\d:\d\d))")))
            << pcTime;
        EXPECT_EQ(parts[7], zone.Suffix) << pcTime;
        EXPECT_EQ(std::string(lines[0]["meter_time"]).substr(19), zone.Suffix);
        // The local time minus its offset is now, in UTC.
        std::tm utc{};
        utc.tm_year = std::stoi(parts[1]) - 1900;
        utc.tm_mon = std::stoi(parts[2]) - 1;
        utc.tm_mday = std::stoi(parts[3]);
        utc.tm_hour = std::stoi(parts[4]);
        utc.tm_min = std::stoi(parts[5]);
        utc.tm_sec = std::stoi(parts[6]);
        const auto instant = static_cast<double>(::timegm(&utc)) - zone.OffsetMinutes * 60.0;
        EXPECT_NEAR(instant, static_cast<double>(std::time(nullptr)), 5) << pcTime;
    }
}

TEST_F(KestroOutput, ThePlusMinusSignIsOnlyUsedWhereTheLocaleIsUtf8) {
    for (const auto& [lang, all, sign] :
         {std::tuple{"C.UTF-8", "", "\u00b1"}, std::tuple{"de_DE.utf8", "", "\u00b1"},
          std::tuple{"C.UTF-8", "C", "+-"}, std::tuple{"", "", "+-"}}) {
        const TScopedEnv langEnv("LANG", *lang ? lang : nullptr);
        const TScopedEnv allEnv("LC_ALL", *all ? all : nullptr);
        const TScopedEnv ctypeEnv("LC_CTYPE", nullptr);
        const TKestroOutcome read = Kestro({"read", "--addr", "5"});
        ASSERT_EQ(read.Lines().size(), 2u) << read.Out;
        EXPECT_NE(read.Lines()[1].find(std::string(" ") + sign + " "), std::string::npos)
            << lang << "/" << all << ": " << read.Lines()[1];
    }
}

TEST_F(KestroOutput, ResultColumnsLineUpWhateverTheStatus) {
    const TKestroOutcome read = Kestro({"read", "--addr", "4,5,12", "--timeout", "50"});
    const auto lines = read.Lines();
    ASSERT_EQ(lines.size(), 4u) << read.Out;
    // Where each line's details begin: after the target and the status, both padded.
    std::vector<std::size_t> starts;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t status = lines[i].find_first_not_of(' ', lines[i].find(' '));
        starts.push_back(lines[i].find_first_not_of(' ', lines[i].find(' ', status)));
    }
    EXPECT_EQ(starts[0], starts[1]) << read.Out;
    EXPECT_EQ(starts[1], starts[2]) << read.Out;
    EXPECT_EQ(lines[2].find("offset"), lines[3].find("offset")) << read.Out;
}

TEST_F(KestroOutput, HelpKeepsEveryOptionApartFromItsDescription) {
    // "  --name VALUE", then at least two spaces and the description, or the line ends there.
    const std::regex optionLine(R"(  (-\S+)( [A-Z][A-Z:.,<>-]*)?(  +\S.*)?)");
    for (const char* command : {"ports", "echo", "read", "offset", "write", "sync", "scan"}) {
        const TKestroOutcome help = Kestro({command, "--help"});
        EXPECT_EQ(help.Status, 0) << command;
        for (const std::string& line : help.Lines()) {
            if (line.rfind("  -", 0) == 0) {
                EXPECT_TRUE(std::regex_match(line, optionLine)) << command << ": " << line;
            }
        }
    }
    const TKestroOutcome bare = Kestro({});
    EXPECT_EQ(bare.Status, 2);
    EXPECT_NE(bare.Err.find("Usage: kestro"), std::string::npos) << bare.Err;
    const TKestroOutcome typo = Kestro({"reed", "--addr", "5"});
    EXPECT_EQ(typo.Status, 2);
    EXPECT_EQ(typo.Err.rfind("kestro: unknown command 'reed'\n", 0), 0u) << typo.Err;
}

TEST_F(KestroOutput, OneHintWhenNoMeterAnsweredAtAll) {
    const std::string hint = "check the port, the speed and the address";
    const TKestroOutcome silent = Kestro({"echo", "--addr", "3,4", "--timeout", "50"});
    EXPECT_EQ(silent.Status, 1);
    const std::size_t at = silent.Err.find(hint);
    EXPECT_NE(at, std::string::npos) << silent.Err;
    EXPECT_EQ(silent.Err.find(hint, at + 1), std::string::npos) << silent.Err;
    EXPECT_NE(Kestro({"scan", "--from", "1", "--to", "3", "--timeout", "50"}).Err.find(hint),
              std::string::npos);

    for (const auto& args :
         {std::vector<std::string>{"echo", "--addr", "4,5", "--timeout", "50"},
          std::vector<std::string>{"scan", "--from", "4", "--to", "6", "--timeout", "50"}})
        EXPECT_EQ(Kestro(args).Err.find(hint), std::string::npos) << args[0];
}

} // namespace
