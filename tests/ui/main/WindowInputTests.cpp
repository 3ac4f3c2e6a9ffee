// The main window from the keyboard and the mouse as a technician uses it: typing into the
// address, time and date fields, the menus' mnemonics, the device actions' shortcuts and the
// panel buttons in the Tab order.
#include "WindowRig.h"

#include "ui/framework/DateTimeEdits.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

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

int RunWindowInputTests(int argc, char** argv) {
    WindowInputTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "WindowInputTests.moc"
