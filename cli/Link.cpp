#include "cli/Link.h"

#include "app/uGlobals.h"
#include "cli/ExitStatus.h"
#include "comm/FrameTrace.h"
#include "comm/PortNames.h"
#include "runtime/IniFile.h"

#include <cctype>
#include <filesystem>
#include <iostream>

namespace {

// The port number of "COM<n>" (any case, n from 1), or 0 when the text is no such name.
std::int32_t ComPortNumber(const std::string& text) {
    if (text.size() < 4 || text.size() > 12)
        return 0;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i])
            return 0;
    std::int64_t number = 0;
    for (std::size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return 0;
        number = number * 10 + (text[i] - '0');
    }
    return number >= 1 && number <= 0x7FFFFFFF ? static_cast<std::int32_t>(number) : 0;
}

} // namespace

void LoadSettingsFile(const TCliOptions& options) {
    if (!options.ConfigFile) {
        // A settings file that cannot be read (too large, not a regular file) leaves the
        // defaults, as it does for the window.
        try {
            LoadConfigFrom(SharedConfigFileName());
        } catch (const EIniFileException& error) {
            SetConfiguredSettings(TSettings{});
            std::cerr << "kestro: " << error.Message() << "; the default settings apply\n";
        }
        return;
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
        LoadConfigFrom(file);
    } catch (const EIniFileException& error) {
        throw EUsage(error.Message());
    }
}

TLink::TLink(const TCliOptions& options) : Settings(ConfiguredSettings()) {
    if (options.BaudRate)
        Settings.BaudRate = *options.BaudRate;
    if (options.Timeout)
        Settings.Timeout = *options.Timeout;
    Engine.Retries = options.Retries;
    if (!options.TraceFile.empty())
        Channel.SetTrace(OpenFrameTrace(options.TraceFile, [](const std::string& reason) {
            std::cerr << "kestro: cannot write the trace: " << reason << '\n';
        }));
    if (!options.Port.empty()) {
        if (const std::int32_t port = ComPortNumber(options.Port); port > 0) {
            Settings.ComPort = port;
        } else {
            // A device path: messages name the COM n that leads to it, else COM0.
            Settings.ComPort = PortNumberOfDevice(options.Port);
            Channel.SetDevice(options.Port);
        }
    }
}

void TLink::Open() {
    ApplySettings(Channel, Engine, Settings);
}
