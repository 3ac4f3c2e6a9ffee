// The main window against virtual meters on pseudo-terminals: start-up, the status line, the
// warning dots, the optical head's session and the exception routing.
#include "TestSupport.h"
#include "WindowRig.h"

#include "VirtualMeter.h"
#include "app/uGlobals.h"
#include "comm/PortNames.h"
#include "runtime/DateTime.h"
#include "runtime/IniFile.h"
#include "ui/fMain.h"
#include "ui/framework/DateTimeEdits.h"
#include "ui/framework/MessageBox.h"
#include "ui/framework/Timer.h"
#include "ui/framework/WarnDot.h"

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
                                     "actSetCurrDateTime"};

using History = std::vector<std::string>;

} // namespace

class MainWindowTests : public QObject {
    Q_OBJECT
private slots:
    void startWithPortThatOpens();
    void startWithPortThatDoesNotOpen();
    void windowLayoutAndActions();
    void allMetersBoxTogglesAddressField();
    void echoToOneMeterAtConfiguredSpeed();
    void echoThroughOpticalHead();
    void failedReadKeepsFieldsAndDotUntilOwnPanelSucceeds();
    void cleanupMarksHidesDotsAndStopsTimer();
    void failedLinkModeRestoresConfiguredSpeed();
    void invalidTimeInHeadModeStillClosesLink();
    void writeSendsFieldsAndWriteCurrentUsesPcClock();
    void configCancelledOrConfirmed();
    void configWhoseSaveFailsLeavesTheLinkAlone();
    void unreadableSettingsFileStartsWithTheDefaults();
    void deviceActionInsideRunningOperationIsIgnored();
    void nonCommunicationErrorShowsMessageBox();
    void englishFieldsWhateverLocale();
    void exitClosesWindow();
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
    QVERIFY(rig.StatusTimer().Enabled());
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

