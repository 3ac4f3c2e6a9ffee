#include "Faults.h"

#include <array>
#include <utility>

namespace vmeter {

namespace {

const std::array<std::pair<TFault, const char*>, 14> FaultNames{{
    {TFault::None, "none"},
    {TFault::Silence, "silence"},
    {TFault::ErrorS, "error-s"},
    {TFault::ErrorC, "error-c"},
    {TFault::ErrorD, "error-d"},
    {TFault::ErrorP, "error-p"},
    {TFault::ErrorUnknown, "error-unknown"},
    {TFault::BadChecksum, "bad-checksum"},
    {TFault::WrongAddress, "wrong-address"},
    {TFault::WrongObject, "wrong-object"},
    {TFault::NoiseBeforeHash, "noise"},
    {TFault::NoCR, "no-cr"},
    {TFault::WriteDataDiff, "write-data-diff"},
    {TFault::DropLine, "drop-line"},
}};

// Line noise as a flaky adapter produces it: a NUL, a byte with all bits set, stray text.
constexpr char Noise[] = {'\x00', '\xFF', 'x', 'y', 'z'};

constexpr char HexDigits[] = "0123456789ABCDEF";

} // namespace

std::optional<TFault> ParseFault(const std::string& name) {
    for (const auto& [fault, text] : FaultNames)
        if (name == text)
            return fault;
    return std::nullopt;
}

std::string FaultName(TFault fault) {
    for (const auto& [candidate, text] : FaultNames)
        if (candidate == fault)
            return text;
    return "unknown";
}

bool FaultApplies(TFault fault, const TRequest& request) {
    if (fault == TFault::None)
        return false;
    if (fault == TFault::WriteDataDiff)
        return request.Cmd == 'W' && request.Object == 'C' && ParseClockData(request.Data);
    return true;
}

bool FaultLetsMeterAct(TFault fault) {
    return fault != TFault::Silence && fault != TFault::DropLine && FaultErrorLetter(fault) == 0;
}

char FaultErrorLetter(TFault fault) {
    switch (fault) {
    case TFault::ErrorS:
        return 'S';
    case TFault::ErrorC:
        return 'C';
    case TFault::ErrorD:
        return 'D';
    case TFault::ErrorP:
        return 'P';
    case TFault::ErrorUnknown:
        return 'X';
    default:
        return 0;
    }
}

std::string WireReply(const std::string& body, TFault fault) {
    std::string changed = body;
    if (fault == TFault::WrongAddress && changed.size() >= 3) {
        const int addr = ((changed[1] - '0') * 10 + (changed[2] - '0') + 1) % 100;
        changed[1] = static_cast<char>('0' + addr / 10);
        changed[2] = static_cast<char>('0' + addr % 10);
    }
    if (fault == TFault::WrongObject && changed.size() >= 4)
        changed[3] = changed[3] == 'E' ? 'C' : 'E';

    std::string wire = MakeFrame(changed, fault != TFault::NoCR);
    if (fault == TFault::BadChecksum) {
        const std::uint8_t wrong = Checksum(changed) ^ 1;
        const std::size_t star = changed.size() + 1;
        wire[star + 1] = HexDigits[wrong >> 4];
        wire[star + 2] = HexDigits[wrong & 0x0F];
    }
    if (fault == TFault::NoiseBeforeHash)
        wire.insert(0, Noise, sizeof Noise);
    return wire;
}

} // namespace vmeter
