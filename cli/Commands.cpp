#include "cli/Commands.h"

#include "app/AddressList.h"
#include "app/ClockSync.h"
#include "app/MeterSession.h"
#include "app/SessionObserver.h"
#include "cli/ExitStatus.h"
#include "cli/Interrupt.h"
#include "cli/Link.h"
#include "cli/Progress.h"
#include "cli/Result.h"
#include "cli/Sync.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// Keeps the session's last text: the result text of an operation that succeeded.
class TLastText final : public TSessionObserver {
public:
    void SessionStatus(const std::string& text) override { Text = text; }
    std::string Text;
};

// Ctrl+C came before the operation of an open session began: the session closes, nothing is
// reported for the target.
struct TInterrupted {};

// How a failure bears on the rest of a batch.
enum class TFailureKind {
    Meter, // the meter's answer (or silence): the next meter may do better
    Line,  // the port failed in use: stop the batch
    Port,  // the port cannot be opened again: stop, status 3
};

TFailureKind KindOf(const ECommError& error) {
    if (dynamic_cast<const EKestroError*>(&error))
        return TFailureKind::Meter;
    if (dynamic_cast<const EOpenPort*>(&error) || dynamic_cast<const ESetupPort*>(&error))
        return TFailureKind::Port;
    return TFailureKind::Line;
}

// A failure's result: nothing half-known goes out with it, only what names the target.
TResult FailedResult(const TResult& result, const std::string& message) {
    TResult failed;
    failed.Command = result.Command;
    failed.Address = result.Address;
    failed.Optohead = result.Optohead;
    failed.Error = message;
    return failed;
}

// Prints a port failure: the program's message, then the cause.
void ReportPortFailure(const std::string& message, const TLink& link) {
    std::cerr << "kestro: " << message << '\n' << "kestro: cause: " << link.FailureCause() << '\n';
}

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

class TMeterCommand {
public:
    TMeterCommand(const TCliOptions& options, TLink& link)
        : FOptions(options), FLink(link), FWriter(options.Json) {}

    int Batch();
    int Scan();

private:
    enum class TNext { CarryOn, Stop, NotRun };
    // Runs the command on one target in its own session and says how the batch goes on: NotRun
    // when Ctrl+C came before the operation began.
    TNext RunOne(const TMeterTarget& target);
    void Body(TMeterSession& session, TResult& result);

    // A port failure in use: once per run, the lost port is opened again so that the batch can
    // carry on. True when it is open again.
    bool ReopenOnce(const std::string& message);
    // Once per run, behind a device server: what a measured offset cannot know.
    void NoteNetworkUncertainty();

    const TCliOptions& FOptions;
    TLink& FLink;
    TResultWriter FWriter;
    TLastText FText;
    int FStatus = ExitAllGood;
    bool FNetworkNoted = false;
};

void TMeterCommand::NoteNetworkUncertainty() {
    const double roundTrip = FLink.RoundTripMs();
    if (FNetworkNoted || roundTrip <= 0)
        return;
    FNetworkNoted = true;
    std::cerr << "kestro: through a device server the uncertainty holds the network's half round "
                 "trip (the round trip is about "
              << std::llround(roundTrip) << " ms; how it splits into its two ways is unknown)\n";
}

bool TMeterCommand::ReopenOnce(const std::string& message) {
    if (!FLink.CanReopenOnce())
        return false;
    std::cerr << "kestro: " << message << " Opening the port again.\n";
    if (!FLink.ReopenOnce())
        return false;
    std::cerr << "kestro: the port is open again; carrying on\n";
    return true;
}

void TMeterCommand::Body(TMeterSession& session, TResult& result) {
    const std::string& command = FOptions.Command;
    if (command == "echo") {
        result.Answered = session.Echo();
        result.Text = FText.Text;
    } else if (command == "read") {
        TDateTime time = 0;
        TDateTime date = 0;
        session.GetDateTime(time, date);
        const TDateTime pc = Now();
        result.MeterTime = date + time;
        result.PcTime = pc;
        result.OffsetMs = OffsetMs(date + time, pc);
        if (FOptions.Precise)
            MeasureMeterOffset(session, result, FOptions.TargetWidthMs);
    } else if (command == "offset") {
        MeasureMeterOffset(session, result, FOptions.TargetWidthMs);
    } else if (command == "write") {
        result.PcTime = Now();
        session.SetDateTime(FOptions.WriteTime, FOptions.WriteDate);
        result.MeterTime = FOptions.WriteDate + FOptions.WriteTime;
    } else if (command == "sync") {
        SyncMeterClock(session, result, FOptions.Force, FOptions.MaxOffsetMs);
    }
}

