#pragma once

#include "app/MainModel.h"
#include "app/MainView.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class TfmMain;
}
class QAction;
class TActionList;

// What the main window takes from outside; tests put their own in place. Empty members take
// the program's: the settings file beside the executable (or the user's), no Config dialog
// (the dialog is the program entry's), the window's own timers and the system's port and clock.
struct TfmMainHooks {
    TSettingsStore* Store = nullptr;
    std::function<std::optional<TSettings>(const TSettings&)> RunConfig;
    TModelTimers* Timers = nullptr;
    TModelSystem System;
};

// The main window: a view of the window model. It holds the widgets, their layout, icons and
// keys, forwards the user's actions to the model and draws what the model tells it.
class TfmMain : public QMainWindow, public TMainView {
    Q_OBJECT
public:
    explicit TfmMain(QWidget* parent = nullptr, TfmMainHooks hooks = {});
    ~TfmMain() override;

signals:
    // Every line given to the status line ("Status: Ready").
    void StatusChanged(const QString& line);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The view's entry points, forwarded to the model.
    void actConfigExecute(QObject* Sender);
    void actCleanupMarksExecute(QObject* Sender);
    void actExitExecute(QObject* Sender);
    void actSendEchoExecute(QObject* Sender);
    void actGetDateTimeExecute(QObject* Sender);
    void actSetDateTimeExecute(QObject* Sender);
    void actSetCurrDateTimeExecute(QObject* Sender);
    void actSyncClockExecute(QObject* Sender);
    void chbAllMetersClick(QObject* Sender);

    // TMainView
    void ShowStatus(const std::string& line, const std::string& cause) override;
    void ShowDot(TWarnDot dot, bool visible) override;
    void EnableAction(TMainAction action, bool enabled) override;
    void EnableAddress(bool enabled) override;
    bool OptoheadTicked() override;
    int TakeAddress() override;
    TDateTime TakeTime() override;
    TDateTime TakeDate() override;
    void ShowTime(TDateTime time) override;
    void ShowDate(TDateTime date) override;
    void ShowClockOffset(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool Ask(const std::string& question) override;
    std::optional<TSettings> RunConfig(const TSettings& current) override;
    void ProcessPendingEvents() override;

    void SetUpActions();
    void SetUpKeys();
    void SetUpLook();
    QAction* ActionOf(TMainAction action) const;

    std::unique_ptr<Ui::TfmMain> ui;
    TActionList* aclMain;
    TfmMainHooks FHooks;
    std::unique_ptr<TSettingsStore> FOwnStore;
    std::unique_ptr<TModelTimers> FOwnTimers;
    std::unique_ptr<TMainModel> FModel;
};
