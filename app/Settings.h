#pragma once

#include <cstdint>

// The three settings of the serial link as one value: COM port, line speed and reply timeout.
// The values are kept as read from the settings file; they carry no range of their own.
struct TSettings {
    std::int32_t ComPort = 1;     // 1 means COM1
    std::int32_t BaudRate = 9600; // bits per second
    std::int32_t Timeout = 200;   // reply timeout in milliseconds

    bool operator==(const TSettings&) const = default;
};
