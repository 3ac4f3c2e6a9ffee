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
    if (options.ConfigFile.empty()) {
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
    std::error_code error;
    if (!std::filesystem::is_regular_file(options.ConfigFile, error))
        throw EUsage("Settings file not found: " + options.ConfigFile);
    try {
        LoadConfigFrom(options.ConfigFile);
    } catch (const EIniFileException& error) {
        throw EUsage(error.Message()); // the file named on the command line is of no use
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
