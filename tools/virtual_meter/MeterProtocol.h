#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The meters' side of the line protocol: requests arrive as "#" body "*" checksum CR, replies
// leave as "#" "A"|"E" address letter ["," data] "*" checksum CR.
namespace vmeter {

// XOR of all bytes of a frame body.
std::uint8_t Checksum(std::string_view body);

// A complete line: "#", the body, "*", the checksum as two upper-case hex digits and, unless
// withCR is false, the CR.
std::string MakeFrame(std::string_view body, bool withCR = true);

// A request frame taken apart. Only what a meter needs to decide whom it concerns and what
// to answer.
struct TRequest {
    char Cmd = 0;            // "R", "W", or whatever the sender put there
    std::string Addr;        // the two address characters as sent ("05", "??", ...)
    char Object = 0;         // the object letter
    bool HasData = false;    // a comma follows the object letter
    std::string Data;        // the text after the comma
    bool WellFormed = true;  // false when something other than a comma follows the letter
    bool ChecksumOk = false; // "*" and two upper-case hex digits matching the body
};

// Parses the bytes from "#" to CR inclusive. Empty when the frame is too short to name an
// address and an object letter: no meter can tell that it is meant.
std::optional<TRequest> ParseRequest(std::string_view frame);

// The address a request names: 0..99, or -1 for "??" (all meters); empty for anything else.
std::optional<int> RequestAddress(const std::string& addr);

// Clock data "hhnnss,ddmmyy" <-> a count of local civil seconds (local wall-clock time counted
// as if it were UTC, so that no daylight-saving jump can bend the arithmetic). Years are
// 2000 + yy. Parsing gives nothing for a text that is not a valid time and date.
std::optional<std::int64_t> ParseClockData(std::string_view data);
std::string FormatClockData(std::int64_t civilSeconds);

// The PC's local wall-clock time now, as local civil seconds.
std::int64_t LocalCivilNow();

} // namespace vmeter
