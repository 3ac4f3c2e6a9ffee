#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

// A whole-number field: an edit control with an up-down control beside it. The up-down's
// arrows step by 1; from the keyboard the field steps only while Ctrl is held: Ctrl+Up and
// Ctrl+Down by 1, Ctrl+Page Up and Ctrl+Page Down by the large step; without Ctrl these keys
// leave the value alone. A typed entry is taken over when the field is left, when Enter is
// pressed and before a step: a number beyond the bounds becomes the nearest bound, an empty one
// 0. A value put in with SetValueAsIs may lie outside the bounds: it is shown and kept until
// the user steps or edits.
//
// The parent forwards the edit's and the up-down's notifications (OnCommand, OnNotify).
class TCtrlSpinField {
public:
    TCtrlSpinField() = default;
    ~TCtrlSpinField();
    TCtrlSpinField(const TCtrlSpinField&) = delete;
    TCtrlSpinField& operator=(const TCtrlSpinField&) = delete;

    void Attach(HWND edit, HWND upDown, int lower, int upper, int largeStep);
    HWND Edit() const { return FEdit; }
    HWND UpDown() const { return FUpDown; }

    int Value() const { return FValue; }
    void SetValueAsIs(int value);

    // Takes a pending typed entry into the value; false (nothing changed) when the entry is not
    // a whole number.
    bool TakeOverEntry();
    // The same, but an entry that is not a whole number puts the focus on the field and raises
    // EFieldValidation with the field's message.
    void ValidateEdit();

    // The parent's WM_COMMAND and WM_NOTIFY; true when they were the field's.
    bool OnCommand(WPARAM wParam, LPARAM lParam);
    bool OnNotify(const NMHDR& header, LRESULT& result);

private:
    static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    void Step(int steps);
    void Show();

    HWND FEdit = nullptr;
    HWND FUpDown = nullptr;
    int FLower = 0;
    int FUpper = 0;
    int FLargeStep = 1;
    int FValue = 0;
    bool FEdited = false;  // the user typed since the last take-over
    bool FShowing = false; // the field itself sets the edit's text
};
