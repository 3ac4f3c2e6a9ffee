#include "ui/fMain.h"

#include "ui_fMain.h"

#include "app/uGlobals.h"
#include "ui/framework/ActionLink.h"
#include "ui/framework/ActionList.h"
#include "ui/framework/Guard.h"
#include "ui/framework/Icons.h"
#include "ui/framework/MessageBox.h"
#include "ui/framework/ModelTimers.h"
#include "ui/framework/ProcessMessages.h"
#include "ui/framework/StatusLine.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QShortcut>

TfmMain::TfmMain(QWidget* parent, TfmMainHooks hooks)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfmMain>()), aclMain(new TActionList(this)),
      FHooks(std::move(hooks)) {
    Q_INIT_RESOURCE(icons);
    ui->setupUi(this);
    aclMain->setObjectName("aclMain");
    if (FHooks.Store == nullptr) {
        FOwnStore = std::make_unique<TSettingsFile>(ConfigFileName());
        FHooks.Store = FOwnStore.get();
    }
    if (FHooks.Timers == nullptr) {
        FOwnTimers = std::make_unique<TQtModelTimers>();
        FHooks.Timers = FOwnTimers.get();
    }
    FModel = std::make_unique<TMainModel>(static_cast<TMainView&>(*this), *FHooks.Timers,
                                          *FHooks.Store, FHooks.System);
    connect(ui->chbAllMeters, &QCheckBox::toggled, this,
            [this] { Guarded(ui->chbAllMeters, [this] { chbAllMetersClick(ui->chbAllMeters); }); });
    SetUpActions();
    SetUpKeys();
    SetUpLook();
    FModel->FormCreate();
}

TfmMain::~TfmMain() {
    FModel.reset(); // the engine, then the channel, which closes the port
}

void TfmMain::SetUpActions() {
    struct TFace {
        QAction* Action;
        const char* Icon;
        void (TfmMain::*Execute)(QObject*);
    };
    const TFace faces[] = {
        {ui->actConfig, ":/icons/config.svg", &TfmMain::actConfigExecute},
        {ui->actCleanupMarks, ":/icons/cleanup.svg", &TfmMain::actCleanupMarksExecute},
        {ui->actExit, ":/icons/exit.svg", &TfmMain::actExitExecute},
        {ui->actGetDateTime, ":/icons/read-clock.svg", &TfmMain::actGetDateTimeExecute},
        {ui->actSetDateTime, ":/icons/write-clock.svg", &TfmMain::actSetDateTimeExecute},
        {ui->actSetCurrDateTime, ":/icons/write-current.svg", &TfmMain::actSetCurrDateTimeExecute},
        {ui->actSendEcho, ":/icons/echo.svg", &TfmMain::actSendEchoExecute},
        {ui->actSyncClock, ":/icons/sync-clock.svg", &TfmMain::actSyncClockExecute},
    };
    for (const TFace& face : faces) {
        face.Action->setIcon(LoadSvgIcon(QString::fromLatin1(face.Icon)));
        aclMain->Add(face.Action, {},
                     [this, execute = face.Execute](QAction* sender) { (this->*execute)(sender); });
    }

    LinkToAction(ui->mniConfig, ui->actConfig);
    LinkToAction(ui->mniCleanupMarks, ui->actCleanupMarks);
    LinkToAction(ui->mniExit, ui->actExit);
    LinkToAction(ui->mniGetTime, ui->actGetDateTime);
    LinkToAction(ui->mniSendEcho, ui->actSendEcho);
    LinkToAction(ui->mniSetTime, ui->actSetDateTime);
    LinkToAction(ui->mniSetCurrDateTime, ui->actSetCurrDateTime);
    LinkToAction(ui->mniSyncClock, ui->actSyncClock);
    LinkToAction(ui->tbiConfig, ui->actConfig);
    LinkToAction(ui->tbiCleanupMarks, ui->actCleanupMarks);
    LinkToAction(ui->TBItem1, ui->actSendEcho);
    LinkToAction(ui->tbiSetCurrDateTime, ui->actSetCurrDateTime);
    LinkToAction(ui->tbiSyncClock, ui->actSyncClock);
    ui->btnSendEcho->setDefaultAction(ui->actSendEcho);
    ui->btnGetTime->setDefaultAction(ui->actGetDateTime);
    ui->btnSetTime->setDefaultAction(ui->actSetDateTime);
    ui->btnSetCurrTime->setDefaultAction(ui->actSetCurrDateTime);
}

