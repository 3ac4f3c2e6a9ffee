#include "RegularFile.h"

#include <algorithm>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

class THandle {
public:
    explicit THandle(HANDLE handle) : FHandle(handle) {}
    ~THandle() {
        if (FHandle != INVALID_HANDLE_VALUE)
            CloseHandle(FHandle);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const { return FHandle; }

private:
    HANDLE FHandle;
};

#else

class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0)
            close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

#endif

// Room for the size the file had when it was opened and one byte more, which tells a file that
// grew meanwhile; never more than one byte past the limit.
std::size_t InitialBufferSize(std::size_t size, std::size_t limit) {
    return std::min(size, limit) + 1;
}

// Whether the read goes on: a full buffer grows until it holds one byte past the limit.
bool GrowWhenFull(std::string& buffer, std::size_t filled, std::size_t limit) {
    if (filled < buffer.size())
        return true;
    if (buffer.size() > limit)
        return false;
    buffer.resize(std::min(buffer.size() * 2, limit + 1));
    return true;
}

} // namespace

#ifdef _WIN32

TFileReadResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& content) {
    content.clear();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? TFileReadResult::Missing
                   : TFileReadResult::Unreadable;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return TFileReadResult::NotRegular;
    const THandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return TFileReadResult::Unreadable;
    // Device names such as CON or NUL and named pipes open as well; only disk files are read.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK)
        return TFileReadResult::NotRegular;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size))
        return TFileReadResult::Unreadable;
    if (static_cast<unsigned long long>(size.QuadPart) > limit)
        return TFileReadResult::TooLarge;
    std::string buffer(InitialBufferSize(static_cast<std::size_t>(size.QuadPart), limit), '\0');
    std::size_t total = 0;
    while (GrowWhenFull(buffer, total, limit)) {
        DWORD got = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(buffer.size() - total, 1 << 20));
        if (!ReadFile(file.Get(), buffer.data() + total, chunk, &got, nullptr))
            return TFileReadResult::Unreadable;
        if (got == 0)
            break;
        total += got;
    }
    if (total > limit)
        return TFileReadResult::TooLarge;
    buffer.resize(total);
    content = std::move(buffer);
    return TFileReadResult::Ok;
}

#else

TFileReadResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& content) {
    content.clear();
    const TFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? TFileReadResult::Missing
                                                   : TFileReadResult::Unreadable;
    struct stat info {};
    if (fstat(file.Get(), &info) != 0)
        return TFileReadResult::Unreadable;
    if (!S_ISREG(info.st_mode))
        return TFileReadResult::NotRegular;
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > limit)
        return TFileReadResult::TooLarge;
    std::string buffer(InitialBufferSize(static_cast<std::size_t>(info.st_size), limit), '\0');
    std::size_t total = 0;
    while (GrowWhenFull(buffer, total, limit)) {
        const ssize_t got = read(file.Get(), buffer.data() + total, buffer.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return TFileReadResult::Unreadable;
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    if (total > limit)
        return TFileReadResult::TooLarge;
    buffer.resize(total);
    content = std::move(buffer);
    return TFileReadResult::Ok;
}

#endif
