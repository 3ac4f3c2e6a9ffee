// kestro offset and sync against a meter on a timed line whose clock runs 1234.5 ms ahead:
// what kestro claims must hold against the meter's own record of its true offset.
#include "KestroProcess.h"
#include "VirtualMeter.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>

namespace {

class KestroClock : public ::testing::Test {
protected:
    KestroClock() : Meter(Options()) {
        std::ofstream ini(Config);
        ini << "[Congif]\nComPort=1\nBaudRate=9600\nTimeout=200\n[Ports]\nCOM1="
            << Meter.SlavePath() << "\n";
    }

    static vmeter::TOptions Options() {
        vmeter::TOptions options;
        options.BusMeters = {5};
        options.Pace = true;
        options.TurnaroundMs = 2;
        options.TurnaroundMaxMs = 20;
        options.Clock.OffsetMs = 1234.5;
        return options;
    }

    nlohmann::json KestroJson(std::vector<std::string> args) {
        args.insert(args.end(), {"--addr", "5", "--json", "--config", Config});
        const TKestroOutcome outcome = RunKestro(args, Folder.Path().string());
        EXPECT_EQ(outcome.Status, 0) << outcome.Err;
        const auto lines = outcome.Lines();
        if (lines.size() != 1)
            return nlohmann::json::object();
        return nlohmann::json::parse(lines.front());
    }

    // The meter's true offset at its last clock read or write.
    double TrueOffsetMs() const {
        const std::vector<vmeter::TLogEntry> log = Meter.Log();
        for (auto it = log.rbegin(); it != log.rend(); ++it)
            if (it->ClockOffsetMs)
                return *it->ClockOffsetMs;
        ADD_FAILURE() << "no clock request logged";
        return 0;
    }

    TTempFolder Folder;
    std::string Config = Folder.File("settings.ini");
    vmeter::TVirtualMeter Meter;
};

// The claim holds when the truth lies within it, with 1 ms for rounding to whole milliseconds.
::testing::AssertionResult WithinClaim(const nlohmann::json& line, double truth) {
    const double offset = line.at("offset_ms").get<double>();
    const double uncertainty = line.at("uncertainty_ms").get<double>();
    if (std::fabs(offset - truth) <= uncertainty + 1)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "claimed " << offset << " +- " << uncertainty << " ms, truly " << truth << " ms";
}

TEST_F(KestroClock, OffsetIsMeasuredToTheMillisecondAndSyncSetsTheMeterOnTheSecond) {
    const nlohmann::json offset = KestroJson({"offset"});
    ASSERT_TRUE(offset.value("success", false)) << offset.dump();
    EXPECT_TRUE(WithinClaim(offset, TrueOffsetMs()));
    EXPECT_LE(offset.at("uncertainty_ms").get<double>(), 60); // a wide claim would say nothing

    // --force: whether this machine's clock is synchronised is not the test's business.
    const nlohmann::json sync = KestroJson({"sync", "--force"});
    ASSERT_TRUE(sync.value("success", false)) << sync.dump();
    EXPECT_TRUE(WithinClaim(sync, TrueOffsetMs()));
    EXPECT_LT(std::fabs(TrueOffsetMs()), 100); // a whole-second set would leave up to 1000 ms
    EXPECT_EQ(sync.at("takeover").get<std::string>().rfind("restarts-second", 0), 0u)
        << sync.dump();
}

// At 300 baud the request alone takes 300 ms on the line and the clock reply 767 ms: the
// default 200 ms reply timeout counts from when the request has left the line, and the reply
// under way gets the line time of its bytes.
TEST_F(KestroClock, ReadAt300BaudWorksWithTheDefaultTimeout) {
    const nlohmann::json read = KestroJson({"read", "--baud", "300"});
    EXPECT_TRUE(read.value("success", false)) << read.dump();
    const std::vector<vmeter::TLogEntry> log = Meter.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].BaudRate, 300);
}

} // namespace
