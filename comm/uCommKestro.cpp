#include "comm/uCommKestro.h"

#include "comm/TraceSink.h"

#include "runtime/Clock.h"
#include "runtime/Format.h"
#include "runtime/ScopedFlag.h"
#include "runtime/SysUtils.h"

#include <algorithm>
#include <cmath>

KESTRO_DEFINE_EXCEPTION(EKestroError, ECommError);
KESTRO_DEFINE_EXCEPTION(EKestroBadChecksum, EKestroError);
KESTRO_DEFINE_EXCEPTION(EKestroBadPacket, EKestroError);
KESTRO_DEFINE_EXCEPTION(EKestroBadKestroId, EKestroError);
KESTRO_DEFINE_EXCEPTION(EKestroTimeout, EKestroError);
KESTRO_DEFINE_EXCEPTION(EKestroUnknownError, EKestroError);
KESTRO_DEFINE_EXCEPTION(EKestroDataDiff, EKestroError);
KESTRO_DEFINE_EXCEPTION(EKestroReadError, EKestroError);
KESTRO_DEFINE_EXCEPTION(EKsRdBadChecksum, EKestroReadError);
KESTRO_DEFINE_EXCEPTION(EKsRdUnknownCommand, EKestroReadError);
KESTRO_DEFINE_EXCEPTION(EKsRdDataFmtError, EKestroReadError);
KESTRO_DEFINE_EXCEPTION(EKsRdWriteProtect, EKestroReadError);

std::string SAddrAll = "обща заявка";
std::string SKestroBadChecksum = "Некоректна контролна сума в пакета!";
std::string SKestroBadPacket = "Получен некоректен пакет!";
std::string SKestroBadKestroId = "Получен пакет с некоректен мрежов номер!";
std::string SKestroTimeout = "Таймаут!";
std::string SKestroUnknownError = "Непознат код за грешка: \"%s\"!";
std::string SKestroDataDiff = "Данните в отговора се различават!";
std::string SKestroReadError = "%s върна грешка: %s";
std::string SKsRdBadChecksum = "Некоректна контролна сума!";
std::string SKsRdUnknownCommand = "Непозната команда: %s!";
std::string SKsRdDataFmtError = "Грешка в параметрите!";
std::string SKsRdWriteProtect = "Устройството не е разрешено за конфигурация!";

namespace {

constexpr char StartMark = '#';
constexpr char CR = '\r';
constexpr std::uint32_t PauseBetweenAttemptsMs = 50;
// Longest single wait for input: short enough that a vanished port or a moved deadline is
// noticed soon, long enough that an idle wait costs next to no CPU.
constexpr std::uint32_t MaxWaitSliceMs = 50;

char HexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 0x0F];
}

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return -1;
}

std::uint8_t Checksum(const std::string& body) {
    std::uint8_t sum = 0;
    for (char ch : body)
        sum ^= static_cast<std::uint8_t>(ch);
    return sum;
}

// The error letter as it can be shown: printable ASCII as itself, anything else (NUL, control
// bytes, bytes of 0x80 and up) as "0x" and two hex digits, so a message never carries them.
std::string LetterText(char letter) {
    const auto code = static_cast<unsigned char>(letter);
    if (code >= 0x20 && code < 0x7F)
        return std::string(1, letter);
    return Format("0x%2.2x", {static_cast<unsigned>(code)});
}

