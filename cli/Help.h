#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

// The commands, as the command line names them.
inline const char* const CommandNames[] = {"ports", "echo", "read", "offset",
                                           "write", "sync", "scan"};

// Lays out --help: every option with its value's name and its description in a column of their
// own, never run together however long the option.
std::shared_ptr<CLI::Formatter> HelpFormatter();

// What `kestro` alone prints: the usage in short and where to read on.
std::string ShortUsage();

// The end of --help: examples, the settings file in use and the exit statuses.
std::string HelpFooter();
