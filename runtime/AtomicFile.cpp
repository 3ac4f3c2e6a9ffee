#include "AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

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

// Temporary names differ by process and by call, so concurrent writers never share one.
std::string TemporaryName(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const unsigned long process = static_cast<unsigned long>(getpid());
#endif
    return path + ".~" + std::to_string(process) + "-" + std::to_string(counter++) + "-" +
           std::to_string(attempt) + ".tmp";
}

constexpr unsigned MaxAttempts = 100;

#ifdef _WIN32

class TTempFile {
public:
    explicit TTempFile(const std::string& target) {
        for (unsigned attempt = 0; attempt < MaxAttempts && !FCreated; ++attempt) {
            FPath = TemporaryName(target, attempt);
            FHandle = CreateFileA(FPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            FCreated = FHandle != INVALID_HANDLE_VALUE;
            if (!FCreated && GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
    }
    ~TTempFile() {
        Close();
        if (FCreated && !FCommitted)
            DeleteFileA(FPath.c_str());
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    bool Write(std::string_view content) {
        if (FHandle == INVALID_HANDLE_VALUE)
            return false;
        while (!content.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1 << 28));
            DWORD written = 0;
            if (!WriteFile(FHandle, content.data(), chunk, &written, nullptr) || written == 0)
                return false;
            content.remove_prefix(written);
        }
        return FlushFileBuffers(FHandle) != 0;
    }

    bool ReplaceTarget(const std::string& target) {
        if (!Close())
            return false;
        FCommitted = MoveFileExA(FPath.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        return FCommitted;
    }

private:
    bool Close() {
        if (FHandle == INVALID_HANDLE_VALUE)
            return FCreated;
        const bool closed = CloseHandle(FHandle) != 0;
        FHandle = INVALID_HANDLE_VALUE;
        return closed;
    }

    std::string FPath;
    HANDLE FHandle = INVALID_HANDLE_VALUE;
    bool FCreated = false;
    bool FCommitted = false;
};

#else

class TTempFile {
public:
    explicit TTempFile(const std::string& target) {
        for (unsigned attempt = 0; attempt < MaxAttempts && FFd < 0; ++attempt) {
            FPath = TemporaryName(target, attempt);
            // 0666 lets the umask decide the permissions of a new file.
            FFd = open(FPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (FFd < 0 && errno != EEXIST)
                break;
        }
        FCreated = FFd >= 0;
    }
    ~TTempFile() {
        Close();
        if (FCreated && !FCommitted)
            unlink(FPath.c_str());
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    bool SetMode(mode_t mode) { return FFd >= 0 && fchmod(FFd, mode) == 0; }

    bool Write(std::string_view content) {
        if (FFd < 0)
            return false;
        while (!content.empty()) {
            const ssize_t written = write(FFd, content.data(), content.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            content.remove_prefix(static_cast<std::size_t>(written));
        }
        return fsync(FFd) == 0;
    }

    bool ReplaceTarget(const std::string& target) {
        if (!Close())
            return false;
        FCommitted = rename(FPath.c_str(), target.c_str()) == 0;
        return FCommitted;
    }

private:
    bool Close() {
        if (FFd < 0)
            return FCreated;
        const bool closed = close(FFd) == 0;
        FFd = -1;
        return closed;
    }

    std::string FPath;
    int FFd = -1;
    bool FCreated = false;
    bool FCommitted = false;
};

#endif

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return std::nullopt;
    return std::move(content).str();
}

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    TTempFile temp(path);
#ifndef _WIN32
    struct stat old {};
    if (stat(path.c_str(), &old) == 0 && !temp.SetMode(old.st_mode & 07777))
        return false;
#endif
    return temp.Write(content) && temp.ReplaceTarget(path);
}
