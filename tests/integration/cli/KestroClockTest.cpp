// kestro offset and sync against a meter on a timed line whose clock runs 1234.5 ms ahead:
// what kestro claims must hold against the meter's own record of its true offset. And sync's
// limit: a meter that keeps the fraction of its second ends on its smaller side, and beyond the
// limit its line says FAILED with the offset measured.
#include "KestroProcess.h"
#include "VirtualMeter.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <ostream>
#include <regex>

namespace {

class KestroClock : public ::testing::Test {
protected:
    explicit KestroClock(const vmeter::TOptions& options = Options()) : Meter(options) {
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

    TKestroOutcome Kestro(std::vector<std::string> args) {
        args.insert(args.end(), {"--addr", "5", "--config", Config});
        return RunKestro(args, Folder.Path().string());
    }

    nlohmann::json KestroJson(std::vector<std::string> args) {
        args.push_back("--json");
        const TKestroOutcome outcome = Kestro(args);
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
    EXPECT_EQ(sync.at("max_offset_ms"), 50);
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

// Without line timing every reply comes sooner than the line allows: each read counts with its
// whole exchange, the output says so, and the claims still hold.
class KestroClockUntimed : public KestroClock {
protected:
    KestroClockUntimed() : KestroClock(Untimed()) {}

    static vmeter::TOptions Untimed() {
        vmeter::TOptions options = Options();
        options.Pace = false;
        return options;
    }
};

TEST_F(KestroClockUntimed, EveryReadCountsWithItsWholeExchangeAndTheOutputSaysSo) {
    const TKestroOutcome text = Kestro({"offset"});
    const std::vector<std::string> results = text.Results();
    ASSERT_EQ(results.size(), 1u) << text.Out << text.Err;
    EXPECT_TRUE(std::regex_match(
        results[0],
        std::regex("05  OK +offset +\\+\\d+ ms (±|\\+-) \\d+ ms +\\(\\d+ reads; no line "
                   "timing: reads counted from request to reply\\)")))
        << results[0];
    EXPECT_TRUE(WithinClaim(KestroJson({"offset"}), TrueOffsetMs()));

    const nlohmann::json sync = KestroJson({"sync", "--force"});
    ASSERT_TRUE(sync.value("success", false)) << sync.dump();
    EXPECT_EQ(sync.at("widened_reads"), sync.at("reads"));
    EXPECT_TRUE(WithinClaim(sync, TrueOffsetMs()));
    EXPECT_LT(std::fabs(TrueOffsetMs()), 10);
}

struct TLimitCase {
    const char* Name;
    double StartMs; // the meter's offset before; it keeps its fraction when set
    std::vector<std::string> Args;
    int Status;
    std::string Line; // the result line, as a regular expression
    double EndMs;     // the meter's true offset after, give or take 10 ms
};

void PrintTo(const TLimitCase& c, std::ostream* os) {
    *os << c.Name;
}

class KestroSyncLimit : public KestroClock, public ::testing::WithParamInterface<TLimitCase> {
protected:
    KestroSyncLimit() : KestroClock(KeepingMeter()) {}

    static vmeter::TOptions KeepingMeter() {
        vmeter::TOptions options = Options();
        options.Clock.OffsetMs = GetParam().StartMs;
        options.Clock.TakeOver = vmeter::TTakeOver::KeepFraction;
        return options;
    }
};

TEST_P(KestroSyncLimit, OnlyWholeSecondsAreSetAndTheLimitIsSaid) {
    const TLimitCase c = GetParam();
    std::vector<std::string> args{"sync", "--force"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TKestroOutcome outcome = Kestro(args);
    EXPECT_EQ(outcome.Status, c.Status) << outcome.Out << outcome.Err;
    const std::vector<std::string> results = outcome.Results();
    ASSERT_EQ(results.size(), 1u) << outcome.Out;
    EXPECT_TRUE(std::regex_match(results[0], std::regex(c.Line))) << results[0];
    EXPECT_NEAR(TrueOffsetMs(), c.EndMs, 10);
}

const char* const Keeps =
    "The meter keeps the fraction of its second when set: only whole seconds can be set";

INSTANTIATE_TEST_SUITE_P(
    KeptFractions, KestroSyncLimit,
    ::testing::Values(
        // The first set leaves it +0.7 s; a second set takes it to -0.3 s, still beyond.
        TLimitCase{
            "BehindBeyondTheLimit",
            -2'300,
            {},
            1,
            std::string(
                "05  FAILED  The meter's clock is -(\\d+) ms (±|\\+-) \\d+ ms off after the set, "
                "beyond the limit of 50 ms: the meter keeps the fraction of its second when "
                "set, only whole seconds can be set"),
            -300},
        TLimitCase{"BehindWithinALargerLimit",
                   -300,
                   {"--max-offset", "400"},
                   0,
                   std::string(
                       "05  OK +set to .*  after +-\\d+ ms (±|\\+-) \\d+ ms \\(limit 400 ms\\)  ") +
                       Keeps,
                   -300},
        TLimitCase{
            "AheadAtItsSmallerSide",
            3'300,
            {"--max-offset", "400"},
            0,
            std::string(
                "05  OK +set to .*  after +\\+\\d+ ms (±|\\+-) \\d+ ms \\(limit 400 ms\\)  ") +
                Keeps,
            300}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
