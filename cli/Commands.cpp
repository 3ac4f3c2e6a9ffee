#include "cli/Commands.h"

#include "app/ClockSync.h"
#include "cli/ExitStatus.h"
#include "cli/Interrupt.h"
#include "cli/Link.h"
#include "cli/MeterCommand.h"

#include <iostream>

int RunMeterCommand(const TCliOptions& options, const TStoredSettings& stored,
                    bool settingsFileFound) {
    // The meter can only be as right as the PC: an unsynchronised PC stops a sync before
    // anything is opened, unless forced.
    std::optional<TPcClockStatus> pcClock;
    if (options.Command == "sync") {
        pcClock = SystemPcClock().Check();
        if (pcClock->State == TPcClockStatus::TState::NotSynchronised && !options.Force) {
            const std::string message = pcClock->Text + " (use --force to set it anyway)";
            std::cerr << "kestro: " << message << '\n';
            TResultWriter(options.Json).WriteRefusal(options.Command, message);
            return ExitSomeFailed;
        }
        if (pcClock->State != TPcClockStatus::TState::Synchronised)
            std::cerr << "kestro: " << pcClock->Text << '\n';
    }
    const std::unique_ptr<TLink> link = MakeLink(options, stored);
    const TPortUsed port = PortUsedBy(*link, options.Optohead);
    if (options.Port.empty() && !settingsFileFound)
        std::cerr << "kestro: no settings file; taking the default port " << PortText(port) << '\n';
    try {
        link->Open();
    } catch (const ECommError& error) {
        ReportPortFailure(error.Message(), *link);
        TResultWriter(options.Json).WriteRefusal(options.Command, error.Message(), port);
        return ExitNoPort;
    }
    TResultWriter(options.Json).WriteHeader(port, options.Optohead);
    WarnOfLinkModeOnAbort(options.Optohead);
    TMeterCommand command(options, *link, pcClock);
    return options.Command == "scan" ? command.Scan() : command.Batch();
}
