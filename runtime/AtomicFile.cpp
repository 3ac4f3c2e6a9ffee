#include "AtomicFile.h"

#include <algorithm>
#include <random>

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

// A name beside the target that nobody can guess, so that nobody can take it beforehand and
// stop the save; it is created exclusively all the same.
std::string TemporaryName(const std::string& path) {
    static constexpr std::string_view Letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, Letters.size() - 1);
    std::string name = path + ".~";
    for (int i = 0; i < 12; ++i)
        name += Letters[pick(random)];
    return name + ".tmp";
}

// Another file of a random name is next to impossible; a few tries cover it.
constexpr unsigned MaxAttempts = 8;

#ifdef _WIN32

class TTempFile {
public:
    explicit TTempFile(const std::string& target) {
        for (unsigned attempt = 0; attempt < MaxAttempts && !FCreated; ++attempt) {
            FPath = TemporaryName(target);
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

    // An existing file is replaced by ReplaceFile, which gives the new file the old one's
    // security descriptor and attributes; a new one is moved into place.
    bool ReplaceTarget(const std::string& target, bool exists) {
        if (!Close())
            return false;
        FCommitted = exists
                         ? ReplaceFileA(target.c_str(), FPath.c_str(), nullptr,
                                        REPLACEFILE_WRITE_THROUGH, nullptr, nullptr) != 0
                         : MoveFileExA(FPath.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
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
            FPath = TemporaryName(target);
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

    // Gives the temporary file the owner, group and permissions of the file it replaces. The
    // owner is set first, since a change of owner may clear the set-id bits.
    bool TakeOwnershipAndMode(const struct stat& old) {
        struct stat own {};
        if (FFd < 0 || fstat(FFd, &own) != 0)
            return false;
        if ((own.st_uid != old.st_uid || own.st_gid != old.st_gid) &&
            fchown(FFd, old.st_uid, old.st_gid) != 0)
            return false;
        return fchmod(FFd, old.st_mode & 07777) == 0;
    }

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

#ifdef _WIN32

// What is known of the file to be replaced; false when it must not be replaced.
bool CheckTarget(const std::string& path, bool& exists) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        exists = false;
        return error == ERROR_FILE_NOT_FOUND;
    }
    exists = true;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // Opening for writing asks the system whether the user may write the file (its read-only
    // attribute, its access rights); nothing is written through this handle.
    const HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    const bool disk = GetFileType(probe) == FILE_TYPE_DISK;
    CloseHandle(probe);
    return disk;
}

#else

// The owner, group and mode of the file to be replaced, which must be a regular file the user
// may write; false when it must not be replaced. `exists` is false for a new file.
bool CheckTarget(const std::string& path, bool& exists, struct stat& info) {
    // Opening for writing asks the system whether the user may write the file (permissions,
    // access lists, a read-only mount); nothing is written through this descriptor.
    const int probe = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) {
        exists = errno != ENOENT;
        return !exists;
    }
    exists = true;
    const bool regular = fstat(probe, &info) == 0 && S_ISREG(info.st_mode);
    close(probe);
    return regular;
}

#endif

} // namespace

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    try {
        bool exists = false;
#ifdef _WIN32
        if (!CheckTarget(path, exists))
            return false;
        TTempFile temp(path);
        return temp.Write(content) && temp.ReplaceTarget(path, exists);
#else
        struct stat old {};
        if (!CheckTarget(path, exists, old))
            return false;
        TTempFile temp(path);
        if (exists && !temp.TakeOwnershipAndMode(old))
            return false;
        return temp.Write(content) && temp.ReplaceTarget(path);
#endif
    } catch (const std::exception&) {
        return false; // no source of random names, or no memory
    }
}
