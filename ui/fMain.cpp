#include "ui/fMain.h"

#include "ui_fMain.h"

#include "app/uGlobals.h"
#include "runtime/DateTime.h"
#include "ui/fConfig.h"
#include "ui/framework/ActionLink.h"
#include "ui/framework/ActionList.h"
#include "ui/framework/Guard.h"
#include "ui/framework/Icons.h"
#include "ui/framework/MessageBox.h"
#include "ui/framework/ProcessMessages.h"
#include "ui/framework/Timer.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>

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

// The link-mode command of the optical head: object letter and the data for on and off.
constexpr char LinkModeObject = 'k';
const std::string LinkModeOn = "01";
const std::string LinkModeOff = "00";
// Line speed and reply timeout of the optical head.
constexpr std::int32_t OptoheadBaudRate = 300;
constexpr std::int32_t OptoheadTimeout = 2000;

constexpr int StatusInterval = 5000;

TfmMainHooks WithDefaults(TfmMainHooks hooks) {
    if (!hooks.LoadConfig)
        hooks.LoadConfig = [] {
            LoadConfig();
        };
    if (!hooks.SaveConfig)
        hooks.SaveConfig = [] {
            SaveConfig();
        };
    if (!hooks.ExecuteConfig)
        hooks.ExecuteConfig = [] {
            return fmConfig != nullptr && fmConfig->Execute();
        };
    return hooks;
}

} // namespace

TfmMain::TfmMain(QWidget* parent, TfmMainHooks hooks)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfmMain>()), aclMain(new TActionList(this)),
      tmrStatus(new TTimer(this)), FHooks(WithDefaults(std::move(hooks))) {
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
    FHooks.LoadConfig();
    FDispatcher = std::make_unique<TCommDispatcher>();
    FKestro = std::make_unique<TCommKestro>(*FDispatcher);
    FKestro->Timeout = ::Timeout;
    FKestro->Retries = 1;
    FDispatcher->SetPort(ComPort);
    FDispatcher->SetBaudRate(::BaudRate);
    FDispatcher->Open();
    ShowStatus("Ready");
    tmrStatus->SetEnabled(true);
}

void TfmMain::FormDestroy(QObject*) {
    FKestro.reset();
    FDispatcher.reset(); // closes the port
}

// --- status line --------------------------------------------------------------------------

void TfmMain::ShowStatus(const std::string& text) {
    tmrStatus->SetEnabled(false);
    ui->lblStatus->setText(QStringLiteral("Status: ") + QString::fromStdString(text));
    FStatusHistory.push_back(text);
    tmrStatus->SetEnabled(true);
    // Paint the text now: the caller may block in an exchange next.
    ProcessMessages();
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
        FAddr = KestroAddrAll;
        // Never set back: every later Open keeps the long write time-out.
        FDispatcher->SetSlowLink(ui->chbAllMeters->isChecked());
    } else {
        ui->sedKestroId->ValidateEdit();
        FAddr = static_cast<TKestroAddr>(static_cast<std::int32_t>(ui->sedKestroId->value()));
    }
}

void TfmMain::BeginSession() {
    ShowStatus("Connecting...");
    SelectTarget();
    ProcessMessages();
    if (ui->chbAllMeters->isChecked()) {
        FDispatcher->SetBaudRate(OptoheadBaudRate);
        FDispatcher->Open();
        FKestro->Timeout = OptoheadTimeout;
        FKestro->WriteCmd(KestroAddrAll, LinkModeObject, LinkModeOn);
    }
}

void TfmMain::EndSession() {
    // The box is read now; nothing remembers what BeginSession did.
    if (!ui->chbAllMeters->isChecked())
        return;
    ShowStatus("Closing connection...");
    FKestro->WriteCmd(KestroAddrAll, LinkModeObject, LinkModeOff);
    FKestro->Timeout = ::Timeout;
    FDispatcher->SetBaudRate(::BaudRate);
    FDispatcher->Open();
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
        ShowStatus("Sending echo request...");
        FKestro->Echo(FAddr);
        ShowStatusFmt("Echo from meter #%2.2d returned", {int{FKestro->Response.Addr}});
        ui->shWarnKestroId->hide();
    });
}

void TfmMain::actGetDateTimeExecute(QObject*) {
    RunSession(ui->shWarnDateTime, [this] {
        ShowStatus("Reading clock/calendar...");
        TDateTime time = 0;
        TDateTime date = 0;
        FKestro->GetDateTime(FAddr, time, date);
        ui->edTime->SetValue(time);
        ui->edDate->SetValue(date);
        ShowStatus("OK");
        ui->shWarnDateTime->hide();
    });
}

void TfmMain::actSetDateTimeExecute(QObject*) {
    RunSession(ui->shWarnDateTime, [this] {
        ui->edTime->ValidateEdit();
        ui->edDate->ValidateEdit();
        const TDateTime time = ui->edTime->Value();
        const TDateTime date = ui->edDate->Value();
        ShowStatus("Setting clock/calendar...");
        FKestro->SetDateTime(FAddr, time, date);
        ShowStatus("OK");
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
    if (!FHooks.ExecuteConfig())
        return;
    FHooks.SaveConfig();
    FDispatcher->SetPort(ComPort);
    FDispatcher->SetBaudRate(::BaudRate);
    FDispatcher->Open();
    FKestro->Timeout = ::Timeout;
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
