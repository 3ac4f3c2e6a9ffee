#include "IniFile.h"

#include "AtomicFile.h"
#include "Exception.h"
#include "Format.h"
#include "IniLines.h"
#include "SysUtils.h"

#include <filesystem>
#include <system_error>

namespace {

std::vector<inifile::TLine> LoadLines(const std::string& fileName) {
    const auto content = ReadWholeFile(fileName);
    return content ? inifile::Parse(*content) : std::vector<inifile::TLine>{};
}

// A settings file reached through a symbolic link is written where the link points, so the
// link survives the rename that replaces the file.
std::string WriteTarget(const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_symlink(fileName, error))
        return fileName;
    const auto target = std::filesystem::canonical(fileName, error);
    return error ? fileName : target.string();
}

bool IsMissing(const std::string& path) {
    std::error_code error;
    return std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found;
}

} // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    return inifile::FindValue(LoadLines(FFileName), section, key).value_or(def);
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
}

std::vector<std::pair<std::string, std::string>>
TIniFile::ReadSectionValues(const std::string& section) const {
    return inifile::SectionValues(LoadLines(FFileName), section);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    const auto fail = [this] {
        throw EIniFileException(Format("Unable to write to %s", {FFileName}));
    };
    if (!inifile::CanStore(section, key, value))
        fail();
    const std::string target = WriteTarget(FFileName);
    // An existing file that cannot be read must not be replaced by one holding only this key.
    auto content = ReadWholeFile(target);
    if (!content) {
        if (!IsMissing(target))
            fail();
        content.emplace();
    }
    auto lines = inifile::Parse(*content);
    inifile::SetValue(lines, section, key, value, inifile::DetectEol(*content));
    if (!ReplaceFileContent(target, inifile::Render(lines)))
        fail();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}
