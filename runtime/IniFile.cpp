#include "IniFile.h"

#include "AtomicFile.h"
#include "Exception.h"
#include "Format.h"
#include "RegularFile.h"
#include "SysUtils.h"
#include "TextEncoding.h"

#include <filesystem>
#include <system_error>

namespace {

// The content of the file, or nothing when it does not exist; raises with the reason when it
// exists but must not or cannot be read.
std::optional<TDecodedText> LoadText(const std::string& path, const std::string& shownName) {
    std::string bytes;
    switch (ReadRegularFile(path, TIniFile::MaxFileSize, bytes)) {
    case TFileReadResult::Ok:
        return DecodeText(bytes);
    case TFileReadResult::Missing:
        return std::nullopt;
    case TFileReadResult::NotRegular:
        throw EIniFileException(Format("Unable to read %s: it is not a regular file", {shownName}));
    case TFileReadResult::TooLarge:
        throw EIniFileException(Format("Unable to read %s: it is larger than 1 MB", {shownName}));
    case TFileReadResult::Unreadable:
        break;
    }
    throw EIniFileException(Format("Unable to read %s", {shownName}));
}

// The file a path finally names, its symbolic links followed one by one, so that the links
// survive the rename that replaces the file, and a link to a missing file names that file.
// Nothing for a loop of links or a path that cannot be examined.
std::optional<std::string> FinalTarget(const std::string& fileName) {
    namespace fs = std::filesystem;
    fs::path path = fileName;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(path, error);
        if (status.type() == fs::file_type::not_found)
            return path.string();
        if (error)
            return std::nullopt;
        if (status.type() != fs::file_type::symlink)
            return path.string();
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            return std::nullopt;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::nullopt;
}

} // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

const std::vector<inifile::TLine>& TIniFile::Lines() const {
    if (!FLines) {
        const auto text = LoadText(FFileName, FFileName);
        FLines = text ? inifile::Parse(text->Text) : std::vector<inifile::TLine>{};
    }
    return *FLines;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    return inifile::FindValue(Lines(), section, key).value_or(def);
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
}

std::vector<std::pair<std::string, std::string>>
TIniFile::ReadSectionValues(const std::string& section) const {
    return inifile::SectionValues(Lines(), section);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    const auto fail = [this] {
        throw EIniFileException(Format("Unable to write to %s", {FFileName}));
    };
    if (!inifile::CanStore(section, key, value))
        fail();
    const auto target = FinalTarget(FFileName);
    if (!target)
        fail();
    // A file that cannot be read must not be replaced by one holding only this key.
    std::optional<TDecodedText> text;
    try {
        text = LoadText(*target, FFileName);
    } catch (const EIniFileException&) {
        fail();
    }
    if (!text)
        text.emplace();
    auto lines = inifile::Parse(text->Text);
    inifile::SetValue(lines, section, key, value, inifile::DetectEol(text->Text));
    const auto bytes = EncodeText(inifile::Render(lines), text->Encoding);
    if (!bytes || !ReplaceFileContent(*target, *bytes))
        fail();
    FLines = std::move(lines);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}
