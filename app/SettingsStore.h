#pragma once

#include "app/Settings.h"
#include "comm/PortNames.h" // TPortMap: COM port number -> device path or device-server URL

#include <string>

// What the settings file holds for the link.
struct TStoredSettings {
    TSettings Settings;
    TPortMap Ports;
    std::string TraceFile; // section "Trace", key "File"; empty for none
};

// Where the window model loads and saves its settings: the settings file, or a fake in tests.
class TSettingsStore {
public:
    virtual ~TSettingsStore() = default;
    // Raises EIniFileException when the file cannot be read; the caller then uses defaults.
    virtual TStoredSettings Load() = 0;
    // Writes the three settings as one replace of the file; raises EIniFileException.
    virtual void Save(const TSettings& settings) = 0;
};
