#include "MeterLog.h"

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

[[noreturn]] void Malformed(const std::string& line) {
    throw std::runtime_error("Not a virtual meter log line: " + line);
}

// Position just after `"key":` in the line.
std::size_t ValueStart(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    const std::size_t at = line.find(marker);
    if (at == std::string::npos)
        Malformed(line);
    return at + marker.size();
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string JsonString(const std::string& line, std::size_t pos) {
    if (pos >= line.size() || line[pos] != '"')
        Malformed(line);
    std::string text;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"')
            return text;
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++pos >= line.size())
            Malformed(line);
        switch (line[pos]) {
        case 'r':
            text += '\r';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case '"':
            text += '"';
            break;
        case '\\':
            text += '\\';
            break;
        case 'u': {
            if (pos + 4 >= line.size())
                Malformed(line);
            int code = 0;
            for (int i = 1; i <= 4; ++i) {
                const int digit = HexDigit(line[pos + i]);
                if (digit < 0)
                    Malformed(line);
                code = code * 16 + digit;
            }
            if (code > 0xFF)
                Malformed(line);
            text += static_cast<char>(code);
            pos += 4;
            break;
        }
        default:
            Malformed(line);
        }
    }
    Malformed(line);
}

} // namespace

TMeterLogEntry ParseMeterLogLine(const std::string& line) {
    TMeterLogEntry entry;
    entry.Frame = JsonString(line, ValueStart(line, "frame"));
    try {
        entry.BaudRate = std::stoi(line.substr(ValueStart(line, "baud")));
    } catch (const std::logic_error&) {
        Malformed(line);
    }
    const std::size_t answered = ValueStart(line, "answered");
    if (line.compare(answered, 4, "true") == 0)
        entry.Answered = true;
    else if (line.compare(answered, 5, "false") != 0)
        Malformed(line);
    if (line.find("\"offset_ms\":") != std::string::npos) {
        try {
            entry.ClockOffsetMs = std::stod(line.substr(ValueStart(line, "offset_ms")));
        } catch (const std::logic_error&) {
            Malformed(line);
        }
    }
    return entry;
}

std::vector<TMeterLogEntry> ReadMeterLog(const std::string& path, std::size_t from) {
    std::vector<TMeterLogEntry> entries;
    std::ifstream file(path);
    std::string line;
    std::size_t index = 0;
    while (std::getline(file, line)) {
        if (line.empty())
            continue;
        if (index++ >= from)
            entries.push_back(ParseMeterLogLine(line));
    }
    return entries;
}

std::vector<TMeterLogEntry> AwaitMeterLog(const std::string& path, std::size_t from,
                                          std::size_t count, int milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        std::vector<TMeterLogEntry> entries = ReadMeterLog(path, from);
        if (entries.size() >= count || std::chrono::steady_clock::now() >= deadline)
            return entries;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
