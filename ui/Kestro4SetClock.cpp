#include "ui/Kestro4SetClock.h"

#include "app/uGlobals.h"
#include "runtime/SettingsLocation.h"
#include "ui/CommandLine.h"
#include "ui/fConfig.h"
#include "ui/fMain.h"
#include "ui/framework/Application.h"

#include <cstdio>
#include <optional>
#include <string>

int Kestro4SetClock(int argc, char** argv) {
    InitGlobals();

    // Help, version and a wrong argument need no display: answered before the application
    // object exists.
    std::string unknown;
    switch (ProgramRequest(argc, argv, &unknown)) {
    case TProgramRequest::Unknown:
        std::fprintf(stderr, "Kestro4SetClock: unknown option '%s'\n%s", unknown.c_str(),
                     ProgramUsage().c_str());
        return 2;
    case TProgramRequest::ShowHelp:
        std::fputs(ProgramUsage().c_str(), stdout);
        return 0;
    case TProgramRequest::ShowVersion:
        std::printf("%s\n", ProgramVersion().c_str());
        return 0;
    case TProgramRequest::OpenWindow:
        break;
    }

    // Qt takes its own options (-platform, -style, -reverse, ...) out of the arguments.
    TApplication application(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Kestro4SetClock"));
    // Ties the window to the menu entry of the installed desktop file (Wayland needs it).
    TApplication::setDesktopFileName(
        QString::fromUtf8(ApplicationId().data(), static_cast<int>(ApplicationId().size())));
    // The title captions message boxes only; the windows carry their own captions.
    SetApplicationTitle(QStringLiteral("Kestro Setup"));

    // The dialog is created once and reused; the window asks for it through its hook.
    TfmConfig configDialog;
    TfmMainHooks hooks;
    hooks.RunConfig = [&configDialog](const TSettings& current) -> std::optional<TSettings> {
        TSettings settings = current;
        if (!configDialog.Execute(settings))
            return std::nullopt;
        return settings;
    };
    TfmMain mainWindow(nullptr, hooks);
    mainWindow.show();
    return TApplication::exec();
}
