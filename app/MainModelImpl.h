#pragma once

// The inside of the window model, shared by its two source files.
#include "app/Link.h"
#include "app/MainModel.h"
#include "app/MeterSession.h"
#include "app/SessionObserver.h"
#include "app/StatusTimer.h"

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct TMainModel::TImpl final : TSessionObserver {
    TImpl(TMainView& view, TModelTimers& timers, TSettingsStore& store, TModelSystem system);

    // Runs an entry point of the window: its failure goes where AppException sends it, and the
    // actions' states follow what it changed.
    void Entry(const std::function<void()>& body) noexcept;
    void AppException(const std::exception_ptr& failure);

    void FormCreate();
    void ShowStatus(const std::string& text, std::string cause = {});
    void SessionStatus(const std::string& text) override { ShowStatus(text); }
    void UpdateActions();
    bool Enabled(TMainAction action) const;
    void Watch();

    void Config();
    void CleanupMarks();

    // Every operation that talks to a meter: "Connecting...", the target, then a session on the
    // link that shows the panel's dot once open and runs the body, whose last step hides the
    // dot. Operations never nest: one chosen while another runs is ignored.
    void RunOperation(TWarnDot dot, const std::function<void()>& body);
    TMeterTarget SelectTarget();

    void SendEcho();
    void GetDateTime();
    void SetDateTime();
    void SetCurrDateTime();
    void SyncClock();

    TMainView& View;
    TModelTimers& Timers;
    TSettingsStore& Store;
    TModelSystem System;

    std::unique_ptr<TLink> Link; // from FormCreate on
    TSettings Settings;
    TPortMap Ports;
    bool Optohead = true;
    bool Running = false; // an operation or the Config dialog
    std::optional<TMeterSession> Session;

    TStatusTimer Status;
    std::unique_ptr<TModelTimer> WatchTimer;
    std::unique_ptr<TModelTimer> LaterTimer; // messages shown once the window is up
    std::vector<std::function<void()>> Later;
    std::map<TMainAction, bool> Shown; // the actions' states as the view has them

    bool Syncing = false;
    bool CancelRequested = false;
};
