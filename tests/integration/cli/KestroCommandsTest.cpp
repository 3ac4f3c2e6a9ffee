// kestro against the virtual meter: every command in its readable and its JSON form, as a
// script sees them (standard output, exit status) and as the meters heard them.
#include "KestroFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>

namespace {

class KestroCommands : public KestroFixture, public ::testing::Test {};

TEST_F(KestroCommands, EchoGivesOneResultPerAddressAndStatusOneWhenOneIsAbsent) {
    const TKestroOutcome table = Kestro({"echo", "--addr", "4-5,12"});
    EXPECT_EQ(table.Status, 1) << table.Err;
    EXPECT_EQ(Results(table),
              (std::vector<std::string>{"04  FAILED  [Kestro #04] Timeout",
                                        "05  OK      Echo from meter #05 returned",
                                        "12  OK      Echo from meter #12 returned"}));

    const TKestroOutcome json = Kestro({"echo", "--addr", "4,5", "--json"});
    EXPECT_EQ(json.Status, 1);
    const auto lines = JsonLines(json);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["address"], 4);
    EXPECT_EQ(lines[0]["success"], false);
    EXPECT_EQ(lines[0]["error"], "[Kestro #04] Timeout");
    EXPECT_TRUE(lines[0]["answered"].is_null());
    EXPECT_EQ(lines[1]["command"], "echo");
    EXPECT_EQ(lines[1]["success"], true);
    EXPECT_TRUE(lines[1]["error"].is_null());
    EXPECT_EQ(lines[1]["answered"], 5);
    EXPECT_EQ(lines[1]["optohead"], false);

    const TKestroOutcome good = Kestro({"echo", "--addr", "5,40"});
    EXPECT_EQ(good.Status, 0) << good.Out << good.Err;
}

TEST_F(KestroCommands, WriteSetsTheClockAndReadShowsItWithItsOffset) {
    const TKestroOutcome write =
        Kestro({"write", "--addr", "5", "--time", "12:00:00", "--date", "01.02.2025"});
    EXPECT_EQ(write.Status, 0) << write.Err;
    EXPECT_EQ(Results(write), std::vector<std::string>{"05  OK      set to 01.02.2025 12:00:00"});
    EXPECT_EQ(Meter.Log().back().Frame, "#W05C,120000,010225*16\r");

    const TKestroOutcome read = Kestro({"read", "--addr", "5", "--json"});
    EXPECT_EQ(read.Status, 0) << read.Err;
    const auto lines = JsonLines(read);
    ASSERT_EQ(lines.size(), 1u);
    const std::string meterTime = lines[0]["meter_time"];
    EXPECT_TRUE(std::regex_match(meterTime, std::regex(R"(2025-02-01T12:00:0[0-3][-+]\d\d:\d\d)")))
        << meterTime;
    EXPECT_TRUE(
        std::regex_match(std::string(lines[0]["pc_time"]),
                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[-+]\d\d:\d\d)")));
    // The meter runs about as far behind the PC as it was set: seconds, not the date's digits.
    const double offset = lines[0]["offset_ms"];
    EXPECT_NEAR(offset, Meter.ClockOffsetSeconds() * 1000.0, 2000.0);
    EXPECT_GE(lines[0]["elapsed_ms"], 0);

    const TKestroOutcome table = Kestro({"read", "--addr", "5"});
    ASSERT_EQ(Results(table).size(), 1u);
    EXPECT_TRUE(std::regex_match(
        Results(table)[0],
        std::regex(
            R"(05  OK      01\.02\.2025 12:00:0\d  PC \S+ \S+  offset -\d+ d [\d:]{8} \S+ 1 s)")))
        << table.Out;
}

TEST_F(KestroCommands, SyncPutsThePcTimeIntoEveryMeter) {
    ASSERT_EQ(Kestro({"write", "--addr", "5", "--time", "08:00:00", "--date", "01.01.2020"}).Status,
              0);
    ASSERT_GT(std::llabs(Meter.ClockOffsetSeconds()), 1000);
    // --force: whether this machine's own clock is synchronised is not this test's business.
    const TKestroOutcome sync = Kestro({"sync", "--addr", "5,12", "--json", "--force"});
    EXPECT_EQ(sync.Status, 0) << sync.Err;
    const auto lines = JsonLines(sync);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]["address"], 12);
    EXPECT_FALSE(lines[1]["meter_time"].is_null());
    EXPECT_LE(std::llabs(Meter.ClockOffsetSeconds()), 1);
}

