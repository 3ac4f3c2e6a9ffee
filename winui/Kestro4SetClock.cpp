// The window program on Windows: fixes the regional settings and the English messages, creates
// the main window and runs the message loop until the window is closed.
#include "app/uGlobals.h"
#include "winui/MainWindow.h"
#include "winui/MessageBoxes.h"

#include <windows.h>

#include <commctrl.h>

#include <exception>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    try {
        InitGlobals();
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_BAR_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES |
                         ICC_STANDARD_CLASSES;
        InitCommonControlsEx(&controls);

        TMainWindow window(instance);
        ShowWindow(window.Handle(), show);
        UpdateWindow(window.Handle());
        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!window.PreTranslate(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        return static_cast<int>(message.wParam);
    } catch (const std::exception& error) {
        ShowMessageBox(nullptr, error.what());
        return 1;
    }
}
