// The main window's field diagnostics against a virtual meter behind a link, as a USB adapter
// behind /dev/serial/by-id: the frame trace, the cause of a port failure as the status line's
// tooltip, and reopening the port once the meter is back, never while an operation runs.
#include "TestSupport.h"

#include "VirtualMeter.h"
#include "app/uGlobals.h"
#include "comm/PortNames.h"
#include "tests/support/TempFolder.h"
#include "ui/fMain.h"
#include "ui/framework/Timer.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <fstream>
#include <memory>

namespace {

class TDiagnosticsRig {
public:
    explicit TDiagnosticsRig(bool meterPresent) {
        Link = (Folder.Path() / "ttyKESTRO").string();
        if (meterPresent)
            PlugIn();
        TfmMainHooks hooks;
        hooks.LoadConfig = [this] {
            ComPort = 1;
            BaudRate = 9600;
            Timeout = 200;
            SetPortMap({{1, Link}});
        };
        hooks.SaveConfig = [] {
        };
        hooks.ExecuteConfig = [this] {
            if (OnConfig)
                OnConfig();
            return false;
        };
        Window = std::make_unique<TfmMain>(nullptr, hooks);
        Window->show();
        SpinIdle();
    }
    ~TDiagnosticsRig() {
        Window.reset();
        SetPortMap({});
    }

    void PlugIn() {
        vmeter::TOptions options;
        options.BusMeters = {5};
        options.LinkPath = Link;
        Meter = std::make_unique<vmeter::TVirtualMeter>(options);
    }

    template <class T> T* Get(const char* name) const {
        T* child = Window->findChild<T*>(QString::fromLatin1(name));
        if (child == nullptr)
            qFatal("no child %s", name);
        return child;
    }
    QString Status() const { return Get<QLabel>("lblStatus")->text(); }
    QString ToolTip() const { return Get<QLabel>("lblStatus")->toolTip(); }
    bool CanEcho() const { return Get<QAction>("actSendEcho")->isEnabled(); }
    void Echo() {
        Get<QCheckBox>("chbAllMeters")->setChecked(false);
        Get<QSpinBox>("sedKestroId")->setValue(5);
        SpinIdle();
        QTest::mouseClick(Get<QToolButton>("btnSendEcho"), Qt::LeftButton);
        SpinIdle();
    }

    TTempFolder Folder;
    std::string Link;
    std::unique_ptr<vmeter::TVirtualMeter> Meter;
    std::unique_ptr<TfmMain> Window;
    TRecordedMessages Messages;
    std::function<void()> OnConfig;
};

// Traces the window of its lifetime into a file of its own.
class TTraceVariable {
public:
    explicit TTraceVariable(const std::string& path) { qputenv("KESTRO_TRACE", path.c_str()); }
    ~TTraceVariable() { qunsetenv("KESTRO_TRACE"); }
};

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

class DiagnosticsTests : public QObject {
    Q_OBJECT
private slots:
    void reopensWhenTheMeterComesBackBehindTheSameLink();
    void neverReopensUnderAnOperation();
};

void DiagnosticsTests::reopensWhenTheMeterComesBackBehindTheSameLink() {
    TTempFolder traceFolder;
    const std::string traceFile = (traceFolder.Path() / "trace.log").string();
    TTraceVariable tracing(traceFile);
    TDiagnosticsRig rig(true);
    QCOMPARE(rig.Status(), QStringLiteral("Status: Ready"));
    QVERIFY(rig.CanEcho());
    TTimer& reconnect = *rig.Get<TTimer>("tmrReconnect");
    QCOMPARE(reconnect.Interval(), 2000);
    reconnect.SetInterval(20);

    // The adapter is pulled: the next operation fails and the port closes itself.
    rig.Meter->DropLine();
    rig.Echo();
    QCOMPARE(rig.Status(), QStringLiteral("Status: COM1 unexpected error!"));
    QVERIFY(!rig.CanEcho());
    const QString cause = QString::fromStdString(rig.Link) + ": the device is gone (";
    QVERIFY2(rig.ToolTip().startsWith("Status: COM1 unexpected error!\n" + cause),
             qPrintable(rig.ToolTip()));
    SpinIdle(150); // the attempts fail while the meter is away
    QVERIFY(!rig.CanEcho());

    rig.Meter.reset();
    rig.PlugIn();
    QVERIFY(SpinUntil([&] { return rig.CanEcho(); }, 2000));
    QCOMPARE(rig.Status(), QStringLiteral("Status: Ready"));
    QCOMPARE(rig.ToolTip(), QStringLiteral("Status: Ready"));
    rig.Echo();
    QCOMPARE(rig.Status(), QStringLiteral("Status: Echo from meter #05 returned"));

    std::ifstream in(traceFile);
    const std::string trace{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    QCOMPARE(CountOf(trace, " OPEN\n"), 2);
    QCOMPARE(CountOf(trace, " CLOSE\n"), 1);
    // The purge before the request met the vanished device.
    QCOMPARE(CountOf(trace, "ERROR   COM1 unexpected error! cause: " + cause.toStdString()), 1);
    QVERIFY(trace.find("RX      after=") != std::string::npos);
}

void DiagnosticsTests::neverReopensUnderAnOperation() {
    TDiagnosticsRig rig(false);
    QCOMPARE(rig.Status(), QStringLiteral("Status: Cannot open COM1!"));
    QCOMPARE(rig.ToolTip(), QStringLiteral("Status: Cannot open COM1!\n") +
                                QString::fromStdString(rig.Link) +
                                ": no such device: is the adapter plugged in?");
    QVERIFY(!rig.CanEcho());
    rig.Get<TTimer>("tmrReconnect")->SetInterval(20);

    // The meter is plugged in while the configuration dialog is open: the port stays closed
    // until the dialog is gone.
    bool openedUnderDialog = true;
    rig.OnConfig = [&] {
        rig.PlugIn();
        SpinIdle(200);
        openedUnderDialog = rig.CanEcho();
    };
    SpinIdle();
    rig.Get<QAction>("actConfig")->trigger();
    QVERIFY(!openedUnderDialog);
    QVERIFY(SpinUntil([&] { return rig.CanEcho(); }, 2000));
    QCOMPARE(rig.Status(), QStringLiteral("Status: Ready"));
}

int RunDiagnosticsTests(int argc, char** argv) {
    DiagnosticsTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "DiagnosticsTests.moc"
