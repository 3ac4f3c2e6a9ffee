#include "CommandLine.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vmeter {

namespace {

constexpr int DefaultOptoMeter = 7;
constexpr int DefaultBusMeter = 5;

int ParseNumber(const std::string& option, const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high)
        throw EVirtualMeter("Invalid value for " + option + ": \"" + text + "\" (expected " +
                            std::to_string(low) + ".." + std::to_string(high) + ")");
    return value;
}

double ParseDecimal(const std::string& option, const std::string& text, double limit) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !(std::abs(value) <= limit))
        throw EVirtualMeter("Invalid value for " + option + ": \"" + text +
                            "\" (expected a number from -" + std::to_string(std::llround(limit)) +
                            " to " + std::to_string(std::llround(limit)) + ")");
    return value;
}

void AppendJsonString(std::string& out, const std::string& text) {
    static constexpr char Hex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // Control bytes and bytes above ASCII are written as the code points of the same
            // value, so that any line noise gives valid JSON and can be told apart.
            if (byte < 0x20 || byte >= 0x7F) {
                out += "\\u00";
                out += Hex[byte >> 4];
                out += Hex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine result;
    bool meterGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw EVirtualMeter("Missing value for " + option);
            return args[++i];
        };
        if (option == "--help" || option == "-h") {
            result.Help = true;
        } else if (option == "--link") {
            result.Options.LinkPath = value();
            if (result.Options.LinkPath.empty())
                throw EVirtualMeter("Invalid value for --link: an empty path");
        } else if (option == "--meter") {
            result.Options.BusMeters.push_back(ParseNumber(option, value(), 0, 99));
            meterGiven = true;
        } else if (option == "--optohead") {
            result.Options.OptoMeter = ParseNumber(option, value(), 0, 99);
            meterGiven = true;
        } else if (option == "--pace") {
            result.Options.Pace = true;
        } else if (option == "--turnaround") {
            result.Options.TurnaroundMs = ParseNumber(option, value(), 0, 60000);
        } else if (option == "--turnaround-max") {
            result.Options.TurnaroundMaxMs = ParseNumber(option, value(), 0, 60000);
        } else if (option == "--early") {
            result.Options.Delivery.EarlyBits = ParseNumber(option, value(), 0, 10);
        } else if (option == "--latency-timer") {
            result.Options.Delivery.LatencyTimerMs = ParseNumber(option, value(), 0, 10000);
        } else if (option == "--jitter") {
            result.Options.Delivery.JitterMs = ParseNumber(option, value(), 0, 10000);
        } else if (option == "--clock-offset") {
            result.Options.Clock.OffsetMs = ParseDecimal(option, value(), 1e11);
        } else if (option == "--drift") {
            result.Options.Clock.DriftPpm = ParseDecimal(option, value(), 100000);
        } else if (option == "--takeover") {
            const std::string& name = value();
            const std::optional<TTakeOver> takeOver = ParseTakeOver(name);
            if (!takeOver)
                throw EVirtualMeter("Unknown take-over: \"" + name + "\"");
            result.Options.Clock.TakeOver = *takeOver;
        } else if (option == "--fault") {
            const std::string& name = value();
            const std::optional<TFault> fault = ParseFault(name);
            if (!fault)
                throw EVirtualMeter("Unknown fault: \"" + name + "\"");
            result.Fault = *fault;
        } else if (option == "--listen") {
            result.Listen = value();
        } else if (option == "--rfc2217") {
            result.Rfc2217 = true;
        } else if (option == "--log") {
            result.LogFile = value();
        } else {
            throw EVirtualMeter("Unknown option: \"" + option + "\"");
        }
    }
    if (result.Help)
        return result;
    if (result.Options.LinkPath.empty() && result.Listen.empty())
        throw EVirtualMeter("Missing option --link PATH");
    if (result.Rfc2217 && result.Listen.empty())
        throw EVirtualMeter("--rfc2217 needs --listen HOST:PORT");
    if (!meterGiven) {
        result.Options.OptoMeter = DefaultOptoMeter;
        result.Options.BusMeters.push_back(DefaultBusMeter);
    }
    return result;
}

std::string UsageText() {
    return "Usage: kestro-virtual-meter --link PATH | --listen HOST:PORT [options]\n"
           "Kestro4 meters on a pseudo-terminal; PATH becomes a link to its slave device.\n"
           "\n"
           "  --link PATH       symbolic link to the slave device\n"
           "  --listen HOST:PORT  serve the line over TCP too, as a device server (raw TCP\n"
           "                    at 9600 baud; port 0 takes a free port)\n"
           "  --rfc2217         the TCP server speaks RFC 2217 (the client sets the speed)\n"
           "  --meter ADDR      a meter on the bus at address ADDR (0..99), repeatable\n"
           "  --optohead ADDR   the meter under the optical head: answers \"??\", 300 baud only\n"
           "                    (without --meter and --optohead: --optohead 7 --meter 5)\n"
           "  --pace            line timing: requests count as received one line time after\n"
           "                    their first byte, replies go out at 10 bits per byte\n"
           "  --turnaround MS   pause before each reply, in milliseconds\n"
           "  --turnaround-max MS  each pause drawn at random from --turnaround to this\n"
           "  --early BITS      with --pace: requests count as received, and reply bytes reach\n"
           "                    the program, BITS bit times early (0..10; 10 is a whole byte)\n"
           "  --latency-timer MS  reply bytes reach the program in batches every MS ms, as\n"
           "                    through a USB adapter's latency timer\n"
           "  --jitter MS       each request and each reply up to MS ms late, at random\n"
           "  --clock-offset MS the meters' clock minus the PC's at the start (default 0)\n"
           "  --drift PPM       how much faster the meters' clock runs (default 0)\n"
           "  --takeover MODE   a written time restarts the second (restart, the default) or\n"
           "                    keeps the fraction of the second the clock had (keep)\n"
           "  --fault NAME      fault in every reply: none, silence, error-s, error-c,\n"
           "                    error-d, error-p, error-unknown, bad-checksum, wrong-address,\n"
           "                    wrong-object, noise, no-cr, write-data-diff, drop-line\n"
           "  --log FILE        append one JSON line per request to FILE\n"
           "  --help            show this text\n"
           "\n"
           "Runs until SIGINT or SIGTERM, then removes the link.\n";
}

std::string JsonLogLine(const TLogEntry& entry) {
    std::string line = "{\"frame\":";
    AppendJsonString(line, entry.Frame);
    line += ",\"baud\":" + std::to_string(entry.BaudRate);
    line += ",\"answered\":";
    line += entry.Answered ? "true" : "false";
    if (entry.ClockOffsetMs) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%.3f", *entry.ClockOffsetMs);
        line += ",\"offset_ms\":";
        line += offset;
    }
    line += '}';
    return line;
}

} // namespace vmeter
