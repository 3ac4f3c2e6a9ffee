// Runs the built window program as a child process with --help and --version. Both must answer
// and end with status 0 without a window: the child gets a window platform that does not exist,
// so creating the application object would abort it.
#include "app/Version.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

namespace {

struct TRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TRun RunProgram(const QStringList& arguments) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("kestro-no-display"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(KESTRO_PROGRAM), arguments);
    TRun run;
    if (!child.waitForFinished(10000)) {
        child.kill();
        child.waitForFinished();
        return run;
    }
    run.ExitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    run.Out = QString::fromLocal8Bit(child.readAllStandardOutput());
    run.Err = QString::fromLocal8Bit(child.readAllStandardError());
    return run;
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void helpPrintsUsageAndSettingsFile();
    void versionPrintsTheBuildVersion();
    void unknownArgumentsGiveTheUsageAndStatusTwo();
};

void CommandLineTest::helpPrintsUsageAndSettingsFile() {
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const TRun run = RunProgram({option});
        QCOMPARE(run.ExitCode, 0);
        QVERIFY2(run.Out.startsWith(QStringLiteral("Usage: Kestro4SetClock")), qPrintable(run.Out));
        QVERIFY2(run.Out.contains(QStringLiteral("--version")), qPrintable(run.Out));
        const QRegularExpression settings(QStringLiteral("^Settings file: (/.*\\.ini)$"),
                                          QRegularExpression::MultilineOption);
        QVERIFY2(settings.match(run.Out).hasMatch(), qPrintable(run.Out));
    }
}

void CommandLineTest::versionPrintsTheBuildVersion() {
    const TRun run = RunProgram({QStringLiteral("--version")});
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Out, QStringLiteral("Kestro4SetClock " KESTRO_VERSION "\n"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"))
                .match(QStringLiteral(KESTRO_VERSION))
                .hasMatch());
}

// Without a display the child could only abort if it created the application object first.
void CommandLineTest::unknownArgumentsGiveTheUsageAndStatusTwo() {
    const struct {
        QStringList Arguments;
        const char* Named;
    } cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"-x"}, "-x"},
        {{"file.ini"}, "file.ini"},
        {{"-style", "fusion", "--frobnicate"}, "--frobnicate"},
        {{"--platform=offscreen", "-reverse", "-reverse=1"}, "-reverse=1"},
    };
    for (const auto& c : cases) {
        const TRun run = RunProgram(c.Arguments);
        QCOMPARE(run.ExitCode, 2);
        QVERIFY(run.Out.isEmpty());
        QVERIFY2(run.Err.startsWith(QStringLiteral("Kestro4SetClock: unknown option '%1'\nUsage: ")
                                        .arg(QLatin1String(c.Named))),
                 qPrintable(run.Err));
    }
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
