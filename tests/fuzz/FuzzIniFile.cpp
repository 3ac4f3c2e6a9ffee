// libFuzzer target for the profile-file text: any bytes must parse, render back unchanged, and
// take a write that reads back without disturbing the lines it does not touch.
#include "runtime/IniLines.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The section, key and value of the write come from the input's first bytes, so the fuzzer
// also steers them into names that match or nearly match existing lines.
std::string TakeName(std::string_view& input, const char* fallback) {
    const std::size_t length = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 8;
    if (input.empty())
        return fallback;
    input.remove_prefix(1);
    std::string name(input.substr(0, length));
    input.remove_prefix(name.size());
    return name;
}

bool operator==(const inifile::TLine& a, const inifile::TLine& b) {
    return a.Text == b.Text && a.Eol == b.Eol;
}

// A write either changes one line in place, or inserts up to three lines and may give the line
// before them the line end it lacked; every other line is kept as it was.
void CheckOnlyTheWriteChanged(const std::vector<inifile::TLine>& before,
                              const std::vector<inifile::TLine>& after) {
    Check(after.size() >= before.size() && after.size() <= before.size() + 3);
    const std::size_t n = before.size();
    std::size_t prefix = 0;
    while (prefix < n && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < n - prefix && before[n - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    if (prefix + suffix == n)
        return;
    Check(prefix + suffix == n - 1);
    if (after.size() == n)
        return; // one line changed in place
    Check(before[prefix].Text == after[prefix].Text && before[prefix].Eol.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string section = TakeName(input, "Congif");
    std::string key = TakeName(input, "ComPort");
    const std::string value = TakeName(input, "1");
    const std::string_view content = input;

    auto lines = inifile::Parse(content);
    Check(inifile::Render(lines) == content);
    inifile::FindValue(lines, section, key);
    inifile::SectionValues(lines, section);

    if (!inifile::CanStore(section, key, value)) {
        section = "Congif";
        key = "ComPort";
    }
    const std::string storedValue = inifile::CanStore(section, key, value) ? value : "1";
    const auto before = lines.size();
    inifile::SetValue(lines, section, key, storedValue, inifile::DetectEol(content));
    Check(lines.size() <= before + 3);

    const std::string written = inifile::Render(lines);
    const auto reparsed = inifile::Parse(written);
    Check(inifile::Render(reparsed) == written);
    const auto readBack = inifile::FindValue(reparsed, section, key);
    Check(readBack.has_value());
    // Values are read trimmed, so compare with what a reader can see of the value.
    std::string_view expected = storedValue;
    while (!expected.empty() && static_cast<unsigned char>(expected.front()) <= 0x20)
        expected.remove_prefix(1);
    while (!expected.empty() && static_cast<unsigned char>(expected.back()) <= 0x20)
        expected.remove_suffix(1);
    Check(*readBack == expected);
    CheckOnlyTheWriteChanged(inifile::Parse(content), lines);
    return 0;
}
