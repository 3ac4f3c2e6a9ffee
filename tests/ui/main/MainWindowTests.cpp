// What only the Qt window shows, against virtual meters on pseudo-terminals: its widgets and
// their first values, its menus, toolbar and actions, the faces that follow the model's
// enabling, its fields' validation and its real message box. What the window decides is the
// window model's, tested without Qt.
#include "TestSupport.h"
#include "WindowRig.h"

#include "VirtualMeter.h"
#include "runtime/DateTime.h"
#include "ui/fMain.h"
#include "ui/framework/DateTimeEdits.h"
#include "ui/framework/MessageBox.h"
#include "ui/framework/WarnShape.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>
#include <memory>

namespace {

using vmeter::TFault;

const char* const DeviceActions[] = {"actSendEcho", "actGetDateTime", "actSetDateTime",
                                     "actSetCurrDateTime", "actSyncClock"};

} // namespace

class MainWindowTests : public QObject {
    Q_OBJECT
private slots:
    void startWithPortThatOpens();
    void startWithPortThatDoesNotOpen();
    void windowLayoutAndActions();
    void allMetersBoxTogglesAddressField();
    void invalidTimeInHeadModeStillClosesLink();
    void nonCommunicationErrorShowsMessageBox();
    void englishFieldsWhateverLocale();
    void exitClosesWindow();
    void disabledIconsStayVisible();
    void screenshot();
};

void MainWindowTests::startWithPortThatOpens() {
    TRig rig(Bus({5}));
    QCOMPARE(rig.Status(), QStringLiteral("Status: Ready"));
    QCOMPARE(rig.Get<QSpinBox>("sedKestroId")->value(), 99);
    QVERIFY(!rig.Get<QSpinBox>("sedKestroId")->isEnabled());
    QVERIFY(rig.Get<QCheckBox>("chbAllMeters")->isChecked());
    QVERIFY(!rig.Visible("shWarnKestroId"));
    QVERIFY(!rig.Visible("shWarnDateTime"));
    QCOMPARE(rig.Get<TTimeEdit>("edTime")->time(), QTime(0, 0, 0));
    QCOMPARE(rig.Get<TDateEdit>("edDate")->text(), QStringLiteral("01.01.2000"));
    for (const char* name : DeviceActions)
        QVERIFY2(rig.Action(name)->isEnabled(), name);
    QVERIFY(rig.Action("actConfig")->isEnabled());
    QVERIFY(rig.Action("actCleanupMarks")->isEnabled());
    QVERIFY(rig.Action("actExit")->isEnabled());
    QCOMPARE(rig.Get<QLabel>("lblClockOffset")->text(), QString());
}

void MainWindowTests::startWithPortThatDoesNotOpen() {
    TRig rig(Bus({5}), 200, "/nonexistent/kestro-port");
    QCOMPARE(rig.Status(), QStringLiteral("Status: Cannot open COM1!"));
    QVERIFY(rig.Messages.Texts.isEmpty());
    for (const char* name : DeviceActions)
        QVERIFY2(!rig.Action(name)->isEnabled(), name);
    QVERIFY(!rig.Action("mniGetTime")->isEnabled()); // the faces follow their actions
    QVERIFY(!rig.Get<QToolButton>("btnSendEcho")->isEnabled());
    QVERIFY(rig.Action("actConfig")->isEnabled());
    QVERIFY(rig.Action("actCleanupMarks")->isEnabled());
    // The cause goes with the text, in the tooltip.
    QVERIFY2(rig.Get<QLabel>("lblStatus")
                 ->toolTip()
                 .startsWith("Status: Cannot open COM1!\n/nonexistent/kestro-port: "),
             qPrintable(rig.Get<QLabel>("lblStatus")->toolTip()));
}