void TfmMain::SetUpKeys() {
    // The device actions' keys: echo, reload the meter's clock, save the fields to it, save
    // the PC's clock, and synchronise it. The window holds the actions, so the keys work
    // wherever the focus is.
    SetActionShortcut(ui->actSendEcho, QKeySequence(Qt::CTRL | Qt::Key_E));
    SetActionShortcut(ui->actGetDateTime, QKeySequence(Qt::CTRL | Qt::Key_R));
    SetActionShortcut(ui->actSetDateTime, QKeySequence(Qt::CTRL | Qt::Key_S));
    SetActionShortcut(ui->actSetCurrDateTime, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    SetActionShortcut(ui->actSyncClock, QKeySequence(Qt::CTRL | Qt::Key_T));
    addActions({ui->actSendEcho, ui->actGetDateTime, ui->actSetDateTime, ui->actSetCurrDateTime,
                ui->actSyncClock});
    // F10 opens the first menu, as on the common Linux desktops.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    menuKey->setObjectName("scMenu");
    connect(menuKey, &QShortcut::activated, this,
            [this] { ui->tbMenu->setActiveAction(ui->smiGlobal->menuAction()); });
    // Escape stops a running synchronisation (taken while it processes pending events).
    auto* cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelKey->setObjectName("scCancel");
    connect(cancelKey, &QShortcut::activated, this, [this] { FModel->Cancel(); });
    // A text field would take some of these keys as its own (Ctrl+E is "end of line" on X11):
    // the window's keys win in the fields.
    for (QWidget* field :
         std::initializer_list<QWidget*>{ui->sedKestroId, ui->edTime, ui->edDate}) {
        field->installEventFilter(this);
        for (QLineEdit* editor : field->findChildren<QLineEdit*>())
            editor->installEventFilter(this);
    }
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QAction* action : actions())
            if (action->isEnabled() && action->shortcut() == pressed)
                return true; // left unaccepted: the shortcut runs
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfmMain::SetUpLook() {
    // Tahoma 8 point at 96 dots per inch, not scaled with the screen.
    QFont face(QStringLiteral("Tahoma"));
    face.setPixelSize(11);
    setFont(face);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    ui->centralWidget->setFixedSize(321, 257);
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// --- entry points -------------------------------------------------------------------------

void TfmMain::actConfigExecute(QObject*) {
    FModel->Execute(TMainAction::Config);
}

void TfmMain::actCleanupMarksExecute(QObject*) {
    FModel->Execute(TMainAction::CleanupMarks);
}

void TfmMain::actExitExecute(QObject*) {
    close(); // enabled by the model only while nothing runs
}

void TfmMain::actSendEchoExecute(QObject*) {
    FModel->Execute(TMainAction::SendEcho);
}

void TfmMain::actGetDateTimeExecute(QObject*) {
    FModel->Execute(TMainAction::GetDateTime);
}

void TfmMain::actSetDateTimeExecute(QObject*) {
    FModel->Execute(TMainAction::SetDateTime);
}

void TfmMain::actSetCurrDateTimeExecute(QObject*) {
    FModel->Execute(TMainAction::SetCurrDateTime);
}

void TfmMain::actSyncClockExecute(QObject*) {
    FModel->Execute(TMainAction::SyncClock);
}

void TfmMain::chbAllMetersClick(QObject*) {
    FModel->AllMetersClicked(ui->chbAllMeters->isChecked());
}

// --- the view -----------------------------------------------------------------------------

QAction* TfmMain::ActionOf(TMainAction action) const {
    switch (action) {
    case TMainAction::Config:
        return ui->actConfig;
    case TMainAction::CleanupMarks:
        return ui->actCleanupMarks;
    case TMainAction::Exit:
        return ui->actExit;
    case TMainAction::SendEcho:
        return ui->actSendEcho;
    case TMainAction::GetDateTime:
        return ui->actGetDateTime;
    case TMainAction::SetDateTime:
        return ui->actSetDateTime;
    case TMainAction::SetCurrDateTime:
        return ui->actSetCurrDateTime;
    case TMainAction::SyncClock:
        break;
    }
    return ui->actSyncClock;
}

void TfmMain::ShowStatus(const std::string& line, const std::string& cause) {
    const QString text = QString::fromStdString(line);
    ui->lblStatus->ShowText(text);
    ui->lblStatus->setToolTip(
        cause.empty() ? text : text + QLatin1Char('\n') + QString::fromStdString(cause));
    emit StatusChanged(text);
}

void TfmMain::ShowDot(TWarnDot dot, bool visible) {
    (dot == TWarnDot::KestroId ? ui->shWarnKestroId : ui->shWarnDateTime)->setVisible(visible);
}

void TfmMain::EnableAction(TMainAction action, bool enabled) {
    ActionOf(action)->setEnabled(enabled);
}

void TfmMain::EnableAddress(bool enabled) {
    ui->sedKestroId->setEnabled(enabled);
}

bool TfmMain::OptoheadTicked() {
    return ui->chbAllMeters->isChecked();
}

int TfmMain::TakeAddress() {
    ui->sedKestroId->ValidateEdit();
    return ui->sedKestroId->value();
}

TDateTime TfmMain::TakeTime() {
    ui->edTime->ValidateEdit();
    return ui->edTime->Value();
}

TDateTime TfmMain::TakeDate() {
    ui->edDate->ValidateEdit();
    return ui->edDate->Value();
}

void TfmMain::ShowTime(TDateTime time) {
    ui->edTime->SetValue(time);
}

void TfmMain::ShowDate(TDateTime date) {
    ui->edDate->SetValue(date);
}

void TfmMain::ShowClockOffset(const std::string& text) {
    ui->lblClockOffset->setText(QString::fromStdString(text));
}

void TfmMain::ShowMessage(const std::string& text) {
    ::ShowMessage(QString::fromStdString(text));
}

bool TfmMain::Ask(const std::string& question) {
    return AskYesNo(QString::fromStdString(question));
}

std::optional<TSettings> TfmMain::RunConfig(const TSettings& current) {
    return FHooks.RunConfig ? FHooks.RunConfig(current) : std::nullopt;
}

void TfmMain::ProcessPendingEvents() {
    ProcessMessages();
}
