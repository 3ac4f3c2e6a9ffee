#include "Win32CommSettings.h"

TCommTimeoutsImage MakeCommTimeouts(std::uint32_t writeTimeoutMs) {
    return TCommTimeoutsImage{0xFFFFFFFFu, 0, 0, 0, writeTimeoutMs};
}

void ApplyLineMode(TDcbImage& dcb, std::int32_t baudRate) {
    dcb.BaudRate = static_cast<std::uint32_t>(baudRate); // handed to the driver unchanged
    dcb.Flags = kDcbFlagBinary | kDcbFlagDtrEnable;
    dcb.XonLim = 0;
    dcb.XoffLim = 768;
    dcb.ByteSize = 8;
    dcb.Parity = 0;   // NOPARITY
    dcb.StopBits = 0; // ONESTOPBIT
}

std::string Win32PortDevicePath(std::int32_t port) {
    return "\\\\.\\COM" + std::to_string(port);
}
