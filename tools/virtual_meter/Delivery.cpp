#include "Delivery.h"

#include "VirtualMeter.h"

namespace vmeter {

namespace {

constexpr int MaxEarlyBits = 10;
constexpr int MaxDelayMs = 10000;

void CheckRange(const char* what, int value, int high) {
    if (value < 0 || value > high)
        throw EVirtualMeter(std::string(what) + " out of range 0.." + std::to_string(high) + ": " +
                            std::to_string(value));
}

} // namespace

TDelivery::TDelivery(TDeliveryOptions options, unsigned seed)
    : FOptions(options), FTimerStart(TClock::now()), FRandom(seed) {
    CheckRange("Early bits", options.EarlyBits, MaxEarlyBits);
    CheckRange("Latency timer", options.LatencyTimerMs, MaxDelayMs);
    CheckRange("Jitter", options.JitterMs, MaxDelayMs);
}

TDelivery::TClock::duration TDelivery::ByteTime(int baud) {
    return baud > 0 ? std::chrono::microseconds(10'000'000 / baud) : TClock::duration::zero();
}

TDelivery::TClock::duration TDelivery::Early(int baud, bool paced) const {
    if (!paced || baud <= 0)
        return TClock::duration::zero();
    return std::chrono::microseconds(static_cast<std::int64_t>(FOptions.EarlyBits) * 1'000'000 /
                                     baud);
}

TDelivery::TClock::duration TDelivery::DrawJitter() {
    if (FOptions.JitterMs == 0)
        return TClock::duration::zero();
    std::uniform_int_distribution<std::int64_t> pick(0, FOptions.JitterMs * std::int64_t{1000});
    return std::chrono::microseconds(pick(FRandom));
}

TDelivery::TInstant TDelivery::RequestReceived(TInstant heardAt, std::size_t bytes, int baud,
                                               bool paced) {
    TInstant received = heardAt;
    if (paced)
        received += static_cast<std::int64_t>(bytes) * ByteTime(baud) - Early(baud, paced);
    return received + DrawJitter();
}

TDelivery::TInstant TDelivery::HandOver(TInstant lineEnd, int baud, bool paced,
                                        TClock::duration jitter) const {
    TInstant at = lineEnd - Early(baud, paced);
    if (FOptions.LatencyTimerMs > 0) {
        // The next tick of the adapter's timer at or after the byte is there.
        const TClock::duration period = std::chrono::milliseconds(FOptions.LatencyTimerMs);
        const auto since = at - FTimerStart;
        const auto ticks = (since + period - TClock::duration(1)) / period;
        at = FTimerStart + std::max<decltype(ticks)>(ticks, 0) * period;
    }
    return at + jitter;
}

} // namespace vmeter
