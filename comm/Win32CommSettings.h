#pragma once

#include <cstdint>
#include <string>

// The values the Win32 backend hands to the serial driver, built without <windows.h> so that
// they can be checked on every platform. The images mirror the layout of DCB and COMMTIMEOUTS
// byte for byte; the backend copies them into and out of the real structures.

// DCB as 28 bytes: the flag bits of the real structure are one 32-bit word here.
struct TDcbImage {
    std::uint32_t DCBlength;
    std::uint32_t BaudRate;
    std::uint32_t Flags;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};
static_assert(sizeof(TDcbImage) == 28);

struct TCommTimeoutsImage {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
};
static_assert(sizeof(TCommTimeoutsImage) == 20);

inline constexpr std::uint32_t kDcbLength = 28;
inline constexpr std::uint32_t kCommQueueSize = 1024;    // driver input and output queues
inline constexpr std::uint32_t kPurgeBothQueues = 0x0C;  // PURGE_TXCLEAR | PURGE_RXCLEAR
inline constexpr std::uint32_t kDcbFlagBinary = 0x01;    // fBinary
inline constexpr std::uint32_t kDcbFlagDtrEnable = 0x10; // fDtrControl = DTR_CONTROL_ENABLE

// Reads return at once with what has arrived; a write gives up after `writeTimeoutMs`.
TCommTimeoutsImage MakeCommTimeouts(std::uint32_t writeTimeoutMs);

// Puts the line mode into a DCB read from the driver: the speed, binary mode with DTR raised
// and every other flag off (no parity check, no flow control of any kind, RTS low, null bytes
// delivered), 8 data bits, no parity, 1 stop bit. The special characters and reserved words
// keep what the driver reported.
void ApplyLineMode(TDcbImage& dcb, std::int32_t baudRate);

// "\\.\COM<n>": the device path that reaches COM n, whatever its number.
std::string Win32PortDevicePath(std::int32_t port);
