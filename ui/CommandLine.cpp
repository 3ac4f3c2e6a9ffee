#include "ui/CommandLine.h"

#include "app/Version.h"
#include "app/uGlobals.h"

#include <optional>
#include <string_view>

namespace {
constexpr std::string_view ProgramName = "Kestro4SetClock";
}

namespace {

// Qt's own options (QGuiApplication and QApplication take them out of the arguments), those
// that take the next argument as their value and those that stand alone. Either may be written
// with two dashes and a value also after "=".
constexpr std::string_view QtOptionsWithValue[] = {"-platform",
                                                   "-platformpluginpath",
                                                   "-platformtheme",
                                                   "-plugin",
                                                   "-qwindowgeometry",
                                                   "-qwindowicon",
                                                   "-qwindowtitle",
                                                   "-style",
                                                   "-stylesheet",
                                                   "-session",
                                                   "-display",
                                                   "-name",
                                                   "-title",
                                                   "-geometry",
                                                   "-font",
                                                   "-fn",
                                                   "-background",
                                                   "-bg",
                                                   "-foreground",
                                                   "-fg",
                                                   "-button",
                                                   "-btn",
                                                   "-visual",
                                                   "-ncols",
                                                   "-cmap",
                                                   "-im",
                                                   "-inputstyle",
                                                   "-qmljsdebugger"};
constexpr std::string_view QtOptionsAlone[] = {"-reverse", "-nograb",      "-dograb",
                                               "-sync",    "-testability", "-widgetcount"};

bool OneOf(std::string_view name, const auto& names) {
    for (std::string_view known : names)
        if (name == known)
            return true;
    return false;
}

} // namespace

TProgramRequest ProgramRequest(int argc, const char* const* argv, std::string* unknown) {
    std::optional<std::string> stranger;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "-help" || arg == "-?")
            return TProgramRequest::ShowHelp;
        if (arg == "-v" || arg == "--version")
            return TProgramRequest::ShowVersion;
        std::string_view name = arg.starts_with("--") ? arg.substr(1) : arg;
        const bool valueAttached = name.find('=') != std::string_view::npos;
        name = name.substr(0, name.find('='));
        if (OneOf(name, QtOptionsWithValue)) {
            i += valueAttached ? 0 : 1; // the value is Qt's business too
            continue;
        }
        if (!valueAttached && OneOf(name, QtOptionsAlone))
            continue;
        if (!stranger)
            stranger = std::string(arg);
    }
    if (!stranger)
        return TProgramRequest::OpenWindow;
    if (unknown != nullptr)
        *unknown = *stranger;
    return TProgramRequest::Unknown;
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
