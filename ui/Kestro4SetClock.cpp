#include "ui/Kestro4SetClock.h"

#include "app/uGlobals.h"
#include "ui/fConfig.h"
#include "ui/fMain.h"
#include "ui/framework/Application.h"

#include <memory>
#include <string>

int Kestro4SetClock(int, char** argv) {
    InitGlobals();

    // Qt sees only the program's name, so that no argument reaches its option parser.
    std::string name = argv[0] != nullptr ? argv[0] : "Kestro4SetClock";
    int qtArgc = 1;
    char* qtArgv[] = {name.data(), nullptr};
    TApplication application(qtArgc, qtArgv);
    TApplication::setApplicationName(QStringLiteral("Kestro4SetClock"));
    TApplication::setApplicationDisplayName(QStringLiteral("Kestro Setup"));

    auto mainWindow = std::make_unique<TfmMain>();
    fmMain = mainWindow.get();
    auto configDialog = std::make_unique<TfmConfig>();
    fmConfig = configDialog.get();

    mainWindow->show();
    const int result = TApplication::exec();

    fmConfig = nullptr;
    configDialog.reset();
    fmMain = nullptr;
    mainWindow.reset();
    return result;
}
