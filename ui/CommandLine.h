#pragma once

#include <string>

// What the window program's command line asks for. Qt's own options (-platform, -style,
// -reverse, ...) are left to the application object.
enum class TProgramRequest { OpenWindow, ShowHelp, ShowVersion, Unknown };

// The first of -h, --help, -help, -?, -v and --version decides. Otherwise any argument that is
// neither one of Qt's own options (with its value) nor ours asks for the usage as an error
// (Unknown, with the argument in `unknown`); without such arguments the window opens.
TProgramRequest ProgramRequest(int argc, const char* const* argv, std::string* unknown = nullptr);

// The short usage, naming the settings file in use.
std::string ProgramUsage();
// "Kestro4SetClock <version>".
std::string ProgramVersion();
