#include "cli/Link.h"

#include "app/uGlobals.h"
#include "cli/ExitStatus.h"
#include "comm/FrameTrace.h"
#include "comm/PortNames.h"
#include "runtime/IniFile.h"

#include <filesystem>
#include <iostream>

TStoredSettings LoadSettingsFile(const TCliOptions& options) {
    if (options.ConfigFile.empty()) {
        // A settings file that cannot be read (too large, not a regular file) leaves the
        // defaults, as it does for the window.
        try {
            return LoadConfigFrom(SharedConfigFileName());
        } catch (const EIniFileException& error) {
            std::cerr << "kestro: " << error.Message() << "; the default settings apply\n";
            return {};
        }
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(options.ConfigFile, error))
        throw EUsage("Settings file not found: " + options.ConfigFile);
    try {
        return LoadConfigFrom(options.ConfigFile);
    } catch (const EIniFileException& error) {
        throw EUsage(error.Message()); // the file named on the command line is of no use
    }
}

bool SettingsFileFound(const TCliOptions& options) {
    std::error_code error;
    return std::filesystem::exists(
        options.ConfigFile.empty() ? SharedConfigFileName() : options.ConfigFile, error);
}

std::unique_ptr<TLink> MakeLink(const TCliOptions& options, const TStoredSettings& stored) {
    TSettings settings = stored.Settings;
    if (options.BaudRate)
        settings.BaudRate = *options.BaudRate;
    if (options.Timeout)
        settings.Timeout = *options.Timeout;
    std::string device;
    if (!options.Port.empty()) {
        if (const std::int32_t port = ComPortNumber(options.Port); port > 0)
            settings.ComPort = port;
        else
            device = options.Port; // a device path or a device server's URL
    }
    auto link = std::make_unique<TLink>(settings, stored.Ports, device);
    link->SetRetries(options.Retries);
    if (!options.TraceFile.empty())
        link->SetTrace(OpenFrameTrace(options.TraceFile, [](const std::string& reason) {
            std::cerr << "kestro: cannot write the trace: " << reason << '\n';
        }));
    return link;
}
