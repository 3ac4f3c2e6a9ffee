#include "UiTestSupport.h"

#include "app/FieldValidation.h"
#include "ui/framework/TCtrlSpinBox.h"

#include <QLineEdit>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

// Opens protected parts of the field to the tests.
class TProbeSpinBox : public TCtrlSpinBox {
public:
    using TCtrlSpinBox::initStyleOption;
    using TCtrlSpinBox::lineEdit;
};

} // namespace

class CtrlSpinBoxTest : public QObject {
    Q_OBJECT

private:
    QWidget* FWindow = nullptr;
    TProbeSpinBox* FSpin = nullptr;
    QLineEdit* FOther = nullptr; // somewhere to move the focus to

    void Focus() {
        FSpin->setFocus();
        QTRY_VERIFY(FSpin->hasFocus());
    }
    void Leave() {
        FOther->setFocus();
        QTRY_VERIFY(FOther->hasFocus());
    }
    void Type(const QString& text) {
        Focus();
        FSpin->selectAll();
        QTest::keyClick(FSpin, Qt::Key_Delete);
        QTest::keyClicks(FSpin, text);
    }
    void Wheel(Qt::KeyboardModifiers modifiers, int notches) {
        const QPointF at = FSpin->rect().center();
        QWheelEvent event(at, FSpin->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(FSpin, &event);
    }

private slots:
    void init() {
        FWindow = new QWidget;
        auto* layout = new QVBoxLayout(FWindow);
        FSpin = new TProbeSpinBox;
        FSpin->setRange(100, 2000);
        FSpin->SetLargeStep(100);
        FSpin->setValue(200);
        FOther = new QLineEdit;
        layout->addWidget(FSpin);
        layout->addWidget(FOther);
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowActive(FWindow));
        Focus();
    }
    void cleanup() {
        delete FWindow;
        FWindow = nullptr;
    }

