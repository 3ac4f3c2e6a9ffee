#pragma once

#include "EnglishTexts.h"
#include "FakeMeters.h"
#include "tests/support/ModelFakes.h"

#include "app/MainModel.h"

#include <memory>

namespace model_test {

// A window model on fake meters, a fake window and a clock that moves only when told.
struct TModelRig {
    explicit TModelRig(TSettings settings = {1, 9600, 30}) {
        store.Stored.Settings = settings;
        store.Stored.Ports = {{1, "socket://kestro-meters:4001"}};
    }

    // The window's creation.
    void Start() {
        TModelSystem system;
        system.Backend = [this] {
            return meters.Backend();
        };
        system.PcClock = [this] {
            TPcClock pc = SystemPcClock();
            pc.Check = [this] {
                return PcClockStatus;
            };
            return pc;
        };
        model = std::make_unique<TMainModel>(view, timers, store, system);
        model->FormCreate();
    }

    void UseAddress(int addr) {
        view.Optohead = false;
        view.Address = addr;
        model->AllMetersClicked(false);
    }
    // Runs the action and returns the status texts it showed.
    std::vector<std::string> Run(TMainAction action) {
        const std::size_t from = view.Statuses.size();
        model->Execute(action);
        return view.TextsSince(from);
    }
    std::string Text() const { return view.TextsSince(view.Statuses.size() - 1).front(); }
    bool Enabled(TMainAction action) { return view.Enabled.at(action); }

    kestro_test::TEnglishTexts english;
    TFakeView view;
    TFakeTimers timers;
    TMemoryStore store;
    TFakeMeters meters;
    TPcClockStatus PcClockStatus{TPcClockStatus::TState::Synchronised, "in sync"};
    std::unique_ptr<TMainModel> model;
};

inline constexpr TMainAction DeviceActions[] = {
    TMainAction::SendEcho, TMainAction::GetDateTime, TMainAction::SetDateTime,
    TMainAction::SetCurrDateTime, TMainAction::SyncClock};

} // namespace model_test
