#include "AppendFile.h"

#include <system_error>
#include <thread>
#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char* const NotRegular = "it is not a regular file";

// Polls `tryOnce` until it answers or `wait` has passed; a lock is held for a moment only.
template <typename TTry> bool RetryUntil(std::chrono::milliseconds wait, TTry tryOnce) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (const std::optional<bool> answer = tryOnce())
            return *answer;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

TAppendFile::TAppendFile(TAppendFile&& other) noexcept {
    *this = std::move(other);
}

#ifdef _WIN32

namespace {

std::string SystemText(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

// The volume and file index that tell one file from another.
bool FileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileInformationByHandle(handle, &info) != 0;
}

// The lock is on a byte range far past any trace's end, so it never stands in a write's way.
OVERLAPPED LockRange() {
    OVERLAPPED range{};
    range.OffsetHigh = 0x7FFFFFFF;
    return range;
}

} // namespace

TAppendFile& TAppendFile::operator=(TAppendFile&& other) noexcept {
    if (this != &other) {
        Close();
        FHandle = std::exchange(other.FHandle, nullptr);
    }
    return *this;
}

std::string TAppendFile::Open(const std::string& path) {
    Close();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return NotRegular;
    // Sharing deletion lets any writer rename the file away while others hold it open.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return SystemText(GetLastError());
    // Device names such as CON or NUL and named pipes open as well.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return NotRegular;
    }
    FHandle = handle;
    return {};
}

bool TAppendFile::IsOpen() const {
    return FHandle != nullptr;
}

void TAppendFile::Close() noexcept {
    // Windows releases the locks of a closed handle only some time later.
    Unlock();
    if (FHandle != nullptr)
        CloseHandle(static_cast<HANDLE>(FHandle));
    FHandle = nullptr;
}

std::string TAppendFile::Append(std::string_view bytes) {
    if (FHandle == nullptr)
        return "the file is not open";
    // Both offsets all ones: at the end of the file as it is at the moment of the write.
    OVERLAPPED atEnd{};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(FHandle), bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, &atEnd))
        return SystemText(GetLastError());
    return written == bytes.size() ? std::string() : std::string("the disk is full");
}

std::optional<std::uint64_t> TAppendFile::Size() const {
    LARGE_INTEGER size{};
    if (FHandle == nullptr || !GetFileSizeEx(static_cast<HANDLE>(FHandle), &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool TAppendFile::IsNamedBy(const std::string& path) const {
    const HANDLE named = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION mine{};
    BY_HANDLE_FILE_INFORMATION theirs{};
    const bool same =
        FHandle != nullptr && FileIdentity(static_cast<HANDLE>(FHandle), mine) &&
        FileIdentity(named, theirs) && mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
        mine.nFileIndexHigh == theirs.nFileIndexHigh && mine.nFileIndexLow == theirs.nFileIndexLow;
    CloseHandle(named);
    return same;
}

bool TAppendFile::Lock(std::chrono::milliseconds wait) {
    return RetryUntil(wait, [this]() -> std::optional<bool> {
        OVERLAPPED range = LockRange();
        if (LockFileEx(static_cast<HANDLE>(FHandle),
                       LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range))
            return true;
        if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING)
            return std::nullopt;
        return true;
    });
}

void TAppendFile::Unlock() noexcept {
    OVERLAPPED range = LockRange();
    if (FHandle != nullptr)
        UnlockFileEx(static_cast<HANDLE>(FHandle), 0, 1, 0, &range);
}

std::string RenameReplacing(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return {};
    return SystemText(GetLastError());
}

#else

namespace {

std::string ErrnoText(int code) {
    return std::error_code(code, std::generic_category()).message();
}

} // namespace

TAppendFile& TAppendFile::operator=(TAppendFile&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = std::exchange(other.FFd, -1);
    }
    return *this;
}

std::string TAppendFile::Open(const std::string& path) {
    Close();
    // O_NONBLOCK: a pipe without a reader fails at once (ENXIO) instead of waiting for one.
    const int fd =
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == ENXIO || errno == EISDIR ? NotRegular : ErrnoText(errno);
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return NotRegular;
    }
    FFd = fd;
    return {};
}

bool TAppendFile::IsOpen() const {
    return FFd >= 0;
}

void TAppendFile::Close() noexcept {
    if (FFd >= 0)
        close(FFd);
    FFd = -1;
}

std::string TAppendFile::Append(std::string_view bytes) {
    if (FFd < 0)
        return "the file is not open";
    for (;;) {
        const ssize_t written = write(FFd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return ErrnoText(errno);
        // A regular file takes the whole write unless the disk is full.
        return static_cast<std::size_t>(written) == bytes.size() ? std::string()
                                                                 : ErrnoText(ENOSPC);
    }
}

std::optional<std::uint64_t> TAppendFile::Size() const {
    struct stat info {};
    if (FFd < 0 || fstat(FFd, &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

bool TAppendFile::IsNamedBy(const std::string& path) const {
    struct stat mine {};
    struct stat named {};
    return FFd >= 0 && fstat(FFd, &mine) == 0 && stat(path.c_str(), &named) == 0 &&
           mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

bool TAppendFile::Lock(std::chrono::milliseconds wait) {
    return RetryUntil(wait, [this]() -> std::optional<bool> {
        if (flock(FFd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EWOULDBLOCK || errno == EINTR)
            return std::nullopt;
        return true;
    });
}

void TAppendFile::Unlock() noexcept {
    if (FFd >= 0)
        flock(FFd, LOCK_UN);
}

std::string RenameReplacing(const std::string& from, const std::string& to) {
    if (rename(from.c_str(), to.c_str()) == 0)
        return {};
    return ErrnoText(errno);
}

#endif