    void keysStepOnlyWithCtrl_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("expected");
        const int ctrl = Qt::ControlModifier;
        const int none = Qt::NoModifier;
        QTest::newRow("Ctrl+Up") << 200 << int(Qt::Key_Up) << ctrl << 201;
        QTest::newRow("Ctrl+Down") << 200 << int(Qt::Key_Down) << ctrl << 199;
        QTest::newRow("Ctrl+PageUp") << 200 << int(Qt::Key_PageUp) << ctrl << 300;
        QTest::newRow("Ctrl+PageDown") << 250 << int(Qt::Key_PageDown) << ctrl << 150;
        QTest::newRow("Ctrl+Shift+Up")
            << 200 << int(Qt::Key_Up) << int(ctrl | Qt::ShiftModifier) << 201;
        QTest::newRow("Up") << 200 << int(Qt::Key_Up) << none << 200;
        QTest::newRow("Down") << 200 << int(Qt::Key_Down) << none << 200;
        QTest::newRow("PageUp") << 200 << int(Qt::Key_PageUp) << none << 200;
        QTest::newRow("PageDown") << 200 << int(Qt::Key_PageDown) << none << 200;
        QTest::newRow("Shift+Up") << 200 << int(Qt::Key_Up) << int(Qt::ShiftModifier) << 200;
        QTest::newRow("Ctrl+Up at maximum") << 2000 << int(Qt::Key_Up) << ctrl << 2000;
        QTest::newRow("Ctrl+Down at minimum") << 100 << int(Qt::Key_Down) << ctrl << 100;
        QTest::newRow("Ctrl+PageUp near maximum") << 1950 << int(Qt::Key_PageUp) << ctrl << 2000;
        QTest::newRow("Ctrl+PageDown near minimum") << 150 << int(Qt::Key_PageDown) << ctrl << 100;
    }
    void keysStepOnlyWithCtrl() {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, expected);
        FSpin->setValue(start);
        QTest::keyClick(FSpin, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(FSpin->value(), expected);
    }

    void spinButtonsStepByOneEvenWithCtrl() {
        QStyleOptionSpinBox option;
        FSpin->initStyleOption(&option);
        const QRect up = FSpin->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                        QStyle::SC_SpinBoxUp, FSpin);
        const QRect down = FSpin->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                          QStyle::SC_SpinBoxDown, FSpin);
        QTest::mouseClick(FSpin, Qt::LeftButton, Qt::NoModifier, up.center());
        QCOMPARE(FSpin->value(), 201);
        QTest::mouseClick(FSpin, Qt::LeftButton, Qt::ControlModifier, up.center());
        QCOMPARE(FSpin->value(), 202);
        QTest::mouseClick(FSpin, Qt::LeftButton, Qt::ControlModifier, down.center());
        QCOMPARE(FSpin->value(), 201);
        // What QSpinBox itself asks for when Ctrl is held during a click or auto-repeat.
        FSpin->stepBy(10);
        QCOMPARE(FSpin->value(), 202);
        FSpin->stepBy(-10);
        QCOMPARE(FSpin->value(), 201);
    }

    void wheelStepsByOneOnlyWithFocus() {
        Wheel(Qt::NoModifier, 1);
        QCOMPARE(FSpin->value(), 201);
        Wheel(Qt::ControlModifier, -1);
        QCOMPARE(FSpin->value(), 200);
        Leave();
        Wheel(Qt::NoModifier, 1);
        QCOMPARE(FSpin->value(), 200);
        QVERIFY(!FSpin->hasFocus());
    }

    void typedEntryIsBroughtIntoBoundsOnLeaving_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("expected");
        QTest::newRow("below minimum") << "5" << 100;
        QTest::newRow("empty") << "" << 100;
        QTest::newRow("inside") << "1500" << 1500;
        QTest::newRow("at maximum") << "2000" << 2000;
        // Typed in full, not cut off at the digit that goes past the maximum.
        QTest::newRow("above maximum") << "5000" << 2000;
        QTest::newRow("far above maximum") << "123456789012345678901234567890" << 2000;
    }
    void typedEntryIsBroughtIntoBoundsOnLeaving() {
        QFETCH(QString, typed);
        QFETCH(int, expected);
        Type(typed);
        Leave();
        QCOMPARE(FSpin->value(), expected);
        QCOMPARE(FSpin->text(), QString::number(expected));
    }

    void ctrlStepStartsFromTheTypedEntry() {
        Type("5");
        QTest::keyClick(FSpin, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(FSpin->value(), 101);
    }

    void emptyEntryCountsAsZero() {
        FSpin->setRange(0, 99); // the address field
        FSpin->setValue(42);
        Type("");
        FSpin->ValidateEdit();
        QCOMPARE(FSpin->value(), 0);
    }

    void validateEditTakesOverAPendingEntry() {
        Type("1234");
        FSpin->ValidateEdit();
        QCOMPARE(FSpin->value(), 1234);
        Type("12");
        FSpin->ValidateEdit();
        QCOMPARE(FSpin->value(), 100);
    }

    void validateEditRaisesForNonNumbersAndFocusesTheField() {
        // The validator stops such keys, so put the text in as a paste that slipped through.
        Leave();
        FSpin->lineEdit()->setText("12x");
        emit FSpin->lineEdit()->textEdited(FSpin->lineEdit()->text());
        QString message;
        try {
            FSpin->ValidateEdit();
        } catch (const EFieldValidation& e) {
            message = QString::fromStdString(e.Message());
        }
        QCOMPARE(message, QString("'12x' is not a valid integer value"));
        QTRY_VERIFY(FSpin->hasFocus());
        QCOMPARE(FSpin->text(), QString("12x")); // the entry stays for the user to correct
    }

    void valueOutsideTheBoundsIsKeptUntilEdited() {
        FSpin->SetValueAsIs(5000);
        QCOMPARE(FSpin->value(), 5000);
        QCOMPARE(FSpin->text(), QString("5000"));
        Leave(); // passing through is not editing
        Focus();
        Leave();
        FSpin->ValidateEdit();
        QCOMPARE(FSpin->value(), 5000);
        QCOMPARE(FSpin->LowerBound(), 100);
        QCOMPARE(FSpin->UpperBound(), 2000);

        Focus();
        QTest::keyClick(FSpin, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(FSpin->value(), 2000);
        QCOMPARE(FSpin->maximum(), 2000);

        FSpin->SetValueAsIs(50);
        QCOMPARE(FSpin->value(), 50);
        QTest::keyClick(FSpin, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(FSpin->value(), 100);
        QCOMPARE(FSpin->minimum(), 100);
    }

    void typingOverAnOutsideValueBringsItIntoBounds_data() {
        QTest::addColumn<int>("held");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("expected");
        QTest::newRow("5000, typed 3000") << 5000 << "3000" << 2000;
        QTest::newRow("5000, typed 150") << 5000 << "150" << 150;
        QTest::newRow("50, typed 60") << 50 << "60" << 100;
    }
    void typingOverAnOutsideValueBringsItIntoBounds() {
        QFETCH(int, held);
        QFETCH(QString, typed);
        QFETCH(int, expected);
        FSpin->SetValueAsIs(held);
        Type(typed);
        Leave();
        QCOMPARE(FSpin->value(), expected);
        QCOMPARE(FSpin->minimum(), 100);
        QCOMPARE(FSpin->maximum(), 2000);
    }
};

int RunCtrlSpinBoxTests(int argc, char** argv) {
    CtrlSpinBoxTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CtrlSpinBoxTest.moc"
