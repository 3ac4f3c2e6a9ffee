// Ctrl+C, SIGTERM and SIGHUP at each phase of a run, as the meters' log shows it: after the
// signal nothing more reaches a meter but "00" that ends link mode (sent exactly when "01" was
// accepted), the meter under way reports "interrupted", and the status is 1. Each signal is
// aimed at a request the log shows, while the meter still takes its time to answer, so the
// phase does not depend on how fast the machine is.
#include "KestroFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string LinkOn = "#W??k,01*11\r";
const std::string LinkOff = "#W??k,00*10\r";

struct TPhase {
    const char* Name;
    std::vector<std::string> Args;
    // The signal comes while the meter answers the `count`-th request that starts with
    // `request`; with no request it is there before kestro starts.
    std::string Request;
    int Count;
    std::string Error;        // what the result says
    bool SilentFirst = false; // the meter leaves the first request unanswered
    // The meter's pause before it answers: the time there is to aim the signal. A sync measures
    // on a line with its timing, at 2400 baud, where an answer takes a tenth of a second.
    int TurnaroundMs = 150;
    bool Pace = false;
};

const TPhase Phases[] = {
    {"BeforeLinkMode", {"read", "--optohead"}, "", 0, "interrupted"},
    {"WhileLinkModeStarts", {"read", "--optohead"}, "#W??k,01", 1, "interrupted"},
    {"InLinkMode", {"offset", "--optohead"}, "#R??C", 1, "interrupted"},
    {"WhileMeasuringBeforeTheWrite",
     {"sync", "--addr", "5", "--force", "--baud", "2400"},
     "#R05C",
     2,
     "interrupted: the meter's clock was not set",
     false,
     5,
     true},
    {"WhileTheWriteIsAnswered",
     {"sync", "--addr", "5", "--force", "--baud", "2400"},
     "#W05C",
     1,
     "interrupted: the meter's clock was set but not checked",
     false,
     5,
     true},
    {"BeforeTheWriteIsRepeated",
     {"write", "--addr", "5", "--time", "12:00:00", "--date", "01.02.2025", "--retries", "2",
      "--timeout", "1000"},
     "#W05C",
     1,
     "interrupted",
     true},
};

struct TSignal {
    const char* Name;
    int Number;
};

void PrintTo(const TPhase& phase, std::ostream* out) {
    *out << phase.Name;
}
void PrintTo(const TSignal& signal, std::ostream* out) {
    *out << signal.Name;
}
const TSignal Signals[] = {{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};

class KestroInterrupt : public KestroFixture,
                        public ::testing::TestWithParam<std::tuple<TPhase, TSignal>> {
protected:
    KestroInterrupt()
        : KestroFixture({5}, std::get<0>(GetParam()).TurnaroundMs, std::get<0>(GetParam()).Pace) {}

    std::size_t Logged(const std::string& request) const {
        std::size_t count = 0;
        for (const std::string& frame : Frames())
            count += frame.rfind(request, 0) == 0 ? 1 : 0;
        return count;
    }
};

TEST_P(KestroInterrupt, NothingReachesAMeterAfterTheSignalButTheEndOfLinkMode) {
    const auto& [phase, signal] = GetParam();
    if (phase.SilentFirst)
        Meter.SetFault(vmeter::TFault::Silence, 1);
    std::vector<std::string> args = phase.Args;
    args.insert(args.end(), {"--json", "--config", Config});

    std::optional<TKestroProcess> kestro;
    std::size_t before = 0; // requests the meters had heard when the signal came
    if (phase.Request.empty()) {
        const TStopSignalsHeldBack heldBack; // kestro lets it through once it can handle it
        kestro.emplace(args, Folder.Path().string());
        kestro->Signal(signal.Number);
    } else {
        kestro.emplace(args, Folder.Path().string());
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (Logged(phase.Request) < static_cast<std::size_t>(phase.Count) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_EQ(Logged(phase.Request), static_cast<std::size_t>(phase.Count)) << Frames().size();
        before = Meter.Log().size();
        kestro->Signal(signal.Number);
    }
    const TKestroOutcome outcome = kestro->Wait();

    EXPECT_EQ(outcome.Status, 1) << outcome.Err;
    const auto lines = JsonLines(outcome);
    ASSERT_EQ(lines.size(), 1u) << outcome.Out;
    EXPECT_EQ(lines[0]["success"], false);
    EXPECT_EQ(lines[0]["error"], phase.Error);
    EXPECT_NE(outcome.Err.find("kestro: interrupted at meter 1 of 1"), std::string::npos)
        << outcome.Err;

    const std::vector<vmeter::TLogEntry> log = Meter.Log();
    ASSERT_GE(log.size(), before);
    bool linkModeAccepted = false;
    for (std::size_t i = 0; i < before; ++i)
        linkModeAccepted = linkModeAccepted || (log[i].Frame == LinkOn && log[i].Answered);
    std::vector<std::string> after;
    for (std::size_t i = before; i < log.size(); ++i)
        after.push_back(log[i].Frame);
    EXPECT_EQ(after,
              linkModeAccepted ? std::vector<std::string>{LinkOff} : std::vector<std::string>{});
    EXPECT_FALSE(Meter.LinkMode());
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, KestroInterrupt,
                         ::testing::Combine(::testing::ValuesIn(Phases),
                                            ::testing::ValuesIn(Signals)),
                         [](const ::testing::TestParamInfo<KestroInterrupt::ParamType>& info) {
                             return std::string(std::get<0>(info.param).Name) + "_" +
                                    std::get<1>(info.param).Name;
                         });

class KestroSecondSignal : public KestroFixture, public ::testing::Test {
protected:
    KestroSecondSignal() : KestroFixture({}, 300) {}
};

// The way out that is always there: the second signal ends kestro at once, and it says what it
// may have left behind.
TEST_F(KestroSecondSignal, EndsTheProgramAtOnceAndWarnsOfLinkMode) {
    TKestroProcess kestro({"read", "--optohead", "--config", Config}, Folder.Path().string());
    while (Meter.Log().empty())
        std::this_thread::sleep_for(1ms);
    // Two different signals: two of the same kind could arrive as one.
    kestro.Interrupt();
    kestro.Signal(SIGTERM);
    const TKestroOutcome outcome = kestro.Wait();
    EXPECT_EQ(outcome.Status, -1) << "ended by the signal, not by an exit";
    EXPECT_NE(outcome.Err.find("may still be in link mode"), std::string::npos) << outcome.Err;
    EXPECT_EQ(Frames(), std::vector<std::string>{LinkOn + "@300"});
    EXPECT_TRUE(Meter.LinkMode()); // as the warning said
}

} // namespace
