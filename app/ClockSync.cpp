#include "app/ClockSync.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

KESTRO_DEFINE_EXCEPTION(EClockContradiction, Exception);
KESTRO_DEFINE_EXCEPTION(EPcClockNotSynchronised, Exception);

namespace {

using TSteady = std::chrono::steady_clock;

constexpr double SecondMs = 1000;
constexpr std::int64_t DaySeconds = 86400;
constexpr double CivilEpochDay = 25569; // 1 January 1970 as a date-time value
// Planning runs this far ahead of now, so the planned instant has not passed when it is due.
constexpr double PlanLeadMs = 3;
// The last stretch before a planned instant is spun, not slept: a sleep can overshoot by the
// scheduler's tick (about 15.6 ms on Windows unless a finer period is in force).
#ifdef _WIN32
constexpr auto SpinStretch = std::chrono::milliseconds(20);
#else
constexpr auto SpinStretch = std::chrono::milliseconds(2);
#endif
// The clock data of a write, "hhnnss,ddmmyy", for the length of the write's frame.
const std::string ClockDataShape = "000000,010100";

const std::string SClockContradiction =
    "The meter's clock readings contradict each other: its clock stepped or is not counting";
const std::string SPcClockNotSynchronised =
    "The PC's clock is not synchronised: the meter can only be as right as the PC";
const std::string SDateOutOfRange = "The PC's date is outside the meter's years 2000 to 2099";

double Ms(TSteady::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The time n bytes take on the line: 10 bits each (start, 8 data, stop).
double LineMs(std::size_t bytes, std::int32_t baudRate) {
    return baudRate > 0 ? static_cast<double>(bytes) * 10 * SecondMs / baudRate : 0;
}

// "#", the encoded packet and the CR.
std::size_t FrameBytes(const TCommKestro& engine, const TKestroPacket& packet) {
    return engine.EncodePacket(packet).size() + 2;
}

// Slices of a wait between two looks at whether the user stopped the operation.
constexpr auto StopCheckSlice = std::chrono::milliseconds(10);

void SleepUntil(TSteady::time_point instant, const TStopRequested& stopRequested) {
    for (;;) {
        ThrowIfStopped(stopRequested);
        const auto spinFrom = instant - SpinStretch;
        if (TSteady::now() + StopCheckSlice >= spinFrom)
            break;
        std::this_thread::sleep_for(StopCheckSlice);
    }
    std::this_thread::sleep_until(instant - SpinStretch);
    while (TSteady::now() < instant)
        std::this_thread::yield();
}

// The PC time `pcMs` as a steady-clock instant.
TSteady::time_point SteadyAt(const TPcClock& pc, double pcMs) {
    const auto now = TSteady::now();
    const auto ahead = std::chrono::duration<double, std::milli>(pcMs - pc.LocalMs(now));
    return now + std::chrono::duration_cast<TSteady::duration>(ahead);
}

// The PC times between which the meter handled the last exchange: from the end of the request
// on the line to the start of the reply on the line. When the reply came sooner than the line
// allows (a line without timing, or bytes held back and sent at once) only the instants of
// handing over and receiving bound it.
struct TWindow {
    double StartMs;
    double EndMs;
};

TWindow LastWindow(const TCommKestro& engine, const TPcClock& pc) {
    const std::int32_t baud = engine.Dispatcher->GetBaudRate();
    const double sent = pc.LocalMs(engine.RequestSentAt);
    const double received = pc.LocalMs(engine.ReplyReceivedAt);
    const double start = sent + LineMs(FrameBytes(engine, engine.Request), baud);
    const double end = received - LineMs(FrameBytes(engine, engine.Response), baud);
    if (end < start)
        return {sent, received};
    return {start, end};
}

std::int64_t CivilSeconds(TDateTime date, TDateTime time) {
    const auto days = static_cast<std::int64_t>(std::llround(std::floor(date) - CivilEpochDay));
    return days * DaySeconds + std::llround(time * DaySeconds);
}

TDateTime DateTimeOf(std::int64_t civilSeconds) {
    std::int64_t days = civilSeconds / DaySeconds;
    std::int64_t second = civilSeconds % DaySeconds;
    if (second < 0) {
        second += DaySeconds;
        --days;
    }
    const std::chrono::year_month_day date{
        std::chrono::sys_days(std::chrono::days(static_cast<int>(days)))};
    const int year = static_cast<int>(date.year());
    if (year < 2000 || year > 2099)
        throw Exception(SDateOutOfRange);
    const int s = static_cast<int>(second);
    return EncodeDate(year, static_cast<int>(static_cast<unsigned>(date.month())),
                      static_cast<int>(static_cast<unsigned>(date.day()))) +
           EncodeTime(s / 3600, s / 60 % 60, s % 60, 0);
}

void ReadOnce(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc, TClockOffset& offset,
              const TStopRequested& stopRequested) {
    ThrowIfStopped(stopRequested);
    TDateTime time = 0;
    TDateTime date = 0;
    engine.GetDateTime(addr, time, date);
    const TWindow window = LastWindow(engine, pc);
    offset.AddRead(CivilSeconds(date, time), window.StartMs, window.EndMs);
}

// Sets the engine's attempts for a while and puts them back on every way out.
class TAttemptsGuard {
public:
    TAttemptsGuard(TCommKestro& engine, std::int32_t attempts)
        : FEngine(engine), FSaved(engine.Retries) {
        FEngine.Retries = attempts;
    }
    ~TAttemptsGuard() { FEngine.Retries = FSaved; }
    TAttemptsGuard(const TAttemptsGuard&) = delete;
    TAttemptsGuard& operator=(const TAttemptsGuard&) = delete;

private:
    TCommKestro& FEngine;
    std::int32_t FSaved;
};

bool Overlap(double low1, double high1, double low2, double high2, double tolerance) {
    return low1 <= high2 + tolerance && low2 <= high1 + tolerance;
}

} // namespace

std::string TakeOverText(TTakeOver takeOver) {
    switch (takeOver) {
    case TTakeOver::RestartsSecond:
        return "The meter restarts its second when set";
    case TTakeOver::KeepsFraction:
        return "The meter keeps the fraction of its second when set: only whole seconds were set";
    case TTakeOver::Undetermined:
        return "Whether the meter restarts its second when set could not be told (it was close "
               "to whole seconds before)";
    case TTakeOver::Unexplained:
        break;
    }
    return "The meter's offset after the set fits neither a restarted nor a kept second";
}

TOffsetResult MeasureClockOffset(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                                 const TClockOffsetOptions& options) {
    const auto started = TSteady::now();
    const std::int32_t baud = engine.Dispatcher->GetBaudRate();
    TClockOffset offset(options);
    ReadOnce(engine, addr, pc, offset, options.StopRequested);
    const TReadTiming timing{LineMs(FrameBytes(engine, engine.Request), baud),
                             LineMs(FrameBytes(engine, engine.Response), baud)};
    while (const std::optional<double> send =
               offset.NextSendMs(pc.LocalMs(TSteady::now()) + PlanLeadMs, timing)) {
        SleepUntil(SteadyAt(pc, *send), options.StopRequested);
        ReadOnce(engine, addr, pc, offset, options.StopRequested);
    }
    if (offset.Contradicted())
        throw EClockContradiction(SClockContradiction);

    TOffsetResult result;
    result.OffsetMs = offset.MiddleMs();
    result.UncertaintyMs = offset.HalfWidthMs();
    result.LowMs = offset.LowMs();
    result.HighMs = offset.HighMs();
    result.TargetReached = offset.TargetReached();
    result.Reads = offset.Reads();
    result.DurationMs = Ms(TSteady::now() - started);
    result.MeanWindowMs = offset.MeanWindowMs();
    return result;
}

TTakeOver ClassifyTakeOver(const TOffsetResult& before, double writeStartMs, double writeEndMs,
                           std::int64_t writtenSeconds, const TOffsetResult& after,
                           double toleranceMs) {
    const double written = static_cast<double>(writtenSeconds) * SecondMs;
    // Restarted: the meter was at `written` when the PC was within the write's window.
    const bool restarts = Overlap(after.LowMs, after.HighMs, written - writeEndMs,
                                  written - writeStartMs, toleranceMs);
    // Kept: the meter's time at the take-over, before.offset + pc, lost its whole seconds to
    // `written`, so the offset moved by whole seconds from what it was.
    const double oldLow = std::floor((writeStartMs + before.LowMs) / SecondMs);
    const double oldHigh = std::floor((writeEndMs + before.HighMs) / SecondMs);
    bool keeps = false;
    for (double old = oldLow; old <= oldHigh; ++old) {
        const double shift = (static_cast<double>(writtenSeconds) - old) * SecondMs;
        keeps = keeps || Overlap(after.LowMs, after.HighMs, before.LowMs + shift,
                                 before.HighMs + shift, toleranceMs);
    }
    if (restarts && keeps)
        return TTakeOver::Undetermined;
    if (restarts)
        return TTakeOver::RestartsSecond;
    if (keeps)
        return TTakeOver::KeepsFraction;
    return TTakeOver::Unexplained;
}

TSyncResult SyncClock(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                      const TClockSyncOptions& options) {
    const auto started = TSteady::now();
    TSyncResult result;
    result.PcClock = pc.Check();
    if (result.PcClock.State == TPcClockStatus::TState::NotSynchronised && !options.Force)
        throw EPcClockNotSynchronised(SPcClockNotSynchronised);

    TClockOffsetOptions before = options.Offset;
    before.TargetWidthMs = std::max(before.TargetWidthMs, options.BeforeTargetWidthMs);
    result.Before = MeasureClockOffset(engine, addr, pc, before);

    // The meter takes the time over somewhere between the end of the request and the start of
    // its reply; the middle of the window the reads showed is the best guess of where.
    const std::int32_t baud = engine.Dispatcher->GetBaudRate();
    const double requestMs =
        LineMs(FrameBytes(engine, TKestroPacket{'W', addr, 'C', ClockDataShape}), baud);
    const double takeOverMs = requestMs + result.Before.MeanWindowMs / 2;
    const double earliest = pc.LocalMs(TSteady::now()) + PlanLeadMs + takeOverMs;
    const auto second = static_cast<std::int64_t>(std::ceil(earliest / SecondMs));
    const double send = static_cast<double>(second) * SecondMs - takeOverMs;
    result.Written = DateTimeOf(second);
    {
        TAttemptsGuard once(engine, 1);
        SleepUntil(SteadyAt(pc, send), options.Offset.StopRequested);
        engine.SetDateTime(addr, result.Written - std::floor(result.Written),
                           std::floor(result.Written));
    }
    result.WriteLateMs = pc.LocalMs(engine.RequestSentAt) - send;
    const TWindow write = LastWindow(engine, pc);

    result.After = MeasureClockOffset(engine, addr, pc, options.Offset);
    result.TakeOver =
        ClassifyTakeOver(result.Before, write.StartMs, write.EndMs, second, result.After);
    result.DurationMs = Ms(TSteady::now() - started);
    return result;
}
