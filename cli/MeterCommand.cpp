#include "cli/MeterCommand.h"

#include "app/AddressList.h"
#include "app/ClockSync.h"
#include "app/MeterSession.h"
#include "cli/ExitStatus.h"
#include "cli/Figures.h"
#include "cli/Interrupt.h"
#include "cli/Sync.h"

#include <cmath>
#include <iostream>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr double CivilEpochDay = 25569; // 1 January 1970 as a date-time value
constexpr double DayMs = 86400.0 * 1000;

// A failure's result: nothing half-known goes out with it, only what names the target.
TResult FailedResult(const TResult& result, const std::string& message) {
    TResult failed;
    failed.Command = result.Command;
    failed.PortUsed = result.PortUsed;
    failed.Address = result.Address;
    failed.Optohead = result.Optohead;
    failed.Error = message;
    return failed;
}

} // namespace

TFailureKind KindOf(const ECommError& error) {
    if (dynamic_cast<const EKestroError*>(&error))
        return TFailureKind::Meter;
    if (dynamic_cast<const EOpenPort*>(&error) || dynamic_cast<const ESetupPort*>(&error))
        return TFailureKind::Port;
    return TFailureKind::Line;
}

void ReportPortFailure(const std::string& message, const TLink& link) {
    std::cerr << "kestro: " << message << '\n' << "kestro: cause: " << link.FailureCause() << '\n';
}

void TClockWriteWatch::Reset() {
    FLastSent = FEngine.RequestSentAt;
    FWritten = false;
}

void TClockWriteWatch::Look() {
    if (FEngine.RequestSentAt == FLastSent)
        return;
    FLastSent = FEngine.RequestSentAt;
    FWritten = FWritten || (FEngine.Request.Cmd == 'W' && FEngine.Request.Code == 'C');
}

TPortUsed PortUsedBy(TLink& link, bool optohead) {
    const std::int32_t port = link.Engine().Dispatcher->GetPort();
    return {port > 0 ? "COM" + std::to_string(port) : std::string(), link.DevicePath(),
            optohead ? OptoheadBaudRate : link.Settings().BaudRate};
}

TMeterCommand::TMeterCommand(const TCliOptions& options, TLink& link,
                             std::optional<TPcClockStatus> pcClock)
    : FOptions(options), FLink(link), FPcClock(std::move(pcClock)), FWriter(options.Json),
      FWrites(link.Engine()) {
    FLink.SetStopRequested([this] {
        FWrites.Look();
        return InterruptRequested();
    });
}

TMeterCommand::~TMeterCommand() {
    FLink.SetStopRequested({}); // it asks this command
}

bool TMeterCommand::ReopenOnce(const std::string& message) {
    if (!FLink.CanReopenOnce() || InterruptRequested())
        return false;
    std::cerr << "kestro: " << message << " Opening the port again.\n";
    if (!FLink.ReopenOnce())
        return false;
    std::cerr << "kestro: the port is open again; carrying on\n";
    return true;
}

void TMeterCommand::Hint() const {
    std::cerr << "kestro: no meter answered: check the port, the speed and the address ("
              << PortText(PortUsedBy(FLink, FOptions.Optohead)) << ")\n";
}

TResult TMeterCommand::NewResult(const TMeterTarget& target) const {
    TResult result;
    result.Command = FOptions.Command;
    result.PortUsed = PortUsedBy(FLink, target.IsOptohead());
    result.Optohead = target.IsOptohead();
    if (!target.IsOptohead())
        result.Address = target.Addr();
    return result;
}

// The meter's clock as it shows it, and what that tells of its offset: it shows whole seconds,
// so the offset is known to a second unless measured.
void TMeterCommand::Read(TMeterSession& session, TResult& result) {
    TDateTime time = 0;
    TDateTime date = 0;
    session.GetDateTime(time, date);
    const TPcClock pc = SystemPcClock();
    const TCommKestro& engine = session.Engine();
    const double sent = pc.LocalMs(engine.RequestSentAt);
    const double received = pc.LocalMs(engine.ReplyReceivedAt);
    result.MeterTime = date + time;
    result.PcTime = received / DayMs + CivilEpochDay;
    const TOffsetRange range =
        WholeSecondRead((date + time - CivilEpochDay) * DayMs, sent, received);
    result.OffsetMs = range.OffsetMs;
    result.UncertaintyMs = range.UncertaintyMs;
    if (FOptions.Precise)
        MeasureMeterOffset(session, result, FOptions.TargetWidthMs);
}

