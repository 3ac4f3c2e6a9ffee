#include "comm/FrameTrace.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace {

// Longest run of received bytes without a CR that is held back; line noise beyond it is traced
// as it comes rather than collected without end.
constexpr std::size_t MaxPendingBytes = 1024;

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

TTraceFile::~TTraceFile() {
    if (FFile != nullptr)
        std::fclose(FFile);
}

std::string TTraceFile::Reopen() noexcept {
    if (FFile != nullptr)
        std::fclose(FFile);
    FFile = std::fopen(FPath.c_str(), "ab");
    if (FFile == nullptr)
        return FPath + ": " + ErrnoText(errno);
    // Append mode reports the position 0 until the first write; the end is the size.
    std::fseek(FFile, 0, SEEK_END);
    const long size = std::ftell(FFile);
    FSize = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    return {};
}

std::string TTraceFile::WriteLine(const std::string& line) noexcept {
    try {
        if (FFile == nullptr) {
            if (std::string failure = Reopen(); !failure.empty())
                return failure;
        }
        const std::uint64_t length = line.size() + 1;
        if (FSize > 0 && FSize + length > FLimit) {
            std::fclose(FFile);
            FFile = nullptr;
            const std::string rotated = FPath + ".1";
            std::remove(rotated.c_str()); // rename does not replace a file on Windows
            if (std::rename(FPath.c_str(), rotated.c_str()) != 0)
                return FPath + ": cannot rotate to " + rotated + ": " + ErrnoText(errno);
            if (std::string failure = Reopen(); !failure.empty())
                return failure;
        }
        if (std::fputs(line.c_str(), FFile) < 0 || std::fputc('\n', FFile) == EOF ||
            std::fflush(FFile) != 0) {
            const int code = errno;
            std::clearerr(FFile);
            return FPath + ": " + ErrnoText(code);
        }
        FSize += length;
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
    Line(FPort, "TX", Escape(bytes), false);
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
