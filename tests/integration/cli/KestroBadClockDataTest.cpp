// A meter whose clock reply makes no sense costs that meter, never the batch: meter 05 answers
// with bad clock data, meter 12 with the PC's clock; 05 gets its failure, 12 its result.
#include "KestroProcess.h"
#include "ScriptedMeter.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace {

struct TBadClock {
    const char* Name;
    const char* Command;
    std::string Data;  // meter 05's clock reply
    std::string Error; // its result
};

const std::string BadPacket = "[Kestro #05] Bad packet format";

const TBadClock Cases[] = {
    {"HourBeyondTheDay", "read", "250000,010125", "[Kestro #05] Invalid argument to time encode"},
    {"NoSuchDay", "read", "120000,320125", "[Kestro #05] Invalid argument to date encode"},
    {"NoDate", "read", "120000", BadPacket},
    {"Letters", "read", "abc", BadPacket},
    {"TooManyDigits", "read", "999999999999,010125", BadPacket},
    {"TooFewDigits", "read", "1200,010125", BadPacket},
    {"Hexadecimal", "read", "$1E240,010125", BadPacket},
    {"WhileMeasuring", "offset", "250000,010125", "[Kestro #05] Invalid argument to time encode"},
    {"BeforeASync", "sync", "abc", BadPacket},
};

class KestroBadClockData : public ::testing::TestWithParam<TBadClock> {};

TEST_P(KestroBadClockData, CostsThatMeterAndTheBatchGoesOn) {
    const TBadClock& bad = GetParam();
    TScriptedMeter meters({{5, bad.Data}, {12, ""}});
    TTempFolder folder;
    const std::string config = folder.File("settings.ini");
    std::ofstream(config) << "[Congif]\nBaudRate=9600\nTimeout=200\n";
    std::vector<std::string> args{bad.Command,     "--addr", "5,12",     "--port",
                                  meters.Device(), "--json", "--config", config};
    if (std::string(bad.Command) == "sync")
        args.push_back("--force"); // whether this machine's clock is synchronised is no matter here
    const TKestroOutcome outcome = RunKestro(args, folder.Path().string());

    EXPECT_EQ(outcome.Status, 1) << outcome.Err;
    const auto lines = outcome.Lines();
    ASSERT_EQ(lines.size(), 2u) << outcome.Out << outcome.Err;
    const auto first = nlohmann::json::parse(lines[0]);
    const auto second = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(first["address"], 5);
    EXPECT_EQ(first["success"], false);
    EXPECT_EQ(first["error"], bad.Error);
    EXPECT_TRUE(first["meter_time"].is_null());
    EXPECT_EQ(second["address"], 12);
    EXPECT_EQ(second["success"], true) << lines[1];
}

INSTANTIATE_TEST_SUITE_P(Replies, KestroBadClockData, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<TBadClock>& info) {
                             return std::string(info.param.Name);
                         });

} // namespace