TEST_F(KestroCommands, OpticalHeadRunsLinkModeAt300BaudAndEndsIt) {
    const TKestroOutcome table = Kestro({"echo", "--optohead"});
    EXPECT_EQ(table.Status, 0) << table.Err;
    EXPECT_EQ(Results(table),
              std::vector<std::string>{"optohead  OK      Echo from meter #07 returned"});
    EXPECT_EQ(Frames(), (std::vector<std::string>{"#W??k,01*11\r@300", "#R??E*17\r@300",
                                                  "#W??k,00*10\r@300"}));
    EXPECT_FALSE(Meter.LinkMode());

    const TKestroOutcome json = Kestro({"read", "--optohead", "--json"});
    EXPECT_EQ(json.Status, 0) << json.Err;
    const auto lines = JsonLines(json);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["optohead"], true);
    EXPECT_TRUE(lines[0]["address"].is_null());
    EXPECT_FALSE(lines[0]["offset_ms"].is_null());
    EXPECT_FALSE(Meter.LinkMode());
}

TEST_F(KestroCommands, ScanFindsExactlyTheMetersPresent) {
    const TKestroOutcome json =
        Kestro({"scan", "--from", "3", "--to", "41", "--timeout", "100", "--json"});
    EXPECT_EQ(json.Status, 0) << json.Err;
    std::vector<int> found;
    for (const auto& line : JsonLines(json)) {
        EXPECT_EQ(line["success"], true);
        EXPECT_EQ(line["answered"], line["address"]);
        found.push_back(line["address"]);
    }
    EXPECT_EQ(found, (std::vector<int>{5, 12, 40}));
    // Every address of the range asked once, at bus speed.
    EXPECT_EQ(Frames().size(), 39u);
    EXPECT_EQ(Frames().front(), "#R03E*14\r@9600");

    const TKestroOutcome table = Kestro({"scan", "--from", "11", "--to", "13", "--timeout", "100"});
    EXPECT_EQ(table.Status, 0);
    EXPECT_EQ(Results(table), std::vector<std::string>{"12  OK      Echo from meter #12 returned"});
    // Standard error is no terminal here: no progress bar in it.
    EXPECT_EQ(table.Err, "kestro: scan 11-13: 1 meter answered\n");
}

TEST_F(KestroCommands, PortsNamesTheComPortOfTheSettingsFile) {
    const TKestroOutcome table = Kestro({"ports"});
    EXPECT_EQ(table.Status, 0);
    EXPECT_NE(table.Out.find(Meter.SlavePath() + " -> " + Meter.DevicePath() + "  (COM1)"),
              std::string::npos)
        << table.Out;
    const TKestroOutcome json = Kestro({"ports", "--json"});
    bool mapped = false;
    for (const auto& line : JsonLines(json))
        if (line["device"] == Meter.SlavePath())
            mapped = line["port"] == "COM1" && line["present"] == true;
    EXPECT_TRUE(mapped) << json.Out;
}

TEST_F(KestroCommands, TakesItsDefaultsFromTheWindowsSettingsFileBesideIt) {
    const std::string program = Folder.File("kestro");
    std::filesystem::copy_file(KESTRO_PROGRAM, program);
    std::ofstream(Folder.File("Kestro4SetClock.ini"))
        << "[Congif]\nComPort=2\nBaudRate=9600\nTimeout=200\n[Ports]\nCOM2=" << Meter.SlavePath()
        << "\nCOM3=" << Folder.File("unplugged") << "\n";
    const TKestroOutcome echo =
        RunKestro({"echo", "--addr", "12"}, Folder.Path().string(), program);
    EXPECT_EQ(echo.Status, 0) << echo.Err;
    EXPECT_EQ(Results(echo), std::vector<std::string>{"12  OK      Echo from meter #12 returned"});
    // The command line's port wins over the file's, and the file's map names its device.
    const TKestroOutcome other =
        RunKestro({"echo", "--addr", "12", "--port", "com3"}, Folder.Path().string(), program);
    EXPECT_EQ(other.Status, 3);
    EXPECT_NE(other.Err.find("Cannot open COM3!\nkestro: cause: " + Folder.File("unplugged")),
              std::string::npos)
        << other.Err;
}

} // namespace

TEST_F(KestroCommands, TraceOnStandardErrorShowsBothDirectionsAndTheTimeout) {
    const TKestroOutcome outcome =
        Kestro({"echo", "--addr", "5,6", "--timeout", "50", "--trace", "-"});
    EXPECT_EQ(outcome.Status, 1);
    EXPECT_NE(outcome.Err.find(" TX      #R05E*12\\r"), std::string::npos) << outcome.Err;
    EXPECT_NE(outcome.Err.find(" RX      after="), std::string::npos) << outcome.Err;
    EXPECT_NE(outcome.Err.find(" TIMEOUT after="), std::string::npos) << outcome.Err;
    EXPECT_NE(outcome.Err.find("[Kestro #06] Timeout"), std::string::npos) << outcome.Err;
}
