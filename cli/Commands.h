#pragma once

#include "app/SettingsStore.h"
#include "cli/Options.h"

// The commands; each returns the program's exit status. `stored` is what the settings file
// holds (the defaults without one).
int RunPortsCommand(const TCliOptions& options, const TStoredSettings& stored);
// echo, read, offset, write and sync on every target in turn, and scan. `settingsFileFound`:
// whether a settings file gave the defaults (without one, the port taken is said).
int RunMeterCommand(const TCliOptions& options, const TStoredSettings& stored,
                    bool settingsFileFound);
