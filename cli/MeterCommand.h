#pragma once

#include "app/Link.h"
#include "app/PcClock.h"
#include "app/SessionObserver.h"
#include "cli/Options.h"
#include "cli/Result.h"

#include <chrono>
#include <optional>
#include <string>

class TMeterSession;
class TMeterTarget;

// How a failure bears on the rest of a batch.
enum class TFailureKind {
    Meter, // the meter's answer (or silence): the next meter may do better
    Line,  // the port failed in use: stop the batch
    Port,  // the port cannot be opened again: stop, status 3
};
TFailureKind KindOf(const ECommError& error);

// Prints a port failure: the program's message, then the cause.
void ReportPortFailure(const std::string& message, const TLink& link);

// Whether the meter's clock was written since Reset: looked at before every request, and once
// more when the operation has ended, so that every request that went out is seen.
class TClockWriteWatch {
public:
    explicit TClockWriteWatch(const TCommKestro& engine) : FEngine(engine) {}
    void Reset();
    void Look();
    bool Written() const { return FWritten; }

private:
    const TCommKestro& FEngine;
    std::chrono::steady_clock::time_point FLastSent;
    bool FWritten = false;
};

// A meter command on the open link: echo, read, offset, write and sync on every target in turn,
// and scan. Ctrl+C (and the other stop signals) stops every request on the link but the one
// that ends link mode; the meter under way then reports "interrupted".
class TMeterCommand {
public:
    // `pcClock`: the PC clock's check made before a sync.
    TMeterCommand(const TCliOptions& options, TLink& link, std::optional<TPcClockStatus> pcClock);
    ~TMeterCommand();
    TMeterCommand(const TMeterCommand&) = delete;
    TMeterCommand& operator=(const TMeterCommand&) = delete;

    int Batch();
    int Scan();

private:
    enum class TNext { CarryOn, Stop };
    // Runs the command on one target in its own session, prints its result and says how the
    // batch goes on.
    TNext RunOne(const TMeterTarget& target);
    void Body(TMeterSession& session, TResult& result);
    void Read(TMeterSession& session, TResult& result);
    TResult NewResult(const TMeterTarget& target) const;
    // The text of a result that a stop cut short.
    std::string InterruptedText();

    // A port failure in use: once per run, the lost port is opened again so that the batch can
    // carry on. True when it is open again.
    bool ReopenOnce(const std::string& message);
    // After a run where nothing answered at all: what to check.
    void Hint() const;
    // Once per run, behind a device server: what a measured offset cannot know.
    void NoteNetworkUncertainty();

    class TLastText final : public TSessionObserver {
    public:
        void SessionStatus(const std::string& text) override { Text = text; }
        std::string Text;
    };

    const TCliOptions& FOptions;
    TLink& FLink;
    const std::optional<TPcClockStatus> FPcClock;
    const TResultWriter FWriter;
    TLastText FText;
    TClockWriteWatch FWrites;
    int FStatus = 0;
    int FResults = 0;  // results printed
    int FTimeouts = 0; // of them, meters that did not answer
    bool FNetworkNoted = false;
};

// The port, device and speed that the link uses for the target.
TPortUsed PortUsedBy(TLink& link, bool optohead);
