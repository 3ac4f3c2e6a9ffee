// The thin layer over Qt: guarded handlers, idle-time action updates, the window model's timers,
// the date and time fields and their conversions.
#include "TestSupport.h"

#include "app/FieldValidation.h"
#include "runtime/DateTime.h"
#include "ui/framework/ActionList.h"
#include "ui/framework/DateTimeConvert.h"
#include "ui/framework/DateTimeEdits.h"
#include "ui/framework/Guard.h"
#include "ui/framework/ModelTimers.h"
#include "ui/framework/ProcessMessages.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// Records what reaches the application-wide hook while it lives.
struct THookRecorder {
    QObject Owner;
    QList<QObject*> Senders;
    QStringList Messages;
    THookRecorder() {
        SetApplicationExceptionHook(&Owner, [this](QObject* sender, const std::exception& e) {
            Senders << sender;
            Messages << QString::fromStdString(e.what());
        });
    }
    ~THookRecorder() { ClearApplicationExceptionHook(&Owner); }
};

} // namespace

class FrameworkTests : public QObject {
    Q_OBJECT
private slots:
    void guardHandsEveryExceptionToTheHook();
    void hookIsClearedOnlyByItsOwner();
    void idleUpdatesRunWhenTheLoopGoesIdleButNotInsideProcessMessages();
    void executeRunsOnlyWhenStillEnabledAfterUpdate();
    void failingExecuteReachesTheHook();
    void modelTimersRestartFireOnceOrRepeatAndReportFailures();
    void conversionsRoundTrip_data();
    void conversionsRoundTrip();
    void timeFieldTakesOverOrRejectsTypedEntry();
    void dateFieldRangeFormatAndTodayButton();
};

void FrameworkTests::guardHandsEveryExceptionToTheHook() {
    THookRecorder hook;
    QObject sender;
    Guarded(&sender, [] { throw Exception("plain failure"); });
    Guarded(&sender, [] { throw std::runtime_error("std failure"); });
    Guarded(&sender, [] { throw 42; });
    Guarded(&sender, [] { throw EAbort("silent"); });
    Guarded(&sender, [] {});
    QCOMPARE(hook.Messages, QStringList({"plain failure", "std failure", "Unknown exception"}));
    QCOMPARE(hook.Senders, QList<QObject*>({&sender, &sender, &sender}));
}

void FrameworkTests::hookIsClearedOnlyByItsOwner() {
    THookRecorder hook;
    QObject stranger;
    ClearApplicationExceptionHook(&stranger);
    Guarded(nullptr, [] { throw Exception("still hooked"); });
    QCOMPARE(hook.Messages, QStringList({"still hooked"}));
}

void FrameworkTests::idleUpdatesRunWhenTheLoopGoesIdleButNotInsideProcessMessages() {
    TActionList list;
    QAction withUpdate, withoutExecute, executeOnly;
    int updates = 0;
    bool enable = false;
    list.Add(
        &withUpdate,
        [&](QAction* a) {
            ++updates;
            a->setEnabled(enable);
        },
        [](QAction*) {});
    list.Add(&withoutExecute, nullptr, nullptr);
    list.Add(&executeOnly, nullptr, [](QAction*) {});

    ProcessMessages();
    QCOMPARE(updates, 0);

    SpinIdle();
    QVERIFY(updates > 0);
    QVERIFY(!withUpdate.isEnabled());
    QVERIFY(!withoutExecute.isEnabled()); // no Execute handler: disabled at update
    QVERIFY(executeOnly.isEnabled());

    enable = true;
    SpinIdle();
    QVERIFY(withUpdate.isEnabled());
}

void FrameworkTests::executeRunsOnlyWhenStillEnabledAfterUpdate() {
    TActionList list;
    QAction action;
    bool allow = true;
    int executed = 0;
    list.Add(
        &action, [&](QAction* a) { a->setEnabled(allow); }, [&](QAction*) { ++executed; });
    SpinIdle();
    action.trigger();
    QCOMPARE(executed, 1);

    // Enabled on screen, but the update right before executing disables it.
    allow = false;
    action.trigger();
    QCOMPARE(executed, 1);
    QVERIFY(!action.isEnabled());
}

void FrameworkTests::failingExecuteReachesTheHook() {
    THookRecorder hook;
    TActionList list;
    QAction action;
    list.Add(&action, nullptr, [](QAction*) { throw Exception("action failed"); });
    action.trigger();
    QCOMPARE(hook.Messages, QStringList({"action failed"}));
    QCOMPARE(hook.Senders, QList<QObject*>({&action}));
}

