// libFuzzer target for the settings file. Any bytes must parse and render back unchanged, take a
// write that reads back without disturbing the lines it does not touch, and survive the file
// layer: the file is read through TIniFile, written back in its own encoding (mark included)
// by way of a temporary file in a scratch folder, and its [Ports] section gives the port map
// that a short statement of the map's rules describes.
#include "app/uGlobals.h"
#include "runtime/Exception.h"
#include "runtime/IniFile.h"
#include "runtime/IniLines.h"
#include "runtime/TextEncoding.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
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

std::string Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return std::string(text);
}

// The port map as its rules state it: a key "COM" (any case) and decimal digits naming a port
// from 1 to 2147483647, a device path that is not blank; of two keys for one port the first.
std::map<std::int32_t, std::string>
ExpectedPortMap(const std::vector<std::pair<std::string, std::string>>& values) {
    std::map<std::int32_t, std::string> map;
    for (const auto& [rawKey, rawPath] : values) {
        const std::string key = Trimmed(rawKey);
        const std::string path = Trimmed(rawPath);
        if (key.size() < 4 || path.empty())
            continue;
        std::string prefix = key.substr(0, 3);
        for (char& c : prefix)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string digits = key.substr(3);
        if (prefix != "COM" || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        digits.erase(0, digits.find_first_not_of('0'));
        if (digits.empty() || digits.size() > 10 ||
            (digits.size() == 10 && digits > std::string("2147483647")))
            continue;
        map.emplace(static_cast<std::int32_t>(std::stoll(digits)), path);
    }
    return map;
}

// The default of a read, a text no file yields.
const std::string Absent = std::string(1, '\x01') + "absent";

// A scratch folder for the file layer, on a memory file system where there is one; removed
// when the fuzzer ends normally.
class TScratchFolder {
public:
    TScratchFolder() {
        std::error_code error;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error))
            base = std::filesystem::temp_directory_path();
        FPath = base / ("kestro-fuzz-ini-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(FPath);
    }
    ~TScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

const std::filesystem::path& ScratchFolder() {
    static const TScratchFolder folder;
    return folder.Path();
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::size_t EntryCount(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

// The encoding layer: every file decodes, and encodes back to the same bytes (for UTF-16 up to
// a last odd byte, which reads as U+FFFD).
void CheckEncodingRoundTrip(std::string_view bytes, const TDecodedText& decoded) {
    const auto encoded = EncodeText(decoded.Text, decoded.Encoding);
    Check(encoded.has_value());
    const bool utf16 =
        decoded.Encoding == TTextEncoding::Utf16Le || decoded.Encoding == TTextEncoding::Utf16Be;
    if (!utf16 || bytes.size() % 2 == 0)
        Check(*encoded == bytes);
    const TDecodedText again = DecodeText(*encoded);
    Check(again.Encoding == decoded.Encoding && again.Text == decoded.Text);
}

// The file layer: TIniFile reads what the parser finds, a write replaces the file with exactly
// the edited text in the file's own encoding through a link that stays a link, and a refused
// write leaves the file as it was. No temporary file is left behind either way.
void CheckFileLayer(std::string_view bytes, bool throughLink, const std::string& section,
                    const std::string& key, const std::string& value) {
    namespace fs = std::filesystem;
    const fs::path folder = ScratchFolder();
    const fs::path real = folder / "real.ini";
    const fs::path link = folder / "link.ini";
    std::error_code ignored;
    fs::remove(real, ignored);
    fs::remove(link, ignored);
    WriteFile(real, bytes);
    if (throughLink)
        fs::create_symlink("real.ini", link);
    const std::string name = (throughLink ? link : real).string();

    const TDecodedText decoded = DecodeText(bytes);
    auto lines = inifile::Parse(decoded.Text);
    TIniFile ini(name);
    Check(ini.ReadString(section, key, Absent) ==
          inifile::FindValue(lines, section, key).value_or(Absent));
    const auto ports = ini.ReadSectionValues("Ports");
    Check(ports == inifile::SectionValues(lines, "Ports"));
    Check(PortMapFromSection(ports) == ExpectedPortMap(ports));

    inifile::SetValue(lines, section, key, value, inifile::DetectEol(decoded.Text));
    const auto expected = EncodeText(inifile::Render(lines), decoded.Encoding);
    try {
        ini.WriteString(section, key, value);
        Check(expected.has_value());
        Check(ReadFile(real) == *expected);
        Check(TIniFile(name).ReadString(section, key, Absent) == Trimmed(value));
    } catch (const EIniFileException&) {
        Check(!expected.has_value()); // only text that UTF-16 cannot carry is refused
        Check(ReadFile(real) == bytes);
    }
    Check(!throughLink || fs::is_symlink(link));
    Check(EntryCount(folder) == (throughLink ? 2u : 1u));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first byte chooses a byte-order mark to put in front and whether the file is reached
    // through a symbolic link.
    const unsigned flags = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    if (!input.empty())
        input.remove_prefix(1);
    std::string section = TakeName(input, "Congif");
    std::string key = TakeName(input, "ComPort");
    const std::string value = TakeName(input, "1");
    static const char* const marks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    const std::string fileBytes = marks[flags & 3] + std::string(input);
    const TDecodedText decoded = DecodeText(fileBytes);
    CheckEncodingRoundTrip(fileBytes, decoded);
    const std::string_view content = decoded.Text;

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

    CheckFileLayer(fileBytes, (flags & 4) != 0, section, key, storedValue);
    return 0;
}
