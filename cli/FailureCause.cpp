#include "cli/FailureCause.h"

#include "comm/uCommDispatcher.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

std::string SystemMessage(DWORD code) {
    char text[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(code) : message;
}

// Opens the device as the channel does and reports what the system says.
std::string ProbeDevice(const std::string& device) {
    HANDLE handle = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return SystemMessage(::GetLastError());
    ::CloseHandle(handle);
    return "it opens now; the line settings were refused, or it failed in use";
}

#else

// Opens the device as the channel does and reports what the system says.
std::string ProbeDevice(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    std::string reason = "it opens now; the line settings were refused, or it failed in use";
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        reason = errno == EWOULDBLOCK ? "held by another program" : std::strerror(errno);
    ::close(fd);
    return reason;
}

#endif

} // namespace

std::string PortFailureCause(const TCommDispatcher& channel) {
    const std::string device = channel.DevicePath();
    return device + ": " + ProbeDevice(device);
}
