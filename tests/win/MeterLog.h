#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The virtual meter's request log as the test programs see it: one JSON object a line,
// {"frame":"#R05E*12\r","baud":9600,"answered":true}, appended as each request arrives.
struct TMeterLogEntry {
    std::string Frame; // "#" to CR inclusive
    int BaudRate = 0;  // line speed of the meters' side when the request arrived
    bool Answered = false;
    std::optional<double> ClockOffsetMs; // "offset_ms": the meters' true clock offset
};

// Parses one log line; raises std::runtime_error naming the line when it is not one.
TMeterLogEntry ParseMeterLogLine(const std::string& line);

// Reads the entries from number `from` on (0-based); a missing file reads as empty.
std::vector<TMeterLogEntry> ReadMeterLog(const std::string& path, std::size_t from = 0);

// The meter logs a request around the time it replies, so a reply can arrive before its log
// line: reads until at least `count` entries from number `from` on are there, or until
// `milliseconds` have passed.
std::vector<TMeterLogEntry> AwaitMeterLog(const std::string& path, std::size_t from,
                                          std::size_t count, int milliseconds = 3000);
