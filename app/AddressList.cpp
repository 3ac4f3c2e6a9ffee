#include "app/AddressList.h"

#include <algorithm>
#include <cctype>

KESTRO_DEFINE_EXCEPTION(EAddressList, Exception);

namespace {

constexpr int HighestBusAddress = 99;

[[noreturn]] void Refuse(const std::string& list, const std::string& why) {
    throw EAddressList("Invalid address list \"" + list + "\": " + why);
}

int ParseAddress(const std::string& list, const std::string& part) {
    const bool digits =
        !part.empty() && part.size() <= 2 && std::all_of(part.begin(), part.end(), [](char ch) {
            return std::isdigit(static_cast<unsigned char>(ch));
        });
    if (!digits)
        Refuse(list,
               "\"" + part + "\" is not an address from 0 to " + std::to_string(HighestBusAddress));
    return std::stoi(part);
}

} // namespace

std::vector<TKestroAddr> ParseAddressList(const std::string& text) {
    if (text.empty())
        Refuse(text, "no address");
    std::vector<TKestroAddr> result;
    const auto add = [&](int addr) {
        const auto value = static_cast<TKestroAddr>(addr);
        if (std::find(result.begin(), result.end(), value) == result.end())
            result.push_back(value);
    };
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.empty())
            Refuse(text, "an empty item");
        const std::size_t dash = item.find('-');
        if (dash == std::string::npos) {
            add(ParseAddress(text, item));
        } else {
            const int first = ParseAddress(text, item.substr(0, dash));
            const int last = ParseAddress(text, item.substr(dash + 1));
            if (first > last)
                Refuse(text, "the range \"" + item + "\" runs backwards");
            for (int addr = first; addr <= last; ++addr)
                add(addr);
        }
        if (comma == std::string::npos)
            return result;
        start = comma + 1;
    }
}
