#include "IniFile.h"

#include "AtomicFile.h"
#include "Exception.h"
#include "Format.h"
#include "LinkTarget.h"
#include "RegularFile.h"
#include "SysUtils.h"
#include "TextEncoding.h"

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
    WriteValues({{section, key, value}});
}

void TIniFile::WriteValues(const std::vector<TIniValue>& values) {
    const auto fail = [this](const char* reason = nullptr) {
        std::string message = Format("Unable to write to %s", {FFileName});
        if (reason != nullptr)
            message += std::string(": ") + reason;
        throw EIniFileException(message);
    };
    for (const TIniValue& value : values)
        if (!inifile::CanStore(value.Section, value.Key, value.Value))
            fail();
    std::string target;
    switch (FindLinkTarget(FFileName, target)) {
    case TLinkTargetResult::Ok:
        break;
    case TLinkTargetResult::UntrustedLink:
        fail("it is a link another user placed in a shared folder");
        break;
    case TLinkTargetResult::Unresolvable:
        fail();
        break;
    }
    // A file that cannot be read must not be replaced by one holding only these keys.
    std::optional<TDecodedText> text;
    try {
        text = LoadText(target, FFileName);
    } catch (const EIniFileException&) {
        fail();
    }
    if (!text)
        text.emplace();
    auto lines = inifile::Parse(text->Text);
    const std::string eol = inifile::DetectEol(text->Text);
    for (const TIniValue& value : values)
        inifile::SetValue(lines, value.Section, value.Key, value.Value, eol);
    const auto bytes = EncodeText(inifile::Render(lines), text->Encoding);
    if (!bytes)
        fail();
    // A file the next read would refuse is no settings file.
    if (bytes->size() > MaxFileSize)
        fail("it would be larger than 1 MB");
    if (!ReplaceFileContent(target, *bytes))
        fail();
    FLines = std::move(lines);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}
