#pragma once

#include "app/Settings.h"
#include "cli/Options.h"
#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"

#include <string>

// Loads the settings file the options name (the window's by default) into the program's
// settings and port map. A file named with --config must be a regular file that can be read
// (EUsage with the reason otherwise).
void LoadSettingsFile(const TCliOptions& options);

// The channel and the engine, set up from the settings file and the command line.
class TLink {
public:
    // Takes the settings file's values, with the command line's port, speed and timeout over
    // them. Nothing is opened yet.
    explicit TLink(const TCliOptions& options);

    // Opens the port; EOpenPort or ESetupPort when it cannot be opened.
    void Open();

    TCommDispatcher Channel;
    TCommKestro Engine{Channel};
    TSettings Settings; // what every session restores the line to
};
