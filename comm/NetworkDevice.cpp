#include "NetworkDevice.h"

#include <charconv>
#include <string_view>

namespace {

constexpr std::string_view Rfc2217Scheme = "rfc2217://";
constexpr std::string_view RawScheme = "socket://";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

bool IsNetworkDevice(const std::string& device) {
    return StartsWith(device, Rfc2217Scheme) || StartsWith(device, RawScheme);
}

std::optional<TNetworkDevice> ParseNetworkDevice(const std::string& device) {
    TNetworkDevice result;
    std::string_view rest = device;
    if (StartsWith(rest, Rfc2217Scheme)) {
        result.Kind = TNetworkDevice::TKind::Rfc2217;
        rest.remove_prefix(Rfc2217Scheme.size());
    } else if (StartsWith(rest, RawScheme)) {
        result.Kind = TNetworkDevice::TKind::Raw;
        rest.remove_prefix(RawScheme.size());
    } else {
        return std::nullopt;
    }
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view host = rest.substr(0, colon);
    const std::string_view port = rest.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find_first_of("[]:") != std::string_view::npos)
        return std::nullopt; // an IPv6 address needs its brackets
    if (host.empty() || host.find_first_of("/?@ \t") != std::string_view::npos)
        return std::nullopt;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value < 1 ||
        value > 65535)
        return std::nullopt;
    result.Host = std::string(host);
    result.Port = static_cast<std::uint16_t>(value);
    return result;
}
