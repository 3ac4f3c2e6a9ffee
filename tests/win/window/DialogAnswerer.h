#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Answers the next modal dialog of the thread (a message box, the Config dialog) from inside its
// modal loop: a timer of the thread looks for a visible dialog and, once there, notes its
// caption and text and runs the answer. A dialog the answer leaves open is cancelled after a
// few seconds, so that a test can never hang in a modal loop.
class TDialogAnswerer {
public:
    explicit TDialogAnswerer(std::function<void(HWND dialog)> answer);
    ~TDialogAnswerer();
    TDialogAnswerer(const TDialogAnswerer&) = delete;
    TDialogAnswerer& operator=(const TDialogAnswerer&) = delete;

    bool Answered() const { return FAnswered; }
    const std::wstring& Caption() const { return FCaption; }
    const std::wstring& Text() const { return FText; } // a message box's text

    // Presses a dialog's button by its identifier (IDOK, IDCANCEL, IDYES, ...).
    static void Press(HWND dialog, int button);

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
    void Look();

    std::function<void(HWND)> FAnswer;
    UINT_PTR FTimer = 0;
    HWND FDialog = nullptr;
    DWORD FAnsweredAt = 0;
    bool FAnswered = false;
    std::wstring FCaption;
    std::wstring FText;
};
