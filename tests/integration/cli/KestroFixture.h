#pragma once

#include "KestroProcess.h"
#include "VirtualMeter.h"
#include "tests/support/TempFolder.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

// Meters 05, 12 and 40 on the bus and 07 under the optical head on a pseudo-terminal, and a
// settings file whose COM1 leads there, for kestro run as a child process.
class KestroFixture {
protected:
    // `pace`: the meters keep the line's timing (10 bits per byte at the speed set).
    explicit KestroFixture(std::vector<int> busMeters = {5, 12, 40}, int turnaroundMs = 0,
                           bool pace = false)
        : Meter(vmeter::TOptions{
              std::move(busMeters), 7, pace, turnaroundMs, Folder.File("ttyKestro"), {}}) {
        std::ofstream ini(Config);
        ini << "[Congif]\nComPort=1\nBaudRate=9600\nTimeout=200\n[Ports]\nCOM1="
            << Meter.SlavePath() << "\n";
    }

    TKestroOutcome Kestro(std::vector<std::string> args) {
        args.push_back("--config");
        args.push_back(Config);
        return RunKestro(args, Folder.Path().string());
    }

    // The requests as the meters heard them: frame, "@" and the line speed.
    std::vector<std::string> Frames() const {
        std::vector<std::string> frames;
        for (const vmeter::TLogEntry& entry : Meter.Log())
            frames.push_back(entry.Frame + "@" + std::to_string(entry.BaudRate));
        return frames;
    }

    // The result lines of a readable output: the lines under the one that names the port.
    static std::vector<std::string> Results(const TKestroOutcome& outcome) {
        return outcome.Results();
    }

    static std::vector<nlohmann::json> JsonLines(const TKestroOutcome& outcome) {
        std::vector<nlohmann::json> lines;
        for (const std::string& line : outcome.Lines())
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    TTempFolder Folder;
    std::string Config = Folder.File("settings.ini");
    vmeter::TVirtualMeter Meter;
};
