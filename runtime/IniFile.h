#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A profile (ini) file read and written like the Windows profile routines: every read and write
// goes to the file. Sections and keys are matched without regard to case. A read of a missing
// file, section or key gives the default and creates nothing. A write creates what is missing,
// replaces the value in place, and leaves every other line (comments, other sections, lines it
// cannot parse) exactly as it was. The new content is written to a temporary file beside the
// old one and then replaces it, so a failed write never leaves a truncated file. A file that
// cannot be written raises EIniFileException "Unable to write to <path>".
class TIniFile {
public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // The value read by StrToIntDef with the given default.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t def) const;
    // Every key and value of a section, in file order; empty when the section is missing.
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(
        const std::string& section) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);

private:
    std::string FFileName;
};
