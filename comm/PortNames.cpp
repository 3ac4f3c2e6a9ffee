#include "PortNames.h"

#include "NetworkDevice.h"
#include "Win32CommSettings.h"

#include <cctype>
#include <cstdlib>
#include <utility>

namespace {

std::map<std::int32_t, std::string>& PortMap() {
    static std::map<std::int32_t, std::string> map;
    return map;
}

} // namespace

std::string PortDevicePath(std::int32_t port) {
    const auto& map = PortMap();
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

void SetPortMap(std::map<std::int32_t, std::string> map) {
    PortMap() = std::move(map);
}

std::map<std::int32_t, std::string> PortMapEntries() {
    return PortMap();
}

namespace {

// The number after `prefix` when `text` is the prefix (any case) and decimal digits only.
std::int32_t NumberAfter(const std::string& text, const std::string& prefix) {
    if (text.size() <= prefix.size() || text.size() > prefix.size() + 9)
        return 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return 0;
    for (std::size_t i = prefix.size(); i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return 0;
    return static_cast<std::int32_t>(std::strtol(text.c_str() + prefix.size(), nullptr, 10));
}

} // namespace

std::int32_t PortNumberOfDevice(const std::string& device) {
#ifdef _WIN32
    if (const std::int32_t port = NumberAfter(device, "\\\\.\\COM"); port > 0)
        return port;
    return NumberAfter(device, "COM");
#else
    for (const auto& [port, path] : PortMap())
        if (path == device)
            return port;
    const std::int32_t port = NumberAfter(device, "/dev/ttyS") + 1;
    if (device.rfind("/dev/ttyS", 0) == 0 && device.size() > 9 && port > 0 &&
        PortDevicePath(port) == device)
        return port;
    return 0;
#endif
}
