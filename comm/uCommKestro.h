#pragma once

#include "comm/uCommDispatcher.h"
#include "runtime/DateTime.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Protocol failures. EKestroError and EKestroReadError are never thrown themselves; the
// descendants of EKestroReadError are the errors a meter reports in an error reply.
KESTRO_DECLARE_EXCEPTION(EKestroError, ECommError);
KESTRO_DECLARE_EXCEPTION(EKestroBadChecksum, EKestroError);
KESTRO_DECLARE_EXCEPTION(EKestroBadPacket, EKestroError);
KESTRO_DECLARE_EXCEPTION(EKestroBadKestroId, EKestroError);
KESTRO_DECLARE_EXCEPTION(EKestroTimeout, EKestroError);
KESTRO_DECLARE_EXCEPTION(EKestroUnknownError, EKestroError);
KESTRO_DECLARE_EXCEPTION(EKestroDataDiff, EKestroError);
KESTRO_DECLARE_EXCEPTION(EKestroReadError, EKestroError);
KESTRO_DECLARE_EXCEPTION(EKsRdBadChecksum, EKestroReadError);
KESTRO_DECLARE_EXCEPTION(EKsRdUnknownCommand, EKestroReadError);
KESTRO_DECLARE_EXCEPTION(EKsRdDataFmtError, EKestroReadError);
KESTRO_DECLARE_EXCEPTION(EKsRdWriteProtect, EKestroReadError);

// Message texts of the protocol engine, with their built-in (Bulgarian) defaults until start-up
// assigns the English texts.
extern std::string SAddrAll;
extern std::string SKestroBadChecksum;
extern std::string SKestroBadPacket;
extern std::string SKestroBadKestroId;
extern std::string SKestroTimeout;
extern std::string SKestroUnknownError;
extern std::string SKestroDataDiff;
extern std::string SKestroReadError;
extern std::string SKsRdBadChecksum;
extern std::string SKsRdUnknownCommand;
extern std::string SKsRdDataFmtError;
extern std::string SKsRdWriteProtect;

// Network address: 0 to 99 one meter, 255 all meters (the one under the optical head).
using TKestroAddr = std::uint8_t;
constexpr TKestroAddr KestroAddrAll = 255;

// One request or reply.
struct TKestroPacket {
    char Cmd = '\0'; // request "R"/"W", reply "A"/"E"
    TKestroAddr Addr = 0;
    char Code = '\0'; // object letter, or the error letter of an error reply
    std::string Data; // the text after the comma

    bool operator==(const TKestroPacket&) const = default;
};

// What any protocol engine over a channel needs: the channel (not owned), the reply time-out
// and the number of attempts of one exchange.
class TCommBase {
public:
    explicit TCommBase(TCommDispatcher& dispatcher) : Dispatcher(&dispatcher) {}
    virtual ~TCommBase() = default;

    [[noreturn]] virtual void Error(const TExceptionClass& cls, const std::string& text) = 0;

    TCommDispatcher* Dispatcher;
    // Milliseconds a reply may take to begin once the request has left the line (the line time
    // and, behind a device server, the round trip come on top).
    std::int32_t Timeout = 300;
    std::int32_t Retries = 3; // attempts per exchange, the first included
};

// The engine of the meters' protocol: one request/reply exchange at a time, and the meter
// operations built on it.
class TCommKestro : public TCommBase {
public:
    explicit TCommKestro(TCommDispatcher& dispatcher);

    [[noreturn]] void Error(const TExceptionClass& cls, const std::string& text) override;

    // "Kestro #05" for 0 to 99, SAddrAll from 100 on.
    static std::string AddrName(TKestroAddr addr);

    // Request body, "*" and checksum, without the start mark and the CR.
    std::string EncodePacket(const TKestroPacket& packet) const;
    // Checks a reply line (the text between "#" and CR) and fills the packet; raises on failure.
    void DecodePacket(const std::string& text, TKestroPacket& packet);

    void Transact(TKestroAddr addr, char cmd, char code, const std::string& data);
    void ReadCmd(TKestroAddr addr, char code, const std::string& data);
    void WriteCmd(TKestroAddr addr, char code, const std::string& data);
    void CheckData();

    void Echo(TKestroAddr addr);
    void GetDateTime(TKestroAddr addr, TDateTime& time, TDateTime& date);
    void SetDateTime(TKestroAddr addr, TDateTime time, TDateTime date);

    std::string GetParam(std::int32_t index) const;
    std::int32_t GetIntParam(std::int32_t index) const;
    TDateTime GetDateParam(std::int32_t index) const;
    TDateTime GetTimeParam(std::int32_t index) const;

    TKestroPacket Request;
    TKestroPacket Response;
    bool Busy = false;

    // Steady-clock instants of the last attempt: just before its request was handed to the
    // port, and just after its reply's CR was taken from the port. They time the meter's
    // clock to the millisecond; the line time of n bytes is n * 10 / baud seconds.
    std::chrono::steady_clock::time_point RequestSentAt;
    std::chrono::steady_clock::time_point ReplyReceivedAt;

    // Asked before each attempt hands its request to the port, the first included: whatever it
    // raises ends the exchange at once, without a further attempt (the user stopped it).
    // Empty: every attempt goes out.
    std::function<void()> BeforeRequest;

    // Seams for tests: the millisecond tick counter and the pause between attempts.
    std::function<std::uint32_t()> TickCount;
    std::function<void(std::uint32_t)> Pause;

    // Longest reply text kept; a real reply is a few dozen bytes, so anything longer is line
    // noise and can only end the attempt as a bad packet or a timeout.
    static constexpr std::size_t MaxReplyLength = 1024;
    // Longest wait for one reply, whatever Timeout, the line time and the network add: a
    // hand-edited time-out of weeks must not freeze the caller.
    static constexpr std::uint32_t MaxReplyWaitMs = 60000;

private:
    // Collects one reply line after a request of `requestBytes` went out; false when no CR
    // came in time.
    bool ReceiveLine(std::string& line, bool& overflow, std::size_t requestBytes);
    // Whether a complete line is the late reply to the request whose attempt timed out, and
    // not a reply to the running request.
    bool IsLateReply(const std::string& line);
    void Attempt(TKestroAddr addr, char cmd, char code, const std::string& data);

    // The request of the last attempt that timed out, until an attempt receives a line: its
    // reply may still be on its way and must not be taken for the reply to a later request.
    std::optional<TKestroPacket> FTimedOutRequest;

    // When the start mark of the line being collected arrived, in ms after the request was
    // handed to the port.
    std::optional<double> FReplyBeganMs;

    // Address of the error reply being decoded: a meter-reported error is named after it.
    TKestroAddr FReplyAddr = KestroAddrAll;
};
