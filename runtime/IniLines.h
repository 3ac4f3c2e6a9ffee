#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text of a profile (ini) file as a list of lines, with lookups and edits that leave every
// line they do not change byte for byte as it was. Free of any file access.
namespace inifile {

struct TLine {
    std::string Text; // the line without its end
    std::string Eol;  // "\n", "\r\n", or empty for a last line without an end
};

// Splits at every "\n"; Render(Parse(content)) == content for any bytes.
std::vector<TLine> Parse(std::string_view content);
std::string Render(const std::vector<TLine>& lines);

// The line end of the content's first line, or the platform's when the content has none.
std::string DetectEol(std::string_view content);

// The value of the first matching key in the first matching section, trimmed of blanks.
std::optional<std::string> FindValue(const std::vector<TLine>& lines, std::string_view section,
                                     std::string_view key);

// Every key and value of the first matching section, in order.
std::vector<std::pair<std::string, std::string>> SectionValues(const std::vector<TLine>& lines,
                                                               std::string_view section);

// Whether the names and the value can be stored so that they read back unchanged and leave the
// file's structure intact (no line breaks, no "]" in a section name, no "=" in a key).
bool CanStore(std::string_view section, std::string_view key, std::string_view value);

// Replaces the value of the first matching key in place, or adds the key after the last key of
// the first matching section, or adds the section at the end. New lines end with `eol`.
// Requires CanStore(section, key, value).
void SetValue(std::vector<TLine>& lines, std::string_view section, std::string_view key,
              std::string_view value, std::string_view eol);

} // namespace inifile
