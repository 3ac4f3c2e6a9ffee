#include "app/ClockOffset.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double SecondMs = 1000;
// Candidate send instants are tried at this spacing over one second.
constexpr double PlanStepMs = 1;
// A read expected to gain less than this (in bits) is not worth its time.
constexpr double MinGainBits = 0.05;

} // namespace

TClockOffset::TClockOffset(TClockOffsetOptions options) : FOptions(options) {}

void TClockOffset::AddRead(std::int64_t meterSeconds, double windowStartMs, double windowEndMs) {
    // The meter showed S from its instant S*1000 on, up to (S+1)*1000, exclusive; it did so at
    // a PC time within the window. So S*1000 <= pc + offset < S*1000 + 1000.
    const double shown = static_cast<double>(meterSeconds) * SecondMs;
    const double low = shown - windowEndMs;
    const double high = shown + SecondMs - windowStartMs;
    if (FReads == 0) {
        FLow = low;
        FHigh = high;
        FFirstShown = meterSeconds;
    } else {
        FLow = std::max(FLow, low);
        FHigh = std::min(FHigh, high);
    }
    FLastShown = meterSeconds;
    FWindowSum += windowEndMs - windowStartMs;
    ++FReads;
}

bool TClockOffset::TargetReached() const {
    return SeenCounting() && !Contradicted() && WidthMs() < FOptions.TargetWidthMs;
}

std::optional<double> TClockOffset::NextSendMs(double earliestMs, const TReadTiming& timing) const {
    if (FReads == 0 || Contradicted() || TargetReached() || FReads >= FOptions.ReadBudget)
        return std::nullopt;
    const double width = WidthMs();
    const double window = MeanWindowMs();
    const double exchange = timing.RequestLineMs + window + timing.ReplyLineMs;

    // A read whose window is centred on PC time c meets the meter's second boundary K*1000
    // there if the offset is K*1000 - c. If the offset is at least that, the meter has
    // ticked and the read raises the low end to about that value; otherwise it lowers the
    // high end. The expected information (in bits) per millisecond decides.
    double bestRate = 0;
    std::optional<double> best;
    for (double wait = 0; wait < SecondMs; wait += PlanStepMs) {
        const double send = earliestMs + wait;
        const double centre = send + timing.RequestLineMs + window / 2;
        const double firstK = std::ceil((FLow + centre) / SecondMs);
        const double lastK = std::floor((FHigh + centre) / SecondMs);
        for (double k = firstK; k <= lastK; ++k) {
            const double split = k * SecondMs - centre;
            const double ticked = std::clamp((FHigh - split) / width, 0.0, 1.0);
            const double ifTicked = std::clamp(FHigh - split + window / 2, 1e-3, width);
            const double ifNot = std::clamp(split - FLow + window / 2, 1e-3, width);
            const double gain =
                ticked * std::log2(width / ifTicked) + (1 - ticked) * std::log2(width / ifNot);
            if (gain < MinGainBits)
                continue;
            const double rate = gain / (wait + exchange);
            if (rate > bestRate) {
                bestRate = rate;
                best = send;
            }
        }
    }
    if (!best && !SeenCounting())
        return earliestMs;
    return best;
}
