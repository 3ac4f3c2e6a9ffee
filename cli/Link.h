#pragma once

#include "app/Link.h"
#include "app/SettingsStore.h"
#include "cli/Options.h"

#include <memory>

// Loads the settings file the options name (the window's by default). A file named with
// --config must be a regular file that can be read (EUsage with the reason otherwise); the
// window's file, when it cannot be read, leaves the defaults with a message.
TStoredSettings LoadSettingsFile(const TCliOptions& options);
// Whether a settings file gives the defaults: the one named with --config, or the window's.
bool SettingsFileFound(const TCliOptions& options);

// The link of the command line: the settings file's values with the command line's port
// ("COM<n>" or a device path), speed, timeout, attempts and trace over them. Nothing is opened
// yet.
std::unique_ptr<TLink> MakeLink(const TCliOptions& options, const TStoredSettings& stored);
