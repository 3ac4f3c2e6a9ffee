#pragma once

#include "cli/Options.h"

// The commands; each returns the program's exit status.
int RunPortsCommand(const TCliOptions& options);
// echo, read, write and sync on every target in turn, and scan.
int RunMeterCommand(const TCliOptions& options);
