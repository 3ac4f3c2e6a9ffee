#include "AppPath.h"

#include "Exception.h"

#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

[[noreturn]] void PathUnknown() {
    throw Exception("Unable to determine the path of the running program");
}

} // namespace

std::string ExecutablePath() {
    // The path may be longer than any fixed buffer: grow until it fits.
    for (std::size_t size = 256; size <= 65536; size *= 2) {
        std::vector<char> buffer(size);
#ifdef _WIN32
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(size));
        if (length == 0)
            PathUnknown();
        if (length < size)
            return std::string(buffer.data(), length);
#else
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), size);
        if (length < 0)
            PathUnknown();
        if (static_cast<std::size_t>(length) < size)
            return std::string(buffer.data(), static_cast<std::size_t>(length));
#endif
    }
    PathUnknown();
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !IsSeparator(path[nameStart - 1]))
        --nameStart;
    const std::size_t dot = path.rfind('.');
    const std::size_t stemEnd =
        dot != std::string_view::npos && dot >= nameStart ? dot : path.size();
    std::string result(path.substr(0, stemEnd));
    result += ext;
    return result;
}
