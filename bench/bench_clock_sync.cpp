// Clock offset measurement and precise setting against a virtual meter on a timed line (requests
// received one line time after their first byte, replies paced at 10 bits per byte, a turnaround
// drawn from 2 to 20 ms). Each run starts the meter with a random offset (within +-10 s) and
// drift (within +-50 ppm), then:
//  - offset: measures the offset;
//  - sync: measures it again (to a wider target), sets the clock on the second boundary and
//    measures again;
//  - the window's method: sends the PC's time with the fraction of the second dropped.
// The meter's log holds its true offset at every read and write; the figures compare with it.
// Usage: bench_clock_sync [runs] [baud...]   (20 runs at 9600 and 300 baud by default)
#include "VirtualMeter.h"
#include "app/ClockSync.h"
#include "comm/PortNames.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int Meter = 5;

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

struct TFigures {
    std::vector<double> OffsetError, OffsetUncertainty, OffsetReads, OffsetSeconds;
    std::vector<double> SyncResidual, SyncClaimError, SyncSeconds, WindowResidual;
    int TakeOver[4] = {}; // counts by TTakeOver
};

// The true offset logged with the last clock request of the given kind ('R' or 'W').
double LoggedTruth(const std::vector<vmeter::TLogEntry>& log, char kind) {
    for (auto entry = log.rbegin(); entry != log.rend(); ++entry)
        if (entry->Frame.size() > 4 && entry->Frame[1] == kind && entry->Frame[4] == 'C' &&
            entry->ClockOffsetMs)
            return *entry->ClockOffsetMs;
    throw std::runtime_error("no clock request of that kind in the meter's log");
}

// The window's way: the PC's local time now, its fraction of a second dropped, sent at once.
void WindowSet(TCommKestro& engine, const TPcClock& pc) {
    const double nowMs = pc.LocalMs(std::chrono::steady_clock::now());
    const auto seconds = static_cast<std::int64_t>(std::floor(nowMs / 1000));
    const std::chrono::sys_days day{std::chrono::days(seconds / 86400)};
    const std::chrono::year_month_day date{day};
    const int second = static_cast<int>(seconds % 86400);
    engine.SetDateTime(Meter, EncodeTime(second / 3600, second / 60 % 60, second % 60, 0),
                       EncodeDate(static_cast<int>(date.year()),
                                  static_cast<int>(static_cast<unsigned>(date.month())),
                                  static_cast<int>(static_cast<unsigned>(date.day()))));
}

void RunOnce(int baud, std::mt19937& random, TFigures& figures) {
    std::uniform_real_distribution<double> offset(-10'000, 10'000);
    std::uniform_real_distribution<double> drift(-50, 50);
    vmeter::TOptions options;
    options.BusMeters = {Meter};
    options.Pace = true;
    options.TurnaroundMs = 2;
    options.TurnaroundMaxMs = 20;
    options.Clock.OffsetMs = offset(random);
    options.Clock.DriftPpm = drift(random);
    vmeter::TVirtualMeter line(options);

    TCommDispatcher dispatcher;
    dispatcher.SetPort(1);
    dispatcher.SetDevice(line.SlavePath());
    dispatcher.SetBaudRate(baud);
    dispatcher.SetSlowLink(baud < 1200);
    dispatcher.Open();
    TCommKestro engine(dispatcher);
    engine.Timeout = 2000;
    engine.Retries = 1;

    const TPcClock pc = SystemPcClock();
    const TOffsetResult offsetResult = MeasureClockOffset(engine, Meter, pc);
    figures.OffsetError.push_back(std::abs(offsetResult.OffsetMs - LoggedTruth(line.Log(), 'R')));
    figures.OffsetUncertainty.push_back(offsetResult.UncertaintyMs);
    figures.OffsetReads.push_back(offsetResult.Reads);
    figures.OffsetSeconds.push_back(offsetResult.DurationMs / 1000);

    TClockSyncOptions syncOptions;
    syncOptions.Force = true; // the meter and the program share the PC's clock
    const TSyncResult sync = SyncClock(engine, Meter, pc, syncOptions);
    const std::vector<vmeter::TLogEntry> log = line.Log();
    figures.SyncResidual.push_back(std::abs(LoggedTruth(log, 'W')));
    figures.SyncClaimError.push_back(std::abs(sync.After.OffsetMs - LoggedTruth(log, 'R')));
    figures.SyncSeconds.push_back(sync.DurationMs / 1000);
    ++figures.TakeOver[static_cast<int>(sync.TakeOver)];

    // The sync ends just after a second boundary; the window's set comes at any moment.
    std::uniform_int_distribution<int> pause(0, 999);
    std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
    WindowSet(engine, pc);
    figures.WindowResidual.push_back(std::abs(LoggedTruth(line.Log(), 'W')));
}

void Row(const char* name, const std::vector<double>& values, const char* unit, const char* goal) {
    std::printf("  %-34s %9.1f %9.1f  %-3s %s\n", name, Percentile(values, 0.5),
                Percentile(values, 0.95), unit, goal);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::vector<int> speeds;
    for (int i = 2; i < argc; ++i)
        speeds.push_back(std::atoi(argv[i]));
    if (speeds.empty())
        speeds = {9600, 300};
    try {
        std::mt19937 random(2024);
        for (int baud : speeds) {
            TFigures figures;
            for (int run = 0; run < runs; ++run)
                RunOnce(baud, random, figures);
            const bool fast = baud >= 1200;
            std::printf("%d baud, %d runs, turnaround 2..20 ms     median       p95\n", baud, runs);
            Row("offset: error vs truth", figures.OffsetError, "ms", "(goal: median <= 10)");
            Row("offset: claimed uncertainty (+-)", figures.OffsetUncertainty, "ms", "");
            Row("offset: reads", figures.OffsetReads, "", "");
            Row("offset: time", figures.OffsetSeconds, "s", fast ? "(goal: 5)" : "(goal: 15)");
            Row("sync: residual (true, after set)", figures.SyncResidual, "ms",
                "(goal: median <= 15, p95 <= 30)");
            Row("sync: after-claim error vs truth", figures.SyncClaimError, "ms", "");
            Row("sync: time", figures.SyncSeconds, "s", fast ? "(goal: 10)" : "(goal: 30)");
            Row("window's method: residual", figures.WindowResidual, "ms", "");
            std::printf(
                "  take-over told (the meter restarts) restarts %d, keeps %d, undetermined %d, "
                "unexplained %d\n",
                figures.TakeOver[0], figures.TakeOver[1], figures.TakeOver[2], figures.TakeOver[3]);
            std::fflush(stdout);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_clock_sync: %s\n", e.what());
        return 1;
    }
}
