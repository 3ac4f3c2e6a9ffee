#pragma once

#include "app/Settings.h"
#include "app/SettingsStore.h"

#include <string>
#include <utility>
#include <vector>

// Where the window traces: the environment's KESTRO_TRACE when set, else the settings file's
// section "Trace", key "File" (empty: no trace).
std::string TraceFileName(const TStoredSettings& stored);

// The settings file: beside the executable (its path with the extension ".ini") when one lies
// there or that folder is writable, else the per-user file (runtime/SettingsLocation.h).
std::string ConfigFileName();

// The window program's settings file as the window beside the running executable would find
// it (ConfigFileName's rule): a companion program installed beside the window (kestro) reads
// the window's settings.
std::string SharedConfigFileName();

// Reads the three settings from section "Congif" (defaults where the file has none), the
// section "Ports" and the trace file of section "Trace". Raises EIniFileException when the file
// cannot be read. The values carry no range of their own: the file's ComPort=7 opens COM7.
TStoredSettings LoadConfigFrom(const std::string& fileName);
// Writes the three settings; raises EIniFileException when the file cannot be written.
void SaveConfigTo(const std::string& fileName, const TSettings& settings);

// The port map of a "Ports" section: keys "COM<n>" (any case, n >= 1) with a device path.
// Other keys and empty paths are ignored; of two keys for one port the first counts.
TPortMap PortMapFromSection(const std::vector<std::pair<std::string, std::string>>& values);

// The settings file as the window model's store; saving creates the user's settings folder when
// needed (should it not be creatable, saving reports "Unable to write to" the file).
class TSettingsFile final : public TSettingsStore {
public:
    explicit TSettingsFile(std::string fileName) : FFileName(std::move(fileName)) {}
    TStoredSettings Load() override { return LoadConfigFrom(FFileName); }
    void Save(const TSettings& settings) override;

private:
    std::string FFileName;
};

// Assigns the English message texts of the serial channel and the protocol engine.
void SetEnglishMessages();

// Start-up routine: fixes the regional settings, then assigns the English messages.
void InitGlobals();
