#include "cli/CommandLine.h"

#include "app/uGlobals.h"

#include "app/AddressList.h"
#include "app/Version.h"
#include "cli/ExitStatus.h"
#include "cli/Help.h"
#include "cli/Result.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iostream>

KESTRO_DEFINE_EXCEPTION(EUsage, Exception);

namespace {

// The number of `count` digits at `pos`, or -1 when any of them is not a digit.
int DigitsAt(const std::string& text, std::size_t pos, std::size_t count) {
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

void AddLinkOptions(CLI::App& command, TCliOptions& options) {
    command
        .add_option("--port", options.Port,
                    "COM<n> (the settings file's [Ports] map applies) or a device path")
        ->option_text("PORT");
    command.add_option("--baud", options.BaudRate, "line speed in bits per second")
        ->check(CLI::IsMember({300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}))
        ->option_text("BPS");
    command.add_option("--timeout", options.Timeout, "reply timeout in milliseconds, 1 to 60000")
        ->check(CLI::Range(1, 60000))
        ->option_text("MS");
    command.add_option("--retries", options.Retries, "attempts per exchange, 1 to 10 (default 1)")
        ->check(CLI::Range(1, 10))
        ->option_text("N");
    command
        .add_option("--trace", options.TraceFile,
                    "append a trace of every frame to FILE (- for standard error)")
        ->option_text("FILE");
}

void AddCommonOptions(CLI::App& command, TCliOptions& options) {
    command
        .add_option("--config", options.ConfigFile,
                    "settings file to take the defaults from (default: the window's)")
        ->option_text("FILE");
    command.add_flag("--json", options.Json, "one JSON object per result line");
}

void AddTargetOptions(CLI::App& command, TCliOptions& options) {
    CLI::Option* addr =
        command.add_option("--addr", options.Addresses, "meter address(es): 5, or 1-10,15")
            ->option_text("LIST");
    CLI::Option* opto = command.add_flag("--optohead", options.Optohead,
                                         "the meter under the optical head (300 baud)");
    addr->excludes(opto);
}

CLI::App& AddMeterCommand(CLI::App& app, TCliOptions& options, const std::string& name,
                          const std::string& description) {
    CLI::App& command = *app.add_subcommand(name, description);
    AddTargetOptions(command, options);
    AddLinkOptions(command, options);
    AddCommonOptions(command, options);
    command.callback([&options, name] { options.Command = name; });
    return command;
}

// Checks what CLI11 cannot: a target for the meter commands, the address list, the scan range.
void CheckOptions(TCliOptions& options, const std::string& timeText, const std::string& dateText) {
    const std::string& command = options.Command;
    if (command == "echo" || command == "read" || command == "write" || command == "sync" ||
        command == "offset") {
        if (options.Addresses.empty() && !options.Optohead)
            throw EUsage("No target: give --addr LIST or --optohead");
        if (!options.Addresses.empty())
            ParseAddressList(options.Addresses); // raises EAddressList
    }
    if (command == "write") {
        options.WriteTime = ParseTimeArgument(timeText);
        options.WriteDate = ParseDateArgument(dateText);
    }
    if (command == "scan" && options.From > options.To)
        throw EUsage("--from " + std::to_string(options.From) + " lies after --to " +
                     std::to_string(options.To));
}

// A number with a value: NaN would pass any range check.
const CLI::Validator FiniteNumber(
    [](std::string& text) {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        return end != text.c_str() && *end == '\0' && std::isfinite(value)
                   ? std::string()
                   : "not a finite number: " + text;
    },
    "NUMBER");

bool IsCommand(const std::string& name) {
    return std::find(std::begin(CommandNames), std::end(CommandNames), name) !=
           std::end(CommandNames);
}

const std::string TryHelp = "Run 'kestro --help' for more information.\n";

// A refused command line, for a script that asked for --json: its JSON line.
void WriteRefusal(int argc, const char* const* argv, const std::string& message) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (std::find(args.begin(), args.end(), "--json") == args.end())
        return; // none when there are no arguments at all
    TResultWriter(true).WriteRefusal(IsCommand(args.front()) ? args.front() : std::string(),
                                     message);
}

// Says why a command line is refused, on standard error and as a JSON line when asked.
void Refuse(int argc, const char* const* argv, const std::string& message) {
    std::cerr << "kestro: " << message << '\n' << TryHelp;
    WriteRefusal(argc, argv, message);
}

} // namespace

TDateTime ParseTimeArgument(const std::string& text) {
    TDateTime result = 0;
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        throw EUsage("Invalid time \"" + text + "\": expected HH:MM:SS");
    const int hour = DigitsAt(text, 0, 2);
    const int minute = DigitsAt(text, 3, 2);
    const int second = DigitsAt(text, 6, 2);
    if (hour < 0 || minute < 0 || second < 0 || !TryEncodeTime(hour, minute, second, 0, result))
        throw EUsage("Invalid time \"" + text + "\": expected HH:MM:SS");
    return result;
}

