#include "SerialPortList.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#include <fstream>
#include <system_error>
#endif

namespace {

#ifdef _WIN32

std::vector<TSerialPortInfo> SystemPorts() {
    std::vector<TSerialPortInfo> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[256];
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG result =
            ::RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize] = 0;
        const std::string port(reinterpret_cast<const char*>(data));
        ports.push_back({"\\\\.\\" + port, "", std::string(name, nameSize)});
    }
    ::RegCloseKey(key);
    return ports;
}

#else

namespace fs = std::filesystem;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The kernel creates /dev/ttyS0..31 whether or not a UART is there; the UART type in sysfs
// is 0 (unknown) for the empty ones.
bool HasUart(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

std::vector<TSerialPortInfo> SystemPorts() {
    std::vector<TSerialPortInfo> ports;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if ((StartsWith(name, "ttyS") && name.size() > 4 && HasUart(name)) ||
            StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM"))
            ports.push_back({entry.path().string(), "", ""});
    }
    for (const fs::directory_entry& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
        std::error_code resolveError;
        const fs::path target = fs::canonical(entry.path(), resolveError);
        ports.push_back({entry.path().string(), resolveError ? "" : target.string(), ""});
    }
    return ports;
}

#endif

} // namespace

std::vector<TSerialPortInfo> ListSerialPorts() {
    std::vector<TSerialPortInfo> ports = SystemPorts();
    std::sort(ports.begin(), ports.end(), [](const TSerialPortInfo& a, const TSerialPortInfo& b) {
        return a.Device < b.Device;
    });
    return ports;
}
