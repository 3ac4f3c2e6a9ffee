// kestro: checks and sets the clocks of Kestro4 meters from the command line. See kestro(1).
#include "app/uGlobals.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Interrupt.h"
#include "cli/Link.h"
#include "cli/Result.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    // First of all: a stop asked for from now on is honoured, and nothing sent after it.
    InstallInterruptHandler();
    try {
        InitGlobals();
        const TParsedCommandLine parsed = ParseCommandLine(argc, argv);
        if (!parsed.Run)
            return parsed.ExitStatus;
        TStoredSettings stored;
        try {
            stored = LoadSettingsFile(parsed.Options);
        } catch (const EUsage& error) {
            std::cerr << "kestro: " << error.Message() << '\n';
            TResultWriter(parsed.Options.Json)
                .WriteRefusal(parsed.Options.Command, error.Message());
            return ExitUsage;
        }
        if (parsed.Options.Command == "ports")
            return RunPortsCommand(parsed.Options, stored);
        return RunMeterCommand(parsed.Options, stored, SettingsFileFound(parsed.Options));
    } catch (const std::exception& error) {
        // Whatever no command expects (a settings file that cannot be read, no memory): said
        // plainly, never a crash.
        std::cerr << "kestro: " << error.what() << '\n';
        return ExitSomeFailed;
    }
}
