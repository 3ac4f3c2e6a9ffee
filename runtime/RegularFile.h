#pragma once

#include <cstddef>
#include <string>

// How reading a small file ended.
enum class TFileReadResult {
    Ok,
    Missing,    // nothing exists under the path (a dangling link included)
    NotRegular, // a folder, a device, a pipe or a socket: never read
    TooLarge,   // more bytes than the limit
    Unreadable, // exists but cannot be opened or read (permissions, I/O error)
};

// Reads a regular file of at most `limit` bytes into `content`. The file is opened without
// blocking and checked before a byte is read, so a pipe without a writer or a device such as
// /dev/zero ends the call at once instead of hanging it or eating memory.
TFileReadResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& content);
