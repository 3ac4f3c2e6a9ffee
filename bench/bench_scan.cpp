// A full scan 00 to 99 by the kestro program against the virtual meter at 9600 baud, the meter
// pacing its replies at line speed, with three meters present. Prints the time taken, the floor
// (the line time of every request and reply, plus the timeout of every silent address) and
// their ratio, at the default timeout and at --timeout 50.
// Usage: bench_scan [runs]   (1 by default; the best run counts)
#include "VirtualMeter.h"
#include "tests/support/ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Baud = 9600;
constexpr double BitsPerByte = 10.0;
constexpr std::size_t RequestBytes = 9; // "#R05E*12\r"
constexpr std::size_t ReplyBytes = 9;   // "#A05E*01\r"
const std::vector<int> Present{5, 42, 97};

double LineMs(std::size_t bytes) {
    return static_cast<double>(bytes) * BitsPerByte * 1000.0 / Baud;
}

// Runs kestro with its output thrown away; returns the wall time in ms.
double RunKestro(std::vector<std::string> args) {
    args.insert(args.begin(), KESTRO_PROGRAM);
    const Clock::time_point start = Clock::now();
    TChildProcess kestro(args, {.In = "/dev/null", .Out = "/dev/null", .Err = "/dev/null"});
    const int status = kestro.Wait();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (status != 0)
        throw std::runtime_error("kestro scan failed");
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    try {
        const std::string link = "/tmp/kestro-bench-scan-" + std::to_string(getpid());
        vmeter::TVirtualMeter meter(vmeter::TOptions{Present, -1, true, 0, link, {}});
        const std::string config = link + ".ini";
        std::ofstream(config) << "[Congif]\nComPort=1\nBaudRate=" << Baud
                              << "\nTimeout=200\n[Ports]\nCOM1=" << link << "\n";

        std::printf("kestro scan 00-99 at %d baud, meters %02d %02d %02d present, replies paced\n",
                    Baud, Present[0], Present[1], Present[2]);
        for (const int timeout : {200, 50}) {
            std::vector<std::string> args{"scan", "--config", config};
            if (timeout != 200) {
                args.push_back("--timeout");
                args.push_back(std::to_string(timeout));
            }
            double best = 1e300;
            for (int i = 0; i < runs; ++i)
                best = std::min(best, RunKestro(args));
            const std::size_t silent = 100 - Present.size();
            const double floor = LineMs(100 * RequestBytes + Present.size() * ReplyBytes) +
                                 static_cast<double>(silent) * timeout;
            std::printf("  timeout %3d ms%s: taken %8.1f ms, floor %8.1f ms, ratio %.3f\n", timeout,
                        timeout == 200 ? " (default)" : "          ", best, floor, best / floor);
            // What the program adds (process start and settings file included). A silent
            // address's wait starts once its request has left the line, so the requests' line
            // time is spent even on a pseudo-terminal, which delivers them at once.
            std::printf("    over the floor: %+.1f ms (%.2f ms per address)\n", best - floor,
                        (best - floor) / 100.0);
        }
        std::remove(config.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_scan: %s\n", e.what());
        return 1;
    }
}
