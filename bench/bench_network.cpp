// Echo at 9600 baud through a device server on loopback, next to the local pseudo-terminal:
// the meter paces its reply at line speed (a pseudo-terminal delivers the request at once),
// so the overhead is the median exchange minus the reply's line time. The device server is
// the virtual meter's own TCP server, RFC 2217 and raw.
// Usage: bench_network [exchanges]   (200 by default)
#include "TcpServer.h"
#include "VirtualMeter.h"
#include "comm/PortNames.h"
#include "comm/uCommKestro.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Meter = 5;
constexpr int Baud = 9600;

enum class TPath { Local, Rfc2217, Raw };

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double P95(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) * 95 / 100];
}

std::vector<double> Exchanges(TPath path, int runs) {
    vmeter::TVirtualMeter line(vmeter::TOptions{{Meter}, -1, true, 0, "", {}});
    std::unique_ptr<vmeter::TTcpServer> server;
    std::string device = line.SlavePath();
    if (path != TPath::Local) {
        server = std::make_unique<vmeter::TTcpServer>(line.DevicePath(), "127.0.0.1:0",
                                                      path == TPath::Rfc2217);
        device = std::string(path == TPath::Rfc2217 ? "rfc2217" : "socket") +
                 "://127.0.0.1:" + std::to_string(server->Port());
    }
    TCommDispatcher dispatcher;
    TCommKestro engine{dispatcher};
    dispatcher.SetPort(1);
    dispatcher.SetDevice(device);
    dispatcher.SetBaudRate(Baud);
    dispatcher.Open();
    engine.Timeout = 300;
    engine.Retries = 1;
    for (int i = 0; i < 5; ++i)
        engine.Echo(Meter); // warm-up
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        engine.Echo(Meter);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    dispatcher.Close();
    return times;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    try {
        const double replyLineMs = 9 * 10.0 * 1000.0 / Baud; // "#A05E*01\r", 10 bits a byte
        std::printf("echo at %d baud, meter pacing its replies, %d runs each\n", Baud, runs);
        std::printf("  reply line time %.3f ms\n", replyLineMs);
        std::printf("  %-26s %10s %10s %14s\n", "path", "median ms", "p95 ms", "overhead ms");
        double local = 0;
        for (const auto& [path, name] : {std::pair{TPath::Local, "local pseudo-terminal"},
                                         std::pair{TPath::Rfc2217, "RFC 2217 on loopback"},
                                         std::pair{TPath::Raw, "raw TCP on loopback"}}) {
            const std::vector<double> times = Exchanges(path, runs);
            const double overhead = Median(times) - replyLineMs;
            if (path == TPath::Local)
                local = overhead;
            std::printf("  %-26s %10.3f %10.3f %14.3f", name, Median(times), P95(times), overhead);
            if (path != TPath::Local)
                std::printf("  (%+.3f ms over local; goal <= +0.5)", overhead - local);
            std::printf("\n");
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_network: %s\n", e.what());
        return 1;
    }
}
