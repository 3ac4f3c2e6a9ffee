#include "comm/FrameTrace.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace {

// Longest run of received bytes without a CR that is held back; line noise beyond it is traced
// as it comes rather than collected without end.
constexpr std::size_t MaxPendingBytes = 1024;

// How long a trace waits for another program that is rotating the same file.
constexpr std::chrono::milliseconds RotationLockWait{100};

std::string TwoDigits(unsigned value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// "2026-12-09T17:04:47.123Z", without the C library's time functions (gmtime is not
// thread-safe and gmtime_r is not everywhere).
std::string WallClockText(std::chrono::system_clock::time_point now) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(now);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss time{ms - day};
    const auto millis = static_cast<unsigned>(time.subseconds().count());
    std::string text = std::to_string(static_cast<int>(date.year()));
    text += '-' + TwoDigits(static_cast<unsigned>(date.month())) + '-' +
            TwoDigits(static_cast<unsigned>(date.day()));
    text += 'T' + TwoDigits(static_cast<unsigned>(time.hours().count())) + ':' +
            TwoDigits(static_cast<unsigned>(time.minutes().count())) + ':' +
            TwoDigits(static_cast<unsigned>(time.seconds().count())) + '.' +
            static_cast<char>('0' + millis / 100) + TwoDigits(millis) + 'Z';
    return text;
}

long long MsBetween(std::chrono::steady_clock::time_point from,
                    std::chrono::steady_clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// A message stays on its line.
std::string OneLine(std::string text) {
    for (char& ch : text)
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    return text;
}

std::string ErrnoText(int code) {
    return std::error_code(code, std::generic_category()).message();
}

} // namespace

// --- outputs --------------------------------------------------------------------------------

TTraceFile::TTraceFile(std::string path, std::uint64_t limitBytes)
    : FPath(std::move(path)), FLimit(limitBytes) {}

bool TTraceFile::RotationDue(std::uint64_t length) const {
    const std::optional<std::uint64_t> size = FFile.Size();
    return size && *size > 0 && *size + length > FLimit;
}

// Another writer may have rotated meanwhile: the file this one holds is then "<path>.1", and
// the new file is the one to go on with, rotated only when it is due itself. Only the holder
// of the lock on the file the path names may rotate it, and a file only grows, so the check
// of the name under the lock is the check that the rotation is still due.
void TTraceFile::RotateIfDue(std::uint64_t length) {
    for (int attempt = 0; attempt < 3 && RotationDue(length); ++attempt) {
        if (!FFile.Lock(RotationLockWait))
            return; // a writer that keeps the lock this long must not stop the exchange
        if (!FFile.IsNamedBy(FPath)) {
            FFile.Close();
            if (!FFile.Open(FPath).empty())
                return;
            continue;
        }
        if (!RenameReplacing(FPath, FPath + ".1").empty()) {
            FFile.Unlock();
            return;
        }
        TAppendFile fresh;
        if (fresh.Open(FPath).empty())
            FFile = std::move(fresh); // closing the rotated file releases its lock
        else
            FFile.Close();
        return;
    }
}

std::string TTraceFile::WriteLine(const std::string& line) noexcept {
    try {
        const std::string bytes = line + '\n';
        const auto openWhenClosed = [this]() -> std::string {
            if (FFile.IsOpen())
                return {};
            const std::string failure = FFile.Open(FPath);
            return failure.empty() ? failure : FPath + ": " + failure;
        };
        if (std::string failure = openWhenClosed(); !failure.empty())
            return failure;
        RotateIfDue(bytes.size());
        // A rotation that could not open the new file has closed the old one.
        if (std::string failure = openWhenClosed(); !failure.empty())
            return failure;
        if (std::string failure = FFile.Append(bytes); !failure.empty())
            return FPath + ": " + failure;
        return {};
    } catch (...) {
        return FPath + ": out of memory";
    }
}

std::string TTraceStream::WriteLine(const std::string& line) noexcept {
    if (std::fputs(line.c_str(), FStream) < 0 || std::fputc('\n', FStream) == EOF ||
        std::fflush(FStream) != 0)
        return "standard error: " + ErrnoText(errno);
    return {};
}

// --- the trace ------------------------------------------------------------------------------

TFrameTrace::TFrameTrace(std::unique_ptr<TTraceOutput> output, TTraceFailureHandler onFailure)
    : FOutput(std::move(output)), FOnFailure(std::move(onFailure)) {}

std::string TFrameTrace::Escape(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto code = static_cast<unsigned char>(ch);
        if (ch == '\r') {
            text += "\\r";
        } else if (code >= 0x20 && code < 0x7F && ch != '\\') {
            text += ch;
        } else {
            text += "\\x";
            text += "0123456789ABCDEF"[code >> 4];
            text += "0123456789ABCDEF"[code & 0x0F];
        }
    }
    return text;
}

