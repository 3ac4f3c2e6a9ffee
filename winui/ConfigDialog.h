#pragma once

#include "app/Settings.h"
#include "winui/CtrlSpinField.h"

#include <windows.h>

#include <optional>

// The Config dialog: COM port, line speed and reply timeout on the page " Communication " of
// its page control, with Defaults, OK and Cancel. Execute fills the fields from the settings,
// shows the dialog modally and returns the fields' settings, with the dialog's limits, only
// when it was closed with OK (Enter in a field included); Cancel, Escape and the close box
// return none. Saving and applying are the caller's business.
class TConfigDialog {
public:
    TConfigDialog() = default;
    TConfigDialog(const TConfigDialog&) = delete;
    TConfigDialog& operator=(const TConfigDialog&) = delete;

    std::optional<TSettings> Execute(HINSTANCE instance, HWND owner, const TSettings& current);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    void InitDialog(HWND dialog);
    void btnDefaultClick();
    void btnOKClick();
    void ShowSettings(const TSettings& settings);
    HWND Field(int id) const { return GetDlgItem(FPage, id); }

    HINSTANCE FInstance = nullptr;
    HWND FDialog = nullptr;
    HWND FPage = nullptr;
    TSettings FCurrent;
    std::optional<TSettings> FResult;
    TCtrlSpinField FTimeout;
};
