#pragma once

#include "app/MeterSession.h"
#include "app/SessionObserver.h"
#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"
#include "runtime/Format.h"

#include <QMainWindow>

#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Ui {
class TfmMain;
}
class QAction;
class TActionList;
class TfmConfig;
class TTimer;

// What the main window calls outside itself for the settings; tests replace them.
struct TfmMainHooks {
    std::function<void()> LoadConfig;    // default: LoadConfig of the settings file
    std::function<void()> SaveConfig;    // default: SaveConfig
    std::function<bool()> ExecuteConfig; // default: fmConfig->Execute()
    std::function<void()> ReloadPortMap; // default: ReloadPortMap of the settings file
};

// The main window: owns the serial channel and the protocol engine, starts every device
// operation from its actions as a meter session, shows the session's texts on the status line
// and marks with a yellow dot the panel whose last operation did not complete. It is also the
// application-wide exception handler.
class TfmMain : public QMainWindow, private TSessionObserver {
    Q_OBJECT
public:
    explicit TfmMain(QWidget* parent = nullptr, TfmMainHooks hooks = {});
    ~TfmMain() override;

signals:
    // Every text given to the status line, without the "Status: " prefix.
    void StatusChanged(const QString& text);

private:
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void LoadSettingsOrDefaults();

    void tmrStatusTimer(QObject* Sender);
    void tmrReconnectTimer(QObject* Sender);
    void chbAllMetersClick(QObject* Sender);

    void actConfigUpdate(QAction* Sender);
    void actCleanupMarksUpdate(QAction* Sender);
    void actExitUpdate(QAction* Sender);
    void actDeviceUpdate(QAction* Sender); // the four device actions: CanCommunicate

    void actConfigExecute(QObject* Sender);
    void actCleanupMarksExecute(QObject* Sender);
    void actExitExecute(QObject* Sender);
    void actSendEchoExecute(QObject* Sender);
    void actGetDateTimeExecute(QObject* Sender);
    void actSetDateTimeExecute(QObject* Sender);
    void actSetCurrDateTimeExecute(QObject* Sender);

    void ShowStatus(const std::string& text);
    void SessionStatus(const std::string& text) override;
    void ShowStatusFmt(std::string_view format, std::initializer_list<TFormatArg> args);
    void AppException(QObject* Sender, const std::exception& E);

    bool Busy() const;
    bool CanCommunicate() const;
    void SelectTarget();
    void BeginSession();
    void EndSession();
    // The frame shared by the operations that talk to a meter.
    void RunSession(QWidget* dot, const std::function<void()>& body);

    void SetUpLook();
    void SetUpActions();

    // Field diagnostics: the frame trace, the cause of a port failure, reopening a lost port.
    void SetUpTrace();
    void SetUpReconnect();
    void SetStatusToolTip(const QString& text);

    std::unique_ptr<Ui::TfmMain> ui;
    TActionList* aclMain;
    TTimer* tmrStatus;
    TTimer* tmrReconnect;
    TfmMainHooks FHooks;
    bool FOperationRunning = false; // operations never nest (see RunSession)
    std::string FFailureCause;      // cause of the failure being shown, for the tooltip

    // Declared in this order so that the engine is destroyed before the channel it uses.
    std::unique_ptr<TCommDispatcher> FDispatcher;
    std::unique_ptr<TCommKestro> FKestro;
    TKestroAddr FAddr = 0;
    std::optional<TMeterTarget> FTarget;   // chosen by SelectTarget
    std::optional<TMeterSession> FSession; // from BeginSession to EndSession
};

// The two windows of the program, created by the program entry.
extern TfmMain* fmMain;
extern TfmConfig* fmConfig;