TMeterCommand::TNext TMeterCommand::RunOne(const TMeterTarget& target) {
    TResult result;
    result.Command = FOptions.Command;
    result.Optohead = target.IsOptohead();
    if (!target.IsOptohead())
        result.Address = target.Addr();
    const auto start = TClock::now();
    TFailureKind failure = TFailureKind::Meter;
    try {
        TMeterSession session(FLink, target, FText);
        session.Run([&] {
            // The optical head's link mode may have taken a second or more.
            if (InterruptRequested())
                throw TInterrupted{};
            Body(session, result);
        });
        result.Success = true;
    } catch (const TInterrupted&) {
        return TNext::NotRun;
    } catch (const EClockError& error) {
        result = FailedResult(result, error.Message());
    } catch (const ECommError& error) {
        result = FailedResult(result, error.Message());
        failure = KindOf(error);
        if (failure == TFailureKind::Line && ReopenOnce(result.Error))
            return RunOne(target);
    }
    result.ElapsedMs = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
    FWriter.Write(result);
    if (result.Success && result.UncertaintyMs)
        NoteNetworkUncertainty();
    if (result.Success)
        return TNext::CarryOn;
    if (failure == TFailureKind::Meter) {
        FStatus = ExitSomeFailed;
        return TNext::CarryOn;
    }
    ReportPortFailure(result.Error, FLink);
    FStatus = failure == TFailureKind::Port ? ExitNoPort : ExitSomeFailed;
    return TNext::Stop;
}

int TMeterCommand::Batch() {
    std::vector<TMeterTarget> targets;
    if (FOptions.Optohead)
        targets.push_back(TMeterTarget::Optohead());
    else
        for (TKestroAddr addr : ParseAddressList(FOptions.Addresses))
            targets.push_back(TMeterTarget::Bus(addr));

    std::size_t done = 0;
    while (done < targets.size() && !InterruptRequested()) {
        const TNext next = RunOne(targets[done]);
        if (next == TNext::NotRun)
            break;
        ++done;
        if (next == TNext::Stop)
            break;
    }
    if (done < targets.size()) {
        std::cerr << "kestro: " << (InterruptRequested() ? "interrupted" : "stopped") << " after "
                  << done << " of " << targets.size() << " meters\n";
        if (FStatus == ExitAllGood)
            FStatus = ExitSomeFailed;
    }
    return FStatus;
}

int TMeterCommand::Scan() {
    const int total = FOptions.To - FOptions.From + 1;
    TProgressBar progress(total);
    std::vector<int> found;
    int addr = FOptions.From;
    for (; addr <= FOptions.To && !InterruptRequested(); ++addr) {
        progress.Show(addr - FOptions.From,
                      TwoDigits(addr) + ", found " + std::to_string(found.size()));
        TResult result;
        result.Command = "scan";
        result.Address = addr;
        const auto start = TClock::now();
        try {
            TMeterSession session(FLink, TMeterTarget::Bus(static_cast<TKestroAddr>(addr)), FText);
            result.Answered = session.Echo();
            result.Text = FText.Text;
            result.Success = true;
            found.push_back(addr);
        } catch (const EKestroTimeout&) {
            continue; // silence: no meter at this address
        } catch (const ECommError& error) {
            result.Error = error.Message();
            const TFailureKind failure = KindOf(error);
            if (failure == TFailureKind::Line && ReopenOnce(result.Error)) {
                --addr; // the same address once more
                continue;
            }
            if (failure != TFailureKind::Meter) {
                ReportPortFailure(result.Error, FLink);
                FStatus = failure == TFailureKind::Port ? ExitNoPort : ExitSomeFailed;
                break;
            }
            // Something answered, but not as a meter should: worth a line of its own.
            FStatus = ExitSomeFailed;
        }
        result.ElapsedMs = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
        progress.Clear();
        FWriter.Write(result);
    }
    progress.Clear();
    const std::string range = TwoDigits(FOptions.From) + "-" + TwoDigits(FOptions.To);
    if (addr <= FOptions.To) {
        std::cerr << "kestro: scan " << range
                  << (InterruptRequested() ? " interrupted" : " stopped") << " before "
                  << TwoDigits(addr) << "; " << found.size() << " found\n";
        if (FStatus == ExitAllGood)
            FStatus = ExitSomeFailed;
    } else if (!FOptions.Json) {
        std::cerr << "kestro: scan " << range << ": " << found.size()
                  << (found.size() == 1 ? " meter answered\n" : " meters answered\n");
    }
    return FStatus;
}

} // namespace

int RunMeterCommand(const TCliOptions& options, const TStoredSettings& stored) {
    // The meter can only be as right as the PC: an unsynchronised PC stops a sync before
    // anything is opened, unless forced.
    if (options.Command == "sync") {
        try {
            if (const std::string warning = CheckPcClockForSync(options.Force); !warning.empty())
                std::cerr << "kestro: " << warning << '\n';
        } catch (const EPcClockNotSynchronised& error) {
            std::cerr << "kestro: " << error.Message() << " (use --force to set it anyway)\n";
            return ExitSomeFailed;
        }
    }
    const std::unique_ptr<TLink> link = MakeLink(options, stored);
    try {
        link->Open();
    } catch (const ECommError& error) {
        ReportPortFailure(error.Message(), *link);
        return ExitNoPort;
    }
    InstallInterruptHandler();
    TMeterCommand command(options, *link);
    return options.Command == "scan" ? command.Scan() : command.Batch();
}
