#include "MeterProtocol.h"

#include <chrono>
#include <ctime>

namespace vmeter {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Requests carry upper-case hex digits only; a meter that took lower case would hide an
// encoder that sends it.
int UpperHexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int TwoDigits(std::string_view text, std::size_t pos) {
    return (text[pos] - '0') * 10 + (text[pos + 1] - '0');
}

std::int64_t CivilSeconds(const std::chrono::year_month_day& date, int h, int n, int s) {
    const auto days = std::chrono::sys_days(date).time_since_epoch().count();
    return static_cast<std::int64_t>(days) * 86400 + h * 3600 + n * 60 + s;
}

void AppendTwoDigits(std::string& text, int value) {
    text += static_cast<char>('0' + value / 10);
    text += static_cast<char>('0' + value % 10);
}

} // namespace

std::uint8_t Checksum(std::string_view body) {
    std::uint8_t sum = 0;
    for (char c : body)
        sum ^= static_cast<std::uint8_t>(c);
    return sum;
}

std::string MakeFrame(std::string_view body, bool withCR) {
    const std::uint8_t sum = Checksum(body);
    std::string frame = "#";
    frame += body;
    frame += '*';
    frame += HexDigits[sum >> 4];
    frame += HexDigits[sum & 0x0F];
    if (withCR)
        frame += '\r';
    return frame;
}

std::optional<TRequest> ParseRequest(std::string_view frame) {
    if (frame.size() < 2 || frame.front() != '#' || frame.back() != '\r')
        return std::nullopt;
    const std::string_view content = frame.substr(1, frame.size() - 2);
    const std::size_t star = content.rfind('*');
    const std::string_view body = content.substr(0, star);
    if (body.size() < 4)
        return std::nullopt;

    TRequest request;
    request.Cmd = body[0];
    request.Addr = std::string(body.substr(1, 2));
    request.Object = body[3];
    if (body.size() > 4) {
        request.HasData = body[4] == ',';
        request.WellFormed = request.HasData;
        if (request.HasData)
            request.Data = std::string(body.substr(5));
    }
    if (star != std::string_view::npos && content.size() == star + 3) {
        const int high = UpperHexValue(content[star + 1]);
        const int low = UpperHexValue(content[star + 2]);
        request.ChecksumOk = high >= 0 && low >= 0 && (high * 16 + low) == Checksum(body);
    }
    return request;
}

std::optional<int> RequestAddress(const std::string& addr) {
    if (addr == "??")
        return -1;
    if (addr.size() == 2 && IsDigit(addr[0]) && IsDigit(addr[1]))
        return TwoDigits(addr, 0);
    return std::nullopt;
}

std::optional<std::int64_t> ParseClockData(std::string_view data) {
    if (data.size() != 13 || data[6] != ',')
        return std::nullopt;
    for (std::size_t i = 0; i < data.size(); ++i)
        if (i != 6 && !IsDigit(data[i]))
            return std::nullopt;
    const int hour = TwoDigits(data, 0);
    const int minute = TwoDigits(data, 2);
    const int second = TwoDigits(data, 4);
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const std::chrono::year_month_day date{
        std::chrono::year(2000 + TwoDigits(data, 11)),
        std::chrono::month(static_cast<unsigned>(TwoDigits(data, 9))),
        std::chrono::day(static_cast<unsigned>(TwoDigits(data, 7)))};
    if (!date.ok())
        return std::nullopt;
    return CivilSeconds(date, hour, minute, second);
}

std::string FormatClockData(std::int64_t civilSeconds) {
    std::int64_t days = civilSeconds / 86400;
    std::int64_t secondOfDay = civilSeconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    const std::chrono::year_month_day date{
        std::chrono::sys_days(std::chrono::days(static_cast<int>(days)))};
    const int seconds = static_cast<int>(secondOfDay);
    std::string text;
    AppendTwoDigits(text, seconds / 3600);
    AppendTwoDigits(text, seconds / 60 % 60);
    AppendTwoDigits(text, seconds % 60);
    text += ',';
    AppendTwoDigits(text, static_cast<int>(static_cast<unsigned>(date.day())));
    AppendTwoDigits(text, static_cast<int>(static_cast<unsigned>(date.month())));
    AppendTwoDigits(text, (static_cast<int>(date.year()) % 100 + 100) % 100);
    return text;
}

std::int64_t LocalCivilNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::chrono::year_month_day date{
        std::chrono::year(local.tm_year + 1900),
        std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
        std::chrono::day(static_cast<unsigned>(local.tm_mday))};
    // tm_sec may be 60 on a leap second; the meters' clock has no such second.
    return CivilSeconds(date, local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec);
}

} // namespace vmeter
