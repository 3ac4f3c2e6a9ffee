#pragma once

#include <chrono>
#include <cstddef>
#include <random>

namespace vmeter {

// How bytes really reach the far end, against the plain model of 10 bits per byte at the line
// speed: a device may hand a byte over as soon as its last bits start (early), a USB adapter
// hands received bytes to the computer in batches when its latency timer runs out, and drivers
// and schedulers add delays of their own (jitter).
struct TDeliveryOptions {
    // 0..10: a request counts as received, and each reply byte reaches the program, this many
    // bit times before its stop bit ends (10: one whole byte time early). Only with line timing.
    int EarlyBits = 0;
    // Reply bytes reach the program in batches, at the ticks of a timer running every this many
    // milliseconds; 0: each byte as soon as it is there.
    int LatencyTimerMs = 0;
    // Each request reaches the meters, and each reply the program, up to this many milliseconds
    // late, drawn at random for each.
    int JitterMs = 0;
};

class TDelivery {
public:
    using TClock = std::chrono::steady_clock;
    using TInstant = TClock::time_point;

    // Raises EVirtualMeter on options out of range.
    TDelivery(TDeliveryOptions options, unsigned seed);

    // When a request of `bytes` bytes whose last byte was heard at `heardAt` counts as
    // received: with line timing, one line time after that (less the early bits), plus a jitter.
    TInstant RequestReceived(TInstant heardAt, std::size_t bytes, int baud, bool paced);

    // A jitter for one reply, drawn once so that its bytes keep their order.
    TClock::duration DrawJitter();

    // When a reply byte whose stop bit ends on the line at `lineEnd` reaches the program.
    TInstant HandOver(TInstant lineEnd, int baud, bool paced, TClock::duration jitter) const;

    // One byte's time on the line: 10 bits.
    static TClock::duration ByteTime(int baud);

private:
    TClock::duration Early(int baud, bool paced) const;

    TDeliveryOptions FOptions;
    TInstant FTimerStart;
    std::mt19937 FRandom;
};

} // namespace vmeter
