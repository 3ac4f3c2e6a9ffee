#include "app/ClockOffset.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double SecondMs = 1000;
constexpr double Infinity = std::numeric_limits<double>::infinity();
// Candidate send instants are tried at this spacing over one second.
constexpr double PlanStepMs = 1;
// A read expected to narrow the interval by less than this (in bits) is not worth its time.
constexpr double MinGainBits = 0.45;
// Widths below this count as this much: no read is planned on a finer promise.
constexpr double MinWidthMs = 0.5;

template <typename T, typename F> double MeanOf(const std::vector<T>& items, F value) {
    double sum = 0;
    for (const T& item : items)
        sum += value(item);
    return items.empty() ? 0 : sum / static_cast<double>(items.size());
}

} // namespace

// What a plan starts from: the phase to split, the expected window of a read around its
// reference instant, the expected time of an exchange, and the interval now.
struct TClockOffset::TPlan {
    double PhaseLow;
    double PhaseHigh;
    double WindowStart;
    double WindowEnd;
    double Exchange;
    double Lead; // from hand-over to the reference instant
    double Low;
    double High;
};

TExchangeWindow ExchangeWindow(double sentMs, double receivedMs, const TReadTiming& timing) {
    const double reference = sentMs + timing.RequestLineMs;
    const TExchangeWindow window{reference - timing.ByteMs,
                                 receivedMs - timing.ReplyLineMs + timing.ByteMs, reference, false};
    if (window.EndMs >= window.StartMs)
        return window;
    // Sooner than the line allows, even a byte early at both ends: only the exchange itself
    // bounds it.
    return {sentMs, receivedMs, sentMs, true};
}

TClockOffset::TClockOffset(TClockOffsetOptions options) : FOptions(std::move(options)) {}

void TClockOffset::Expect(const TPhaseExpectation& expectation) {
    FExpected = expectation;
    Update();
}

void TClockOffset::AddRead(const TTimedRead& read, const TReadTiming& timing) {
    FReads.push_back({read.MeterSeconds, read.SentMs, read.ReceivedMs,
                      ExchangeWindow(read.SentMs, read.ReceivedMs, timing)});
    Update();
}

TExchangeWindow TClockOffset::WindowOf(const TRead& read) const {
    if (FTimed)
        return read.Model;
    return {read.SentMs, read.ReceivedMs, read.SentMs, true};
}

void TClockOffset::Update() {
    FTimed =
        std::none_of(FReads.begin(), FReads.end(), [](const TRead& r) { return r.Model.Widened; });
    if (FReads.empty())
        FTimed = !FExpected || FExpected->LineTimed;
    FLow = FPhaseLow = FDelayLow = -Infinity;
    FHigh = FPhaseHigh = FDelayHigh = Infinity;
    for (const TRead& read : FReads) {
        // The meter showed S from its instant S*1000 on, up to (S+1)*1000, exclusive, at a PC
        // time within the window: S*1000 <= pc + offset < S*1000 + 1000.
        const double shown = static_cast<double>(read.Shown) * SecondMs;
        const TExchangeWindow window = WindowOf(read);
        FLow = std::max(FLow, shown - window.EndMs);
        FHigh = std::min(FHigh, shown + SecondMs - window.StartMs);
        FPhaseLow = std::max(FPhaseLow, shown - window.ReferenceMs);
        FPhaseHigh = std::min(FPhaseHigh, shown + SecondMs - window.ReferenceMs);
        FDelayLow = std::max(FDelayLow, window.StartMs - window.ReferenceMs);
        FDelayHigh = std::min(FDelayHigh, window.EndMs - window.ReferenceMs);
    }
    if (!FExpected)
        return;
    const double low = std::max(FPhaseLow, FExpected->LowMs);
    const double high = std::min(FPhaseHigh, FExpected->HighMs);
    if (FExpected->LineTimed != FTimed || low > high || FPhaseLow > FPhaseHigh) {
        FExpected.reset(); // the reads say otherwise: from here on they alone count
        return;
    }
    FPhaseLow = low;
    FPhaseHigh = high;
}

bool TClockOffset::SeenCounting() const {
    const auto [first, last] =
        std::minmax_element(FReads.begin(), FReads.end(),
                            [](const TRead& a, const TRead& b) { return a.Shown < b.Shown; });
    return first != FReads.end() && first->Shown != last->Shown;
}

bool TClockOffset::TargetReached() const {
    return SeenCounting() && !Contradicted() && WidthMs() < FOptions.TargetWidthMs;
}

