// Runs the framework tests and the main window tests in one application object.
#include "app/uGlobals.h"
#include "ui/framework/Application.h"

#include <QTest>

int RunFrameworkTests(int argc, char** argv);
int RunMainWindowTests(int argc, char** argv);
int RunStatusLineTests(int argc, char** argv);
int RunWindowInputTests(int argc, char** argv);

int main(int argc, char** argv) {
    InitGlobals();
    TApplication application(argc, argv);
    SetApplicationTitle(QStringLiteral("Kestro Setup"));
    // KESTRO_UI_TESTS=input runs the keyboard and mouse tests alone (also on a real display).
    if (qEnvironmentVariable("KESTRO_UI_TESTS") == QLatin1String("input"))
        return RunWindowInputTests(argc, argv) == 0 ? 0 : 1;
    int failures = RunFrameworkTests(argc, argv);
    failures += RunMainWindowTests(argc, argv);
    failures += RunStatusLineTests(argc, argv);
    failures += RunWindowInputTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
