#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A regular file opened for appending, which other processes may append to at the same time.
// Opening never blocks: a pipe without a reader, a device or a folder is refused, not waited
// for. Each Append is one write at the end of the file, so lines of several writers never mix.
// Failures come back as a reason without the path ("it is not a regular file").
class TAppendFile {
public:
    TAppendFile() = default;
    ~TAppendFile() { Close(); }
    TAppendFile(TAppendFile&& other) noexcept;
    TAppendFile& operator=(TAppendFile&& other) noexcept;
    TAppendFile(const TAppendFile&) = delete;
    TAppendFile& operator=(const TAppendFile&) = delete;

    // Opens `path`, creating it when missing; empty, or why not. An open file is closed first.
    std::string Open(const std::string& path);
    bool IsOpen() const;
    // Closing also releases the lock.
    void Close() noexcept;

    // Writes all the bytes at the end of the file; empty, or why not.
    std::string Append(std::string_view bytes);
    // The size of the file now; nothing when it cannot be known.
    std::optional<std::uint64_t> Size() const;
    // Whether `path` names this very file still (it was not renamed away or replaced).
    bool IsNamedBy(const std::string& path) const;

    // Takes the file's exclusive advisory lock, which every process that opens the file sees,
    // waiting for another holder at most `wait`. False when another process kept it that long;
    // a file system without locks counts as locked.
    bool Lock(std::chrono::milliseconds wait);
    void Unlock() noexcept;

private:
#ifdef _WIN32
    void* FHandle = nullptr;
#else
    int FFd = -1;
#endif
};

// Renames `from` to `to`, replacing a file `to` names; empty, or why not.
std::string RenameReplacing(const std::string& from, const std::string& to);
