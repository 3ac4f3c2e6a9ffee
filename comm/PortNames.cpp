#include "PortNames.h"

#include "NetworkDevice.h"
#include "Win32CommSettings.h"

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
