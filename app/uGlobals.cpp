#include "app/uGlobals.h"

#include "comm/PortNames.h"
#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"
#include "runtime/AppPath.h"
#include "runtime/FormatSettings.h"
#include "runtime/IniFile.h"
#include "runtime/SettingsLocation.h"
#include "runtime/SysUtils.h"

#include <cstdlib>

namespace {

// The section name is spelled this way in every settings file in the field.
const std::string ConfigSection = "Congif";
const std::string PortsSection = "Ports";
const std::string TraceSection = "Trace";

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

TPortMap PortMapFromSection(const std::vector<std::pair<std::string, std::string>>& values) {
    TPortMap map;
    for (const auto& [key, path] : values) {
        const std::int32_t port = ComPortNumber(Trim(key));
        const std::string device = Trim(path);
        if (port >= 1 && !device.empty())
            map.emplace(port, device); // keeps the first entry for a port
    }
    return map;
}

TStoredSettings LoadConfigFrom(const std::string& fileName) {
    const TIniFile ini(fileName);
    const TSettings defaults;
    TStoredSettings stored;
    stored.Settings.ComPort = ini.ReadInteger(ConfigSection, "ComPort", defaults.ComPort);
    stored.Settings.BaudRate = ini.ReadInteger(ConfigSection, "BaudRate", defaults.BaudRate);
    stored.Settings.Timeout = ini.ReadInteger(ConfigSection, "Timeout", defaults.Timeout);
    stored.Ports = PortMapFromSection(ini.ReadSectionValues(PortsSection));
    stored.TraceFile = Trim(ini.ReadString(TraceSection, "File", ""));
    return stored;
}

std::string TraceFileName(const TStoredSettings& stored) {
    const char* variable = std::getenv("KESTRO_TRACE");
    if (variable != nullptr && *variable != '\0')
        return variable;
    return stored.TraceFile;
}

void SaveConfigTo(const std::string& fileName, const TSettings& settings) {
    TIniFile ini(fileName);
    ini.WriteInteger(ConfigSection, "ComPort", settings.ComPort);
    ini.WriteInteger(ConfigSection, "BaudRate", settings.BaudRate);
    ini.WriteInteger(ConfigSection, "Timeout", settings.Timeout);
}

void TSettingsFile::Save(const TSettings& settings) {
    static_cast<void>(PrepareSettingsFolder(FFileName));
    SaveConfigTo(FFileName, settings);
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
