#pragma once

#include "runtime/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>

// What the command line asks for, checked and ready to run: nothing is sent before every
// argument has been taken.
struct TCliOptions {
    std::string Command; // ports, echo, read, write, sync, scan

    // Target of echo, read, write and sync: the address list as written, or the optical head.
    std::string Addresses;
    bool Optohead = false;

    // The port: "COM<n>" or a device path; empty: the settings file's port.
    std::string Port;
    std::optional<std::int32_t> BaudRate;
    std::optional<std::int32_t> Timeout;
    std::int32_t Retries = 1; // attempts per exchange, as the window makes them
    // The settings file: none for the window's
    std::optional<std::string> ConfigFile;
    std::string TraceFile; // frame trace: a file, "-" for standard error, empty for none

    bool Json = false;

    // offset, read --precise, sync: the meter's clock to the millisecond
    bool Precise = false;      // read: measure the offset to the millisecond
    bool Force = false;        // sync: set even when the PC's clock is not synchronised
    double MaxOffsetMs = 50;   // sync: the offset after the set may be this far off
    double TargetWidthMs = 20; // offset: stop once the offset is known this closely

    // scan
    int From = 0;
    int To = 99;

    // write: the date and time to set, checked
    TDateTime WriteTime = 0;
    TDateTime WriteDate = 0;
};