void TFrameTrace::Opened(const TTracePort& port) noexcept {
    FPort = port;
    FOpenedAt = TSteady::now();
    FRequestAt.reset();
    FPending.clear();
    FLastClosedError.clear();
    Line(FPort, "OPEN", {}, false);
}

void TFrameTrace::Reconfigured(const TTracePort& port) noexcept {
    FlushReceived();
    FPort = port;
    Line(FPort, "SPEED", {}, false);
}

void TFrameTrace::RoundTrip(double smoothedMs, double variationMs) noexcept {
    try {
        char text[64];
        std::snprintf(text, sizeof text, "rtt=%.1f+-%.1fms", smoothedMs, variationMs);
        FRoundTrip = text;
    } catch (...) {
        FRoundTrip.clear(); // out of memory: the line goes without it
    }
}

void TFrameTrace::Closed() noexcept {
    FlushReceived();
    Line(FPort, "CLOSE", {}, false);
    FOpenedAt.reset();
    FRequestAt.reset();
}

void TFrameTrace::Purging() noexcept {
    FlushReceived();
    FRequestAt.reset(); // a failure from here on is not the previous request's
}

void TFrameTrace::Sent(std::string_view bytes) noexcept {
    FlushReceived(); // whatever came unasked belongs before the request
    FRequestAt = TSteady::now();
    try {
        std::string text = Escape(bytes);
        if (!FRoundTrip.empty())
            text = FRoundTrip + ' ' + text;
        FRoundTrip.clear();
        Line(FPort, "TX", text, false);
    } catch (...) {
        // out of memory: nothing is traced, the exchange goes on
    }
}

void TFrameTrace::Received(std::string_view bytes) noexcept {
    try {
        FPendingAt = TStamp::Now();
        for (const char ch : bytes) {
            FPending += ch;
            if (ch == '\r' || FPending.size() >= MaxPendingBytes)
                FlushReceived();
        }
    } catch (...) {
        FPending.clear(); // out of memory: the trace loses these bytes, the exchange goes on
    }
}

void TFrameTrace::Failed(const TTracePort& port, const std::string& message,
                         const std::string& cause) noexcept {
    try {
        FlushReceived();
        std::string text = OneLine(message);
        if (!cause.empty())
            text += " cause: " + OneLine(cause);
        if (!FOpenedAt) {
            // A port that stays missing is retried every few seconds: once is enough.
            if (text == FLastClosedError)
                return;
            FLastClosedError = text;
            Line(port, "ERROR", text, false);
            return;
        }
        Line(FPort, "ERROR", text, true);
    } catch (...) {
        // out of memory: nothing is traced, the failure itself goes on to the caller
    }
}

void TFrameTrace::TimedOut(const std::string& message) noexcept {
    try {
        FlushReceived();
        Line(FPort, "TIMEOUT", OneLine(message), true);
    } catch (...) {
        // as in Failed
    }
}

void TFrameTrace::FlushReceived() noexcept {
    if (FPending.empty())
        return;
    try {
        Line(FPort, "RX", Escape(FPending), true, FPendingAt);
    } catch (...) {
        // as in Failed
    }
    FPending.clear();
}

void TFrameTrace::Line(const TTracePort& port, const char* event, const std::string& text,
                       bool afterRequest, const TStamp& at) noexcept {
    try {
        const TSteady::time_point now = at.Steady;
        std::string line = WallClockText(at.Wall);
        line += ' ';
        line += FOpenedAt ? std::to_string(MsBetween(*FOpenedAt, now)) + "ms" : std::string("-");
        // A device that no COM n leads to (kestro --port /dev/ttyUSB0) is named by its path.
        line += (port.Port > 0 ? " COM" + std::to_string(port.Port) : std::string(" -")) + ' ' +
                port.Device + ' ' + std::to_string(port.BaudRate) + ' ';
        std::string padded = event;
        padded.resize(7, ' ');
        line += padded;
        if (afterRequest && FRequestAt)
            line += " after=" + std::to_string(MsBetween(*FRequestAt, now)) + "ms";
        if (!text.empty())
            line += ' ' + text;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        const std::string failure = FOutput->WriteLine(line);
        if (failure.empty() || FWriteFailed)
            return;
        FWriteFailed = true;
        if (FOnFailure)
            FOnFailure(failure);
    } catch (...) {
        // Nothing of a trace may reach the exchange: a handler that throws is ignored too.
        FWriteFailed = true;
    }
}

std::shared_ptr<TFrameTrace> OpenFrameTrace(const std::string& target,
                                            TTraceFailureHandler onFailure,
                                            std::uint64_t limitBytes) {
    std::unique_ptr<TTraceOutput> output;
    if (target == "-")
        output = std::make_unique<TTraceStream>(stderr);
    else
        output = std::make_unique<TTraceFile>(target, limitBytes);
    return std::make_shared<TFrameTrace>(std::move(output), std::move(onFailure));
}
