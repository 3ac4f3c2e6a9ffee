// What kestro prints about a meter's clock is a promise: every offset with its uncertainty that
// `offset` and `sync` print must hold the meter's true offset, as the virtual meter logs it at
// each clock read, over lines that deliver bytes as real ones do: up to a byte time early,
// batched by a USB adapter's latency timer, late by a random jitter, at 300, 2400 and 9600 baud
// and turnarounds from 2 to 200 ms. One row per line; each row is its own test.
#include "KestroProcess.h"
#include "VirtualMeter.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <ostream>

namespace {

struct TLine {
    const char* Name;
    int Baud;
    int TurnaroundMinMs;
    int TurnaroundMaxMs;
    vmeter::TDeliveryOptions Delivery; // early bits, latency timer, jitter
    bool Offset;                       // run `offset` too, not only `sync`
};

void PrintTo(const TLine& line, std::ostream* os) {
    *os << line.Name;
}

bool IsClock(const vmeter::TLogEntry& entry, char kind) {
    return entry.Frame.size() > 4 && entry.Frame[1] == kind && entry.Frame[4] == 'C' &&
           entry.ClockOffsetMs.has_value();
}

class PrintedRange : public ::testing::TestWithParam<TLine> {
protected:
    PrintedRange() : Meter(Options(GetParam())) {
        std::ofstream ini(Config);
        ini << "[Congif]\nComPort=1\nBaudRate=" << GetParam().Baud
            << "\nTimeout=3000\n[Ports]\nCOM1=" << Meter.SlavePath() << "\n";
    }

    static vmeter::TOptions Options(const TLine& line) {
        vmeter::TOptions options;
        options.BusMeters = {5};
        options.Pace = true;
        options.TurnaroundMs = line.TurnaroundMinMs;
        options.TurnaroundMaxMs = line.TurnaroundMaxMs;
        options.Clock.OffsetMs = -4321.7;
        options.Clock.DriftPpm = 5;
        options.Delivery = line.Delivery;
        return options;
    }

    nlohmann::json Kestro(std::vector<std::string> args) {
        Meter.ClearLog();
        args.insert(args.end(), {"--addr", "5", "--json", "--config", Config});
        const TKestroOutcome outcome = RunKestro(args, Folder.Path().string());
        EXPECT_EQ(outcome.Status, 0) << outcome.Out << outcome.Err;
        const auto lines = outcome.Lines();
        if (lines.size() != 1)
            return nlohmann::json::object();
        return nlohmann::json::parse(lines.front());
    }

    // The meter's true offsets at its clock reads from the `writes`-th clock write on (0: from
    // the start) up to the next write.
    std::vector<double> TruthsAfterWrite(int writes) const {
        std::vector<double> truths;
        int seen = 0;
        for (const vmeter::TLogEntry& entry : Meter.Log()) {
            seen += IsClock(entry, 'W');
            if (seen == writes && IsClock(entry, 'R'))
                truths.push_back(*entry.ClockOffsetMs);
        }
        return truths;
    }

    TTempFolder Folder;
    std::string Config = Folder.File("settings.ini");
    vmeter::TVirtualMeter Meter;
};

// Every truth lies within the printed offset plus or minus the printed uncertainty.
::testing::AssertionResult Holds(const std::vector<double>& truths, const nlohmann::json& offset,
                                 const nlohmann::json& uncertainty) {
    if (truths.empty() || !offset.is_number() || !uncertainty.is_number())
        return ::testing::AssertionFailure() << "nothing to compare";
    for (double truth : truths)
        if (std::abs(truth - offset.get<double>()) > uncertainty.get<double>())
            return ::testing::AssertionFailure() << "printed " << offset << " +- " << uncertainty
                                                 << " ms, truly " << truth << " ms";
    return ::testing::AssertionSuccess();
}

TEST_P(PrintedRange, HoldsTheMetersTrueOffset) {
    const TLine line = GetParam();
    if (line.Offset) {
        const nlohmann::json offset = Kestro({"offset"});
        ASSERT_TRUE(offset.value("success", false)) << offset.dump();
        EXPECT_TRUE(Holds(TruthsAfterWrite(0), offset["offset_ms"], offset["uncertainty_ms"]));
    }
    // --force: whether this machine's clock is synchronised is not the test's business.
    const nlohmann::json sync = Kestro({"sync", "--force"});
    ASSERT_TRUE(sync.value("success", false)) << sync.dump();
    EXPECT_TRUE(
        Holds(TruthsAfterWrite(0), sync["offset_before_ms"], sync["uncertainty_before_ms"]));
    const std::vector<vmeter::TLogEntry> log = Meter.Log();
    const auto writes =
        std::count_if(log.begin(), log.end(), [](const auto& e) { return IsClock(e, 'W'); });
    const std::vector<double> after = TruthsAfterWrite(static_cast<int>(writes));
    EXPECT_TRUE(Holds(after, sync["offset_ms"], sync["uncertainty_ms"]));
    // The set itself did its job, as far as the line lets anyone tell where the meter acts.
    ASSERT_FALSE(after.empty());
    EXPECT_LE(std::abs(after.back()), sync["max_offset_ms"].get<double>() + line.TurnaroundMaxMs)
        << sync.dump();
}

const TLine Lines[] = {
    {"At9600Latency16ByteEarly", 9600, 2, 20, {10, 16, 2}, true},
    {"At9600Turnaround150to200Jitter20", 9600, 150, 200, {0, 16, 20}, true},
    {"At2400ByteEarlyLatency8", 2400, 2, 20, {10, 8, 5}, false},
    {"At2400Turnaround40to60Jitter20", 2400, 40, 60, {0, 0, 20}, false},
    {"At300ByteEarly", 300, 2, 20, {10, 0, 0}, false},
    {"At300HalfByteEarlyTurnaround40to60", 300, 40, 60, {5, 16, 2}, false},
    {"At300Latency16Jitter20", 300, 2, 20, {0, 16, 20}, true},
};

INSTANTIATE_TEST_SUITE_P(Lines, PrintedRange, ::testing::ValuesIn(Lines),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