void FrameworkTests::modelTimersRestartFireOnceOrRepeatAndReportFailures() {
    THookRecorder hook;
    TQtModelTimers timers;
    int once = 0;
    int repeated = 0;
    const auto oneShot = timers.CreateTimer(
        [&] {
            ++once;
            throw Exception("timer failed");
        },
        false);
    const auto periodic = timers.CreateTimer([&] { ++repeated; }, true);
    oneShot->Start(400);
    periodic->Start(100);
    SpinIdle(250);
    oneShot->Start(400); // the 400 ms start anew
    SpinIdle(250);
    QCOMPARE(once, 0);
    QVERIFY(oneShot->Active());
    QVERIFY(SpinUntil([&] { return once == 1; }, 2000));
    SpinIdle(100);
    QCOMPARE(once, 1);
    QVERIFY(!oneShot->Active());
    QVERIFY2(repeated >= 4, qPrintable(QString::number(repeated)));
    periodic->Stop();
    QVERIFY(!periodic->Active());
    QCOMPARE(hook.Messages, QStringList({"timer failed"}));
    // The model's clock is the steady clock.
    const auto before = std::chrono::steady_clock::now();
    QVERIFY(timers.Clock().Now() >= before);
}

void FrameworkTests::conversionsRoundTrip_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("value");
    QTest::newRow("first day") << QDate(2000, 1, 1) << QTime(0, 0, 0) << 36526.0;
    QTest::newRow("noon") << QDate(2000, 1, 1) << QTime(12, 0, 0) << 36526.5;
    QTest::newRow("leap day, last second") << QDate(2024, 2, 29) << QTime(23, 59, 59)
                                           << EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 59, 0);
    QTest::newRow("last day") << QDate(2099, 12, 31) << QTime(6, 7, 8)
                              << EncodeDate(2099, 12, 31) + EncodeTime(6, 7, 8, 0);
}

void FrameworkTests::conversionsRoundTrip() {
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(double, value);
    QCOMPARE(FromQDate(date) + FromQTime(time), value);
    QCOMPARE(ToQDate(value), date);
    QCOMPARE(ToQTime(value), time);
}

void FrameworkTests::timeFieldTakesOverOrRejectsTypedEntry() {
    QWidget window;
    TTimeEdit field(&window);
    QLineEdit other(&window);
    other.move(0, 40);
    window.show();
    window.activateWindow(); // focus checks below need an active window, also under Xvfb
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(field.displayFormat(), QStringLiteral("HH:mm:ss"));
    QCOMPARE(field.time(), QTime(0, 0, 0));

    field.SetValue(EncodeTime(13, 14, 15, 600)); // shown and kept in whole seconds
    QCOMPARE(field.time(), QTime(13, 14, 15));
    QCOMPARE(field.Value(), EncodeTime(13, 14, 15, 0));

    other.setFocus();
    TypePending(&field, "21:05:09"); // a typed entry not yet taken over
    field.ValidateEdit();
    QCOMPARE(field.time(), QTime(21, 5, 9));

    TypePending(&field, "21:0");
    QVERIFY_THROWS_EXCEPTION(EFieldValidation, field.ValidateEdit());
    QVERIFY(field.hasFocus());
    QCOMPARE(field.time(), QTime(21, 5, 9));
    try {
        field.ValidateEdit();
    } catch (const EFieldValidation& e) {
        QCOMPARE(QString::fromStdString(e.what()), QStringLiteral("'21:0' is not a valid time"));
    }
}

void FrameworkTests::dateFieldRangeFormatAndTodayButton() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TDateEdit field;
    QLocale::setDefault(QLocale::system());
    QCOMPARE(field.text(), QStringLiteral("01.01.2000"));
    QCOMPARE(field.minimumDate(), QDate(2000, 1, 1));
    QCOMPARE(field.maximumDate(), QDate(2099, 12, 31));
    QCOMPARE(field.Calendar()->locale().monthName(1), QStringLiteral("January"));
    QCOMPARE(field.Calendar()->locale().dayName(7, QLocale::ShortFormat), QStringLiteral("Sun"));

    field.SetValue(EncodeDate(2105, 3, 1)); // beyond the range: brought to the last day
    QCOMPARE(field.date(), QDate(2099, 12, 31));

    for (const char* entry : {"15.1", "31.12.1999", "01.01.2100", "07.07.20"}) {
        TypePending(&field, entry);
        QVERIFY_THROWS_EXCEPTION(EFieldValidation, field.ValidateEdit());
    }
    TypePending(&field, "31.12.1999");
    QVERIFY_THROWS_EXCEPTION(EFieldValidation, field.ValidateEdit());
    TypePending(&field, "29.02.2024");
    field.ValidateEdit();
    QCOMPARE(field.Value(), EncodeDate(2024, 2, 29));

    // The button row is added to the calendar's own size, so the last week is not cut off.
    TTodayCalendar* calendar = field.Calendar();
    QCalendarWidget plain;
    QVERIFY(calendar->sizeHint().height() >=
            plain.sizeHint().height() + calendar->TodayButton()->sizeHint().height());
    QSignalSpy clicked(calendar, &QCalendarWidget::clicked);
    calendar->TodayButton()->click();
    QCOMPARE(calendar->selectedDate(), QDate::currentDate());
    QCOMPARE(clicked.count(), 1);
}

int RunFrameworkTests(int argc, char** argv) {
    FrameworkTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "FrameworkTests.moc"
