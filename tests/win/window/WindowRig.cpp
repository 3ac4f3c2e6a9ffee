#include "WindowRig.h"

#include "WinTestSupport.h"

#include "winui/ResourceIds.h"
#include "winui/WinText.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace wintest {

int TextWidth(HWND control, std::wstring text) {
    std::erase(text, L'&');
    const HDC dc = GetDC(control);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

int ClientWidth(HWND control) {
    RECT rect{};
    GetClientRect(control, &rect);
    return rect.right;
}

bool TextFits(HWND control) {
    return TextWidth(control, WindowTextOf(control)) <= ClientWidth(control);
}

void TWindowTest::SetUp() {
    const auto port = PortFromEnv(MeterPortVar);
    if (!port)
        GTEST_SKIP() << MeterPortVar << " is not set: no COM port is mapped to a virtual meter";
    MeterPort = *port;
    InitGlobals();
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES |
                     ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    FFolder = (std::filesystem::temp_directory_path() /
               ("kestro-window-" + std::to_string(GetCurrentProcessId()) + "-" + test))
                  .string();
    std::filesystem::create_directories(FFolder);
    SettingsFile = FFolder + "\\Kestro4SetClock.ini";
    if (const std::string error = TryOpenWindow(MeterPort, MeterLogVar); !error.empty()) {
        if (!TextFromEnv(RequireWindowVar).empty())
            FAIL() << error;
        GTEST_SKIP() << error << " (no display?)";
    }
}

bool TWindowTest::ReopenWindow(std::int32_t port, const char* logVar) {
    const std::string error = TryOpenWindow(port, logVar);
    EXPECT_EQ(error, "");
    return error.empty();
}

void TWindowTest::TearDown() {
    FWindow.reset();
    Pump(std::chrono::milliseconds(20));
    std::error_code ignored;
    if (!FFolder.empty())
        std::filesystem::remove_all(FFolder, ignored);
}

std::string TWindowTest::TryOpenWindow(std::int32_t port, const char* logVar) {
    FLogPath = TextFromEnv(logVar);
    {
        std::ofstream file(SettingsFile, std::ios::trunc);
        file << "[Congif]\r\nComPort=" << port << "\r\nBaudRate=9600\r\nTimeout=200\r\n";
    }
    FLogStart = ReadMeterLog(FLogPath).size();
    FWindow.reset();
    FStore = std::make_unique<TSettingsFile>(SettingsFile);
    TMainWindowHooks hooks;
    hooks.Store = FStore.get();
    hooks.QuitWhenClosed = false;
    try {
        FWindow = std::make_unique<TMainWindow>(GetModuleHandleW(nullptr), hooks);
    } catch (const std::exception& error) {
        return error.what();
    }
    ShowWindow(Window(), SW_SHOW);
    Pump(std::chrono::milliseconds(50));
    return {};
}

void TWindowTest::Click(int id) {
    const HWND button = Control(id);
    ASSERT_NE(button, nullptr) << "no control " << id;
    SendMessageW(button, BM_CLICK, 0, 0);
}

void TWindowTest::Command(int command) {
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void TWindowTest::Type(int id, const std::wstring& text) {
    const HWND field = Control(id);
    SetFocus(field);
    SetWindowTextW(field, text.c_str());
    SetFocus(Window());
}

void TWindowTest::PressKey(int id, WPARAM key, bool ctrl) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    SendMessageW(Control(id), WM_KEYDOWN, key, 1);
    SendMessageW(Control(id), WM_KEYUP, key, 0xC0000001);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

std::string TWindowTest::StatusLine() const {
    return Text(IDC_LBLSTATUS);
}

std::string TWindowTest::StatusTooltip() const {
    // The window's tooltip control is the one of the thread that holds the status line.
    struct TSearch {
        HWND Owner;
        HWND Status;
        std::wstring Text;
    } search{Window(), Control(IDC_LBLSTATUS), {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<TSearch*>(data);
            wchar_t name[32] = {};
            GetClassNameW(window, name, 32);
            if (std::wstring(name) != TOOLTIPS_CLASSW || GetWindow(window, GW_OWNER) != s.Owner)
                return TRUE;
            wchar_t text[1024] = {};
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = s.Owner;
            tool.uId = reinterpret_cast<UINT_PTR>(s.Status);
            tool.lpszText = text;
            SendMessageW(window, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
            s.Text = text;
            return s.Text.empty();
        },
        reinterpret_cast<LPARAM>(&search));
    return Narrow(search.Text);
}

std::string TWindowTest::Text(int id) const {
    return Narrow(WindowTextOf(Control(id)));
}

bool TWindowTest::Visible(int id) const {
    return IsWindowVisible(Control(id)) != FALSE;
}

bool TWindowTest::ActionEnabled(int command) const {
    const UINT menu = GetMenuState(GetMenu(Window()), static_cast<UINT>(command), MF_BYCOMMAND);
    const bool inMenu = (menu & (MF_GRAYED | MF_DISABLED)) == 0;
    const HWND toolbar = Control(IDC_TOOLBAR);
    if (SendMessageW(toolbar, TB_COMMANDTOINDEX, static_cast<WPARAM>(command), 0) >= 0) {
        EXPECT_EQ(SendMessageW(toolbar, TB_ISBUTTONENABLED, static_cast<WPARAM>(command), 0) != 0,
                  inMenu)
            << "toolbar button " << command;
    }
    if (const HWND button = Control(command)) {
        EXPECT_EQ(IsWindowEnabled(button) != FALSE, inMenu) << "panel button " << command;
    }
    return inMenu;
}

void TWindowTest::Pump(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
}

bool TWindowTest::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (FWindow && FWindow->PreTranslate(message))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<TMeterLogEntry> TWindowTest::Heard(std::size_t count) const {
    return AwaitMeterLog(FLogPath, FLogStart, count);
}

std::vector<TMeterLogEntry> TWindowTest::HeardNow() const {
    return ReadMeterLog(FLogPath, FLogStart);
}

} // namespace wintest
