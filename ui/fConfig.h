#pragma once

#include "app/Settings.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TfmConfig;
}
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;
class TCtrlSpinBox;

// The configuration dialog: COM port, line speed and reply timeout. Created once at start-up
// and reused; Execute copies the settings in, shows the dialog modally and copies the fields
// back into them, with its own limits, only on OK. Saving and applying are the caller's
// business.
class TfmConfig : public QDialog {
    Q_OBJECT

public:
    // Modal results as the rest of the program knows them (closing counts as Cancel).
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    explicit TfmConfig(QWidget* parent = nullptr);
    ~TfmConfig() override;

    // True when the dialog was closed with OK; `settings` then hold the fields' values.
    bool Execute(TSettings& settings);
    // The result of the last Execute: mrOk or mrCancel.
    int ModalResult() const { return FModalResult; }

    QTabWidget* pgcConfig;
    QWidget* tshCommunication;
    QFrame* Bevel1;
    QLabel* lblCOMPort;
    QComboBox* edCOMPort;
    QLabel* lblBaudRate;
    QComboBox* edBaudRate;
    QLabel* lblBaudRateUnits;
    QLabel* lblTimeout;
    TCtrlSpinBox* edTimeout;
    QLabel* lblTimeoutUnits;
    QPushButton* btnDefault;
    QPushButton* btnOK;
    QPushButton* btnCancel;

public slots:
    void btnDefaultClick();
    void btnOKClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfmConfig> FUi;
    int FModalResult = mrCancel;
};
