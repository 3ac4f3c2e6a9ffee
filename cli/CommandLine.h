#pragma once

#include "cli/Options.h"

#include <string>
#include <vector>

// The outcome of reading the command line: options to run, or an exit status when the command
// line was answered already (help, version: 0) or refused (usage error: 2, message printed).
struct TParsedCommandLine {
    TCliOptions Options;
    bool Run = false;
    int ExitStatus = 0;
};

TParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// Parses "HH:MM:SS" and "DD.MM.YYYY" (two digits each, four for the year); the year must lie in
// 2000 to 2099, as a meter keeps only its last two digits. Raise EUsage on anything else.
TDateTime ParseTimeArgument(const std::string& text);
TDateTime ParseDateArgument(const std::string& text);