void TMeterCommand::Body(TMeterSession& session, TResult& result) {
    const std::string& command = FOptions.Command;
    if (command == "echo") {
        result.Answered = session.Echo();
        result.Text = FText.Text;
    } else if (command == "read") {
        Read(session, result);
    } else if (command == "offset") {
        MeasureMeterOffset(session, result, FOptions.TargetWidthMs);
    } else if (command == "write") {
        result.PcTime = Now();
        session.SetDateTime(FOptions.WriteTime, FOptions.WriteDate);
        result.MeterTime = FOptions.WriteDate + FOptions.WriteTime;
    } else if (command == "sync") {
        SyncMeterClock(session, result, FOptions.Force, FOptions.MaxOffsetMs);
        result.PcTime = Now();
        if (FPcClock)
            result.PcClockState = FPcClock->State;
    }
}

void TMeterCommand::NoteNetworkUncertainty() {
    const double roundTrip = FLink.RoundTripMs();
    if (FNetworkNoted || roundTrip <= 0)
        return;
    FNetworkNoted = true;
    std::cerr << "kestro: through a device server the uncertainty holds the network's half round "
                 "trip (the round trip is about "
              << std::llround(roundTrip) << " ms; how it splits into its two ways is unknown)\n";
}

std::string TMeterCommand::InterruptedText() {
    FWrites.Look();
    if (FOptions.Command != "sync")
        return "interrupted";
    return FWrites.Written() ? "interrupted: the meter's clock was set but not checked"
                             : "interrupted: the meter's clock was not set";
}

TMeterCommand::TNext TMeterCommand::RunOne(const TMeterTarget& target) {
    TResult result = NewResult(target);
    const auto start = TClock::now();
    TFailureKind failure = TFailureKind::Meter;
    bool interrupted = false;
    bool timedOut = false;
    try {
        FWrites.Reset();
        // A stop that came before the session opens nothing.
        ThrowIfStopped(InterruptRequested);
        TMeterSession session(FLink, target, FText);
        session.Run([&] { Body(session, result); });
        result.Success = true;
    } catch (const EStopped&) {
        interrupted = true;
        result = FailedResult(result, InterruptedText());
    } catch (const ECommError& error) {
        result = FailedResult(result, error.Message());
        failure = KindOf(error);
        timedOut = dynamic_cast<const EKestroTimeout*>(&error) != nullptr;
        if (failure == TFailureKind::Line && ReopenOnce(result.Error))
            return RunOne(target);
    } catch (const EConvertError& error) {
        // Six digits that are no time or date: this meter's failure, named as the engine names
        // its own.
        result = FailedResult(result,
                              "[" + TCommKestro::AddrName(target.Addr()) + "] " + error.Message());
    } catch (const Exception& error) {
        // The meter's clock contradicts itself, or cannot be set as asked: this meter's failure.
        result = FailedResult(result, error.Message());
    }
    result.ElapsedMs = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
    FWriter.Write(result);
    ++FResults;
    FTimeouts += timedOut ? 1 : 0;
    if (result.Success && result.UncertaintyMs)
        NoteNetworkUncertainty();
    if (result.Success)
        return TNext::CarryOn;
    FStatus = ExitSomeFailed;
    if (interrupted)
        return TNext::Stop;
    if (failure == TFailureKind::Meter)
        return TNext::CarryOn;
    ReportPortFailure(result.Error, FLink);
    if (failure == TFailureKind::Port)
        FStatus = ExitNoPort;
    return TNext::Stop;
}

int TMeterCommand::Batch() {
    std::vector<TMeterTarget> targets;
    if (FOptions.Optohead)
        targets.push_back(TMeterTarget::Optohead());
    else
        for (TKestroAddr addr : ParseAddressList(FOptions.Addresses))
            targets.push_back(TMeterTarget::Bus(addr));

    std::size_t index = 0;
    while (index < targets.size() && RunOne(targets[index]) == TNext::CarryOn)
        ++index;
    const std::string count = std::to_string(targets.size());
    if (index < targets.size() && InterruptRequested())
        std::cerr << "kestro: interrupted at meter " << index + 1 << " of " << count << '\n';
    else if (index + 1 < targets.size())
        std::cerr << "kestro: stopped after " << index + 1 << " of " << count << " meters\n";
    else if (index == targets.size() && FTimeouts == FResults)
        Hint();
    return FStatus;
}
