#pragma once

#include <string>
#include <string_view>

// Where the settings file lives. Beside the executable when a settings file lies there or that
// folder is writable (a portable copy, Windows, a build folder); otherwise, as for a program
// installed into a system folder, in the user's own configuration folder:
// $XDG_CONFIG_HOME/<application id>/Kestro4SetClock.ini on POSIX systems (~/.config when
// XDG_CONFIG_HOME is unset or not absolute), %APPDATA%\<application id>\ on Windows.

// The reverse-DNS application id: the per-user folder, the desktop entry, the icon.
std::string_view ApplicationId();

// The name of the settings file in the per-user folder, whatever the executable is called.
inline constexpr std::string_view PerUserSettingsName = "Kestro4SetClock.ini";

// What the rule looks at beside the executable.
struct TBesideFacts {
    bool FileExists = false;
    bool FolderWritable = false;
};

// The environment variables the rule reads (empty when unset).
struct TSettingsEnvironment {
    std::string XdgConfigHome;
    std::string Home;    // POSIX: $HOME, or the home folder of the user's account
    std::string AppData; // Windows: %APPDATA%
};

// The folder that holds the per-user configuration of all programs (~/.config), or "" when
// the environment names no usable folder.
std::string UserConfigHome(const TSettingsEnvironment& environment);

// The settings file for an executable: its path with the extension ".ini" when the facts
// allow, otherwise the per-user file. When the environment names no per-user folder the file
// stays beside the executable (where writing it will then fail with a clear error).
std::string ChooseSettingsFile(std::string_view executablePath, TBesideFacts facts,
                               const TSettingsEnvironment& environment);

// The same rule applied to the running process: looks at the file system and the environment.
std::string SettingsFileFor(std::string_view executablePath);

// The process's own environment as the rule reads it.
TSettingsEnvironment ProcessSettingsEnvironment();

// What lies beside the executable.
TBesideFacts LookBeside(std::string_view executablePath);

// Creates the folder of a settings file and any missing parents, readable by the user alone
// (mode 0700 on POSIX); folders that exist are left as they are. Returns false when a folder
// cannot be created: writing the file then fails with the settings file's own error.
bool PrepareSettingsFolder(const std::string& settingsFile);