void MainWindowTests::windowLayoutAndActions() {
    TRig rig(Bus({}));
    QCOMPARE(rig.Window->objectName(), QStringLiteral("fmMain"));
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("Kestro4 Setup Clock"));
    QCOMPARE(rig.Window->minimumSize(), rig.Window->maximumSize());
    QVERIFY(!(rig.Window->windowFlags() & Qt::WindowMaximizeButtonHint));

    struct TRow {
        const char* Name;
        const char* Category;
        const char* Caption;
        const char* Hint;
    };
    const TRow rows[] = {
        {"actConfig", "Global", "Config", "Config"},
        {"actCleanupMarks", "Global", "Cleanup marks", "Cleanup marks"},
        {"actExit", "Global", "Exit", "Exit program"},
        {"actGetDateTime", "Get", "Read date time", "Read date time"},
        {"actSetDateTime", "Set", "Write date/time", "Write date/time"},
        {"actSetCurrDateTime", "Set", "Write current date/time", "Write current date/time"},
        {"actSendEcho", "Other", "Send echo", "Send Echo"},
        {"actSyncClock", "Set", "Synchronise clock", "Synchronise clock"},
    };
    for (const TRow& row : rows) {
        QAction* action = rig.Action(row.Name);
        QCOMPARE(action->property("category").toString(), QString(row.Category));
        // The caption's words, with a mnemonic marked; the tool tip names the shortcut, if any.
        QCOMPARE(QString(action->text()).remove(QLatin1Char('&')), QString(row.Caption));
        const QString keys = action->shortcut().toString(QKeySequence::NativeText);
        QCOMPARE(action->toolTip(),
                 keys.isEmpty() ? QString(row.Hint) : QString("%1 (%2)").arg(row.Hint, keys));
        QCOMPARE(action->statusTip(), QString(row.Hint));
        QVERIFY2(!action->icon().isNull(), row.Name);
    }

    auto names = [](const QList<QAction*>& items) {
        QStringList list;
        for (const QAction* item : items)
            list << item->objectName();
        return list;
    };
    QCOMPARE(names(rig.Get<QMenu>("smiGlobal")->actions()),
             QStringList({"mniConfig", "mnsGlobal1", "mniCleanupMarks", "mnsGlobal2", "mniExit"}));
    QCOMPARE(names(rig.Get<QMenu>("smiGet")->actions()),
             QStringList({"mniGetTime", "mniSendEcho"}));
    QCOMPARE(names(rig.Get<QMenu>("smiSet")->actions()),
             QStringList({"mniSetTime", "mnsSet2", "mniSetCurrDateTime", "mniSyncClock"}));
    QCOMPARE(names(rig.Get<QToolBar>("tbToolbar")->actions()),
             QStringList({"tbiConfig", "tbs1", "tbiCleanupMarks", "tbs2", "TBItem1", "tbs3",
                          "tbiSetCurrDateTime", "tbiSyncClock"}));
    // Every menu and toolbar item is a face of its action: same words, same state.
    const std::pair<const char*, const char*> faces[] = {{"mniSendEcho", "actSendEcho"},
                                                         {"TBItem1", "actSendEcho"},
                                                         {"mniSyncClock", "actSyncClock"},
                                                         {"tbiSyncClock", "actSyncClock"},
                                                         {"mniExit", "actExit"}};
    for (const auto& [face, action] : faces) {
        QCOMPARE(rig.Action(face)->text(), rig.Action(action)->text());
        QCOMPARE(rig.Action(face)->toolTip(), rig.Action(action)->toolTip());
    }
    QVERIFY(!rig.Get<QToolBar>("tbToolbar")->isMovable());
    QVERIFY(!rig.Get<QToolBar>("tbToolbar")->isFloatable());
    QCOMPARE(rig.Get<QToolButton>("btnSendEcho")->defaultAction(), rig.Action("actSendEcho"));
    QCOMPARE(rig.Get<QToolButton>("btnGetTime")->defaultAction(), rig.Action("actGetDateTime"));
    QCOMPARE(rig.Get<QToolButton>("btnSetTime")->defaultAction(), rig.Action("actSetDateTime"));
    QCOMPARE(rig.Get<QToolButton>("btnSetCurrTime")->defaultAction(),
             rig.Action("actSetCurrDateTime"));
    for (const char* label :
         {"lblKestroId", "lblTime", "lblDate", "pnKestroIdHeader", "pnDateTimeHeader"})
        QVERIFY2(!rig.Get<QLabel>(label)->accessibleName().isEmpty(), label);
}

void MainWindowTests::allMetersBoxTogglesAddressField() {
    TRig rig(Bus({}));
    auto* box = rig.Get<QCheckBox>("chbAllMeters");
    auto* field = rig.Get<QSpinBox>("sedKestroId");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QVERIFY(!box->isChecked());
    QVERIFY(field->isEnabled());
    QCOMPARE(field->value(), 99);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QVERIFY(!field->isEnabled());
    QCOMPARE(field->value(), 99);
}

