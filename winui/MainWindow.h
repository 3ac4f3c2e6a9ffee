#pragma once

#include "app/MainModel.h"
#include "app/MainView.h"
#include "winui/ConfigDialog.h"
#include "winui/CtrlSpinField.h"
#include "winui/GdiHandles.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the main window takes from outside; tests put their own in place. Empty members take
// the program's: the settings file that the settings location rule picks, the window thread's
// timers, the system's ports and clock, and the Config dialog.
struct TMainWindowHooks {
    TSettingsStore* Store = nullptr;
    TModelTimers* Timers = nullptr;
    TModelSystem System;
    std::function<std::optional<TSettings>(HWND owner, const TSettings&)> RunConfig;
    // The program ends its message loop when its window is gone; a test's window does not.
    bool QuitWhenClosed = true;
};

// The main window on the Windows API: a view of the window model. It holds the controls, their
// layout at the monitor's DPI, the icons and keys, forwards the user's actions to the model and
// draws what the model tells it.
class TMainWindow final : public TMainView {
public:
    explicit TMainWindow(HINSTANCE instance, TMainWindowHooks hooks = {});
    ~TMainWindow() override;
    TMainWindow(const TMainWindow&) = delete;
    TMainWindow& operator=(const TMainWindow&) = delete;

    HWND Handle() const { return FWindow; }

    // The window's keys for a message of the thread's loop: its accelerators, then Tab, Enter
    // and the Alt mnemonics among its controls. True when the message has been handled.
    bool PreTranslate(MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    bool OnNotify(const NMHDR& header, LRESULT& result);
    void OnClose();

    // Every call into the model: the window is not destroyed under a running call.
    void CallModel(const std::function<void()>& call);

    // MainWindowControls.cpp: the controls, their fonts and icons at the window's DPI.
    void CreateControls();
    void CreateToolbar();
    void SetUpMenuPictures();
    void AddTooltip(HWND control, const std::wstring& text);
    void ApplyDpi(UINT dpi);
    void LoadPictures();
    void LayOut();
    SIZE ClientSize() const;
    void Paint();
    bool DrawItem(const DRAWITEMSTRUCT& item);
    bool MeasureItem(MEASUREITEMSTRUCT& item) const;
    HWND Control(int id) const { return GetDlgItem(FWindow, id); }

    // TMainView (MainWindowView.cpp)
    void ShowStatus(const std::string& line, const std::string& cause) override;
    void ShowDot(TWarnDot dot, bool visible) override;
    void EnableAction(TMainAction action, bool enabled) override;
    void EnableAddress(bool enabled) override;
    bool OptoheadTicked() override;
    int TakeAddress() override;
    TDateTime TakeTime() override;
    TDateTime TakeDate() override;
    void ShowTime(TDateTime time) override;
    void ShowDate(TDateTime date) override;
    void ShowClockOffset(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool Ask(const std::string& question) override;
    std::optional<TSettings> RunConfig(const TSettings& current) override;
    void ProcessPendingEvents() override;

    HINSTANCE FInstance;
    TMainWindowHooks FHooks;
    HWND FWindow = nullptr;
    HWND FToolbar = nullptr;
    HWND FTooltips = nullptr;
    HACCEL FAccelerators = nullptr;
    HWND FFocus = nullptr; // the control that had the focus when the window was deactivated
    UINT FDpi = 96;
    TFontHandle FFont;
    TFontHandle FBoldFont;
    TImageListHandle FImages;        // the actions' pictures for the toolbar
    std::vector<TIconHandle> FIcons; // the same as icons, for the buttons and the menus
    TCtrlSpinField FAddress;
    TConfigDialog FConfig;

    int FModelDepth = 0;          // calls into the model in progress
    bool FCloseRequested = false; // closed while a call ran: destroyed once it has returned

    std::unique_ptr<TSettingsStore> FOwnStore;
    std::unique_ptr<TModelTimers> FOwnTimers;
    std::unique_ptr<TMainModel> FModel;
};
