#pragma once

#include "app/SettingsStore.h"
#include "cli/Options.h"

// The commands; each returns the program's exit status. `stored` is what the settings file
// holds (the defaults without one).
int RunPortsCommand(const TCliOptions& options, const TStoredSettings& stored);
// echo, read, write and sync on every target in turn, and scan.
int RunMeterCommand(const TCliOptions& options, const TStoredSettings& stored);
