#include "NetworkDevice.h"

#include <charconv>
#include <string_view>

namespace {

constexpr std::string_view Rfc2217Scheme = "rfc2217://";
constexpr std::string_view RawScheme = "socket://";
constexpr std::string_view TimeoutOption = "timeout=";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A whole decimal number from `low` to `high`, nothing else.
std::optional<unsigned> Number(std::string_view text, unsigned low, unsigned high) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high)
        return std::nullopt;
    return value;
}

std::optional<TNetworkDevice> Malformed(std::string* problem, std::string text) {
    if (problem)
        *problem = std::move(text);
    return std::nullopt;
}

// "timeout=MS" options after the "?", joined by "&".
bool ParseOptions(std::string_view options, TNetworkDevice& result, std::string* problem) {
    while (!options.empty()) {
        const std::size_t amp = options.find('&');
        const std::string_view option = options.substr(0, amp);
        options = amp == std::string_view::npos ? std::string_view() : options.substr(amp + 1);
        if (!StartsWith(option, TimeoutOption)) {
            Malformed(problem, "unknown option \"" + std::string(option) +
                                   "\" (the one option is timeout=MS)");
            return false;
        }
        const auto ms = Number(option.substr(TimeoutOption.size()), 1, MaxNetworkTimeoutMs);
        if (!ms) {
            Malformed(problem, "the timeout must be a whole number of milliseconds from 1 to " +
                                   std::to_string(MaxNetworkTimeoutMs));
            return false;
        }
        result.TimeoutMs = *ms;
    }
    return true;
}

} // namespace

bool IsNetworkDevice(const std::string& device) {
    return StartsWith(device, Rfc2217Scheme) || StartsWith(device, RawScheme);
}

std::optional<TNetworkDevice> ParseNetworkDevice(const std::string& device, std::string* problem) {
    const std::string form = "write rfc2217://host:port or socket://host:port";
    TNetworkDevice result;
    std::string_view rest = device;
    if (StartsWith(rest, Rfc2217Scheme)) {
        result.Kind = TNetworkDevice::TKind::Rfc2217;
        rest.remove_prefix(Rfc2217Scheme.size());
    } else if (StartsWith(rest, RawScheme)) {
        result.Kind = TNetworkDevice::TKind::Raw;
        rest.remove_prefix(RawScheme.size());
    } else {
        return Malformed(problem, "not a device server address: " + form);
    }
    if (const std::size_t query = rest.find('?'); query != std::string_view::npos) {
        if (!ParseOptions(rest.substr(query + 1), result, problem))
            return std::nullopt;
        rest = rest.substr(0, query);
    }
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos)
        return Malformed(problem, "not a device server address: " + form);
    std::string_view host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find_first_of("[]:") != std::string_view::npos)
        return Malformed(problem, "an IPv6 address goes in brackets: rfc2217://[fd00::5]:4001");
    if (host.empty() || host.find_first_of("/?@ \t") != std::string_view::npos)
        return Malformed(problem, "not a device server address: " + form);
    const auto port = Number(rest.substr(colon + 1), 1, 65535);
    if (!port)
        return Malformed(problem, "the TCP port must be a number from 1 to 65535");
    result.Host = std::string(host);
    result.Port = static_cast<std::uint16_t>(*port);
    return result;
}
