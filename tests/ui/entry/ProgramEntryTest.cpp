// Runs the window program's real entry against a virtual meter, with a settings file beside this
// executable, and drives it from inside its event loop: Qt's own options work, the windows carry
// their exact captions, the settings are read, the English texts are in force and the Config
// action shows the real dialog, whose OK writes the file and reads its port map again.
#include "VirtualMeter.h"
#include "app/uGlobals.h"
#include "ui/Kestro4SetClock.h"
#include "ui/framework/Application.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Failures;
std::size_t Checks = 0;
std::string SecondMeterPath; // a meter with address 6, mapped while the program runs

void Check(bool ok, const std::string& what) {
    ++Checks;
    if (!ok)
        Failures.push_back(what);
}

QMainWindow* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("fmMain"))
            return qobject_cast<QMainWindow*>(widget);
    return nullptr;
}

// Waits in the event loop until the status line shows `text` or two seconds have passed.
bool StatusBecomes(QMainWindow* window, const QString& text) {
    auto* status = window->findChild<QLabel*>(QStringLiteral("lblStatus"));
    for (int i = 0; i < 200 && status->text() != text; ++i) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return status->text() == text;
}

void AnswerConfigDialog() {
    auto* dialog = QApplication::activeModalWidget();
    Check(dialog != nullptr && dialog->objectName() == QLatin1String("fmConfig"),
          "Config shows the configuration dialog");
    if (dialog == nullptr)
        return;
    auto* timeout = dialog->findChild<QSpinBox*>(QStringLiteral("edTimeout"));
    Check(timeout != nullptr && timeout->value() == 345, "the dialog shows the file's timeout");
    Check(dialog->windowHandle() != nullptr &&
              dialog->windowHandle()->title() == QLatin1String("Config"),
          "the dialog's platform window is captioned exactly \"Config\"");
    if (timeout != nullptr)
        timeout->setValue(500);
    dialog->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
}

// Runs once the event loop has shown the main window (the window's creation already processes
// events, before the dialog exists).
void DriveTheProgram() {
    QMainWindow* window = MainWindow();
    if (window == nullptr || !window->isVisible()) {
        QTimer::singleShot(10, [] { DriveTheProgram(); });
        return;
    }
    Check(StatusBecomes(window, QStringLiteral("Status: Ready")), "the port of the file opens");
    Check(window->windowHandle() != nullptr &&
              window->windowHandle()->title() == QLatin1String("Kestro4 Setup Clock"),
          "the main window's platform window is captioned exactly \"Kestro4 Setup Clock\"");
    // Qt appends a display name, once one is set, to every caption the window system shows.
    Check(QGuiApplication::applicationDisplayName() == QCoreApplication::applicationName(),
          "no display name is appended to the captions");
    Check(ApplicationTitle() == QLatin1String("Kestro Setup"),
          "message boxes are captioned with the application title");
    Check(QGuiApplication::isRightToLeft(), "Qt's own option -reverse reaches the application");

    // An absent meter: the English timeout text, named after the meter.
    window->findChild<QCheckBox*>(QStringLiteral("chbAllMeters"))->setChecked(false);
    window->findChild<QSpinBox*>(QStringLiteral("sedKestroId"))->setValue(6);
    window->findChild<QAction*>(QStringLiteral("actSendEcho"))->trigger();
    Check(StatusBecomes(window, QStringLiteral("Status: [Kestro #06] Timeout")),
          "English messages are in force");

    // The [Ports] section changed while the program runs: Config OK maps COM1 anew.
    {
        std::ofstream out(ConfigFileName(), std::ios::trunc);
        out << "[Congif]\nComPort=1\nBaudRate=9600\nTimeout=345\n[Ports]\nCOM1=" << SecondMeterPath
            << "\n";
    }
    QTimer::singleShot(100, [] { AnswerConfigDialog(); });
    window->findChild<QAction*>(QStringLiteral("actConfig"))->trigger();
    window->findChild<QAction*>(QStringLiteral("actSendEcho"))->trigger();
    Check(StatusBecomes(window, QStringLiteral("Status: Echo from meter #06 returned")),
          "Config OK reads the port map of the settings file again");
    window->close();
}

void ScheduleDriver() {
    QTimer::singleShot(0, [] { DriveTheProgram(); });
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ScheduleDriver)

int main(int argc, char** argv) {
    vmeter::TOptions options;
    options.BusMeters = {5};
    vmeter::TVirtualMeter meter(options);
    vmeter::TOptions secondOptions;
    secondOptions.BusMeters = {6};
    vmeter::TVirtualMeter secondMeter(secondOptions);
    SecondMeterPath = secondMeter.SlavePath();

    const std::string settings = ConfigFileName();
    {
        std::ofstream out(settings, std::ios::trunc);
        out << "[Congif]\nComPort=1\nBaudRate=9600\nTimeout=345\n[Ports]\nCOM1="
            << meter.SlavePath() << "\n";
    }
    // Qt's standard options reach the application object ("-reverse": right-to-left layout).
    std::vector<char*> arguments(argv, argv + argc);
    std::string reverse = "-reverse";
    arguments.push_back(reverse.data());
    int programArgc = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    const int result = Kestro4SetClock(programArgc, arguments.data());
    Check(result == 0, "the event loop ends normally");
    Check(ReadFile(settings).find("Timeout=500") != std::string::npos,
          "OK in the dialog writes the settings file");
    std::remove(settings.c_str());

    for (const std::string& failure : Failures)
        std::fprintf(stderr, "FAILED: %s\n", failure.c_str());
    std::printf("%zu passed, %zu failed\n", Checks - Failures.size(), Failures.size());
    return Failures.empty() ? 0 : 1;
}
