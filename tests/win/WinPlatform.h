#pragma once

#include <cstdint>
#include <optional>

// What the Windows tests ask of the system directly, kept apart from the code under test so
// that <windows.h> stays out of the test files (its GetTickCount and Sleep collide with the
// runtime's own).

// True when the program runs under Wine, which emulates the serial calls with a few known
// gaps: a second exclusive open succeeds, DTR and RTS cannot be observed, and the driver
// reports XonLim and XoffLim as 10.
bool RunningUnderWine();

// The line settings the driver holds for a port, as GetCommState reports them.
struct TCommStateReadBack {
    std::uint32_t BaudRate;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    bool Binary;
    bool ParityCheck;
    bool OutxCtsFlow;
    bool OutxDsrFlow;
    bool OutX;
    bool InX;
    bool Null;
    bool AbortOnError;
    unsigned DtrControl; // 1: DTR_CONTROL_ENABLE
    unsigned RtsControl; // 0: RTS_CONTROL_DISABLE
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
};

// Opens COM `port` for a moment and reads its line settings; nothing when it cannot be opened
// or read. The driver keeps a port's settings from one open to the next (as "mode COMn"
// relies on), so this shows what the last program that configured the port left there.
std::optional<TCommStateReadBack> ReadCommState(std::int32_t port);
