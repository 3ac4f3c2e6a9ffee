#include "ui/fConfig.h"

#include "runtime/SysUtils.h"
#include "ui/framework/TCtrlSpinBox.h"
#include "ui_fConfig.h"

#include <QScreen>
#include <QTabBar>

namespace {

const int PortCount = 4;
const int MaxTimeout = 2000;
const TSettings Defaults;

} // namespace

TfmConfig::TfmConfig(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FUi(std::make_unique<Ui::TfmConfig>()) {
    FUi->setupUi(this);
    pgcConfig = FUi->pgcConfig;
    tshCommunication = FUi->tshCommunication;
    Bevel1 = FUi->Bevel1;
    lblCOMPort = FUi->lblCOMPort;
    edCOMPort = FUi->edCOMPort;
    lblBaudRate = FUi->lblBaudRate;
    edBaudRate = FUi->edBaudRate;
    lblBaudRateUnits = FUi->lblBaudRateUnits;
    lblTimeout = FUi->lblTimeout;
    edTimeout = FUi->edTimeout;
    lblTimeoutUnits = FUi->lblTimeoutUnits;
    btnDefault = FUi->btnDefault;
    btnOK = FUi->btnOK;
    btnCancel = FUi->btnCancel;

    // The page tabs are not a stop of the Tab key: the fields and buttons are.
    pgcConfig->tabBar()->setFocusPolicy(Qt::NoFocus);

    connect(btnDefault, &QPushButton::clicked, this, &TfmConfig::btnDefaultClick);
    connect(btnOK, &QPushButton::clicked, this, &TfmConfig::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfmConfig::~TfmConfig() = default;

bool TfmConfig::Execute(TSettings& settings) {
    // 64-bit: a port number from the file may be anything.
    const std::int64_t portIndex = std::int64_t{settings.ComPort} - 1;
    edCOMPort->setCurrentIndex(
        portIndex >= 0 && portIndex < edCOMPort->count() ? static_cast<int>(portIndex) : -1);
    edBaudRate->setCurrentIndex(edBaudRate->findText(QString::number(settings.BaudRate)));
    edTimeout->SetValueAsIs(settings.Timeout);
    pgcConfig->setCurrentWidget(tshCommunication);
    edCOMPort->setFocus();

    const bool ok = exec() == QDialog::Accepted;
    FModalResult = ok ? mrOk : mrCancel;
    if (ok) {
        const int port = edCOMPort->currentIndex() + 1;
        settings.ComPort = port >= 1 && port <= PortCount ? port : Defaults.ComPort;
        settings.BaudRate = StrToIntDef(edBaudRate->currentText().toStdString(), Defaults.BaudRate);
        const int timeout = edTimeout->value();
        settings.Timeout = timeout >= 1 && timeout <= MaxTimeout ? timeout : Defaults.Timeout;
    }
    return ok;
}

void TfmConfig::btnDefaultClick() {
    if (pgcConfig->currentWidget() != tshCommunication)
        return;
    edCOMPort->setCurrentIndex(Defaults.ComPort - 1);
    edBaudRate->setCurrentIndex(edBaudRate->findText(QString::number(Defaults.BaudRate)));
    edTimeout->SetValueAsIs(Defaults.Timeout);
}

void TfmConfig::btnOKClick() {
    // OK may come while the timeout field still holds a typed entry (Enter, the default button).
    if (!edTimeout->TakeOverEntry()) {
        edTimeout->setFocus();
        edTimeout->selectAll();
        return;
    }
    accept();
}

void TfmConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* desktop = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(desktop->availableGeometry().center());
        move(frame.topLeft());
    }
}
