#pragma once

#include <string>

// What the window program's command line asks for. Qt's own options (-platform, -style,
// -reverse, ...) are left to the application object.
enum class TProgramRequest { OpenWindow, ShowHelp, ShowVersion };

// The first of -h, --help, -help, -?, -v and --version decides; without them the window opens.
TProgramRequest ProgramRequest(int argc, const char* const* argv);

// The short usage, naming the settings file in use.
std::string ProgramUsage();
// "Kestro4SetClock <version>".
std::string ProgramVersion();