    // The failure stays 5000 ms, then "Ready" comes back once.
    TTimer& timer = rig.StatusTimer();
    QVERIFY(timer.Enabled());
    QCOMPARE(timer.Interval(), 5000);
    timer.SetInterval(30);
    timer.SetEnabled(true);
    QVERIFY(SpinUntil([&] { return rig.Status() == "Status: Ready"; }, 1000));
    QVERIFY(!timer.Enabled());
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
    QCOMPARE(names(rig.Get<QMenu>("smiGet")->actions()), QStringList({"mniGetTime"}));
    QCOMPARE(names(rig.Get<QMenu>("smiSet")->actions()),
             QStringList({"mniSetTime", "mnsSet2", "mniSetCurrDateTime"}));
    QCOMPARE(names(rig.Get<QToolBar>("tbToolbar")->actions()),
             QStringList({"tbiConfig", "tbs1", "tbiCleanupMarks", "tbs2", "TBItem1", "tbs3",
                          "tbiSetCurrDateTime"}));
    QCOMPARE(rig.Action("mniExit")->text(), rig.Action("actExit")->text());
    QCOMPARE(rig.Action("TBItem1")->toolTip(), rig.Action("actSendEcho")->toolTip());
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

void MainWindowTests::echoToOneMeterAtConfiguredSpeed() {
    TRig rig(Bus({5}));
    rig.UseAddress(5);
    const std::size_t before = rig.History.size();
    rig.Click("btnSendEcho");
    QCOMPARE(rig.HistorySince(before),
             History({"Connecting...", "Sending echo request...", "Echo from meter #05 returned"}));
    QCOMPARE(rig.Status(), QStringLiteral("Status: Echo from meter #05 returned"));
    QCOMPARE(rig.Frames(), QStringList({"#R05E*12\r"}));
    QCOMPARE(rig.Speeds(), QList<int>({9600}));
    QVERIFY(!rig.Visible("shWarnKestroId"));
    QVERIFY(rig.StatusTimer().Enabled());
}

void MainWindowTests::echoThroughOpticalHead() {
    TRig rig(Head(7, {5}));
    const std::size_t before = rig.History.size();
    rig.ClickToolbar("TBItem1");
    // The answer is shown again once the link is closed, so that it stays readable.
    QCOMPARE(rig.HistorySince(before),
             History({"Connecting...", "Sending echo request...", "Echo from meter #07 returned",
                      "Closing connection...", "Echo from meter #07 returned"}));
    QCOMPARE(rig.Status(), QStringLiteral("Status: Echo from meter #07 returned"));
    QVERIFY(rig.StatusTimer().Enabled());
    const QStringList frames = rig.Frames();
    QCOMPARE(frames.size(), 3);
    QCOMPARE(frames[0], QStringLiteral("#W??k,01*11\r"));
    QVERIFY2(frames[1].startsWith("#R??E*") && frames[1].endsWith("\r"), qPrintable(frames[1]));
    QCOMPARE(frames[2], QStringLiteral("#W??k,00*10\r"));
    QCOMPARE(rig.Speeds(), QList<int>({300, 300, 300}));
    QVERIFY(!rig.Meter->LinkMode());
    QVERIFY(!rig.Visible("shWarnKestroId"));

    // The line is back at the configured speed.
    rig.UseAddress(5);
    rig.Meter->ClearLog();
    rig.Click("btnSendEcho");
    QCOMPARE(rig.Speeds(), QList<int>({9600}));
}

void MainWindowTests::failedReadKeepsFieldsAndDotUntilOwnPanelSucceeds() {
    TRig rig(Bus({5}), 100);
    rig.UseAddress(5);
    auto* time = rig.Get<TTimeEdit>("edTime");
    auto* date = rig.Get<TDateEdit>("edDate");
    time->setTime(QTime(12, 34, 56));
    date->setDate(QDate(2031, 7, 8));

    rig.Meter->SetFault(TFault::Silence, 1);
    rig.Click("btnGetTime");
    QCOMPARE(rig.LastStatus(), std::string("[Kestro #05] Timeout"));
    QVERIFY(rig.Visible("shWarnDateTime"));
    QVERIFY(!rig.Visible("shWarnKestroId"));
    QCOMPARE(time->time(), QTime(12, 34, 56));
    QCOMPARE(date->date(), QDate(2031, 7, 8));

    // An echo failure marks its own panel; an echo success does not touch the clock's dot.
    rig.Meter->SetFault(TFault::BadChecksum, 1);
    rig.Click("btnSendEcho");
    QCOMPARE(rig.LastStatus(), std::string("[Kestro #05] Bad packet checksum"));
    QVERIFY(rig.Visible("shWarnKestroId"));
    rig.Click("btnSendEcho");
    QVERIFY2(!rig.Visible("shWarnKestroId"), rig.LastStatus().c_str());
    QVERIFY(rig.Visible("shWarnDateTime"));

    rig.Meter->SetFault(TFault::Silence, 1);
    rig.Click("btnSendEcho");
    QVERIFY(rig.Visible("shWarnKestroId"));
    rig.Click("btnGetTime");
    QCOMPARE(rig.LastStatus(), std::string("OK"));
    QVERIFY(!rig.Visible("shWarnDateTime"));
    QVERIFY(rig.Visible("shWarnKestroId"));
    QCOMPARE(date->date(), QDate::currentDate());
    QVERIFY(qAbs(time->time().secsTo(QTime::currentTime())) <= 3);
}

void MainWindowTests::cleanupMarksHidesDotsAndStopsTimer() {
    TRig rig(Bus({5}), 100);
    rig.UseAddress(5);
    rig.Meter->SetFault(TFault::Silence);
    rig.Click("btnSendEcho");
    rig.Click("btnGetTime");
    QVERIFY(rig.Visible("shWarnKestroId") && rig.Visible("shWarnDateTime"));
    rig.ClickToolbar("tbiCleanupMarks");
    QVERIFY(!rig.Visible("shWarnKestroId"));
    QVERIFY(!rig.Visible("shWarnDateTime"));
    QCOMPARE(rig.Status(), QStringLiteral("Status: Ready"));
    QVERIFY(!rig.StatusTimer().Enabled());
}

void MainWindowTests::failedLinkModeRestoresConfiguredSpeed() {
    TRig rig(Head(7, {5}));
    rig.Meter->SetFault(TFault::ErrorP, 1); // the "01" is refused
    rig.Click("btnSendEcho");
    QCOMPARE(rig.LastStatus(), std::string("Kestro #07 return: Device is not enabled for config!"));
    QCOMPARE(rig.Frames(), QStringList({"#W??k,01*11\r"})); // no "00" after a refused "01"
    QVERIFY(!rig.Visible("shWarnKestroId"));                // stopped before the dot

    // The next operation without the head goes out at the configured speed, not at 300 baud.
    rig.UseAddress(5);
    rig.Meter->ClearLog();
    rig.Click("btnSendEcho");
    QCOMPARE(rig.Speeds(), QList<int>({9600}));
    QCOMPARE(rig.LastStatus(), std::string("Echo from meter #05 returned"));
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

void MainWindowTests::writeSendsFieldsAndWriteCurrentUsesPcClock() {
    TRig rig(Bus({5}), 100);
    rig.UseAddress(5);
    rig.Get<TTimeEdit>("edTime")->setTime(QTime(10, 20, 30));
    rig.Get<TDateEdit>("edDate")->setDate(QDate(2031, 6, 15));
    rig.Click("btnSetTime");
    QCOMPARE(rig.LastStatus(), std::string("OK"));
    const QDateTime written(QDate(2031, 6, 15), QTime(10, 20, 30));
    const qint64 expected = QDateTime::currentDateTime().secsTo(written);
    QVERIFY2(qAbs(rig.Meter->ClockOffsetSeconds() - expected) <= 3,
             qPrintable(QString::number(rig.Meter->ClockOffsetSeconds() - expected)));

    // The fields take the PC's clock before anything is sent, and keep it when the write fails.
    rig.Meter->SetFault(TFault::Silence, 1);
    rig.Click("btnSetCurrTime");
    QCOMPARE(rig.LastStatus(), std::string("[Kestro #05] Timeout"));
    QCOMPARE(rig.Get<TDateEdit>("edDate")->date(), QDate::currentDate());
    QVERIFY(qAbs(rig.Get<TTimeEdit>("edTime")->time().secsTo(QTime::currentTime())) <= 3);
    QVERIFY(rig.Visible("shWarnDateTime"));

    rig.ClickToolbar("tbiSetCurrDateTime");
    QCOMPARE(rig.LastStatus(), std::string("OK"));
    QVERIFY(qAbs(rig.Meter->ClockOffsetSeconds()) <= 3);
    QVERIFY(!rig.Visible("shWarnDateTime"));
}

void MainWindowTests::configCancelledOrConfirmed() {
    TRig rig(Bus({5}));
    rig.ConfigAnswer = false;
    rig.OnConfig = [] {
        ComPort = 2;
    }; // would fail if the port were reopened
    rig.Action("mniConfig")->trigger();
    QCOMPARE(rig.ConfigRuns, 1);
    QCOMPARE(rig.Saves, 0);
    SpinIdle();
    QVERIFY(rig.Action("actSendEcho")->isEnabled()); // still open on COM1

    rig.ConfigAnswer = true;
    rig.OnConfig = [] {
        ComPort = 2;
        Timeout = 150;
    };
    rig.Action("mniConfig")->trigger();
    QCOMPARE(rig.Saves, 1);
    QCOMPARE(rig.Status(), QStringLiteral("Status: Cannot open COM2!"));
    SpinIdle();
    for (const char* name : DeviceActions)
        QVERIFY2(!rig.Action(name)->isEnabled(), name);
    QVERIFY(rig.Action("actConfig")->isEnabled());

    rig.OnConfig = [] {
        ComPort = 1;
    };
    rig.Action("mniConfig")->trigger();
    SpinIdle();
    QVERIFY(rig.Action("actSendEcho")->isEnabled());
    rig.UseAddress(5);
    rig.Click("btnSendEcho");
    QCOMPARE(rig.LastStatus(), std::string("Echo from meter #05 returned"));
}

void MainWindowTests::configWhoseSaveFailsLeavesTheLinkAlone() {
    TRig rig(Bus({5}));
    rig.ConfigAnswer = true;
    rig.OnConfig = [] {
        ComPort = 2; // would not open
    };
    rig.FailSave = true;
    rig.Action("mniConfig")->trigger();
    QCOMPARE(rig.Messages.Texts,
             QStringList({"Unable to write to /read-only/Kestro4SetClock.ini"}));
    QCOMPARE(rig.Status(), QStringLiteral("Status: Ready"));
    SpinIdle();
    rig.UseAddress(5);
    rig.Click("btnSendEcho"); // still on COM1
    QCOMPARE(rig.LastStatus(), std::string("Echo from meter #05 returned"));
}

void MainWindowTests::unreadableSettingsFileStartsWithTheDefaults() {
    Timeout = 777; // what a settings file read before would have left
    TRig rig(Bus({5}), 200, {}, true);
    SpinIdle();
    QCOMPARE(rig.Messages.Texts,
             QStringList({"Unable to read /big/Kestro4SetClock.ini: it is larger than 1 MB. The "
                          "default settings apply."}));
    QCOMPARE(Timeout, 200);
    QCOMPARE(rig.Status(), QStringLiteral("Status: Ready"));
    rig.UseAddress(5);
    rig.Click("btnSendEcho"); // COM1 at 9600 baud: the defaults
    QCOMPARE(rig.LastStatus(), std::string("Echo from meter #05 returned"));
}

void MainWindowTests::deviceActionInsideRunningOperationIsIgnored() {
    TRig rig(Bus({5}));
    rig.UseAddress(5);
    SpinIdle();
    // Chosen while the echo's first status text processes pending messages.
    QTimer::singleShot(0, rig.Window.get(), [&] { rig.Action("actGetDateTime")->trigger(); });
    QTest::mouseClick(rig.Get<QToolButton>("btnSendEcho"), Qt::LeftButton);
    QCOMPARE(rig.Frames(), QStringList({"#R05E*12\r"}));
    QCOMPARE(rig.LastStatus(), std::string("Echo from meter #05 returned"));
    rig.Click("btnGetTime");
    QCOMPARE(rig.LastStatus(), std::string("OK"));
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

void MainWindowTests::screenshot() {
    const char* path = std::getenv("KESTRO_SCREENSHOT");
    if (path == nullptr || *path == '\0')
        QSKIP("KESTRO_SCREENSHOT names the PNG to write");
    TRig rig(Head(7));
    rig.Click("btnGetTime");
    rig.StatusTimer().SetEnabled(false);
    QVERIFY(rig.Window->grab().save(QString::fromLocal8Bit(path)));
}

int RunMainWindowTests(int argc, char** argv) {
    MainWindowTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "MainWindowTests.moc"
