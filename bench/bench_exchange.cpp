// Exchange figures against a virtual meter that sends its replies at line speed:
//  - echo exchanges at 9600 baud: median and 95th percentile, the line time, and what the
//    program adds on top of the line (overhead); also how soon the engine returns after the
//    meter's last byte, and a round trip without line timing;
//  - a wait for a silent meter: wall time and CPU time, which should stay near zero.
// Usage: bench_exchange [exchanges]   (200 by default)
#include "VirtualMeter.h"
#include "comm/PortNames.h"
#include "comm/uCommKestro.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Meter = 5;
constexpr int Baud = 9600;
constexpr double BitsPerByte = 10.0;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

double LineMs(std::size_t bytes) {
    return static_cast<double>(bytes) * BitsPerByte * 1000.0 / Baud;
}

double CpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// One meter on its own pseudo-terminal, with the channel and the engine on COM1.
struct TBench {
    std::atomic<Clock::rep> LastReplySent{0};
    vmeter::TVirtualMeter Line;
    TCommDispatcher Dispatcher;
    TCommKestro Engine{Dispatcher};

    explicit TBench(bool pace)
        : Line(vmeter::TOptions{{Meter}, -1, pace, 0, "", [this](const vmeter::TLogEntry&) {
                                    LastReplySent = Clock::now().time_since_epoch().count();
                                }}) {
        Dispatcher.SetPort(1);
        Dispatcher.SetDevice(Line.SlavePath());
        Dispatcher.SetBaudRate(Baud);
        Dispatcher.Open();
        Engine.Timeout = 300;
        Engine.Retries = 1;
    }

    // Exchange times in ms, and the time from the meter's last byte to the engine's return.
    void Run(int count, std::vector<double>& exchange, std::vector<double>& reaction) {
        for (int i = 0; i < 5; ++i)
            Engine.Echo(Meter); // warm-up
        for (int i = 0; i < count; ++i) {
            const Clock::time_point start = Clock::now();
            Engine.Echo(Meter);
            const Clock::time_point end = Clock::now();
            exchange.push_back(Ms(end - start));
            // The meter notes its last byte just after writing it; the engine may be faster.
            Clock::time_point sent{Clock::duration(LastReplySent.load())};
            while (sent < start && Clock::now() - end < std::chrono::milliseconds(100))
                sent = Clock::time_point{Clock::duration(LastReplySent.load())};
            reaction.push_back(Ms(end - sent));
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    try {
        const std::string request = "#R05E*12\r";
        const std::string reply = "#A05E*01\r";
        const double lineMs = LineMs(request.size() + reply.size());
        // The meter times the request as a line would, and paces its reply.
        const double pacedMs = LineMs(request.size() + reply.size());

        std::vector<double> exchange, reaction;
        {
            TBench bench(true);
            bench.Run(runs, exchange, reaction);
        }
        const double median = Percentile(exchange, 0.5);
        std::printf("echo at %d baud, meter pacing its replies\n", Baud);
        std::printf("  runs                      %d\n", runs);
        std::printf("  median exchange           %.3f ms\n", median);
        std::printf("  p95 exchange              %.3f ms\n", Percentile(exchange, 0.95));
        std::printf("  line time request+reply   %.3f ms (%zu bytes, 10 bits each)\n", lineMs,
                    request.size() + reply.size());
        std::printf("  overhead (median - paced) %.3f ms  (target <= 0.2 ms)\n", median - pacedMs);
        std::printf("  return after last byte    median %.3f ms, p95 %.3f ms (negative: before\n"
                    "                            the meter's thread noted it)\n",
                    Percentile(reaction, 0.5), Percentile(reaction, 0.95));

        std::vector<double> raw, rawReaction;
        {
            TBench bench(false);
            bench.Run(runs, raw, rawReaction);
        }
        std::printf("echo without line timing (program and meter software only)\n");
        std::printf("  median %.3f ms, p95 %.3f ms\n", Percentile(raw, 0.5), Percentile(raw, 0.95));

        TBench silent(true);
        silent.Line.SetFault(vmeter::TFault::Silence, -1);
        silent.Engine.Timeout = 2000;
        const double processCpu0 = CpuMs(RUSAGE_SELF);
        const double threadCpu0 = CpuMs(RUSAGE_THREAD);
        const Clock::time_point start = Clock::now();
        try {
            silent.Engine.Echo(Meter);
            std::printf("silent meter answered?\n");
            return 1;
        } catch (const EKestroTimeout&) {
        }
        const double wall = Ms(Clock::now() - start);
        const double processCpu = CpuMs(RUSAGE_SELF) - processCpu0;
        const double threadCpu = CpuMs(RUSAGE_THREAD) - threadCpu0;
        std::printf("silent meter, Timeout 2000 ms\n");
        std::printf("  wall time                 %.1f ms\n", wall);
        std::printf("  process CPU time          %.2f ms (%.2f %%)  (target <= 1 %%)\n", processCpu,
                    100.0 * processCpu / wall);
        std::printf("  engine thread CPU time    %.2f ms (%.2f %%)\n", threadCpu,
                    100.0 * threadCpu / wall);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_exchange: %s\n", e.what());
        return 1;
    }
}
