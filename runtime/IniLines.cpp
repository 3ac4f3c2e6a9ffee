#include "IniLines.h"

#include "SysUtils.h"

#include <algorithm>

namespace inifile {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool IsBlankLine(const TLine& line) {
    return Trim(line.Text).empty();
}

std::optional<std::string> SectionName(const TLine& line) {
    const std::string text = Trim(line.Text);
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    const std::size_t close = text.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(std::string_view(text).substr(1, close - 1));
}

struct TKeyLine {
    std::string Key;
    std::string Value;
};

// A "key=value" line; comments, section headers and anything without "=" are not.
std::optional<TKeyLine> KeyLine(const TLine& line) {
    const std::string text = Trim(line.Text);
    if (text.empty() || text.front() == ';' || text.front() == '#' || text.front() == '[')
        return std::nullopt;
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        return std::nullopt;
    std::string key = Trim(std::string_view(text).substr(0, equals));
    if (key.empty())
        return std::nullopt;
    return TKeyLine{std::move(key), Trim(std::string_view(text).substr(equals + 1))};
}

struct TSectionRange {
    std::size_t Header;
    std::size_t End; // the next section's header or the end of the file
};

std::optional<TSectionRange> FindSection(const std::vector<TLine>& lines,
                                         std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (!name || !SameName(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end]))
            ++end;
        return TSectionRange{i, end};
    }
    return std::nullopt;
}

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

bool HasLineBreak(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsLineBreak);
}

// The line's text up to its "=" and the blanks after it, so a new value keeps the layout.
std::string KeyPrefix(const std::string& text) {
    std::size_t end = text.find('=') + 1;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\t'))
        ++end;
    return text.substr(0, end);
}

void EnsureEnded(TLine& line, std::string_view eol) {
    if (line.Eol.empty())
        line.Eol = eol;
}

} // namespace

std::vector<TLine> Parse(std::string_view content) {
    std::vector<TLine> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t newline = content.find('\n', start);
        if (newline == std::string_view::npos) {
            lines.push_back({std::string(content.substr(start)), ""});
            break;
        }
        const bool crlf = newline > start && content[newline - 1] == '\r';
        const std::size_t textEnd = crlf ? newline - 1 : newline;
        lines.push_back(
            {std::string(content.substr(start, textEnd - start)), crlf ? "\r\n" : "\n"});
        start = newline + 1;
    }
    return lines;
}

std::string Render(const std::vector<TLine>& lines) {
    std::string content;
    for (const TLine& line : lines)
        content.append(line.Text).append(line.Eol);
    return content;
}

std::string DetectEol(std::string_view content) {
    const std::size_t newline = content.find('\n');
    if (newline != std::string_view::npos)
        return newline > 0 && content[newline - 1] == '\r' ? "\r\n" : "\n";
#ifdef _WIN32
    return "\r\n";
#else
    return "\n";
#endif
}

std::optional<std::string> FindValue(const std::vector<TLine>& lines, std::string_view section,
                                     std::string_view key) {
    const auto range = FindSection(lines, section);
    if (!range)
        return std::nullopt;
    for (std::size_t i = range->Header + 1; i < range->End; ++i) {
        auto entry = KeyLine(lines[i]);
        if (entry && SameName(entry->Key, key))
            return std::move(entry->Value);
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> SectionValues(const std::vector<TLine>& lines,
                                                               std::string_view section) {
    std::vector<std::pair<std::string, std::string>> values;
    const auto range = FindSection(lines, section);
    if (!range)
        return values;
    for (std::size_t i = range->Header + 1; i < range->End; ++i)
        if (auto entry = KeyLine(lines[i]))
            values.emplace_back(std::move(entry->Key), std::move(entry->Value));
    return values;
}

bool CanStore(std::string_view section, std::string_view key, std::string_view value) {
    const bool sectionOk = !section.empty() && Trim(section) == section && !HasLineBreak(section) &&
                           section.find(']') == std::string_view::npos;
    const bool keyOk = !key.empty() && Trim(key) == key && !HasLineBreak(key) &&
                       key.find('=') == std::string_view::npos && key.front() != '[' &&
                       key.front() != ';' && key.front() != '#';
    return sectionOk && keyOk && !HasLineBreak(value);
}

void SetValue(std::vector<TLine>& lines, std::string_view section, std::string_view key,
              std::string_view value, std::string_view eol) {
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    const auto range = FindSection(lines, section);
    if (!range) {
        if (!lines.empty()) {
            EnsureEnded(lines.back(), eol);
            if (!IsBlankLine(lines.back()))
                lines.push_back({"", std::string(eol)});
        }
        lines.push_back({"[" + std::string(section) + "]", std::string(eol)});
        lines.push_back({keyLine, std::string(eol)});
        return;
    }
    std::size_t insertAt = range->Header + 1;
    for (std::size_t i = range->Header + 1; i < range->End; ++i) {
        const auto entry = KeyLine(lines[i]);
        if (!entry)
            continue;
        if (SameName(entry->Key, key)) {
            lines[i].Text = KeyPrefix(lines[i].Text) + std::string(value);
            return;
        }
        insertAt = i + 1;
    }
    EnsureEnded(lines[insertAt - 1], eol);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 TLine{keyLine, std::string(eol)});
}

} // namespace inifile
