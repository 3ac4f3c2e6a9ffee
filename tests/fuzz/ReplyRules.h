#pragma once

// The rules a reply line must meet, stated on their own as the judge of the reply fuzzer: what
// a reply must look like to be accepted, which error each kind of fault gives, and how an
// exchange reads the bytes on the line. Deliberately written without the engine's helpers.
#include "comm/uCommKestro.h"

#include <optional>
#include <string>
#include <string_view>

namespace rules {

// The decision on one reply: Class is nullptr when it is accepted with Addr, Code and Data.
struct TVerdict {
    const TExceptionClass* Class = nullptr;
    int Addr = 255;
    char Code = '\0';
    std::string Data;
    bool MeterError = false; // a well-formed error reply (the meter's own error letter)
};

struct TRequest {
    int Addr;
    char Code;
};

inline int HexDigitValue(char c) {
    const std::string_view digits = "0123456789abcdef";
    const std::string_view upper = "0123456789ABCDEF";
    if (const auto i = digits.find(c); i != std::string_view::npos)
        return static_cast<int>(i);
    if (const auto i = upper.find(c); i != std::string_view::npos)
        return static_cast<int>(i);
    return -1;
}

inline bool IsDecimal(char c) {
    return c >= '0' && c <= '9';
}

// The address field read by the lenient integer conversion, in its low eight bits; 255 when
// the two characters are no number. Two characters leave these forms: "dd", " d", "+d", "-d",
// and one hex digit after "$", "x" or "X".
inline int AddressValue(char a, char b) {
    if (IsDecimal(a) && IsDecimal(b))
        return (a - '0') * 10 + (b - '0');
    if ((a == ' ' || a == '+') && IsDecimal(b))
        return b - '0';
    if (a == '-' && IsDecimal(b))
        return (256 - (b - '0')) % 256;
    if ((a == '$' || a == 'x' || a == 'X') && HexDigitValue(b) >= 0)
        return HexDigitValue(b);
    return 255;
}

inline TVerdict Reject(const TExceptionClass& cls) {
    TVerdict v;
    v.Class = &cls;
    return v;
}

// A reply line (the text between "#" and CR): the first rule it breaks decides its error.
inline TVerdict Decode(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    const std::size_t n = text.size();
    if (n < 7)
        return Reject(EKestroBadPacket::ClassType);
    if (text[0] != 'A' && text[0] != 'E')
        return Reject(EKestroBadPacket::ClassType);
    if (text[n - 3] != '*')
        return Reject(EKestroBadPacket::ClassType);
    if (HexDigitValue(text[n - 2]) < 0 || HexDigitValue(text[n - 1]) < 0)
        return Reject(EKestroBadPacket::ClassType);
    const std::string_view body = text.substr(0, n - 3);
    unsigned sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    if (sum != static_cast<unsigned>(HexDigitValue(text[n - 2]) * 16 + HexDigitValue(text[n - 1])))
        return Reject(EKestroBadChecksum::ClassType);
    const int addr = AddressValue(text[1], text[2]);
    if (addr > 99)
        return Reject(EKestroBadKestroId::ClassType);
    if (text[0] == 'E') {
        TVerdict v = Reject(text[3] == 'C'   ? EKsRdUnknownCommand::ClassType
                            : text[3] == 'D' ? EKsRdDataFmtError::ClassType
                            : text[3] == 'P' ? EKsRdWriteProtect::ClassType
                            : text[3] == 'S' ? EKsRdBadChecksum::ClassType
                                             : EKestroUnknownError::ClassType);
        v.Addr = addr;
        v.MeterError = true;
        return v;
    }
    TVerdict v;
    v.Addr = addr;
    v.Code = text[3];
    if (body.size() > 4 && body[4] == ',')
        v.Data = std::string(body.substr(5));
    return v;
}

// Whether a well-formed reply can answer a request: it comes from the addressed meter (from any
// meter when the address went out as "??") and names the requested object, or is an error.
inline bool Answers(const TRequest& request, const TVerdict& reply) {
    return (request.Addr > 99 || reply.Addr == request.Addr) &&
           (reply.MeterError || reply.Code == request.Code);
}

// An exchange (a read command) that receives `bytes` after its request. "#" starts a line
// afresh, CR ends it, a line of more than MaxReplyLength characters is a bad packet, no CR is a
// time-out. After a time-out of `late`, lines without "#" and whole replies that answer `late`
// but not this request are passed over.
inline TVerdict Exchange(std::string_view bytes, int addr, char code,
                         std::optional<TRequest> late) {
    const TRequest current{addr, code};
    std::string line;
    bool started = false;
    for (char c : bytes) {
        if (c == '#') {
            line.clear();
            started = true;
            continue;
        }
        if (c != '\r') {
            line += c;
            continue;
        }
        const bool tooLong = line.size() > TCommKestro::MaxReplyLength;
        if (late && !started) {
            line.clear();
            continue;
        }
        if (late && !tooLong) {
            const TVerdict v = Decode(line);
            if ((!v.Class || v.MeterError) && Answers(*late, v) && !Answers(current, v)) {
                line.clear();
                started = false;
                continue;
            }
        }
        if (tooLong)
            return Reject(EKestroBadPacket::ClassType);
        TVerdict v = Decode(line);
        if (v.Class)
            return v;
        if (v.Code != code)
            return Reject(EKestroBadPacket::ClassType);
        if (addr != 255 && v.Addr != addr)
            return Reject(EKestroBadKestroId::ClassType);
        return v;
    }
    return Reject(EKestroTimeout::ClassType);
}

} // namespace rules
