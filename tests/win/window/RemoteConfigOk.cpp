// Drives a running Kestro4SetClock.exe from outside, as a user would: waits for its window,
// chooses File > Config, confirms the dialog with OK (so the window saves its settings) and
// closes the window. scripts/check-windows-package.sh uses it on the installed and the portable
// program. Exit status 0 when every step happened, 1 otherwise.
#include "winui/ResourceIds.h"

#include <windows.h>

#include <cstdio>
#include <functional>

namespace {

bool WaitFor(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(50);
    }
    return true;
}

int Failed(const char* step) {
    std::fprintf(stderr, "remote-config-ok: %s\n", step);
    return 1;
}

} // namespace

int main() {
    HWND window = nullptr;
    if (!WaitFor([&] { return (window = FindWindowW(L"TfmMain", L"Kestro4 Setup Clock")) != nullptr; },
                 30000))
        return Failed("the window did not appear");
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_CONFIG, 0), 0);
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = FindWindowW(L"#32770", L"Config")) != nullptr; }, 10000))
        return Failed("the Config dialog did not open");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!WaitFor([&] { return !IsWindow(dialog); }, 10000))
        return Failed("the Config dialog did not close");
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!WaitFor([&] { return !IsWindow(window); }, 10000))
        return Failed("the window did not close");
    std::puts("remote-config-ok: Config confirmed and the window closed");
    return 0;
}
