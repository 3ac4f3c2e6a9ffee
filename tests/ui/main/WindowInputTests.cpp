// The main window from the keyboard and the mouse as a technician uses it: typing into the
// address, time and date fields, the menus' mnemonics, the device actions' shortcuts and the
// panel buttons in the Tab order.
#include "WindowRig.h"

#include "ui/framework/DateTimeEdits.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolButton>

namespace {

QLineEdit* EditorOf(QWidget* field) {
    return field->findChild<QLineEdit*>();
}

// A click at the middle of the character at `index` of a field's text (left-aligned, after the
// editor's own two-pixel margin).
void ClickAtCharacter(QLineEdit* editor, int index) {
    const QFontMetrics metrics(editor->font());
    const QString text = editor->text();
    const int x = editor->contentsRect().left() + 2 + metrics.horizontalAdvance(text.left(index)) +
                  metrics.horizontalAdvance(text.at(index)) / 2;
    QTest::mouseClick(editor, Qt::LeftButton, {}, QPoint(x, editor->height() / 2));
}

} // namespace

class WindowInputTests : public QObject {
    Q_OBJECT
private slots:
    void addressEntryIsBroughtIntoRange();
    void clickedTimeAndDateSectionsTakeTypedDigits();
    void menusOpenFromTheKeyboard();
    void deviceActionsHaveShortcuts();
    void deviceShortcutsWorkInEveryField();
    void escapeStopsASynchronisationBeforeItWrites();
    void panelButtonsAreInTheTabOrder();
};

void WindowInputTests::addressEntryIsBroughtIntoRange() {
    TRig rig(Bus({0, 99}));
    rig.UseAddress(5);
    auto* field = rig.Get<QSpinBox>("sedKestroId");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "150");
    rig.Click("btnSendEcho");
    QCOMPARE(field->value(), 99);
    QCOMPARE(rig.LastStatus(), std::string("Echo from meter #99 returned"));

    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    rig.Meter->ClearLog();
    rig.Click("btnSendEcho");
    QCOMPARE(field->value(), 0);
    QCOMPARE(rig.Frames(), QStringList({"#R00E*17\r"}));
}

void WindowInputTests::clickedTimeAndDateSectionsTakeTypedDigits() {
    TRig rig(Bus({}));
    auto* time = rig.Get<TTimeEdit>("edTime");
    ClickAtCharacter(EditorOf(time), 0); // into the hours of "00:00:00"
    QTest::keyClicks(time, "123456");
    QCOMPARE(time->time(), QTime(12, 34, 56));

    ClickAtCharacter(EditorOf(time), 4); // into the minutes
    QTest::keyClicks(time, "07");
    QCOMPARE(time->time(), QTime(12, 7, 56));

    auto* date = rig.Get<TDateEdit>("edDate");
    ClickAtCharacter(EditorOf(date), 8); // into the year of "01.01.2000"
    QTest::keyClicks(date, "2031");
    QCOMPARE(date->date(), QDate(2031, 1, 1));
}

