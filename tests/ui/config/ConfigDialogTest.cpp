#include "UiTestSupport.h"

#include "app/Settings.h"
#include "ui/fConfig.h"
#include "ui/framework/TCtrlSpinBox.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <tuple>

namespace {

// What the dialog showed while it was up.
struct TShown {
    int PortIndex = -2;
    QString PortText;
    int BaudIndex = -2;
    QString BaudText;
    int Timeout = -2;
};

// The settings the dialog is given, as the window model holds them.
TSettings Current;

void SetSettings(int port, int baud, int timeout) {
    Current = {port, baud, timeout};
}

std::tuple<int, int, int> Settings() {
    return {Current.ComPort, Current.BaudRate, Current.Timeout};
}

} // namespace

class ConfigDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TfmConfig> FDialog;
    TShown FShown;

    // Runs Execute; `whileShown` runs inside the modal loop after the dialog's fields have been
    // noted in FShown, and must close the dialog.
    bool Execute(const std::function<void(TfmConfig&)>& whileShown) {
        TfmConfig& dialog = *FDialog;
        QTimer::singleShot(0, &dialog, [&] {
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            FShown = {dialog.edCOMPort->currentIndex(), dialog.edCOMPort->currentText(),
                      dialog.edBaudRate->currentIndex(), dialog.edBaudRate->currentText(),
                      dialog.edTimeout->value()};
            whileShown(dialog);
        });
        // A failed check inside the loop must not leave the dialog waiting forever.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &dialog, [&] {
            QFAIL("the dialog was left open");
            dialog.reject();
        });
        guard.start(10000);
        const bool result = dialog.Execute(Current);
        guard.stop();
        return result;
    }

    static void ClickOK(TfmConfig& d) { QTest::mouseClick(d.btnOK, Qt::LeftButton); }
    static void ClickCancel(TfmConfig& d) { QTest::mouseClick(d.btnCancel, Qt::LeftButton); }
    static void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers m = Qt::NoModifier) {
        w->setFocus();
        QTest::keyClick(w, key, m);
    }

