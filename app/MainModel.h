#pragma once

#include "app/MainView.h"
#include "app/ModelTime.h"
#include "app/PcClock.h"
#include "app/SettingsStore.h"

#include <functional>
#include <memory>

class TSerialBackend;

// What the window model takes from the system; tests put their own in place. Empty members
// take the system's: the platform's serial backends (picked by device name) and its clock.
struct TModelSystem {
    std::function<std::unique_ptr<TSerialBackend>()> Backend;
    std::function<TPcClock()> PcClock;
};

// The main window's state and decisions, the same for every window: the link to the meter,
// the settings, the target, the operation in progress, the status line and its 5000 ms return
// to "Ready", the two warning dots, the enabled state of every action, the lost port and its
// reconnect timer, and the Config flow. A window forwards its events here and draws what the
// model tells its view.
//
// Every entry point handles its own failures: communication failures go to the status line
// (with the port's cause), others to a message box, and none leaves the model.
class TMainModel {
public:
    TMainModel(TMainView& view, TModelTimers& timers, TSettingsStore& store);
    TMainModel(TMainView& view, TModelTimers& timers, TSettingsStore& store, TModelSystem system);
    ~TMainModel();

    TMainModel(const TMainModel&) = delete;
    TMainModel& operator=(const TMainModel&) = delete;

    // The window's creation: loads the settings, opens the port, "Ready".
    void FormCreate();

    // The window's entry points. Exit is the window's own (it closes itself while the model
    // keeps the action enabled).
    void Execute(TMainAction action);
    void AllMetersClicked(bool ticked);
    // Escape: stops a running synchronisation before it writes to the meter.
    void Cancel();

    // The idle check of the port every this many milliseconds: a lost port is opened again, an
    // open one is checked for its device, nothing is sent to the meter.
    static constexpr int WatchIntervalMs = 2000;
    // How long a status text stays before "Ready" comes back, at the least.
    static constexpr int StatusIntervalMs = 5000;

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};
