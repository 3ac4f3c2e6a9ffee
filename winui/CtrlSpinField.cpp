#include "winui/CtrlSpinField.h"

#include "app/FieldValidation.h"
#include "winui/SpinEntry.h"
#include "winui/WinText.h"

namespace {
constexpr UINT_PTR SubclassId = 1;
}

TCtrlSpinField::~TCtrlSpinField() {
    if (FEdit != nullptr)
        RemoveWindowSubclass(FEdit, &TCtrlSpinField::EditProc, SubclassId);
}

void TCtrlSpinField::Attach(HWND edit, HWND upDown, int lower, int upper, int largeStep) {
    FEdit = edit;
    FUpDown = upDown;
    FLower = lower;
    FUpper = upper;
    FLargeStep = largeStep;
    // The up-down only reports its arrows (UDN_DELTAPOS); the field does the stepping itself.
    SendMessageW(FUpDown, UDM_SETRANGE32, 0, 100);
    SendMessageW(FUpDown, UDM_SETPOS32, 0, 50);
    SetWindowSubclass(FEdit, &TCtrlSpinField::EditProc, SubclassId,
                      reinterpret_cast<DWORD_PTR>(this));
    Show();
}

void TCtrlSpinField::SetValueAsIs(int value) {
    FValue = value;
    FEdited = false;
    Show();
}

void TCtrlSpinField::Show() {
    FShowing = true;
    SetWindowTextW(FEdit, std::to_wstring(FValue).c_str());
    FShowing = false;
}

bool TCtrlSpinField::TakeOverEntry() {
    if (!FEdited)
        return true;
    const std::optional<int> number = ReadWholeNumber(Narrow(WindowTextOf(FEdit)), FLower, FUpper);
    if (!number)
        return false;
    FValue = *number;
    FEdited = false;
    Show();
    return true;
}

void TCtrlSpinField::ValidateEdit() {
    if (TakeOverEntry())
        return;
    const std::string entry = Narrow(WindowTextOf(FEdit));
    SetFocus(FEdit);
    SendMessageW(FEdit, EM_SETSEL, 0, -1);
    throw EFieldValidation("'" + entry + "' is not a valid integer value");
}

void TCtrlSpinField::Step(int steps) {
    if (!TakeOverEntry())
        FEdited = false; // an entry that is no number gives way to the value it replaced
    FValue = StepWithin(FValue, steps, FLower, FUpper);
    Show();
    SendMessageW(FEdit, EM_SETSEL, 0, -1);
}

bool TCtrlSpinField::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(lParam) != FEdit || FEdit == nullptr)
        return false;
    switch (HIWORD(wParam)) {
    case EN_CHANGE:
        if (!FShowing)
            FEdited = true;
        break;
    case EN_KILLFOCUS:
        if (!TakeOverEntry()) {
            FEdited = false;
            Show();
        }
        break;
    default:
        break;
    }
    return true;
}

bool TCtrlSpinField::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.hwndFrom != FUpDown || FUpDown == nullptr || header.code != UDN_DELTAPOS)
        return false;
    const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
    Step(change.iDelta > 0 ? 1 : -1);
    result = TRUE; // the up-down keeps its own position
    return true;
}

LRESULT CALLBACK TCtrlSpinField::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) {
    auto& field = *reinterpret_cast<TCtrlSpinField*>(self);
    if (message == WM_NCDESTROY) {
        // The field outlives its controls (a dialog's are destroyed when it closes).
        RemoveWindowSubclass(window, &TCtrlSpinField::EditProc, SubclassId);
        field.FEdit = nullptr;
        field.FUpDown = nullptr;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    if (message == WM_KEYDOWN) {
        int steps = 0;
        switch (wParam) {
        case VK_UP:
            steps = 1;
            break;
        case VK_DOWN:
            steps = -1;
            break;
        case VK_PRIOR:
            steps = field.FLargeStep;
            break;
        case VK_NEXT:
            steps = -field.FLargeStep;
            break;
        case VK_RETURN:
            field.TakeOverEntry();
            break;
        default:
            break;
        }
        if (steps != 0) {
            if (GetKeyState(VK_CONTROL) < 0)
                field.Step(steps);
            return 0; // without Ctrl the keys leave the value alone
        }
    }
    if (message == WM_GETDLGCODE && lParam != 0) {
        // The arrows and page keys are the field's own, also inside a dialog.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key->message == WM_KEYDOWN && (key->wParam == VK_PRIOR || key->wParam == VK_NEXT))
            return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTMESSAGE;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
