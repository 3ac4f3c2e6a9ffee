#include "app/ClockMeasure.h"

#include <cmath>
#include <thread>

KESTRO_DEFINE_EXCEPTION(EClockError, Exception);
KESTRO_DEFINE_EXCEPTION(EClockContradiction, EClockError);
KESTRO_DEFINE_EXCEPTION(EClockBeyondLimit, EClockError);

namespace {

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
// Slices of a wait between two looks at whether the user stopped the operation.
constexpr auto StopCheckSlice = std::chrono::milliseconds(10);
// The clock data of a reply, "hhnnss,ddmmyy", for the length of its frame.
const std::string ClockDataShape = "000000,010100";

const std::string SClockContradiction =
    "The meter's clock readings contradict each other: its clock stepped or is not counting";
const std::string SDateOutOfRange = "The PC's date is outside the meter's years 2000 to 2099";

// The time n bytes take on the line: 10 bits each (start, 8 data, stop).
double LineMs(std::size_t bytes, std::int32_t baudRate) {
    return baudRate > 0 ? static_cast<double>(bytes) * 10 * SecondMs / baudRate : 0;
}

// "#", the encoded packet and the CR.
std::size_t FrameBytes(const TCommKestro& engine, const TKestroPacket& packet) {
    return engine.EncodePacket(packet).size() + 2;
}

void ReadOnce(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc, TClockOffset& offset,
              const TStopRequested& stopRequested) {
    ThrowIfStopped(stopRequested);
    TDateTime time = 0;
    TDateTime date = 0;
    engine.GetDateTime(addr, time, date);
    offset.AddRead({CivilSeconds(date, time), pc.LocalMs(engine.RequestSentAt),
                    pc.LocalMs(engine.ReplyReceivedAt)},
                   ExchangeTiming(engine, engine.Request, engine.Response));
}

TOffsetResult ResultOf(const TClockOffset& offset, TSteady::time_point started) {
    TOffsetResult result;
    result.OffsetMs = offset.MiddleMs();
    result.UncertaintyMs = offset.HalfWidthMs();
    result.LowMs = offset.LowMs();
    result.HighMs = offset.HighMs();
    result.TargetReached = offset.TargetReached();
    result.Reads = offset.Reads();
    result.WidenedReads = offset.WidenedReads();
    result.DurationMs = Ms(TSteady::now() - started);
    result.MeanWindowMs = offset.MeanWindowMs();
    return result;
}

} // namespace

double Ms(TSteady::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

TReadTiming ExchangeTiming(const TCommKestro& engine, const TKestroPacket& request,
                           const TKestroPacket& reply) {
    const std::int32_t baud = engine.Dispatcher->GetBaudRate();
    return {LineMs(FrameBytes(engine, request), baud), LineMs(FrameBytes(engine, reply), baud),
            LineMs(1, baud)};
}

TExchangeWindow LastExchangeWindow(const TCommKestro& engine, const TPcClock& pc) {
    return ExchangeWindow(pc.LocalMs(engine.RequestSentAt), pc.LocalMs(engine.ReplyReceivedAt),
                          ExchangeTiming(engine, engine.Request, engine.Response));
}

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

TSteady::time_point SteadyAt(const TPcClock& pc, double pcMs) {
    const auto now = TSteady::now();
    const auto ahead = std::chrono::duration<double, std::milli>(pcMs - pc.LocalMs(now));
    return now + std::chrono::duration_cast<TSteady::duration>(ahead);
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
        throw EClockError(SDateOutOfRange);
    const int s = static_cast<int>(second);
    return EncodeDate(year, static_cast<int>(static_cast<unsigned>(date.month())),
                      static_cast<int>(static_cast<unsigned>(date.day()))) +
           EncodeTime(s / 3600, s / 60 % 60, s % 60, 0);
}

TMeasurement Measure(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                     const TClockOffsetOptions& options,
                     const std::optional<TPhaseExpectation>& expected) {
    const auto started = TSteady::now();
    const TReadTiming planned = ExchangeTiming(engine, TKestroPacket{'R', addr, 'C', ""},
                                               TKestroPacket{'A', addr, 'C', ClockDataShape});
    TMeasurement measurement{TClockOffset(options), {}};
    TClockOffset& offset = measurement.Offset;
    if (expected)
        offset.Expect(*expected);
    else
        ReadOnce(engine, addr, pc, offset, options.StopRequested);
    while (const std::optional<double> send =
               offset.NextSendMs(pc.LocalMs(TSteady::now()) + PlanLeadMs, planned)) {
        SleepUntil(SteadyAt(pc, *send), options.StopRequested);
        ReadOnce(engine, addr, pc, offset, options.StopRequested);
    }
    if (offset.Contradicted())
        throw EClockContradiction(SClockContradiction);
    measurement.Result = ResultOf(offset, started);
    return measurement;
}

TOffsetResult MeasureClockOffset(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                                 const TClockOffsetOptions& options) {
    return Measure(engine, addr, pc, options, std::nullopt).Result;
}

TPrintedOffset PrintedOffset(const TOffsetResult& offset) {
    const std::int64_t middle = std::llround(offset.OffsetMs);
    const double reach = std::max(offset.HighMs - static_cast<double>(middle),
                                  static_cast<double>(middle) - offset.LowMs);
    return {middle, static_cast<std::int64_t>(std::ceil(reach))};
}