double TClockOffset::ReadDelayMs() const {
    if (FReads.empty())
        return 0;
    return (FDelayLow + FDelayHigh) / 2;
}

TPhaseExpectation TClockOffset::Phase() const {
    return {std::min(FPhaseLow, FPhaseHigh), std::max(FPhaseLow, FPhaseHigh), FTimed};
}

double TClockOffset::MeanWindowMs() const {
    return MeanOf(FReads, [this](const TRead& r) {
        const TExchangeWindow window = WindowOf(r);
        return window.EndMs - window.StartMs;
    });
}

TPhaseExpectation TClockOffset::Expectation() const {
    TPhaseExpectation expectation = Phase();
    expectation.WindowEndMs = MeanOf(FReads, [this](const TRead& r) {
        const TExchangeWindow window = WindowOf(r);
        return window.EndMs - window.ReferenceMs;
    });
    expectation.ExchangeMs = MeanOf(FReads, [](const TRead& r) { return r.ReceivedMs - r.SentMs; });
    return expectation;
}

TClockOffset::TPlan TClockOffset::Planning(const TReadTiming& timing) const {
    TPlan plan{};
    const TPhaseExpectation phase = Phase();
    const double middle = (phase.LowMs + phase.HighMs) / 2;
    plan.PhaseLow = std::min(phase.LowMs, middle - MinWidthMs);
    plan.PhaseHigh = std::max(phase.HighMs, middle + MinWidthMs);
    plan.Lead = FTimed ? timing.RequestLineMs : 0;
    plan.WindowStart = FTimed ? -timing.ByteMs : 0;
    if (FReads.empty()) {
        plan.WindowEnd = FExpected->WindowEndMs;
        plan.Exchange = FExpected->ExchangeMs > 0 ? FExpected->ExchangeMs
                                                  : timing.RequestLineMs + timing.ReplyLineMs;
        // As if a read had bounded the offset a second away on either side.
        plan.Low = plan.PhaseLow - plan.WindowEnd - SecondMs;
        plan.High = plan.PhaseHigh - plan.WindowStart + SecondMs;
        return plan;
    }
    const TPhaseExpectation seen = Expectation();
    plan.WindowEnd = seen.WindowEndMs;
    plan.Exchange = seen.ExchangeMs;
    plan.Low = FLow;
    plan.High = FHigh;
    return plan;
}

std::optional<double> TClockOffset::NextSendMs(double earliestMs, const TReadTiming& timing) const {
    if (Contradicted() || TargetReached() || Reads() >= FOptions.ReadBudget)
        return std::nullopt;
    if (FReads.empty() && !FExpected)
        return std::nullopt;
    const TPlan plan = Planning(timing);
    const double width = std::max(plan.High - plan.Low, MinWidthMs);

    // A read whose reference instant is p shows the meter's second K once the phase is at least
    // x = K*1000 - p. Then it raises the low end to x less the end of its window; otherwise it
    // lowers the high end to x less the start of its window. The phase is taken as spread
    // evenly over its interval; the expected narrowing (in bits) per millisecond decides.
    double bestRate = 0;
    std::optional<double> best;
    for (double wait = 0; wait < SecondMs; wait += PlanStepMs) {
        const double send = earliestMs + wait;
        const double reference = send + plan.Lead;
        const double firstK = std::ceil((plan.PhaseLow - PlanStepMs + reference) / SecondMs);
        const double lastK = std::floor((plan.PhaseHigh + PlanStepMs + reference) / SecondMs);
        for (double k = firstK; k <= lastK; ++k) {
            const double split = k * SecondMs - reference;
            const double ticked =
                std::clamp((plan.PhaseHigh - split) / (plan.PhaseHigh - plan.PhaseLow), 0.0, 1.0);
            const double ifTicked =
                std::max(plan.High - std::max(plan.Low, split - plan.WindowEnd), MinWidthMs);
            const double ifNot =
                std::max(std::min(plan.High, split - plan.WindowStart) - plan.Low, MinWidthMs);
            const double gain =
                ticked * std::log2(width / ifTicked) + (1 - ticked) * std::log2(width / ifNot);
            if (gain < MinGainBits)
                continue;
            const double rate = gain / (wait + plan.Exchange);
            if (rate > bestRate) {
                bestRate = rate;
                best = send;
            }
        }
    }
    if (!best && (FReads.empty() || !SeenCounting()))
        return earliestMs;
    return best;
}
