#include "ui/fConfig.h"

#include "app/ConfigFields.h"
#include "ui/framework/TCtrlSpinBox.h"
#include "ui_fConfig.h"

#include <QScreen>
#include <QTabBar>

namespace {

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
    edCOMPort->setCurrentIndex(ConfigPortIndex(settings.ComPort));
    edBaudRate->setCurrentIndex(ConfigBaudIndex(settings.BaudRate));
    edTimeout->SetValueAsIs(settings.Timeout);
    pgcConfig->setCurrentWidget(tshCommunication);
    edCOMPort->setFocus();

    const bool ok = exec() == QDialog::Accepted;
    FModalResult = ok ? mrOk : mrCancel;
    if (ok)
        settings = ConfigSettingsFromFields(
            edCOMPort->currentIndex(), edBaudRate->currentText().toStdString(), edTimeout->value());
    return ok;
}

void TfmConfig::btnDefaultClick() {
    if (pgcConfig->currentWidget() != tshCommunication)
        return;
    edCOMPort->setCurrentIndex(ConfigPortIndex(Defaults.ComPort));
    edBaudRate->setCurrentIndex(ConfigBaudIndex(Defaults.BaudRate));
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
