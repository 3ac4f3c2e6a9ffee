#pragma once

#include "DialogAnswerer.h"
#include "MeterLog.h"

#include "app/uGlobals.h"
#include "winui/MainWindow.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wintest {

// COM ports that scripts/test-windows.sh maps for the window: a meter whose every reply is an
// error reply (error D), and a meter that drops its line on the first request (a pulled
// adapter); the meter port of WinTestSupport.h serves the rest.
inline constexpr const char* ErrorPortVar = "KESTRO_WIN_TEST_ERROR_COM";
inline constexpr const char* LostPortVar = "KESTRO_WIN_TEST_LOST_COM";
// Set by the script, which gives the tests a display: without one they fail instead of skip.
inline constexpr const char* RequireWindowVar = "KESTRO_WIN_TEST_REQUIRE_WINDOW";

// The width of a text in a control's font (mnemonic marks left out), a control's client width,
// and whether the control's own text fits it.
int TextWidth(HWND control, std::wstring text);
int ClientWidth(HWND control);
bool TextFits(HWND control);

// The program's main window, created in the test's thread with a settings file of its own
// (in a fresh folder) that names the meter port, and driven by control identifiers and
// messages as a user would through the mouse and keys.
class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // SetUp opens the window on the meter port. This opens it anew on COM `port`; `logVar`
    // names the environment variable with the log of that port's meter. False (and the reason
    // in the test's failures) when the window cannot be created.
    bool ReopenWindow(std::int32_t port, const char* logVar = "KESTRO_WIN_TEST_METER_LOG");

    HWND Window() const { return FWindow->Handle(); }
    HWND Control(int id) const { return GetDlgItem(Window(), id); }

    // What a user does: a click on a button or check box, a menu command or key, text typed
    // into a field (which then loses the focus), a key pressed in a control.
    void Click(int id);
    void Command(int command);
    void Type(int id, const std::wstring& text);
    void PressKey(int id, WPARAM key, bool ctrl);

    // What the window shows.
    std::string StatusLine() const;
    std::string StatusTooltip() const;
    std::string Text(int id) const;
    bool Visible(int id) const;
    // An action's state on every face it has: menu item, toolbar button, panel button. Fails
    // the test when the faces disagree.
    bool ActionEnabled(int command) const;

    // Processes the thread's messages (timers, painting) for a while, or until `done`.
    void Pump(std::chrono::milliseconds duration);
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // The requests the meter port's meter heard since the window was opened.
    std::vector<TMeterLogEntry> Heard(std::size_t count) const;
    std::vector<TMeterLogEntry> HeardNow() const;

    std::string SettingsFile;
    std::int32_t MeterPort = 0;

private:
    std::string TryOpenWindow(std::int32_t port, const char* logVar); // "" or why it failed

    std::unique_ptr<TSettingsFile> FStore; // outlives the window
    std::unique_ptr<TMainWindow> FWindow;
    std::string FFolder;
    std::string FLogPath;
    std::size_t FLogStart = 0;
};

} // namespace wintest
