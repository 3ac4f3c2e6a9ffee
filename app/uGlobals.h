#pragma once

#include "app/Settings.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The settings of the serial link, kept in the settings file (ConfigFileName). They hold
// the defaults of TSettings from program load on and carry no range of their own. LoadConfig and
// the configuration dialog write them; everything else takes them as one value.
extern std::int32_t ComPort;  // 1 means COM1
extern std::int32_t BaudRate; // bits per second
extern std::int32_t Timeout;  // reply timeout in milliseconds

TSettings ConfiguredSettings();
void SetConfiguredSettings(const TSettings& settings);

// The frame trace's file from the settings file's section "Trace", key "File" (empty: none).
// LoadConfig reads it; nothing ever writes it.
extern std::string TraceFileSetting;
// Where the window traces: the environment's KESTRO_TRACE when set, else TraceFileSetting.
std::string TraceFileName();

// The settings file: beside the executable (its path with the extension ".ini") when one lies
// there or that folder is writable, else the per-user file (runtime/SettingsLocation.h).
std::string ConfigFileName();

// The window program's settings file as the window beside the running executable would find
// it (ConfigFileName's rule): a companion program installed beside the window (kestro) reads
// the window's settings.
std::string SharedConfigFileName();

// Reads the three settings from section "Congif" (defaults where the file has none) and hands
// the section "Ports" to the channel's port names (on Windows only its device-server entries
// count; a local COM n is always the system's).
void LoadConfig();
// Writes the three settings; raises EIniFileException when the file cannot be written.
void SaveConfig();

// Reads the section "Ports" of the settings file again and hands it to the channel's port names,
// replacing the map read before; the three settings stay as they are.
void ReloadPortMap();

// The same for a settings file named by its path (LoadConfig, SaveConfig and ReloadPortMap use
// ConfigFileName()).
void LoadConfigFrom(const std::string& fileName);
void SaveConfigTo(const std::string& fileName);
void ReloadPortMapFrom(const std::string& fileName);

// The port map of a "Ports" section: keys "COM<n>" (any case, n >= 1) with a device path.
// Other keys and empty paths are ignored; of two keys for one port the first counts.
std::map<std::int32_t, std::string>
PortMapFromSection(const std::vector<std::pair<std::string, std::string>>& values);

// Assigns the English message texts of the serial channel and the protocol engine.
void SetEnglishMessages();

// Start-up routine: fixes the regional settings, then assigns the English messages.
void InitGlobals();
