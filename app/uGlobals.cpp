#include "app/uGlobals.h"

#include "comm/PortNames.h"
#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"
#include "runtime/AppPath.h"
#include "runtime/FormatSettings.h"
#include "runtime/IniFile.h"
#include "runtime/SettingsLocation.h"
#include "runtime/SysUtils.h"

#include <cctype>
#include <cstdlib>
#include <limits>

std::int32_t ComPort = TSettings{}.ComPort;
std::int32_t BaudRate = TSettings{}.BaudRate;
std::int32_t Timeout = TSettings{}.Timeout;
std::string TraceFileSetting;

namespace {

// The section name is spelled this way in every settings file in the field.
const std::string ConfigSection = "Congif";
const std::string PortsSection = "Ports";
const std::string TraceSection = "Trace";

// The port number of a key "COM<n>" (any case), or 0 when the key has another form.
std::int32_t PortNumberOfKey(const std::string& key) {
    const std::string prefix = "COM";
    if (key.size() <= prefix.size())
        return 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(key[i])) != prefix[i])
            return 0;
    std::int64_t number = 0;
    for (std::size_t i = prefix.size(); i < key.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(key[i])))
            return 0;
        number = number * 10 + (key[i] - '0');
        if (number > std::numeric_limits<std::int32_t>::max())
            return 0;
    }
    return static_cast<std::int32_t>(number);
}

void ApplyPortMap(const TIniFile& ini) {
    SetPortMap(PortMapFromSection(ini.ReadSectionValues(PortsSection)));
}

} // namespace

std::string ConfigFileName() {
    // Beside the executable when a settings file lies there or its folder is writable, else in
    // the user's configuration folder.
    return SettingsFileFor(ExecutablePath());
}

std::string SharedConfigFileName() {
    // The file the window program would read were it in this executable's folder.
    const std::string exe = ExecutablePath();
    const std::size_t slash = exe.find_last_of("/\\");
    const std::string window =
        exe.substr(0, slash == std::string::npos ? 0 : slash + 1) + "Kestro4SetClock";
    return SettingsFileFor(window);
}

std::map<std::int32_t, std::string>
PortMapFromSection(const std::vector<std::pair<std::string, std::string>>& values) {
    std::map<std::int32_t, std::string> map;
    for (const auto& [key, path] : values) {
        const std::int32_t port = PortNumberOfKey(Trim(key));
        const std::string device = Trim(path);
        if (port >= 1 && !device.empty())
            map.emplace(port, device); // keeps the first entry for a port
    }
    return map;
}

TSettings ConfiguredSettings() {
    return TSettings{ComPort, BaudRate, Timeout};
}

void SetConfiguredSettings(const TSettings& settings) {
    ComPort = settings.ComPort;
    BaudRate = settings.BaudRate;
    Timeout = settings.Timeout;
}

void LoadConfigFrom(const std::string& fileName) {
    const TIniFile ini(fileName);
    const TSettings defaults;
    ComPort = ini.ReadInteger(ConfigSection, "ComPort", defaults.ComPort);
    BaudRate = ini.ReadInteger(ConfigSection, "BaudRate", defaults.BaudRate);
    Timeout = ini.ReadInteger(ConfigSection, "Timeout", defaults.Timeout);
    ApplyPortMap(ini);
    TraceFileSetting = Trim(ini.ReadString(TraceSection, "File", ""));
}

void ReloadPortMapFrom(const std::string& fileName) {
    ApplyPortMap(TIniFile(fileName));
}

std::string TraceFileName() {
    const char* variable = std::getenv("KESTRO_TRACE");
    if (variable != nullptr && *variable != '\0')
        return variable;
    return TraceFileSetting;
}

void SaveConfigTo(const std::string& fileName) {
    // One replace for the three keys: a save that fails leaves the file as it was.
    TIniFile(fileName).WriteValues({{ConfigSection, "ComPort", std::to_string(ComPort)},
                                    {ConfigSection, "BaudRate", std::to_string(BaudRate)},
                                    {ConfigSection, "Timeout", std::to_string(Timeout)}});
}

void LoadConfig() {
    LoadConfigFrom(ConfigFileName());
}

void SaveConfig() {
    // The user's configuration folder may not exist yet. Should it not be creatable, saving
    // reports "Unable to write to" the file.
    const std::string fileName = ConfigFileName();
    static_cast<void>(PrepareSettingsFolder(fileName));
    SaveConfigTo(fileName);
}

void ReloadPortMap() {
    ReloadPortMapFrom(ConfigFileName());
}

void SetEnglishMessages() {
    SCommError = "COM%d unexpected error!";
    SOpenPort = "Cannot open COM%d!";
    SSetupPort = "Cannot setup COM%d!";
    SReadPort = "COM%d read error!";
    SWritePort = "COM%d write error!";
    SAddrAll = "all";
    SKestroBadChecksum = "Bad packet checksum";
    SKestroBadPacket = "Bad packet format";
    SKestroBadKestroId = "Packet with wrong network address";
    SKestroTimeout = "Timeout";
    SKestroUnknownError = "Received unknown error code: \"%s\"";
    SKestroDataDiff = "Different data in responce! Data not written.";
    SKestroReadError = "%s return: %s";
    SKsRdBadChecksum = "Bad checksum in request!";
    SKsRdUnknownCommand = "Unknown command: %s!";
    SKsRdDataFmtError = "Data format error!";
    SKsRdWriteProtect = "Device is not enabled for config!";
}

void InitGlobals() {
    FormatSettings.ShortDateFormat = "dd.MM.yyyy";
    FormatSettings.DateSeparator = '.';
    FormatSettings.TimeSeparator = ':';
    FormatSettings.ThousandSeparator = '\0';
    FormatSettings.DecimalSeparator = '.';
    FormatSettings.ShortMonthNames = EnglishShortMonthNames();
    FormatSettings.LongMonthNames = EnglishLongMonthNames();
    FormatSettings.ShortDayNames = EnglishShortDayNames();
    FormatSettings.LongDayNames = EnglishLongDayNames();
    SetEnglishMessages();
}
