#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Time and byte helpers shared by the parts of the device-server backend.
namespace network_clock {

using TClock = std::chrono::steady_clock;

// A new connection refused or dropped is tried again first after this pause, each pause twice
// the one before.
inline constexpr auto FirstRetryPause = std::chrono::milliseconds(50);

inline std::uint32_t RemainingMs(TClock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

inline double MsSince(TClock::time_point start) {
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

inline std::string Byte(std::uint8_t value) {
    return std::string(1, static_cast<char>(value));
}

} // namespace network_clock
