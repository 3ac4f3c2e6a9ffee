#pragma once

#include "VirtualMeter.h"

#include <string>
#include <vector>

namespace vmeter {

// What the command line of kestro-virtual-meter asks for.
struct TCommandLine {
    TOptions Options;
    TFault Fault = TFault::None;
    std::string LogFile;  // empty: no log file
    std::string Listen;   // "HOST:PORT" to serve the line over TCP as well; empty: no server
    bool Rfc2217 = false; // the TCP server speaks RFC 2217 (else raw)
    bool Help = false;
};

// Parses the arguments after the program name; raises EVirtualMeter with a message for the
// user on anything it cannot take. Without --meter and --optohead it sets up the meter 07
// under the optical head and the meter 05 on the bus.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

// One line of the request log, as JSON: {"frame":"#R05E*12\r","baud":9600,"answered":true},
// with "offset_ms" (the meters' true clock offset) after clock reads and writes.
std::string JsonLogLine(const TLogEntry& entry);

} // namespace vmeter
