#include "winui/ConfigDialog.h"

#include "app/ConfigFields.h"
#include "winui/ResourceIds.h"
#include "winui/WinText.h"

#include <commctrl.h>

#include <exception>
#include <string>

namespace {

int Selected(HWND list) {
    return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
}

} // namespace

std::optional<TSettings> TConfigDialog::Execute(HINSTANCE instance, HWND owner,
                                                const TSettings& current) {
    FInstance = instance;
    FCurrent = current;
    FResult.reset();
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONFIG), owner, &TConfigDialog::DialogProc,
                    reinterpret_cast<LPARAM>(this));
    FDialog = nullptr;
    FPage = nullptr;
    return FResult;
}

void TConfigDialog::InitDialog(HWND dialog) {
    FDialog = dialog;
    const HWND tabs = GetDlgItem(dialog, IDC_PGCCONFIG);
    wchar_t caption[64] = {};
    LoadStringW(FInstance, IDS_TSHCOMMUNICATION, caption, 64);
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = caption;
    SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));

    // The page lies on the page control's display area and follows it in the keyboard order.
    FPage = CreateDialogParamW(FInstance, MAKEINTRESOURCEW(IDD_CONFIG_COMMUNICATION), dialog,
                               &TConfigDialog::PageProc, reinterpret_cast<LPARAM>(this));
    SetWindowLongPtrW(FPage, GWLP_ID, IDC_TSHCOMMUNICATION);
    RECT area{};
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    SetWindowPos(FPage, tabs, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_SHOWWINDOW);

    for (std::string_view port : ConfigPortEntries)
        SendMessageW(Field(IDC_EDCOMPORT), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(port).c_str()));
    for (std::string_view baud : ConfigBaudEntries)
        SendMessageW(Field(IDC_EDBAUDRATE), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(baud).c_str()));
    FTimeout.Attach(Field(IDC_EDTIMEOUT), Field(IDC_EDTIMEOUT_SPIN), ConfigTimeoutMin,
                    ConfigTimeoutMax, ConfigTimeoutLargeStep);
    // The up-down sits at the right end of the field, inside the field's rectangle.
    SendMessageW(Field(IDC_EDTIMEOUT_SPIN), UDM_SETBUDDY,
                 reinterpret_cast<WPARAM>(Field(IDC_EDTIMEOUT)), 0);
    ShowSettings(FCurrent);
    SendMessageW(tabs, TCM_SETCURSEL, 0, 0);
    SetFocus(Field(IDC_EDCOMPORT));
}

void TConfigDialog::ShowSettings(const TSettings& settings) {
    SendMessageW(Field(IDC_EDCOMPORT), CB_SETCURSEL,
                 static_cast<WPARAM>(ConfigPortIndex(settings.ComPort)), 0);
    SendMessageW(Field(IDC_EDBAUDRATE), CB_SETCURSEL,
                 static_cast<WPARAM>(ConfigBaudIndex(settings.BaudRate)), 0);
    // Kept as it is, even outside the field's bounds, until the user changes it.
    FTimeout.SetValueAsIs(settings.Timeout);
}

void TConfigDialog::btnDefaultClick() {
    // Only the page the defaults belong to; the dialog has no other.
    if (SendMessageW(GetDlgItem(FDialog, IDC_PGCCONFIG), TCM_GETCURSEL, 0, 0) != 0)
        return;
    ShowSettings(TSettings{});
}

void TConfigDialog::btnOKClick() {
    // OK may come while the timeout field holds a typed entry (Enter, the default button).
    if (!FTimeout.TakeOverEntry()) {
        SetFocus(FTimeout.Edit());
        SendMessageW(FTimeout.Edit(), EM_SETSEL, 0, -1);
        return;
    }
    const HWND baud = Field(IDC_EDBAUDRATE);
    const int baudIndex = Selected(baud);
    std::wstring baudText;
    if (baudIndex >= 0) {
        baudText.resize(
            static_cast<std::size_t>(SendMessageW(baud, CB_GETLBTEXTLEN, baudIndex, 0)) + 1);
        SendMessageW(baud, CB_GETLBTEXT, baudIndex, reinterpret_cast<LPARAM>(baudText.data()));
        baudText.resize(wcslen(baudText.c_str()));
    }
    FResult = ConfigSettingsFromFields(Selected(Field(IDC_EDCOMPORT)), Narrow(baudText),
                                       FTimeout.Value());
    EndDialog(FDialog, IDOK);
}

INT_PTR CALLBACK TConfigDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<TConfigDialog*>(lParam)->InitDialog(dialog);
        return FALSE; // the focus is set
    }
    auto* self = reinterpret_cast<TConfigDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr || message != WM_COMMAND)
        return FALSE;
    try {
        switch (LOWORD(wParam)) {
        case IDOK:
            self->btnOKClick();
            return TRUE;
        case IDCANCEL: // Cancel, Escape, the close box and the system menu
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_BTNDEFAULT:
            self->btnDefaultClick();
            return TRUE;
        default:
            return FALSE;
        }
    } catch (const std::exception&) {
        EndDialog(dialog, IDCANCEL); // nothing may cross the dialog manager
        return TRUE;
    }
}

INT_PTR CALLBACK TConfigDialog::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(page, DWLP_USER, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<TConfigDialog*>(GetWindowLongPtrW(page, DWLP_USER));
    if (self == nullptr)
        return FALSE;
    if (message == WM_COMMAND && self->FTimeout.OnCommand(wParam, lParam))
        return TRUE;
    if (message == WM_NOTIFY) {
        LRESULT result = 0;
        if (self->FTimeout.OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
    return FALSE;
}