// A clock field of a reply: exactly six decimal digits, "hhnnss" or "ddmmyy".
bool IsClockField(const std::string& field) {
    return field.size() == 6 &&
           std::all_of(field.begin(), field.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

} // namespace

TCommKestro::TCommKestro(TCommDispatcher& dispatcher)
    : TCommBase(dispatcher), TickCount([] { return sysclock::GetTickCount(); }),
      Pause([](std::uint32_t ms) { sysclock::Sleep(ms); }) {}

void TCommKestro::Error(const TExceptionClass& cls, const std::string& text) {
    if (cls.InheritsFrom(EKestroReadError::ClassType))
        RaiseException(cls, Format(SKestroReadError, {AddrName(FReplyAddr), text}));
    RaiseException(cls, Format("[%s] ", {AddrName(Request.Addr)}) + text);
}

std::string TCommKestro::AddrName(TKestroAddr addr) {
    if (addr > 99)
        return SAddrAll;
    return Format("Kestro #%2.2d", {static_cast<int>(addr)});
}

std::string TCommKestro::EncodePacket(const TKestroPacket& packet) const {
    std::string body(1, packet.Cmd);
    if (packet.Addr > 99) {
        body += "??";
    } else {
        body += static_cast<char>('0' + packet.Addr / 10);
        body += static_cast<char>('0' + packet.Addr % 10);
    }
    body += packet.Code;
    if (!packet.Data.empty()) {
        body += ',';
        body += packet.Data;
    }
    const std::uint8_t sum = Checksum(body);
    body += '*';
    body += HexDigit(sum >> 4);
    body += HexDigit(sum);
    return body;
}

void TCommKestro::DecodePacket(const std::string& text, TKestroPacket& packet) {
    packet = TKestroPacket{};
    packet.Addr = KestroAddrAll;

    const std::string line = Trim(text);
    const std::size_t length = line.size();
    if (length < 7)
        Error(EKestroBadPacket::ClassType, SKestroBadPacket);

    packet.Cmd = line[0];
    packet.Code = line[3];
    if (packet.Cmd != 'A' && packet.Cmd != 'E')
        Error(EKestroBadPacket::ClassType, SKestroBadPacket);
    if (line[length - 3] != '*')
        Error(EKestroBadPacket::ClassType, SKestroBadPacket);
    const int high = HexValue(line[length - 2]);
    const int low = HexValue(line[length - 1]);
    if (high < 0 || low < 0)
        Error(EKestroBadPacket::ClassType, SKestroBadPacket);

    const std::string body = line.substr(0, length - 3);
    if ((Checksum(body) ^ static_cast<std::uint8_t>(high * 16 + low)) != 0)
        Error(EKestroBadChecksum::ClassType, SKestroBadChecksum);

    packet.Addr = static_cast<TKestroAddr>(StrToIntDef(body.substr(1, 2), 255) & 0xFF);
    if (packet.Addr > 99)
        Error(EKestroBadKestroId::ClassType, SKestroBadKestroId);

    if (packet.Cmd == 'E') {
        FReplyAddr = packet.Addr;
        switch (packet.Code) {
        case 'C':
            Error(EKsRdUnknownCommand::ClassType, Format(SKsRdUnknownCommand, {"C"}));
            break;
        case 'D':
            Error(EKsRdDataFmtError::ClassType, SKsRdDataFmtError);
            break;
        case 'P':
            Error(EKsRdWriteProtect::ClassType, SKsRdWriteProtect);
            break;
        case 'S':
            Error(EKsRdBadChecksum::ClassType, SKsRdBadChecksum);
            break;
        default:
            Error(EKestroUnknownError::ClassType,
                  Format(SKestroUnknownError, {LetterText(packet.Code)}));
        }
    }

    if (body.size() > 4 && body[4] == ',')
        packet.Data = body.substr(5);
}

// The reply must begin within the time-out after the request has left the line (its line
// time at the set speed), and behind a device server after the network's round trip too; a
// reply under way is given the line time of each byte it has brought. The wait is measured
// from the moment the request was handed to the port, and never exceeds MaxReplyWaitMs.
bool TCommKestro::ReceiveLine(std::string& line, bool& overflow, std::size_t requestBytes) {
    // A negative time-out would otherwise read as a wait of weeks in unsigned arithmetic.
    const double timeout =
        std::min(std::max(Timeout, 0), static_cast<std::int32_t>(MaxReplyWaitMs));
    const double byteMs = Dispatcher->LineTimeMs(1);
    const double begin =
        timeout + Dispatcher->LineTimeMs(requestBytes) + Dispatcher->ReplyAllowanceMs();
    const auto limitAfter = [&](std::size_t replyBytes) {
        const double ms = std::round(begin + static_cast<double>(replyBytes) * byteMs);
        return static_cast<std::uint32_t>(std::min(ms, static_cast<double>(MaxReplyWaitMs)));
    };
    const std::uint32_t start = TickCount();
    std::uint32_t limit = limitAfter(0);
    line.clear();
    overflow = false;
    bool started = false;
    FReplyBeganMs.reset();
    for (;;) {
        char ch;
        const bool got = Dispatcher->ReadChar(ch);
        if (got) {
            if (ch == StartMark) {
                line.clear();
                overflow = false;
                started = true;
                FReplyBeganMs = TickCount() - start;
            } else if (ch != CR) {
                if (line.size() < MaxReplyLength)
                    line += ch;
                else
                    overflow = true;
            } else if (FTimedOutRequest && (!started || (!overflow && IsLateReply(line)))) {
                // After a time-out, a line without its start mark is the tail of the late reply
                // (its head went before the purge), and a whole late reply is passed over too.
                line.clear();
                overflow = false;
                started = false;
            } else {
                return true;
            }
            // The start mark and the bytes after it, up to the longest line kept.
            limit = limitAfter(started ? line.size() + 1 : 0);
        }
        // Unsigned difference: correct across the wrap of the tick counter.
        const std::uint32_t elapsed = TickCount() - start;
        if (elapsed > limit)
            return false;
        if (!got)
            Dispatcher->WaitForInput(std::min(limit - elapsed + 1, MaxWaitSliceMs));
    }
}

namespace {

// Whether a reply can be the answer to a request: it comes from the addressed meter (any meter
// when the request went out as "??") and, unless it is an error reply, names the same object.
bool Answers(const TKestroPacket& request, const TKestroPacket& reply) {
    const bool fromAddressee = request.Addr > 99 || reply.Addr == request.Addr;
    return fromAddressee && (reply.Cmd == 'E' || reply.Code == request.Code);
}

} // namespace

bool TCommKestro::IsLateReply(const std::string& line) {
    TKestroPacket reply;
    try {
        DecodePacket(line, reply);
    } catch (const EKestroReadError&) {
        // a well-formed error reply: the packet holds its address
    } catch (const EKestroUnknownError&) {
    } catch (const EKestroError&) {
        return false; // malformed: the attempt reports it as such
    }
    return Answers(*FTimedOutRequest, reply) && !Answers(Request, reply);
}

void TCommKestro::Attempt(TKestroAddr addr, char cmd, char code, const std::string& data) {
    Request.Addr = addr;
    Request.Cmd = cmd;
    Request.Code = code;
    Request.Data = data;

    const std::string frame = StartMark + EncodePacket(Request) + CR;
    Dispatcher->Purge();
    RequestSentAt = std::chrono::steady_clock::now();
    Dispatcher->WriteStr(frame);

    std::string line;
    bool overflow = false;
    const std::optional<TKestroPacket> timedOut = FTimedOutRequest;
    if (!ReceiveLine(line, overflow, frame.size())) {
        FTimedOutRequest = Request;
        Error(EKestroTimeout::ClassType, SKestroTimeout);
    }
    FTimedOutRequest.reset();
    ReplyReceivedAt = std::chrono::steady_clock::now();
    // An overlong line was cut short, so it cannot be decoded as what the meter sent.
    if (overflow)
        Error(EKestroBadPacket::ClassType, SKestroBadPacket);

    TKestroPacket reply;
    DecodePacket(line, reply);
    Response = reply;
    // How long the reply took to begin once the request was off the line: the round trip where
    // the network has no other measure of it. A reply that would also answer a request that
    // timed out may be that one's late reply, whose delay tells nothing of this request's.
    if (FReplyBeganMs && !(timedOut && Answers(*timedOut, reply)))
        Dispatcher->NoteReplyDelay(
            std::max(*FReplyBeganMs - Dispatcher->LineTimeMs(frame.size()), 0.0));
    if (Response.Code != Request.Code)
        Error(EKestroBadPacket::ClassType, SKestroBadPacket);
}

void TCommKestro::Transact(TKestroAddr addr, char cmd, char code, const std::string& data) {
    const TScopedFlag busy(Busy); // cleared on every way out of the exchange
    // At least one attempt: returning without one would report a failure as success.
    const std::int32_t attempts = std::max(Retries, 1);
    for (std::int32_t left = attempts - 1;; --left) {
        if (BeforeRequest)
            BeforeRequest();
        try {
            Attempt(addr, cmd, code, data);
            return;
        } catch (const EKestroError& e) {
            // The channel traces its own failures; the protocol's are known only here.
            if (TTraceSink* trace = Dispatcher->Trace()) {
                if (dynamic_cast<const EKestroTimeout*>(&e) != nullptr)
                    trace->TimedOut(e.what());
                else
                    trace->Failed({}, e.what(), {});
            }
            if (left <= 0)
                throw;
        } catch (...) {
            if (left <= 0)
                throw;
        }
        Pause(PauseBetweenAttemptsMs);
    }
}

void TCommKestro::ReadCmd(TKestroAddr addr, char code, const std::string& data) {
    Transact(addr, 'R', code, data);
    if (Request.Addr != KestroAddrAll && Response.Addr != Request.Addr)
        Error(EKestroBadKestroId::ClassType, SKestroBadKestroId);
}

void TCommKestro::WriteCmd(TKestroAddr addr, char code, const std::string& data) {
    Transact(addr, 'W', code, data);
    if (Request.Addr != KestroAddrAll && Response.Addr != Request.Addr)
        Error(EKestroBadKestroId::ClassType, SKestroBadKestroId);
}

void TCommKestro::CheckData() {
    if (Response.Data != Request.Data)
        Error(EKestroDataDiff::ClassType, SKestroDataDiff);
}

void TCommKestro::Echo(TKestroAddr addr) {
    ReadCmd(addr, 'E', std::string());
}

void TCommKestro::GetDateTime(TKestroAddr addr, TDateTime& time, TDateTime& date) {
    ReadCmd(addr, 'C', std::string());
    // The lenient field conversion would read "abc" as midnight, "1200" as 00:12:00 and
    // "999999999999" as whatever it wraps to: a wrong clock reported as read. Six digits that
    // are no time or date still fail in the date routines below.
    if (!IsClockField(GetParam(0)) || !IsClockField(GetParam(1)))
        Error(EKestroBadPacket::ClassType, SKestroBadPacket);
    time = GetTimeParam(0);
    date = GetDateParam(1);
}

void TCommKestro::SetDateTime(TKestroAddr addr, TDateTime time, TDateTime date) {
    WriteCmd(addr, 'C', FormatDateTime("hhnnss,ddmmyy", date + time));
    CheckData();
}

std::string TCommKestro::GetParam(std::int32_t index) const {
    std::string rest = Response.Data;
    std::string result;
    while (index >= 0) {
        if (rest.empty())
            return std::string();
        const std::size_t comma = rest.find(',');
        if (comma == std::string::npos) {
            result = rest;
            rest.clear();
        } else {
            result = rest.substr(0, comma);
            rest.erase(0, comma + 1);
        }
        --index;
    }
    return result;
}

std::int32_t TCommKestro::GetIntParam(std::int32_t index) const {
    return StrToIntDef(GetParam(index), 0);
}

TDateTime TCommKestro::GetDateParam(std::int32_t index) const {
    const std::int32_t v = GetIntParam(index);
    return EncodeDate(2000 + v % 100, v / 100 % 100, v / 10000);
}

TDateTime TCommKestro::GetTimeParam(std::int32_t index) const {
    const std::int32_t v = GetIntParam(index);
    return EncodeTime(v / 10000, v / 100 % 100, v % 100, 0);
}