private slots:
    void init() {
        FDialog = std::make_unique<TfmConfig>();
        SetSettings(1, 9600, 200);
    }
    void cleanup() {
        FDialog.reset();
        SetSettings(1, 9600, 200);
    }

    void looksAsDesigned() {
        TfmConfig& d = *FDialog;
        QCOMPARE(d.windowTitle(), QString("Config"));
        QCOMPARE(d.pgcConfig->count(), 1);
        QCOMPARE(d.pgcConfig->tabText(0), QString(" Communication "));
        QCOMPARE(d.edCOMPort->currentText(), QString("COM1"));
        QCOMPARE(d.edBaudRate->currentText(), QString("9600"));
        QCOMPARE(d.edTimeout->value(), 200);
        QCOMPARE(d.edTimeout->minimum(), 100);
        QCOMPARE(d.edTimeout->maximum(), 2000);
        QCOMPARE(d.edTimeout->LargeStep(), 100);
        QVERIFY(!d.edCOMPort->isEditable());
        QVERIFY(!d.edBaudRate->isEditable());
        QStringList ports, bauds;
        for (int i = 0; i < d.edCOMPort->count(); ++i)
            ports << d.edCOMPort->itemText(i);
        for (int i = 0; i < d.edBaudRate->count(); ++i)
            bauds << d.edBaudRate->itemText(i);
        QCOMPARE(ports, QStringList({"COM1", "COM2", "COM3", "COM4"}));
        QCOMPARE(bauds, QStringList({"4800", "9600"}));
        QVERIFY(d.btnOK->isDefault());
        QVERIFY(!d.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
        QVERIFY(d.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QCOMPARE(d.edTimeout->accessibleName(), QString("Timeout"));
        QCOMPARE(d.edCOMPort->accessibleName(), QString("COM Port"));

        Execute([](TfmConfig& shown) {
            // Fixed size, yet large enough that no text is clipped.
            QCOMPARE(shown.minimumSize(), shown.maximumSize());
            for (QWidget* w : std::initializer_list<QWidget*>{
                     shown.lblCOMPort, shown.lblBaudRate, shown.lblBaudRateUnits, shown.lblTimeout,
                     shown.lblTimeoutUnits, shown.btnDefault, shown.btnOK, shown.btnCancel,
                     shown.edCOMPort, shown.edBaudRate, shown.edTimeout})
                QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
            const QPoint centre = shown.screen()->availableGeometry().center();
            QVERIFY((shown.frameGeometry().center() - centre).manhattanLength() <= 4);

            QStringList order{shown.focusWidget()->objectName()};
            for (int i = 0; i < 6; ++i) {
                QTest::keyClick(shown.focusWidget(), Qt::Key_Tab);
                order << shown.focusWidget()->objectName();
            }
            QCOMPARE(order, QStringList({"edCOMPort", "edBaudRate", "edTimeout", "btnDefault",
                                         "btnOK", "btnCancel", "edCOMPort"}));
            ClickCancel(shown);
        });
    }

    void showsTheSettingsAndOkKeepsThem() {
        SetSettings(2, 4800, 500);
        QVERIFY(Execute(ClickOK));
        QCOMPARE(FShown.PortText, QString("COM2"));
        QCOMPARE(FShown.BaudText, QString("4800"));
        QCOMPARE(FShown.Timeout, 500);
        QCOMPARE(Settings(), std::make_tuple(2, 4800, 500));
        QCOMPARE(FDialog->ModalResult(), TfmConfig::mrOk);
    }

    void unknownBaudRateShowsNoEntry() {
        SetSettings(1, 19200, 200);
        QVERIFY(!Execute(ClickCancel));
        QCOMPARE(FShown.BaudIndex, -1);
        QCOMPARE(FShown.BaudText, QString());
        QCOMPARE(Current.BaudRate, 19200);
        QCOMPARE(FDialog->ModalResult(), TfmConfig::mrCancel);

        QVERIFY(Execute(ClickOK));
        QCOMPARE(FShown.BaudIndex, -1);
        QCOMPARE(Current.BaudRate, 9600);
    }

    void portOutsideTheListShowsNoEntryAndOkGivesCom1_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("shownIndex");
        QTest::addColumn<int>("stored");
        QTest::newRow("0") << 0 << -1 << 1;
        QTest::newRow("5") << 5 << -1 << 1;
        QTest::newRow("-1") << -1 << -1 << 1;
        QTest::newRow("4") << 4 << 3 << 4;
    }
    void portOutsideTheListShowsNoEntryAndOkGivesCom1() {
        QFETCH(int, port);
        QFETCH(int, shownIndex);
        QFETCH(int, stored);
        SetSettings(port, 9600, 200);
        QVERIFY(Execute(ClickOK));
        QCOMPARE(FShown.PortIndex, shownIndex);
        QCOMPARE(Current.ComPort, stored);
    }

    void untouchedTimeoutIsShownAndLimitedOnOk_data() {
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("stored");
        QTest::newRow("5000") << 5000 << 200;
        QTest::newRow("50") << 50 << 50;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("0") << 0 << 200;
        QTest::newRow("-3") << -3 << 200;
        QTest::newRow("2000") << 2000 << 2000;
        QTest::newRow("2001") << 2001 << 200;
    }
    void untouchedTimeoutIsShownAndLimitedOnOk() {
        QFETCH(int, timeout);
        QFETCH(int, stored);
        SetSettings(1, 9600, timeout);
        QVERIFY(Execute(ClickOK));
        QCOMPARE(FShown.Timeout, timeout);
        QCOMPARE(Current.Timeout, stored);
    }

    void defaultsThenCancelChangesNothing() {
        SetSettings(3, 4800, 700);
        TShown afterDefaults;
        QVERIFY(!Execute([&](TfmConfig& d) {
            QTest::mouseClick(d.btnDefault, Qt::LeftButton);
            afterDefaults = {d.edCOMPort->currentIndex(), d.edCOMPort->currentText(),
                             d.edBaudRate->currentIndex(), d.edBaudRate->currentText(),
                             d.edTimeout->value()};
            QVERIFY(d.isVisible()); // Defaults leaves the dialog open
            ClickCancel(d);
        }));
        QCOMPARE(afterDefaults.PortText, QString("COM1"));
        QCOMPARE(afterDefaults.BaudText, QString("9600"));
        QCOMPARE(afterDefaults.Timeout, 200);
        QCOMPARE(Settings(), std::make_tuple(3, 4800, 700));
    }

    void defaultsThenOkStoresTheDefaults() {
        SetSettings(3, 4800, 5000);
        QVERIFY(Execute([](TfmConfig& d) {
            QTest::mouseClick(d.btnDefault, Qt::LeftButton);
            ClickOK(d);
        }));
        QCOMPARE(Settings(), std::make_tuple(1, 9600, 200));
    }

    void closingWays_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Enter in port") << "edCOMPort" << true;
        QTest::newRow("Enter in baud") << "edBaudRate" << true;
        QTest::newRow("Enter in timeout") << "edTimeout" << true;
        QTest::newRow("Escape") << "Escape" << false;
        QTest::newRow("close box") << "close" << false;
        QTest::newRow("Cancel") << "btnCancel" << false;
    }
    void closingWays() {
        QFETCH(QString, way);
        QFETCH(bool, accepted);
        SetSettings(2, 4800, 500);
        const bool result = Execute([&](TfmConfig& d) {
            // A change that only OK may store.
            d.edCOMPort->setCurrentIndex(2);
            if (way == "Escape")
                Key(d.edTimeout, Qt::Key_Escape);
            else if (way == "close")
                d.close();
            else if (way == "btnCancel")
                ClickCancel(d);
            else
                Key(d.findChild<QWidget*>(way), Qt::Key_Return);
        });
        QCOMPARE(result, accepted);
        QCOMPARE(FDialog->ModalResult(), accepted ? TfmConfig::mrOk : TfmConfig::mrCancel);
        QCOMPARE(Current.ComPort, accepted ? 3 : 2);
        QVERIFY(!FDialog->isVisible());
    }

    void cancelledEditsDoNotReachTheNextUse() {
        SetSettings(2, 4800, 500);
        QVERIFY(!Execute([](TfmConfig& d) {
            d.edCOMPort->setCurrentIndex(3);
            d.edBaudRate->setCurrentIndex(1);
            d.edTimeout->setValue(900);
            ClickCancel(d);
        }));
        QVERIFY(!Execute(ClickCancel));
        QCOMPARE(FShown.PortText, QString("COM2"));
        QCOMPARE(FShown.BaudText, QString("4800"));
        QCOMPARE(FShown.Timeout, 500);
    }

    void typedTimeoutIsBroughtIntoRange_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<int>("stored");
        QTest::newRow("5, Tab, OK") << "5" << false << 100;
        QTest::newRow("5, Enter") << "5" << true << 100;
        QTest::newRow("1234, Enter") << "1234" << true << 1234;
        QTest::newRow("empty, Enter") << "" << true << 100;
    }
    void typedTimeoutIsBroughtIntoRange() {
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(int, stored);
        int afterLeaving = -1;
        QVERIFY(Execute([&](TfmConfig& d) {
            d.edTimeout->setFocus();
            d.edTimeout->selectAll();
            QTest::keyClick(d.edTimeout, Qt::Key_Delete);
            QTest::keyClicks(d.edTimeout, typed);
            if (byEnter) {
                QTest::keyClick(d.edTimeout, Qt::Key_Return);
                return;
            }
            QTest::keyClick(d.edTimeout, Qt::Key_Tab);
            afterLeaving = d.edTimeout->value();
            ClickOK(d);
        }));
        if (!byEnter)
            QCOMPARE(afterLeaving, stored);
        QCOMPARE(Current.Timeout, stored);
    }
};

int RunConfigDialogTests(int argc, char** argv) {
    ConfigDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ConfigDialogTest.moc"