void WindowInputTests::menusOpenFromTheKeyboard() {
    TRig rig(Bus({5}));
    rig.UseAddress(5);
    SpinIdle();
    struct TMenuKey {
        QKeySequence Keys;
        const char* Menu;
    };
    const TMenuKey keys[] = {{QKeySequence(Qt::ALT | Qt::Key_F), "smiGlobal"},
                             {QKeySequence(Qt::ALT | Qt::Key_R), "smiGet"},
                             {QKeySequence(Qt::ALT | Qt::Key_W), "smiSet"},
                             {QKeySequence(Qt::Key_F10), "smiGlobal"}};
    for (const TMenuKey& key : keys) {
        QTest::keySequence(rig.Window.get(), key.Keys);
        QTRY_COMPARE(QApplication::activePopupWidget(), rig.Get<QMenu>(key.Menu));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTest::keyClick(rig.Window.get(), Qt::Key_Escape); // leaves the menu bar
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    }

    // An item's mnemonic in its open menu runs it.
    QTest::keySequence(rig.Window.get(), QKeySequence(Qt::ALT | Qt::Key_R));
    QTRY_COMPARE(QApplication::activePopupWidget(), rig.Get<QMenu>("smiGet"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_D);
    QTRY_COMPARE(rig.Frames(), QStringList({"#R05C*14\r"}));
}

void WindowInputTests::deviceActionsHaveShortcuts() {
    TRig rig(Bus({5}));
    rig.UseAddress(5);
    rig.Get<TTimeEdit>("edTime")->setFocus(); // keys work whichever field has the focus
    struct TShortcut {
        const char* Action;
        const char* MenuItem; // shows the same keys, or nullptr
        const char* Object;   // the object letter the meter receives
    };
    const TShortcut shortcuts[] = {{"actSendEcho", nullptr, "E"},
                                   {"actGetDateTime", "mniGetTime", "C"},
                                   {"actSetDateTime", "mniSetTime", "C"},
                                   {"actSetCurrDateTime", "mniSetCurrDateTime", "C"}};
    QList<QKeySequence> seen;
    for (const TShortcut& shortcut : shortcuts) {
        QAction* action = rig.Action(shortcut.Action);
        const QKeySequence keys = action->shortcut();
        QVERIFY2(!keys.isEmpty() && !seen.contains(keys), shortcut.Action);
        seen << keys;
        if (shortcut.MenuItem != nullptr)
            QCOMPARE(rig.Action(shortcut.MenuItem)->shortcut(), keys);
        QVERIFY(action->toolTip().contains(keys.toString(QKeySequence::NativeText)));

        rig.Meter->ClearLog();
        SpinIdle();
        QTest::keySequence(rig.Window.get(), keys);
        SpinIdle();
        const QStringList frames = rig.Frames();
        QVERIFY2(frames.size() == 1 && frames[0].mid(4, 1) == shortcut.Object,
                 qPrintable(QString(shortcut.Action) + ": " + frames.join(' ')));
    }
    QCOMPARE(rig.Get<QToolButton>("btnSendEcho")->toolTip(), rig.Action("actSendEcho")->toolTip());
}

// A text field takes some keys as its own (on X11 Ctrl+E is "end of line"): the window's keys
// must win wherever the focus is, and the field's text stays as it was.
void WindowInputTests::deviceShortcutsWorkInEveryField() {
    TRig rig(Bus({5}));
    rig.UseAddress(5);
    for (const char* name : {"sedKestroId", "edTime", "edDate"}) {
        auto* field = rig.Get<QAbstractSpinBox>(name);
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QString text;
        // Ctrl+R fills the time and date fields; Ctrl+E, "end of line" to a text field, changes
        // no field.
        for (const QKeySequence& keys :
             {QKeySequence(Qt::CTRL | Qt::Key_R), QKeySequence(Qt::CTRL | Qt::Key_E)}) {
            rig.Meter->ClearLog();
            SpinIdle();
            text = EditorOf(field)->text();
            QTest::keySequence(QApplication::focusWidget(), keys);
            SpinIdle();
            QVERIFY2(
                rig.Frames().size() == 1,
                qPrintable(
                    QString("%1 in %2: %3").arg(keys.toString(), name, rig.Frames().join(' '))));
        }
        QCOMPARE(EditorOf(field)->text(), text);
    }
    qInfo("platform %s", qPrintable(QGuiApplication::platformName()));
}

void WindowInputTests::escapeStopsASynchronisationBeforeItWrites() {
    TRig rig(Head(7));
    // Pressed while the measurement reads the meter's clock (the window takes its input then).
    QTimer::singleShot(300, rig.Window.get(),
                       [&] { QTest::keyClick(rig.Window.get(), Qt::Key_Escape); });
    QTest::keySequence(rig.Window.get(), QKeySequence(Qt::CTRL | Qt::Key_T));
    QTRY_COMPARE_WITH_TIMEOUT(rig.LastStatus(),
                              std::string("Stopped: the meter's clock was not set"), 20000);
    const QStringList frames = rig.Frames();
    QVERIFY2(!frames.filter(QStringLiteral("#R??C")).isEmpty(), qPrintable(frames.join(' ')));
    QVERIFY2(frames.filter(QStringLiteral("#W??C")).isEmpty(), qPrintable(frames.join(' ')));
    QCOMPARE(frames.back(), QStringLiteral("#W??k,00*10\r"));
    QVERIFY(!rig.Meter->LinkMode());
}

void WindowInputTests::panelButtonsAreInTheTabOrder() {
    TRig rig(Bus({5}));
    rig.UseAddress(5);
    SpinIdle();
    rig.Get<QSpinBox>("sedKestroId")->setFocus();
    // Tab steps through the sections of the time and date fields before it leaves them.
    QStringList order;
    for (int i = 0; i < 20 && order.size() < 8; ++i) {
        const QString name = QApplication::focusWidget()->objectName();
        if (order.isEmpty() || order.back() != name)
            order << name;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"sedKestroId", "btnSendEcho", "chbAllMeters", "btnGetTime",
                                 "btnSetTime", "edTime", "btnSetCurrTime", "edDate"}));

    // Space on the focused echo button sends the echo.
    rig.Get<QToolButton>("btnSendEcho")->setFocus();
    rig.Meter->ClearLog();
    QTest::keyClick(rig.Get<QToolButton>("btnSendEcho"), Qt::Key_Space);
    SpinIdle();
    QCOMPARE(rig.Frames(), QStringList({"#R05E*12\r"}));
}

int RunWindowInputTests(int argc, char** argv) {
    WindowInputTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "WindowInputTests.moc"
