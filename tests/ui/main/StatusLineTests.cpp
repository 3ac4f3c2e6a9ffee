// The status line as a user and a screen reader meet it: every text the program can show there
// is readable in full in the fixed window with the font actually in effect, is the label's tool
// tip, and reaches the accessibility layer as a status bar's name with a name-change event.
#include "WindowRig.h"

#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"

#include <QAccessible>
#include <QFontInfo>
#include <QFontMetrics>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>

#include <exception>
#include <set>

namespace {

std::exception_ptr Raised(const std::function<void()>& fail) {
    try {
        fail();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// Every failure the channel and the engine can report, each at its longest: port COM4, meter
// 99, an unprintable error letter written as 0xNN.
std::vector<std::exception_ptr> LongestCommunicationFailures() {
    std::vector<std::exception_ptr> failures;
    TCommDispatcher channel;
    channel.SetPort(4);
    for (const auto& [cls, text] : std::vector<std::pair<const TExceptionClass*, std::string>>{
             {&ECommError::ClassType, SCommError},
             {&EOpenPort::ClassType, SOpenPort},
             {&ESetupPort::ClassType, SSetupPort},
             {&EReadPort::ClassType, SReadPort},
             {&EWritePort::ClassType, SWritePort}})
        failures.push_back(Raised([&, cls = cls, text = text] { channel.Error(*cls, text); }));

    TCommKestro engine(channel);
    engine.Request.Addr = 99;
    // Error replies as meter 99 sends them, decoded by the engine itself.
    for (char letter : {'S', 'C', 'D', 'P', '\xFF'}) {
        const std::string reply = engine.EncodePacket({'E', 99, letter, ""});
        TKestroPacket packet;
        failures.push_back(Raised([&] { engine.DecodePacket(reply, packet); }));
    }
    for (const auto& [cls, text] : std::vector<std::pair<const TExceptionClass*, std::string>>{
             {&EKestroBadChecksum::ClassType, SKestroBadChecksum},
             {&EKestroBadPacket::ClassType, SKestroBadPacket},
             {&EKestroBadKestroId::ClassType, SKestroBadKestroId},
             {&EKestroTimeout::ClassType, SKestroTimeout},
             {&EKestroDataDiff::ClassType, SKestroDataDiff}})
        failures.push_back(Raised([&, cls = cls, text = text] { engine.Error(*cls, text); }));
    return failures;
}

QString Message(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
}

// The accessibility events raised for the status line, with its name at that moment.
struct TAnnouncement {
    QAccessible::Event Type;
    QString Name;
};
QObject* WatchedObject = nullptr;
std::vector<TAnnouncement> Announcements;

void RecordAccessibilityEvent(QAccessibleEvent* event) {
    if (event->object() == nullptr || event->object() != WatchedObject)
        return;
    QAccessibleInterface* face = event->accessibleInterface();
    Announcements.push_back({event->type(), face != nullptr ? face->text(QAccessible::Name) : ""});
}

} // namespace

class StatusLineTests : public QObject {
    Q_OBJECT
private slots:
    void everyMessageReadableInFull();
    void screenReaderFollowsTheStatus();
};

void StatusLineTests::everyMessageReadableInFull() {
    // The window's own texts, from real operations with meter 99 on the bus and under the head.
    TRig rig(Head(99, {99}));
    rig.Click("btnGetTime");
    rig.Click("btnSetTime");
    rig.UseAddress(99);
    rig.Click("btnSendEcho");
    rig.Click("btnGetTime");
    rig.Click("btnSetTime");
    std::set<std::string> shown(rig.History.begin(), rig.History.end());
    QVERIFY(shown.count("Echo from meter #99 returned") == 1);
    QVERIFY(shown.count("Closing connection...") == 1);

    const std::vector<std::exception_ptr> failures = LongestCommunicationFailures();
    QCOMPARE(failures.size(), std::size_t{15});
    for (const std::exception_ptr& failure : failures) {
        QVERIFY(failure != nullptr);
        shown.insert(Message(failure).toStdString());
    }

    auto* label = rig.Get<QLabel>("lblStatus");
    const QFont font = label->font();
    const QFontMetrics metrics(font);
    const QRect area = label->contentsRect();
    // The label lies wholly inside its panel and the window.
    QVERIFY(label->parentWidget()->contentsRect().contains(label->geometry()));
    QVERIFY(rig.Window->rect().contains(
        QRect(label->mapTo(rig.Window.get(), QPoint(0, 0)), label->size())));

    QString widest;
    for (const std::string& text : shown) {
        static_cast<TMainView&>(*rig.Window).ShowStatus("Status: " + text, {});
        SpinIdle(1);
        const QString line = label->text();
        QCOMPARE(line, QStringLiteral("Status: ") + QString::fromStdString(text));
        QCOMPARE(label->toolTip(), line);
        const QRect needed = metrics.boundingRect(
            area, static_cast<int>(label->alignment()) | Qt::TextWordWrap, line);
        QVERIFY2(needed.width() <= area.width() && needed.height() <= area.height(),
                 qPrintable(QStringLiteral("%1: needs %2x%3, has %4x%5")
                                .arg(line)
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(area.width())
                                .arg(area.height())));
        if (metrics.horizontalAdvance(line) > metrics.horizontalAdvance(widest))
            widest = line;
    }
    qInfo("font in effect: %s %dpx; widest text \"%s\" is %d px on one line; label %dx%d, "
          "line spacing %d px",
          qPrintable(QFontInfo(font).family()), QFontInfo(font).pixelSize(), qPrintable(widest),
          metrics.horizontalAdvance(widest), area.width(), area.height(), metrics.lineSpacing());
}

void StatusLineTests::screenReaderFollowsTheStatus() {
    TRig rig(Bus({5}));
    auto* label = rig.Get<QLabel>("lblStatus");
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(label);
    QVERIFY(face != nullptr);
    QCOMPARE(face->role(), QAccessible::StatusBar);
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Status: Ready"));

    const QAccessible::UpdateHandler previous =
        QAccessible::installUpdateHandler(&RecordAccessibilityEvent);
    // What a screen reader's connection does: the platform's accessibility layer turns active,
    // and only then are events delivered.
    QPlatformAccessibility* platform =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(platform != nullptr);
    platform->setActive(true);
    WatchedObject = label;
    Announcements.clear();
    rig.UseAddress(5);
    rig.Click("btnSendEcho");
    rig.Click("btnSendEcho"); // the same texts once more: announced again
    WatchedObject = nullptr;
    platform->setActive(false);
    QAccessible::installUpdateHandler(previous);

    QStringList names;
    for (const TAnnouncement& announcement : Announcements)
        if (announcement.Type == QAccessible::NameChanged)
            names << announcement.Name;
    const QStringList once = {QStringLiteral("Status: Connecting..."),
                              QStringLiteral("Status: Sending echo request..."),
                              QStringLiteral("Status: Echo from meter #05 returned")};
    QCOMPARE(names, once + once);
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Status: Echo from meter #05 returned"));
}

int RunStatusLineTests(int argc, char** argv) {
    StatusLineTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "StatusLineTests.moc"
