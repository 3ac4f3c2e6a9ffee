#pragma once

#include "app/Settings.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The settings of the serial link, kept in the settings file beside the executable. They hold
// the defaults of TSettings from program load on and carry no range of their own. LoadConfig and
// the configuration dialog write them; everything else takes them as one value.
extern std::int32_t ComPort;  // 1 means COM1
extern std::int32_t BaudRate; // bits per second
extern std::int32_t Timeout;  // reply timeout in milliseconds

TSettings ConfiguredSettings();
void SetConfiguredSettings(const TSettings& settings);

// The settings file: the executable's path with the extension ".ini".
std::string ConfigFileName();

// The window program's settings file, Kestro4SetClock.ini in the running executable's folder:
// a companion program installed beside the window (kestro) reads the window's settings.
std::string SharedConfigFileName();

// Reads the three settings from section "Congif" (defaults where the file has none). On POSIX
// systems also hands the section "Ports" to the channel's port names.
void LoadConfig();
// Writes the three settings; raises EIniFileException when the file cannot be written.
void SaveConfig();

// The same for a settings file named by its path (LoadConfig and SaveConfig use
// ConfigFileName()).
void LoadConfigFrom(const std::string& fileName);
void SaveConfigTo(const std::string& fileName);

// The port map of a "Ports" section: keys "COM<n>" (any case, n >= 1) with a device path.
// Other keys and empty paths are ignored; of two keys for one port the first counts.
std::map<std::int32_t, std::string>
PortMapFromSection(const std::vector<std::pair<std::string, std::string>>& values);

// Assigns the English message texts of the serial channel and the protocol engine.
void SetEnglishMessages();

// Start-up routine: fixes the regional settings, then assigns the English messages.
void InitGlobals();
