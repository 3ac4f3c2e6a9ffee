#include "ui/CommandLine.h"

#include "app/Version.h"
#include "app/uGlobals.h"

#include <string_view>

namespace {
constexpr std::string_view ProgramName = "Kestro4SetClock";
}

TProgramRequest ProgramRequest(int argc, const char* const* argv) {
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "-help" || arg == "-?")
            return TProgramRequest::ShowHelp;
        if (arg == "-v" || arg == "--version")
            return TProgramRequest::ShowVersion;
    }
    return TProgramRequest::OpenWindow;
}

std::string ProgramUsage() {
    std::string usage;
    usage += "Usage: " + std::string(ProgramName) + " [options]\n";
    usage += "Checks and sets the clocks of Kestro4 meters over a serial line.\n\n";
    usage += "Options:\n";
    usage += "  -h, --help     Show this help and exit.\n";
    usage += "  -v, --version  Show the version and exit.\n";
    usage += "Qt's standard options apply too, for example -platform <name>, -style <name>,\n";
    usage += "-reverse.\n\n";
    usage += "Settings file: " + ConfigFileName() + "\n";
    return usage;
}

std::string ProgramVersion() {
    return std::string(ProgramName) + " " + KESTRO_VERSION;
}
