#include "app/MainModel.h"

#include "app/FieldValidation.h"
#include "app/MainModelImpl.h"
#include "app/Stop.h"
#include "app/uGlobals.h"
#include "comm/FrameTrace.h"
#include "comm/SerialBackend.h"
#include "comm/uCommKestro.h"
#include "runtime/IniFile.h"
#include "runtime/ScopedFlag.h"

#include <utility>

namespace {

constexpr TMainAction AllActions[] = {
    TMainAction::Config,          TMainAction::CleanupMarks, TMainAction::Exit,
    TMainAction::SendEcho,        TMainAction::GetDateTime,  TMainAction::SetDateTime,
    TMainAction::SetCurrDateTime, TMainAction::SyncClock,
};

} // namespace

TMainModel::TMainModel(TMainView& view, TModelTimers& timers, TSettingsStore& store)
    : TMainModel(view, timers, store, {}) {}

TMainModel::TMainModel(TMainView& view, TModelTimers& timers, TSettingsStore& store,
                       TModelSystem system)
    : F(std::make_unique<TImpl>(view, timers, store, std::move(system))) {}

TMainModel::~TMainModel() = default;

void TMainModel::FormCreate() {
    F->Entry([this] { F->FormCreate(); });
}

void TMainModel::Execute(TMainAction action) {
    F->Entry([this, action] {
        // An action runs only while it is enabled, as its face shows it.
        if (!F->Enabled(action))
            return;
        switch (action) {
        case TMainAction::Config:
            return F->Config();
        case TMainAction::CleanupMarks:
            return F->CleanupMarks();
        case TMainAction::Exit:
            return; // the window closes itself
        case TMainAction::SendEcho:
            return F->SendEcho();
        case TMainAction::GetDateTime:
            return F->GetDateTime();
        case TMainAction::SetDateTime:
            return F->SetDateTime();
        case TMainAction::SetCurrDateTime:
            return F->SetCurrDateTime();
        case TMainAction::SyncClock:
            return F->SyncClock();
        }
    });
}

void TMainModel::AllMetersClicked(bool ticked) {
    F->Optohead = ticked;
    F->View.EnableAddress(!ticked);
}

void TMainModel::Cancel() {
    if (F->Syncing)
        F->CancelRequested = true;
}

// --- the inside ---------------------------------------------------------------------------

TMainModel::TImpl::TImpl(TMainView& view, TModelTimers& timers, TSettingsStore& store,
                         TModelSystem system)
    : View(view), Timers(timers), Store(store), System(std::move(system)),
      Status(timers, std::chrono::milliseconds(StatusIntervalMs), [this] {
          Entry([this] {
              ShowStatus("Ready");
              Status.Stop();
          });
      }) {
    if (!System.PcClock)
        System.PcClock = SystemPcClock;
    WatchTimer = Timers.CreateTimer([this] { Entry([this] { Watch(); }); }, true);
    LaterTimer = Timers.CreateTimer(
        [this] {
            Entry([this] {
                auto later = std::move(Later);
                Later.clear();
                for (const auto& step : later)
                    step();
            });
        },
        false);
}

void TMainModel::TImpl::Entry(const std::function<void()>& body) noexcept {
    try {
        try {
            body();
        } catch (...) {
            AppException(std::current_exception());
        }
        UpdateActions();
    } catch (...) {
        // The view itself failed while reporting: there is nobody left to tell.
    }
}

void TMainModel::TImpl::AppException(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EKestroError& e) {
        ShowStatus(e.Message()); // the meter's answer: no cause from the system
    } catch (const ECommError& e) {
        ShowStatus(e.Message(), Link ? Link->FailureCause() : std::string());
    } catch (const EStopped& e) {
        ShowStatus(e.Message());
    } catch (const std::exception& e) {
        // A message that says nothing is not worth a box (a field that explained itself).
        if (const std::string text = e.what(); !text.empty())
            View.ShowMessage(text);
    }
}

void TMainModel::TImpl::FormCreate() {
    Optohead = View.OptoheadTicked();
    View.EnableAddress(!Optohead);
    TStoredSettings stored;
    try {
        stored = Store.Load();
    } catch (const EIniFileException& error) {
        // The window works all the same; it says why once it is shown.
        Later.push_back([this, message = error.Message() + ". The default settings apply."] {
            View.ShowMessage(message);
        });
        LaterTimer->Start(0);
    }
    Settings = stored.Settings;
    Ports = stored.Ports;
    Link = std::make_unique<TLink>(Settings, Ports, std::string(),
                                   System.Backend ? System.Backend() : nullptr);
    Link->SetRetries(1);
    if (const std::string trace = TraceFileName(stored); !trace.empty())
        // Reported once the exchange that could not write its line has ended.
        Link->SetTrace(OpenFrameTrace(trace, [this](const std::string& reason) {
            Later.push_back([this, reason] { ShowStatus("Cannot write the trace: " + reason); });
            LaterTimer->Start(0);
        }));
    WatchTimer->Start(WatchIntervalMs);
    Link->Open();
    ShowStatus("Ready");
}

void TMainModel::TImpl::ShowStatus(const std::string& text, std::string cause) {
    // While the port is lost every text carries the reason with it.
    if (cause.empty() && Link && Link->Lost())
        cause = Link->FailureCause();
    View.ShowStatus("Status: " + text, cause);
    Status.Restart();
    // Painted now: the caller may block in an exchange next.
    View.ProcessPendingEvents();
}

bool TMainModel::TImpl::Enabled(TMainAction action) const {
    const bool busy = Link && Link->Busy();
    switch (action) {
    case TMainAction::Config:
        return Link && !busy;
    case TMainAction::CleanupMarks:
        return !busy;
    case TMainAction::Exit:
        return !busy && !Running;
    case TMainAction::SendEcho:
    case TMainAction::GetDateTime:
    case TMainAction::SetDateTime:
    case TMainAction::SetCurrDateTime:
    case TMainAction::SyncClock:
        break;
    }
    return Link && !busy && Link->Active();
}

void TMainModel::TImpl::UpdateActions() {
    for (TMainAction action : AllActions) {
        const bool enabled = Enabled(action);
        const auto shown = Shown.find(action);
        if (shown != Shown.end() && shown->second == enabled)
            continue;
        Shown[action] = enabled;
        View.EnableAction(action, enabled);
    }
}

// Every 2 s while idle: a lost port is opened again, an open one checked for its device.
void TMainModel::TImpl::Watch() {
    if (Running || !Link || Link->Busy())
        return;
    if (Link->Lost()) {
        if (Link->Reconnect())
            ShowStatus("Ready");
        return;
    }
    Link->CheckPresent();
}

void TMainModel::TImpl::Config() {
    if (Running || !Link)
        return;
    // Neither an operation nor the reconnect runs under the dialog.
    TScopedFlag running(Running);
    const std::optional<TSettings> confirmed = View.RunConfig(Settings);
    if (!confirmed)
        return;
    Settings = *confirmed;
    Store.Save(Settings);
    // The port is opened again even when nothing changed: a mapping changed in the file since
    // the start applies now.
    Ports = Store.Load().Ports;
    Link->Apply(Settings, Ports);
}

void TMainModel::TImpl::CleanupMarks() {
    View.ShowDot(TWarnDot::KestroId, false);
    View.ShowDot(TWarnDot::DateTime, false);
    ShowStatus("Ready");
    Status.Stop();
}
