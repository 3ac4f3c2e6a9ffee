#include "DialogAnswerer.h"

#include "winui/WinText.h"

namespace {

// The one answerer of the thread whose timer is running.
TDialogAnswerer* Current = nullptr;

HWND VisibleDialogOfThread() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

TDialogAnswerer::TDialogAnswerer(std::function<void(HWND dialog)> answer)
    : FAnswer(std::move(answer)) {
    Current = this;
    FTimer = SetTimer(nullptr, 0, 30, &TDialogAnswerer::Tick);
}

TDialogAnswerer::~TDialogAnswerer() {
    KillTimer(nullptr, FTimer);
    Current = nullptr;
}

void TDialogAnswerer::Press(HWND dialog, int button) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

void CALLBACK TDialogAnswerer::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (Current != nullptr)
        Current->Look();
}

void TDialogAnswerer::Look() {
    if (FAnswered) {
        // Left open by the answer: cancelled, so that the test goes on and fails.
        if (IsWindow(FDialog) && GetTickCount() - FAnsweredAt > 3000)
            EndDialog(FDialog, IDCANCEL);
        return;
    }
    const HWND dialog = VisibleDialogOfThread();
    if (dialog == nullptr)
        return;
    FDialog = dialog;
    FAnswered = true;
    FAnsweredAt = GetTickCount();
    FCaption = WindowTextOf(dialog);
    if (const HWND text = GetDlgItem(dialog, 0xFFFF)) // a message box's text
        FText = WindowTextOf(text);
    FAnswer(dialog);
}
