#pragma once

#include "IniLines.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One value to write: the key of a section and its text.
struct TIniValue {
    std::string Section;
    std::string Key;
    std::string Value;
};

// A profile (ini) file with the semantics of the Windows profile routines. Sections and keys
// are matched without regard to case. A read of a missing file, section or key gives the
// default and creates nothing. A write creates what is missing, replaces the value in place,
// and leaves every other line (comments, other sections, lines it cannot parse) exactly as it
// was.
//
// The file is read and parsed once, at the first read; later reads use that content and see
// the object's own writes. Only a regular file of at most MaxFileSize bytes is read, opened
// without blocking: the first read of anything else raises EIniFileException naming the file
// and the reason, and so does a file that exists but cannot be read. A file that begins with a
// UTF-8 or UTF-16 byte-order mark is read as text in that encoding and written back in it,
// mark included.
//
// A write reads the file afresh, writes the new content to a temporary file beside it and
// renames that over it, so a failed write never leaves a truncated file. A file the user may
// not write, or whose owner, group or permissions the new file could not keep, is not replaced.
// A symbolic link stays a link and the file it points to is written; when that file does not
// exist yet, it is created. A link that another user placed in a shared sticky folder such as
// /tmp is not followed (runtime/LinkTarget.h). A write that cannot be done raises
// EIniFileException "Unable to write to <path>", with the reason when the user can act on it
// (such a link; a result larger than MaxFileSize, which no read would take), and leaves the
// file as it was.
class TIniFile {
public:
    static constexpr std::size_t MaxFileSize = 1024 * 1024;

    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // The value read by StrToIntDef with the given default.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t def) const;
    // Every key and value of a section, in file order; empty when the section is missing.
    std::vector<std::pair<std::string, std::string>>
    ReadSectionValues(const std::string& section) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    // Writes all the values with one replace of the file: all of them are saved, or none.
    void WriteValues(const std::vector<TIniValue>& values);

private:
    const std::vector<inifile::TLine>& Lines() const;

    std::string FFileName;
    mutable std::optional<std::vector<inifile::TLine>> FLines; // the content, once read
};