TDateTime ParseDateArgument(const std::string& text) {
    TDateTime result = 0;
    if (text.size() != 10 || text[2] != '.' || text[5] != '.')
        throw EUsage("Invalid date \"" + text + "\": expected DD.MM.YYYY");
    const int day = DigitsAt(text, 0, 2);
    const int month = DigitsAt(text, 3, 2);
    const int year = DigitsAt(text, 6, 4);
    if (day < 0 || month < 0 || year < 0 || !TryEncodeDate(year, month, day, result))
        throw EUsage("Invalid date \"" + text + "\": expected DD.MM.YYYY");
    if (year < 2000 || year > 2099)
        throw EUsage("Invalid date \"" + text + "\": a meter keeps the years 2000 to 2099");
    return result;
}

TParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
    TParsedCommandLine parsed;
    TCliOptions& options = parsed.Options;
    std::string timeText;
    std::string dateText;

    CLI::App app{"kestro: checks and sets the clocks of Kestro4 meters over a serial line.",
                 "kestro"};
    app.formatter(HelpFormatter());
    // Before the commands are added: they take it over.
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return "kestro: " + std::string(error.what()) + "\n" + TryHelp;
    });
    app.set_version_flag("--version", std::string("kestro ") + KESTRO_VERSION);
    app.require_subcommand(1, 1);
    app.footer(HelpFooter());

    CLI::App& ports = *app.add_subcommand("ports", "list the serial ports and the COM n map");
    AddCommonOptions(ports, options);
    ports.callback([&options] { options.Command = "ports"; });

    AddMeterCommand(app, options, "echo", "ask the meter(s) for an echo");
    CLI::App& read =
        AddMeterCommand(app, options, "read", "read the meter's date and time and its offset");
    read.add_flag("--precise", options.Precise,
                  "also measure the offset to the millisecond (several reads, seconds)");
    CLI::App& offset = AddMeterCommand(
        app, options, "offset", "measure the meter's clock against the PC's to the millisecond");
    offset
        .add_option("--width", options.TargetWidthMs,
                    "stop once the offset is known within this many ms, 1 to 1000 (default 20)")
        ->check(FiniteNumber)
        ->check(CLI::Range(1.0, 1000.0))
        ->option_text("MS");
    CLI::App& write = AddMeterCommand(app, options, "write", "set the meter's date and time");
    write.add_option("--time", timeText, "time to set")->required()->option_text("HH:MM:SS");
    write.add_option("--date", dateText, "date to set")->required()->option_text("DD.MM.YYYY");
    CLI::App& sync =
        AddMeterCommand(app, options, "sync",
                        "set the meter's clock to the PC's current time, on the second boundary");
    sync.add_flag("--force", options.Force, "set it even when the PC's clock is not synchronised");
    sync.add_option("--max-offset", options.MaxOffsetMs,
                    "how far off the meter may be after the set, in ms (default 50, or the "
                    "measured uncertainty if more); beyond it one corrected set, then FAILED")
        ->check(FiniteNumber)
        ->check(CLI::Range(1.0, 3600000.0))
        ->option_text("MS");

    CLI::App& scan = *app.add_subcommand("scan", "find the meters that answer, 00 to 99");
    scan.add_option("--from", options.From, "first address (default 0)")
        ->check(CLI::Range(0, 99))
        ->option_text("N");
    scan.add_option("--to", options.To, "last address (default 99)")
        ->check(CLI::Range(0, 99))
        ->option_text("N");
    AddLinkOptions(scan, options);
    AddCommonOptions(scan, options);
    scan.callback([&options] { options.Command = "scan"; });

    parsed.ExitStatus = ExitUsage;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && !args.front().empty() && args.front().front() != '-' &&
        !IsCommand(args.front())) {
        Refuse(argc, argv, "unknown command '" + args.front() + "'");
        return parsed;
    }
    const auto any = [&args](const auto& predicate) {
        return std::any_of(args.begin(), args.end(), predicate);
    };
    if (!any(IsCommand) && !any([](const std::string& arg) {
            return arg == "-h" || arg == "--help" || arg == "--version";
        })) {
        std::cerr << ShortUsage();
        WriteRefusal(argc, argv, "no command");
        return parsed;
    }
    try {
        app.parse(argc, argv);
        CheckOptions(options, timeText, dateText);
    } catch (const CLI::ParseError& error) {
        // CLI11 answers help and version itself (status 0); every refusal is a usage error.
        if (app.exit(error) == 0)
            parsed.ExitStatus = ExitAllGood;
        else
            WriteRefusal(argc, argv, error.what());
        return parsed;
    } catch (const Exception& error) { // EUsage, EAddressList
        Refuse(argc, argv, error.Message());
        return parsed;
    }
    parsed.ExitStatus = ExitAllGood;
    parsed.Run = true;
    return parsed;
}