void MainWindowTests::invalidTimeInHeadModeStillClosesLink() {
    TRig rig(Head(7));
    auto* time = rig.Get<TTimeEdit>("edTime");
    TypePending(time, "12:3");
    rig.Click("btnSetTime");
    QCOMPARE(rig.Frames(), QStringList({"#W??k,01*11\r", "#W??k,00*10\r"}));
    QVERIFY(rig.Visible("shWarnDateTime"));
    QCOMPARE(rig.Messages.Texts, QStringList({"'12:3' is not a valid time"}));
    QCOMPARE(rig.Messages.Captions, QStringList({"Kestro Setup"}));
    QCOMPARE(rig.LastStatus(), std::string("Closing connection..."));
    QVERIFY(time->hasFocus());
}

void MainWindowTests::nonCommunicationErrorShowsMessageBox() {
    TRig rig(Bus({5}));
    SetMessageSink(nullptr); // the real box this time
    rig.UseAddress(5);
    TypePending(rig.Get<TTimeEdit>("edTime"), "25:00");
    QString caption, text;
    int buttons = -1;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QTimer::singleShot(50, rig.Window.get(), [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        caption = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        icon = box->icon();
        box->accept();
    });
    rig.Click("btnSetTime");
    QCOMPARE(caption, QStringLiteral("Kestro Setup"));
    QCOMPARE(text, QStringLiteral("'25:00' is not a valid time"));
    QCOMPARE(buttons, 1);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(rig.Status(), QStringLiteral("Status: Connecting...")); // left as it was
    QCOMPARE(rig.Frames(), QStringList());
    QVERIFY(rig.Visible("shWarnDateTime"));
}

void MainWindowTests::englishFieldsWhateverLocale() {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TRig rig(Bus({}));
    QLocale::setDefault(saved);
    auto* date = rig.Get<TDateEdit>("edDate");
    QCOMPARE(date->text(), QStringLiteral("01.01.2000"));
    QCOMPARE(rig.Get<TTimeEdit>("edTime")->text(), QStringLiteral("00:00:00"));
    QCOMPARE(date->Calendar()->locale().language(), QLocale::English);
    QCOMPARE(date->calendarWidget(), date->Calendar());
    QCOMPARE(date->Calendar()->locale().monthName(3), QStringLiteral("March"));
}

void MainWindowTests::exitClosesWindow() {
    TRig rig(Bus({}));
    QVERIFY(rig.Window->isVisible());
    rig.Action("mniExit")->trigger();
    QVERIFY(!rig.Window->isVisible());
}

namespace {

// How many pixels of a button's face stand out from its background (its corner) by at least a
// quarter of the grey scale.
int VisiblePixels(QWidget* button) {
    const QImage face = button->grab().toImage();
    const int background = qGray(face.pixel(0, 0));
    int visible = 0;
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            visible += qAbs(qGray(face.pixel(x, y)) - background) >= 64 ? 1 : 0;
    return visible;
}

} // namespace

// The clock panel's buttons lie on its grey header: disabled, their pictures stay visible.
void MainWindowTests::disabledIconsStayVisible() {
    TRig enabled(Bus({5}));
    TRig disabled(Bus({5}), 200, "/nonexistent/kestro-port");
    for (const char* name : {"btnGetTime", "btnSetTime", "btnSetCurrTime", "btnSendEcho"}) {
        auto* on = enabled.Get<QToolButton>(name);
        auto* off = disabled.Get<QToolButton>(name);
        QVERIFY(on->isEnabled() && !off->isEnabled());
        const int shown = VisiblePixels(on);
        const int greyed = VisiblePixels(off);
        qInfo("%s: %d pixels stand out enabled, %d disabled", name, shown, greyed);
        QVERIFY2(greyed * 4 >= shown * 3, name); // at least three quarters as visible
    }
}

void MainWindowTests::screenshot() {
    const char* path = std::getenv("KESTRO_SCREENSHOT");
    if (path == nullptr || *path == '\0')
        QSKIP("KESTRO_SCREENSHOT names the PNG to write");
    vmeter::TOptions meter = Head(7);
    meter.Clock.OffsetMs = -2000; // the offset line has something to say
    TRig rig(meter);
    rig.Click("btnGetTime");
    QCOMPARE(rig.Get<QLabel>("lblClockOffset")->text(), QStringLiteral("meter 2 s behind"));
    QVERIFY(rig.Window->grab().save(QString::fromLocal8Bit(path)));
}

int RunMainWindowTests(int argc, char** argv) {
    MainWindowTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "MainWindowTests.moc"
