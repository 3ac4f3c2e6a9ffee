// kestro-virtual-meter: Kestro4 meters on a pseudo-terminal, for trying the program without
// hardware. See UsageText for the options.
#include "CommandLine.h"
#include "TcpServer.h"
#include "VirtualMeter.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <pthread.h>

namespace {

std::string MeterNumber(int addr) {
    return (addr < 10 ? "0" : "") + std::to_string(addr);
}

void PrintMeters(const vmeter::TVirtualMeter& meter, const vmeter::TCommandLine& commandLine) {
    const vmeter::TOptions& options = commandLine.Options;
    std::cout << "Virtual meter on " << meter.DevicePath() << " (link " << options.LinkPath
              << ")\n";
    for (int addr : options.BusMeters)
        std::cout << "Meter " << MeterNumber(addr) << " on the bus\n";
    if (options.OptoMeter >= 0)
        std::cout << "Meter " << MeterNumber(options.OptoMeter)
                  << " under the optical head (answers \"??\" at 300 baud)\n";
    if (commandLine.Fault != vmeter::TFault::None)
        std::cout << "Fault in every reply: " << vmeter::FaultName(commandLine.Fault) << '\n';
    std::cout << std::flush;
}

int Run(const std::vector<std::string>& args) {
    vmeter::TCommandLine commandLine = vmeter::ParseCommandLine(args);
    if (commandLine.Help) {
        std::cout << vmeter::UsageText();
        return 0;
    }

    std::ofstream logFile;
    std::mutex logMutex;
    if (!commandLine.LogFile.empty()) {
        logFile.open(commandLine.LogFile, std::ios::app);
        if (!logFile)
            throw vmeter::EVirtualMeter("Cannot open the log file " + commandLine.LogFile);
        commandLine.Options.OnRequest = [&](const vmeter::TLogEntry& entry) {
            std::lock_guard lock(logMutex);
            logFile << vmeter::JsonLogLine(entry) << '\n' << std::flush;
            if (!logFile)
                throw vmeter::EVirtualMeter("Cannot write the log file " + commandLine.LogFile);
        };
    }

    // The meters' thread inherits the blocked signals; only sigwait below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    vmeter::TVirtualMeter meter(commandLine.Options);
    meter.SetFault(commandLine.Fault);
    PrintMeters(meter, commandLine);
    std::unique_ptr<vmeter::TTcpServer> server;
    if (!commandLine.Listen.empty()) {
        server = std::make_unique<vmeter::TTcpServer>(meter.DevicePath(), commandLine.Listen,
                                                      commandLine.Rfc2217);
        std::cout << "Serving the line on TCP port " << server->Port()
                  << (commandLine.Rfc2217 ? " (RFC 2217)" : " (raw, 9600 baud)") << std::endl;
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "kestro-virtual-meter: " << error.what() << '\n';
        std::cerr << "Try kestro-virtual-meter --help\n";
        return 2;
    }
}
