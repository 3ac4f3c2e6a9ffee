// The main window as the window model's view: what the model tells it to show, and the fields
// it reads for the model.
#include "winui/ActionFaces.h"
#include "winui/DateTimeFields.h"
#include "winui/MainWindow.h"
#include "winui/MessageBoxes.h"
#include "winui/ResourceIds.h"
#include "winui/WinText.h"

#include <commctrl.h>

void TMainWindow::ShowStatus(const std::string& line, const std::string& cause) {
    const HWND status = Control(IDC_LBLSTATUS);
    SetWindowTextW(status, Wide(line).c_str());
    // The tooltip shows the whole line, and under a failure of the port its cause too.
    const std::wstring tip = Wide(cause.empty() ? line : line + "\n" + cause);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = FWindow;
    tool.uId = reinterpret_cast<UINT_PTR>(status);
    tool.lpszText = const_cast<wchar_t*>(tip.c_str());
    SendMessageW(FTooltips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    // Painted now: the model may block in an exchange next.
    UpdateWindow(status);
}

void TMainWindow::ShowDot(TWarnDot dot, bool visible) {
    const int id = dot == TWarnDot::KestroId ? IDC_SHWARNKESTROID : IDC_SHWARNDATETIME;
    ShowWindow(Control(id), visible ? SW_SHOWNA : SW_HIDE);
}

void TMainWindow::EnableAction(TMainAction action, bool enabled) {
    const int command = FaceOf(action).Command;
    EnableMenuItem(GetMenu(FWindow), static_cast<UINT>(command),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    SendMessageW(FToolbar, TB_ENABLEBUTTON, static_cast<WPARAM>(command), enabled ? TRUE : FALSE);
    if (const HWND button = Control(command))
        EnableWindow(button, enabled ? TRUE : FALSE);
}

void TMainWindow::EnableAddress(bool enabled) {
    EnableWindow(FAddress.Edit(), enabled ? TRUE : FALSE);
    EnableWindow(FAddress.UpDown(), enabled ? TRUE : FALSE);
}

bool TMainWindow::OptoheadTicked() {
    return SendMessageW(Control(IDC_CHBALLMETERS), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int TMainWindow::TakeAddress() {
    FAddress.ValidateEdit();
    return FAddress.Value();
}

TDateTime TMainWindow::TakeTime() {
    return PickerTime(Control(IDC_EDTIME));
}

TDateTime TMainWindow::TakeDate() {
    return PickerDate(Control(IDC_EDDATE));
}

void TMainWindow::ShowTime(TDateTime time) {
    ShowPickerTime(Control(IDC_EDTIME), time);
}

void TMainWindow::ShowDate(TDateTime date) {
    ShowPickerDate(Control(IDC_EDDATE), date);
}

void TMainWindow::ShowClockOffset(const std::string& text) {
    SetWindowTextW(Control(IDC_LBLCLOCKOFFSET), Wide(text).c_str());
}

void TMainWindow::ShowMessage(const std::string& text) {
    ShowMessageBox(FWindow, text);
}

bool TMainWindow::Ask(const std::string& question) {
    return AskYesNo(FWindow, question);
}

std::optional<TSettings> TMainWindow::RunConfig(const TSettings& current) {
    if (FHooks.RunConfig)
        return FHooks.RunConfig(FWindow, current);
    return FConfig.Execute(FInstance, FWindow, current);
}

void TMainWindow::ProcessPendingEvents() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The loop that runs the program ends once the operation has returned.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}
