#include "ui/fMain.h"

#include "ui_fMain.h"

#include "app/uGlobals.h"
#include "runtime/DateTime.h"
#include "runtime/IniFile.h"
#include "ui/fConfig.h"
#include "ui/framework/ActionLink.h"
#include "ui/framework/ActionList.h"
#include "ui/framework/Guard.h"
#include "ui/framework/Icons.h"
#include "ui/framework/MessageBox.h"
#include "ui/framework/ProcessMessages.h"
#include "ui/framework/StatusLine.h"
#include "ui/framework/Timer.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

TfmMain* fmMain = nullptr;
TfmConfig* fmConfig = nullptr;

namespace {

// Sets a flag for the lifetime of the scope.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

constexpr int StatusInterval = 5000;

TfmMainHooks WithDefaults(TfmMainHooks hooks) {
    if (!hooks.LoadConfig)
        hooks.LoadConfig = ::LoadConfig;
    if (!hooks.SaveConfig)
        hooks.SaveConfig = ::SaveConfig;
    if (!hooks.ReloadPortMap)
        hooks.ReloadPortMap = ::ReloadPortMap;
    if (!hooks.ExecuteConfig)
        hooks.ExecuteConfig = [] {
            return fmConfig != nullptr && fmConfig->Execute();
        };
    return hooks;
}

} // namespace

TfmMain::TfmMain(QWidget* parent, TfmMainHooks hooks)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfmMain>()), aclMain(new TActionList(this)),
      tmrStatus(new TTimer(this)), tmrReconnect(new TTimer(this)),
      FHooks(WithDefaults(std::move(hooks))) {
    Q_INIT_RESOURCE(icons);
    ui->setupUi(this);
    aclMain->setObjectName("aclMain");
    tmrStatus->setObjectName("tmrStatus");
    tmrStatus->SetInterval(StatusInterval);
    tmrStatus->OnTimer = [this](QObject* sender) {
        tmrStatusTimer(sender);
    };
    connect(ui->chbAllMeters, &QCheckBox::toggled, this,
            [this] { Guarded(ui->chbAllMeters, [this] { chbAllMetersClick(ui->chbAllMeters); }); });
    SetUpActions();
    SetUpLook();
    SetUpReconnect();
    // A failure ends the creation handler, not the creation of the window.
    Guarded(this, [this] { FormCreate(this); });
}

TfmMain::~TfmMain() {
    FormDestroy(this);
    ClearApplicationExceptionHook(this);
}

