#include "PortNames.h"

#include "NetworkDevice.h"
#include "Win32CommSettings.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>

std::int32_t ComPortNumber(std::string_view text) {
    constexpr std::string_view prefix = "COM";
    if (text.size() <= prefix.size())
        return 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return 0;
    std::int64_t number = 0;
    for (std::size_t i = prefix.size(); i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return 0;
        number = number * 10 + (text[i] - '0');
        if (number > std::numeric_limits<std::int32_t>::max())
            return 0;
    }
    return number >= 1 ? static_cast<std::int32_t>(number) : 0;
}

std::string PortDevicePath(std::int32_t port, const TPortMap& map) {
    const auto it = map.find(port);
#ifdef _WIN32
    // Windows names its serial ports itself; only a device server is mapped.
    if (it != map.end() && IsNetworkDevice(it->second))
        return it->second;
    return Win32PortDevicePath(port);
#else
    if (it != map.end())
        return it->second;
    // 64-bit arithmetic: port numbers come from the settings file unchecked, and a port below 1
    // must still name a device that does not exist ("/dev/ttyS-1") rather than overflow.
    return "/dev/ttyS" + std::to_string(static_cast<std::int64_t>(port) - 1);
#endif
}

std::int32_t PortNumberOfDevice(const std::string& device, const TPortMap& map) {
    for (const auto& [port, path] : map)
        if (path == device && PortDevicePath(port, map) == device)
            return port;
#ifdef _WIN32
    const std::string_view name = device;
    constexpr std::string_view local = "\\\\.\\";
    return ComPortNumber(name.starts_with(local) ? name.substr(local.size()) : name);
#else
    // /dev/ttyS<k> is COM k+1, unless the map sends that port elsewhere.
    constexpr std::string_view serial = "/dev/ttyS";
    const std::string_view digits =
        std::string_view(device).substr(device.starts_with(serial) ? serial.size() : device.size());
    std::int32_t index = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        index < 0 || index == std::numeric_limits<std::int32_t>::max() ||
        !std::isdigit(static_cast<unsigned char>(digits.front())))
        return 0;
    return PortDevicePath(index + 1, map) == device ? index + 1 : 0;
#endif
}
