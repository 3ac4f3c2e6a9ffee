// Drives a running Kestro4SetClock.exe from outside, as a user would, step by step in the order
// given:
//   --config-ok      chooses File > Config and confirms the dialog with OK (the window saves)
//   --command ID     chooses a command of the window (menu item, toolbar button) by identifier
//   --wait MS        lets the window work for a while
//   --capture FILE   writes the window's menu bar and client area as a 32-bit BMP file
//   --close          closes the window
// scripts/check-windows-package.sh confirms Config in the installed and the portable program;
// scripts/screenshot-windows.sh takes the picture for the README. Exit status 0 when every step
// happened, 1 otherwise, 2 for bad arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int ConfigCommand = 1001; // IDM_CONFIG

bool WaitFor(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(50);
    }
    return true;
}

bool Failed(const char* step) {
    std::fprintf(stderr, "kestro-window-remote: %s\n", step);
    return false;
}

bool ConfigOk(HWND window) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(ConfigCommand, 0), 0);
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = FindWindowW(L"#32770", L"Config")) != nullptr; }, 10000))
        return Failed("the Config dialog did not open");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!WaitFor([&] { return !IsWindow(dialog); }, 10000))
        return Failed("the Config dialog did not close");
    return true;
}

bool Capture(HWND window, const wchar_t* file) {
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const int clientTop = origin.y;
    // From the menu bar down, as a window's picture shows it.
    MENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    if (GetMenuBarInfo(window, static_cast<LONG>(OBJID_MENU), 0, &bar) &&
        bar.rcBar.bottom > bar.rcBar.top)
        origin.y = bar.rcBar.top;
    else // Wine leaves the bar's rectangle empty: one menu line lies above the client area
        origin.y -= GetSystemMetrics(SM_CYMENU) + 1;
    const int width = client.right;
    const int height = client.bottom + (clientTop - origin.y);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, old);
    const DWORD size = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42; // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + size;
    bool written = false;
    if (FILE* out = _wfopen(file, L"wb")) {
        written = std::fwrite(&header, sizeof header, 1, out) == 1 &&
                  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                  std::fwrite(bits, size, 1, out) == 1;
        written = std::fclose(out) == 0 && written;
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written || Failed("the picture could not be written");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    HWND window = nullptr;
    if (!WaitFor(
            [&] { return (window = FindWindowW(L"TfmMain", L"Kestro4 Setup Clock")) != nullptr; },
            30000)) {
        Failed("the window did not appear");
        return 1;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& step = args[i];
        const bool hasValue = i + 1 < args.size();
        bool done = true;
        if (step == L"--config-ok") {
            done = ConfigOk(window);
        } else if (step == L"--command" && hasValue) {
            PostMessageW(window, WM_COMMAND,
                         MAKEWPARAM(std::wcstol(args[++i].c_str(), nullptr, 10), 0), 0);
        } else if (step == L"--wait" && hasValue) {
            Sleep(static_cast<DWORD>(std::wcstoul(args[++i].c_str(), nullptr, 10)));
        } else if (step == L"--capture" && hasValue) {
            done = Capture(window, args[++i].c_str());
        } else if (step == L"--close") {
            PostMessageW(window, WM_CLOSE, 0, 0);
            done = WaitFor([&] { return !IsWindow(window); }, 10000) ||
                   Failed("the window did not close");
        } else {
            std::fprintf(stderr, "kestro-window-remote: unknown step %ls\n", step.c_str());
            return 2;
        }
        if (!done)
            return 1;
    }
    return 0;
}