void TfmMain::SetUpActions() {
    struct TFace {
        QAction* Action;
        const char* Icon;
    };
    const TFace faces[] = {
        {ui->actConfig, ":/icons/config.svg"},
        {ui->actCleanupMarks, ":/icons/cleanup.svg"},
        {ui->actExit, ":/icons/exit.svg"},
        {ui->actGetDateTime, ":/icons/read-clock.svg"},
        {ui->actSetDateTime, ":/icons/write-clock.svg"},
        {ui->actSetCurrDateTime, ":/icons/write-current.svg"},
        {ui->actSendEcho, ":/icons/echo.svg"},
    };
    for (const TFace& face : faces)
        face.Action->setIcon(LoadSvgIcon(QString::fromLatin1(face.Icon)));

    // The device actions' keys: echo, reload the meter's clock, save the fields to it, and
    // save the PC's clock. The window holds the actions, so the keys work wherever the focus is.
    SetActionShortcut(ui->actSendEcho, QKeySequence(Qt::CTRL | Qt::Key_E));
    SetActionShortcut(ui->actGetDateTime, QKeySequence(Qt::CTRL | Qt::Key_R));
    SetActionShortcut(ui->actSetDateTime, QKeySequence(Qt::CTRL | Qt::Key_S));
    SetActionShortcut(ui->actSetCurrDateTime, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    addActions({ui->actSendEcho, ui->actGetDateTime, ui->actSetDateTime, ui->actSetCurrDateTime});
    // F10 opens the first menu, as on the common Linux desktops.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    menuKey->setObjectName("scMenu");
    connect(menuKey, &QShortcut::activated, this,
            [this] { ui->tbMenu->setActiveAction(ui->smiGlobal->menuAction()); });

    auto update = [this](void (TfmMain::*handler)(QAction*)) {
        return [this, handler](QAction* sender) {
            (this->*handler)(sender);
        };
    };
    auto execute = [this](void (TfmMain::*handler)(QObject*)) {
        return [this, handler](QAction* sender) {
            (this->*handler)(sender);
        };
    };
    aclMain->Add(ui->actConfig, update(&TfmMain::actConfigUpdate),
                 execute(&TfmMain::actConfigExecute));
    aclMain->Add(ui->actCleanupMarks, update(&TfmMain::actCleanupMarksUpdate),
                 execute(&TfmMain::actCleanupMarksExecute));
    aclMain->Add(ui->actExit, update(&TfmMain::actExitUpdate), execute(&TfmMain::actExitExecute));
    aclMain->Add(ui->actGetDateTime, update(&TfmMain::actDeviceUpdate),
                 execute(&TfmMain::actGetDateTimeExecute));
    aclMain->Add(ui->actSetDateTime, update(&TfmMain::actDeviceUpdate),
                 execute(&TfmMain::actSetDateTimeExecute));
    aclMain->Add(ui->actSetCurrDateTime, update(&TfmMain::actDeviceUpdate),
                 execute(&TfmMain::actSetCurrDateTimeExecute));
    aclMain->Add(ui->actSendEcho, update(&TfmMain::actDeviceUpdate),
                 execute(&TfmMain::actSendEchoExecute));

    LinkToAction(ui->mniConfig, ui->actConfig);
    LinkToAction(ui->mniCleanupMarks, ui->actCleanupMarks);
    LinkToAction(ui->mniExit, ui->actExit);
    LinkToAction(ui->mniGetTime, ui->actGetDateTime);
    LinkToAction(ui->mniSetTime, ui->actSetDateTime);
    LinkToAction(ui->mniSetCurrDateTime, ui->actSetCurrDateTime);
    LinkToAction(ui->tbiConfig, ui->actConfig);
    LinkToAction(ui->tbiCleanupMarks, ui->actCleanupMarks);
    LinkToAction(ui->TBItem1, ui->actSendEcho);
    LinkToAction(ui->tbiSetCurrDateTime, ui->actSetCurrDateTime);
    ui->btnSendEcho->setDefaultAction(ui->actSendEcho);
    ui->btnGetTime->setDefaultAction(ui->actGetDateTime);
    ui->btnSetTime->setDefaultAction(ui->actSetDateTime);
    ui->btnSetCurrTime->setDefaultAction(ui->actSetCurrDateTime);
}

void TfmMain::SetUpLook() {
    // Tahoma 8 point at 96 dots per inch, not scaled with the screen.
    QFont face(QStringLiteral("Tahoma"));
    face.setPixelSize(11);
    setFont(face);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    ui->centralWidget->setFixedSize(321, 239);
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// --- creation and destruction -------------------------------------------------------------

void TfmMain::FormCreate(QObject*) {
    SetApplicationExceptionHook(
        this, [this](QObject* sender, const std::exception& e) { AppException(sender, e); });
    LoadSettingsOrDefaults();
    FDispatcher = std::make_unique<TCommDispatcher>();
    FKestro = std::make_unique<TCommKestro>(*FDispatcher);
    FKestro->Retries = 1;
    SetUpTrace();
    ApplySettings(*FDispatcher, *FKestro, ConfiguredSettings());
    ShowStatus("Ready");
    tmrStatus->SetEnabled(true);
}

// A settings file that cannot be read (larger than 1 MB, not a regular file) must not keep the
// window from working: it starts with the defaults and says why once it is shown.
void TfmMain::LoadSettingsOrDefaults() {
    try {
        FHooks.LoadConfig();
    } catch (const EIniFileException& error) {
        SetConfiguredSettings(TSettings{});
        const QString message =
            QString::fromStdString(error.Message() + ". The default settings apply.");
        QTimer::singleShot(0, this, [message] { ShowMessage(message); });
    }
}

void TfmMain::FormDestroy(QObject*) {
    FKestro.reset();
    FDispatcher.reset(); // closes the port
}

// --- status line --------------------------------------------------------------------------

void TfmMain::ShowStatus(const std::string& text) {
    tmrStatus->SetEnabled(false);
    const QString shown = QString::fromStdString(text);
    const QString line = QStringLiteral("Status: ") + shown;
    ui->lblStatus->ShowText(line);
    SetStatusToolTip(line);
    tmrStatus->SetEnabled(true);
    emit StatusChanged(shown);
    // Paint the text now: the caller may block in an exchange next.
    ProcessMessages();
}

void TfmMain::SessionStatus(const std::string& text) {
    ShowStatus(text);
}

void TfmMain::ShowStatusFmt(std::string_view format, std::initializer_list<TFormatArg> args) {
    ShowStatus(Format(format, args));
}

void TfmMain::tmrStatusTimer(QObject*) {
    ShowStatus("Ready");
    tmrStatus->SetEnabled(false);
}

void TfmMain::AppException(QObject*, const std::exception& E) {
    if (dynamic_cast<const ECommError*>(&E) != nullptr) {
        // A failure of the port has a cause from the system; a protocol failure has none.
        if (dynamic_cast<const EKestroError*>(&E) == nullptr && FDispatcher != nullptr)
            FFailureCause = FDispatcher->LastFailureCause();
        ShowStatus(E.what());
        return;
    }
    const QString message = QString::fromStdString(E.what());
    if (!message.isEmpty())
        ShowMessage(message);
}

// --- action states ------------------------------------------------------------------------

bool TfmMain::Busy() const {
    return FKestro != nullptr && FKestro->Busy;
}

bool TfmMain::CanCommunicate() const {
    if (FKestro == nullptr || FDispatcher == nullptr || FKestro->Busy)
        return false;
    return FDispatcher->GetActive();
}

void TfmMain::actConfigUpdate(QAction* Sender) {
    Sender->setEnabled(FDispatcher != nullptr && !Busy());
}

void TfmMain::actCleanupMarksUpdate(QAction* Sender) {
    Sender->setEnabled(!Busy());
}

void TfmMain::actExitUpdate(QAction* Sender) {
    Sender->setEnabled(!Busy() && !FOperationRunning);
}

void TfmMain::actDeviceUpdate(QAction* Sender) {
    Sender->setEnabled(CanCommunicate());
}

// --- sessions -----------------------------------------------------------------------------

void TfmMain::SelectTarget() {
    if (ui->chbAllMeters->isChecked()) {
        FTarget = TMeterTarget::Optohead();
    } else {
        ui->sedKestroId->ValidateEdit();
        FTarget = TMeterTarget::Bus(
            static_cast<TKestroAddr>(static_cast<std::int32_t>(ui->sedKestroId->value())));
    }
    FAddr = FTarget->Addr();
}

void TfmMain::BeginSession() {
    ShowStatus("Connecting...");
    SelectTarget();
    ProcessMessages();
    FSession.emplace(*FDispatcher, *FKestro, *FTarget, ConfiguredSettings(),
                     static_cast<TSessionObserver&>(*this));
    try {
        FSession->Open();
    } catch (...) {
        FSession.reset();
        throw;
    }
}

void TfmMain::EndSession() {
    // The session closes what it opened, whatever the check box says by now.
    if (!FSession)
        return;
    struct TEnd {
        std::optional<TMeterSession>& Session;
        ~TEnd() { Session.reset(); }
    } end{FSession};
    FSession->Close();
}

void TfmMain::RunSession(QWidget* dot, const std::function<void()>& body) {
    // A device action chosen while the status line processes messages inside a running
    // operation is ignored: operations never nest.
    if (FOperationRunning || FKestro == nullptr)
        return;
    TFlagScope running(FOperationRunning);
    BeginSession();
    dot->show();
    try {
        body();
    } catch (...) {
        // A finally step: when EndSession throws, its exception replaces the first one.
        EndSession();
        throw;
    }
    EndSession();
}

// --- device operations --------------------------------------------------------------------

void TfmMain::actSendEchoExecute(QObject*) {
    RunSession(ui->shWarnKestroId, [this] {
        FSession->Echo();
        ui->shWarnKestroId->hide();
    });
}

void TfmMain::actGetDateTimeExecute(QObject*) {
    RunSession(ui->shWarnDateTime, [this] {
        TDateTime time = 0;
        TDateTime date = 0;
        FSession->GetDateTime(time, date);
        ui->edTime->SetValue(time);
        ui->edDate->SetValue(date);
        ui->shWarnDateTime->hide();
    });
}

void TfmMain::actSetDateTimeExecute(QObject*) {
    RunSession(ui->shWarnDateTime, [this] {
        ui->edTime->ValidateEdit();
        ui->edDate->ValidateEdit();
        const TDateTime time = ui->edTime->Value();
        const TDateTime date = ui->edDate->Value();
        FSession->SetDateTime(time, date);
        ui->shWarnDateTime->hide();
    });
}

void TfmMain::actSetCurrDateTimeExecute(QObject* Sender) {
    if (FOperationRunning)
        return;
    // One reading of the PC's clock for both fields, so that they never straddle midnight.
    const TDateTime now = Now();
    ui->edTime->SetValue(TimeOf(now));
    ui->edDate->SetValue(DateOf(now));
    actSetDateTimeExecute(Sender);
}

// --- other actions ------------------------------------------------------------------------

void TfmMain::actConfigExecute(QObject*) {
    // The dialog would otherwise change the port under a running operation.
    if (FOperationRunning || FDispatcher == nullptr)
        return;
    // A lost port is not reopened under the dialog either.
    TFlagScope running(FOperationRunning);
    if (!FHooks.ExecuteConfig())
        return;
    FHooks.SaveConfig();
    // The port is reopened anyway: a mapping changed in the file since the start applies now.
    FHooks.ReloadPortMap();
    ApplySettings(*FDispatcher, *FKestro, ConfiguredSettings());
}

void TfmMain::actCleanupMarksExecute(QObject*) {
    ui->shWarnKestroId->hide();
    ui->shWarnDateTime->hide();
    ShowStatus("Ready");
    tmrStatus->SetEnabled(false);
}

void TfmMain::actExitExecute(QObject*) {
    if (FOperationRunning)
        return;
    close();
}

void TfmMain::chbAllMetersClick(QObject*) {
    ui->sedKestroId->setEnabled(!ui->chbAllMeters->isChecked());
}
