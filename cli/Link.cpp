#include "cli/Link.h"

#include "app/uGlobals.h"
#include "cli/ExitStatus.h"
#include "comm/FrameTrace.h"
#include "comm/PortNames.h"
#include "runtime/IniFile.h"

#include <filesystem>
#include <iostream>

TStoredSettings LoadSettingsFile(const TCliOptions& options) {
    if (!options.ConfigFile) {
        // A settings file that cannot be read (too large, not a regular file) leaves the
        // defaults, as it does for the window.
        try {
            return LoadConfigFrom(SharedConfigFileName());
        } catch (const EIniFileException& error) {
            std::cerr << "kestro: " << error.Message() << "; the default settings apply\n";
            return {};
        }
    }
    // The file named on the command line is of no use unless it can be read.
    const std::string& file = *options.ConfigFile;
    if (file.empty())
        throw EUsage("--config needs the name of a settings file");
    std::error_code error;
    switch (std::filesystem::status(file, error).type()) {
    case std::filesystem::file_type::not_found:
        throw EUsage("Settings file not found: " + file);
    case std::filesystem::file_type::directory:
        throw EUsage("Settings file " + file + " is a folder, not a file");
    case std::filesystem::file_type::fifo:
        throw EUsage("Settings file " + file + " is a pipe, not a file");
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block:
        throw EUsage("Settings file " + file + " is a device, not a file");
    default:
        break; // anything else the read itself refuses with its reason
    }
    try {
        return LoadConfigFrom(file);
    } catch (const EIniFileException& error) {
        throw EUsage(error.Message());
    }
}

bool SettingsFileFound(const TCliOptions& options) {
    std::error_code error;
    return std::filesystem::exists(
        options.ConfigFile ? *options.ConfigFile : SharedConfigFileName(), error);
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
