#pragma once

#include "app/MainView.h"
#include "app/ModelTime.h"
#include "app/SettingsStore.h"

// The main window's state and decisions, the same for every window: the link to the meter,
// the settings, the target, the operation in progress, the status line and its 5000 ms return
// to "Ready", the two warning dots, the enabled state of every action, the lost port and its
// reconnect timer, and the Config flow. A window forwards its events here and draws what the
// model tells its view.
class TMainModel {
public:
    TMainModel(TMainView& view, TModelTimers& timers, TSettingsStore& store);
    ~TMainModel();

    TMainModel(const TMainModel&) = delete;
    TMainModel& operator=(const TMainModel&) = delete;

    // The window's creation: loads the settings, opens the port, "Ready".
    void FormCreate();

    // The window's entry points.
    void Execute(TMainAction action);
    void AllMetersClicked(bool ticked);
    // Escape: stops a running synchronisation before it writes to the meter.
    void Cancel();
};
