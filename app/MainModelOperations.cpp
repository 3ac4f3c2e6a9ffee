// The window model's operations that talk to a meter, in the frame they share.
#include "app/ClockTexts.h"
#include "app/MainModelImpl.h"
#include "app/Stop.h"
#include "runtime/ScopedFlag.h"

#include <chrono>

void TMainModel::TImpl::RunOperation(TWarnDot dot, const std::function<void()>& body) {
    if (Running || !Link)
        return;
    TScopedFlag running(Running);
    UpdateActions();
    ShowStatus("Connecting...");
    const TMeterTarget target = SelectTarget();
    View.ProcessPendingEvents();
    Session.emplace(*Link, target, *this);
    struct TEnd {
        std::optional<TMeterSession>& Session;
        ~TEnd() { Session.reset(); }
    } end{Session};
    // The session's own frame: closing runs whether or not the body succeeded. A session that
    // fails to open shows no dot.
    Session->Run([&] {
        View.ShowDot(dot, true);
        body();
    });
}

TMeterTarget TMainModel::TImpl::SelectTarget() {
    if (Optohead)
        return TMeterTarget::Optohead();
    // The field's low 8 bits, as the engine takes an address.
    return TMeterTarget::Bus(static_cast<TKestroAddr>(View.TakeAddress()));
}

void TMainModel::TImpl::SendEcho() {
    RunOperation(TWarnDot::KestroId, [this] {
        Session->Echo();
        View.ShowDot(TWarnDot::KestroId, false);
    });
}

void TMainModel::TImpl::GetDateTime() {
    RunOperation(TWarnDot::DateTime, [this] {
        TDateTime time = 0;
        TDateTime date = 0;
        Session->GetDateTime(time, date);
        const TDateTime pc = Now();
        View.ShowTime(time);
        View.ShowDate(date);
        View.ShowClockOffset(ClockOffsetText(date + time, pc));
        View.ShowDot(TWarnDot::DateTime, false);
    });
}

void TMainModel::TImpl::SetDateTime() {
    RunOperation(TWarnDot::DateTime, [this] {
        const TDateTime time = View.TakeTime();
        const TDateTime date = View.TakeDate();
        Session->SetDateTime(time, date);
        View.ShowClockOffset({}); // what was read before no longer holds
        View.ShowDot(TWarnDot::DateTime, false);
    });
}

void TMainModel::TImpl::SetCurrDateTime() {
    if (Running)
        return;
    // One reading of the PC's clock for both fields, so that they never straddle midnight.
    const TDateTime now = Now();
    View.ShowTime(TimeOf(now));
    View.ShowDate(DateOf(now));
    SetDateTime();
}

namespace {

// Watches a running synchronisation through the engine, where it asks whether to stop: shows
// the number of reads, lets the window take its input (Escape among it) and says whether the
// meter's clock has been written yet.
class TSyncProgress {
public:
    TSyncProgress(TCommKestro& engine, std::function<void(const std::string&)> show)
        : FEngine(engine), FShow(std::move(show)), FLastSent(engine.RequestSentAt) {}

    void Look() {
        if (FEngine.RequestSentAt == FLastSent)
            return;
        FLastSent = FEngine.RequestSentAt;
        if (FEngine.Request.Cmd == 'W') {
            FWritten = true;
            return;
        }
        FShow(MeasuringText(++FReads));
    }
    bool Written() const { return FWritten; }

private:
    TCommKestro& FEngine;
    std::function<void(const std::string&)> FShow;
    std::chrono::steady_clock::time_point FLastSent;
    int FReads = 0;
    bool FWritten = false;
};

} // namespace

void TMainModel::TImpl::SyncClock() {
    if (Running || !Link)
        return;
    const TPcClock pc = System.PcClock();
    // The meter can only be as right as the PC.
    if (const TPcClockStatus clock = pc.Check();
        clock.State == TPcClockStatus::TState::NotSynchronised &&
        !View.Ask(clock.Text + ". Set anyway?"))
        return;
    // Escape counts from here on, while the line is being opened too.
    TScopedFlag syncing(Syncing);
    CancelRequested = false;
    RunOperation(TWarnDot::DateTime, [this, &pc] {
        TSyncProgress progress(Session->Engine(),
                               [this](const std::string& text) { ShowStatus(text); });
        TClockSyncOptions options;
        options.Force = true; // asked above
        options.Offset.StopRequested = [this, &progress] {
            progress.Look();
            View.ProcessPendingEvents();
            return CancelRequested;
        };
        ShowStatus(MeasuringText(0));
        TSyncResult result;
        try {
            result = ::SyncClock(Session->Engine(), Session->Target().Addr(), pc, options);
        } catch (const EStopped&) {
            progress.Look();
            throw EStopped(progress.Written() ? "Stopped: the meter's clock was set but not checked"
                                              : "Stopped: the meter's clock was not set");
        }
        View.ShowClockOffset({});
        // Beyond the limit even after the corrected write: said, and the dot stays.
        if (!result.WithinLimit) {
            Session->ReportResult(BeyondLimitText(result));
            return;
        }
        Session->ReportResult(ClockSetText(result));
        View.ShowDot(TWarnDot::DateTime, false);
    });
}
