// How the virtual meter's line delivers bytes: when a request counts as received and when each
// reply byte reaches the program, early by some bits, batched by a latency timer, late by a
// jitter, against the plain model of 10 bits per byte.
#include "Delivery.h"
#include "VirtualMeter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>

namespace {

using namespace std::chrono_literals;
using vmeter::TDelivery;
using vmeter::TDeliveryOptions;
using TInstant = TDelivery::TInstant;

struct TDeliveryCase {
    const char* Name;
    TDeliveryOptions Options;
    int Baud;
    std::chrono::microseconds Early; // one bit at 300 baud: 3333 us
    std::size_t MaxBatches;          // of a 23-byte reply
};

void PrintTo(const TDeliveryCase& c, std::ostream* os) {
    *os << c.Name;
}

class Delivery : public ::testing::TestWithParam<TDeliveryCase> {};

TEST_P(Delivery, BytesComeWithinTheirBoundsAndInOrder) {
    const TDeliveryCase c = GetParam();
    TDelivery delivery(c.Options, 1);
    const auto jitterMax = std::chrono::milliseconds(c.Options.JitterMs);
    const auto latency = std::chrono::milliseconds(c.Options.LatencyTimerMs);
    for (int run = 0; run < 50; ++run) {
        const TInstant heard = TDelivery::TClock::now() + run * 7ms;
        // A request of 9 bytes: one line time after it was heard, less the early bits.
        const TInstant received = delivery.RequestReceived(heard, 9, c.Baud, true);
        const TInstant due = heard + 9 * TDelivery::ByteTime(c.Baud) - c.Early;
        EXPECT_GE(received, due);
        EXPECT_LE(received, due + jitterMax);
        // A reply of 23 bytes from `heard` on: each byte no sooner than the early bits allow and
        // no later than the timer and the jitter, in order, in batches.
        const auto jitter = delivery.DrawJitter();
        EXPECT_LE(jitter, jitterMax);
        TInstant lineEnd = heard;
        TInstant previous = heard - 1s;
        std::set<TInstant> batches;
        for (int byte = 0; byte < 23; ++byte) {
            lineEnd += TDelivery::ByteTime(c.Baud);
            const TInstant handOver = delivery.HandOver(lineEnd, c.Baud, true, jitter);
            EXPECT_GE(handOver, lineEnd - c.Early);
            EXPECT_LE(handOver, lineEnd - c.Early + latency + jitter);
            EXPECT_GE(handOver, previous);
            previous = handOver;
            batches.insert(handOver);
        }
        EXPECT_LE(batches.size(), c.MaxBatches);
    }
}

const TDeliveryCase Cases[] = {
    {"Exact", {}, 9600, 0us, 23},
    {"WholeByteEarlyAt300", {10, 0, 0}, 300, 33'333us, 23},
    {"StopBitEarlyAt2400", {1, 0, 0}, 2400, 416us, 23},
    {"LatencyTimer16At9600", {0, 16, 0}, 9600, 0us, 3},
    {"EverythingAt300", {10, 16, 20}, 300, 33'333us, 23},
};

INSTANTIATE_TEST_SUITE_P(Lines, Delivery, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Delivery, WithoutLineTimingNothingComesEarly) {
    TDelivery delivery({10, 0, 0}, 1);
    const TInstant heard = TDelivery::TClock::now();
    EXPECT_EQ(delivery.RequestReceived(heard, 9, 300, false), heard);
    EXPECT_EQ(delivery.HandOver(heard, 300, false, {}), heard);
}

TEST(Delivery, RefusesOptionsOutOfRange) {
    EXPECT_THROW(TDelivery({11, 0, 0}, 1), vmeter::EVirtualMeter);
    EXPECT_THROW(TDelivery({0, -1, 0}, 1), vmeter::EVirtualMeter);
    EXPECT_THROW(TDelivery({0, 0, 10001}, 1), vmeter::EVirtualMeter);
}

} // namespace
