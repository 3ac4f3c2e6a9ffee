// The main window's controls: creation in keyboard order, fonts and pictures at the monitor's
// DPI, the layout, and what the window paints itself (panels, headers, warning dots, the
// menus' pictures).
#include "winui/ActionFaces.h"
#include "winui/DateTimeFields.h"
#include "winui/Dpi.h"
#include "winui/MainLayout.h"
#include "winui/MainWindow.h"
#include "winui/ResourceIds.h"
#include "winui/WinText.h"

#include <commctrl.h>

namespace {

struct TChild {
    int Id;
    const wchar_t* Class;
    const wchar_t* Text;
    DWORD Style;
    DWORD ExStyle;
};

// In keyboard order: the address panel, then the clock panel; a label before its field, so
// that its Alt mnemonic reaches the field.
constexpr DWORD Button = BS_PUSHBUTTON | BS_ICON | WS_TABSTOP | WS_VISIBLE;
constexpr DWORD Label = SS_RIGHT | SS_CENTERIMAGE | WS_VISIBLE;
constexpr DWORD Header = SS_OWNERDRAW | SS_NOPREFIX | WS_CLIPSIBLINGS | WS_VISIBLE;
constexpr TChild Children[] = {
    {IDC_PNKESTROIDHEADER, L"STATIC", L"Work with", Header, 0},
    {IDC_SHWARNKESTROID, L"STATIC", L"Work with warning", SS_OWNERDRAW, 0},
    {IDC_LBLKESTROID, L"STATIC", L"&Net address (00-99):", Label, 0},
    {IDC_SEDKESTROID, L"EDIT", L"99", ES_AUTOHSCROLL | WS_TABSTOP | WS_VISIBLE, WS_EX_CLIENTEDGE},
    {IDC_SEDKESTROID_SPIN, UPDOWN_CLASSW, L"", UDS_NOTHOUSANDS | WS_VISIBLE, 0},
    {IDM_SENDECHO, L"BUTTON", L"Send Echo", Button, 0},
    {IDC_CHBALLMETERS, L"BUTTON", L"&All meters (optohead)",
     BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE, 0},
    {IDC_PNDATETIMEHEADER, L"STATIC", L"Clock/Calendar", Header, 0},
    {IDM_GETDATETIME, L"BUTTON", L"Read date time", Button, 0},
    {IDM_SETDATETIME, L"BUTTON", L"Write date/time", Button, 0},
    {IDC_SHWARNDATETIME, L"STATIC", L"Clock/Calendar warning", SS_OWNERDRAW, 0},
    {IDC_LBLTIME, L"STATIC", L"&Time:", Label, 0},
    {IDC_EDTIME, DATETIMEPICK_CLASSW, L"", DTS_TIMEFORMAT | DTS_UPDOWN | WS_TABSTOP | WS_VISIBLE,
     0},
    {IDM_SETCURRDATETIME, L"BUTTON", L"Write current date/time", Button, 0},
    {IDC_LBLDATE, L"STATIC", L"&Date:", Label, 0},
    {IDC_EDDATE, DATETIMEPICK_CLASSW, L"", DTS_SHORTDATEFORMAT | WS_TABSTOP | WS_VISIBLE, 0},
    {IDC_LBLCLOCKOFFSET, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | WS_VISIBLE, 0},
    {IDC_LBLSTATUS, L"STATIC", L"Status:",
     SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_EDITCONTROL | WS_VISIBLE, 0},
};

// The toolbar's buttons in order; 0 is a separator.
constexpr int ToolbarCommands[] = {IDM_CONFIG,   0, IDM_CLEANUPMARKS,    0,
                                   IDM_SENDECHO, 0, IDM_SETCURRDATETIME, IDM_SYNCCLOCK};

constexpr COLORREF HeaderFace = RGB(0x80, 0x80, 0x80);
constexpr COLORREF DotFace = RGB(0xFF, 0xFF, 0x00);
constexpr COLORREF DotRim = RGB(0x80, 0x80, 0x00);

int ImageIndexOf(int command) {
    int index = 0;
    for (const TActionFace& face : ActionFaces()) {
        if (face.Command == command)
            return index;
        ++index;
    }
    return I_IMAGENONE;
}

TFontHandle CreateFaceFont(UINT dpi, int weight) {
    // Tahoma 8 point, at the monitor's DPI.
    return TFontHandle(CreateFontW(-MulDiv(8, static_cast<int>(dpi), 72), 0, 0, 0, weight, FALSE,
                                   FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                   L"Tahoma"));
}

} // namespace

void TMainWindow::CreateControls() {
    CreateToolbar();
    FTooltips =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, FWindow, nullptr, FInstance, nullptr);
    for (const TChild& child : Children) {
        const HWND control = CreateWindowExW(
            child.ExStyle, child.Class, child.Text, WS_CHILD | child.Style, 0, 0, 0, 0, FWindow,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.Id)), FInstance, nullptr);
        // Headers lie under the buttons on them.
        if (child.Style == Header)
            SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        if (child.Style == Button) // a picture only: its hint is the tooltip
            AddTooltip(control, child.Text);
    }
    AddTooltip(Control(IDC_LBLSTATUS), L"Status:");
    SendMessageW(FTooltips, TTM_SETMAXTIPWIDTH, 0, 600);

    FAddress.Attach(Control(IDC_SEDKESTROID), Control(IDC_SEDKESTROID_SPIN), 0, 99, 10);
    FAddress.SetValueAsIs(99);
    EnableWindow(Control(IDC_SEDKESTROID), FALSE);
    EnableWindow(Control(IDC_SEDKESTROID_SPIN), FALSE);
    SendMessageW(Control(IDC_CHBALLMETERS), BM_SETCHECK, BST_CHECKED, 0);
    SetUpTimePicker(Control(IDC_EDTIME));
    SetUpDatePicker(Control(IDC_EDDATE));
    SetUpMenuPictures();

    ApplyDpi(WindowDpi(FWindow));
    LayOut();
    // Centred on the work area of the monitor the window opens on.
    RECT window{};
    GetWindowRect(FWindow, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(FWindow, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    SetWindowPos(FWindow, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainWindow::CreateToolbar() {
    FToolbar = CreateWindowExW(
        0, TOOLBARCLASSNAMEW, nullptr,
        WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP | CCS_NODIVIDER, 0, 0, 0,
        0, FWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)), FInstance, nullptr);
    SendMessageW(FToolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // Buttons show their picture only; their text is the tooltip.
    SendMessageW(FToolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    for (int command : ToolbarCommands) {
        TBBUTTON button{};
        if (command == 0) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = ImageIndexOf(command);
            button.idCommand = command;
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON;
            button.iString = reinterpret_cast<INT_PTR>(FaceOfCommand(command)->Hint);
        }
        SendMessageW(FToolbar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
    }
}

void TMainWindow::SetUpMenuPictures() {
    const HMENU menu = GetMenu(FWindow);
    for (const TActionFace& face : ActionFaces()) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_BITMAP;
        item.hbmpItem = HBMMENU_CALLBACK; // drawn at the window's DPI (DrawItem)
        SetMenuItemInfoW(menu, static_cast<UINT>(face.Command), FALSE, &item);
    }
}

void TMainWindow::AddTooltip(HWND control, const std::wstring& text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = FWindow;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(FTooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TMainWindow::ApplyDpi(UINT dpi) {
    FDpi = dpi;
    FFont = CreateFaceFont(dpi, FW_NORMAL);
    FBoldFont = CreateFaceFont(dpi, FW_BOLD);
    for (const TChild& child : Children)
        SendMessageW(Control(child.Id), WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), TRUE);
    SendMessageW(Control(IDC_EDDATE), DTM_SETMCFONT, reinterpret_cast<WPARAM>(FFont.get()), TRUE);
    LoadPictures();
}

void TMainWindow::LoadPictures() {
    const int size = Scaled(16, FDpi);
    TImageListHandle images(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK,
                                             static_cast<int>(ActionFaces().size()), 4));
    std::vector<TIconHandle> icons;
    for (const TActionFace& face : ActionFaces()) {
        // The icon files hold pictures from 16 to 48 pixels: the one for this size is taken.
        icons.emplace_back(static_cast<HICON>(
            LoadImageW(FInstance, MAKEINTRESOURCEW(face.Icon), IMAGE_ICON, size, size, 0)));
        ImageList_AddIcon(images.get(), icons.back().get());
        if (const HWND button = Control(face.Command))
            SendMessageW(button, BM_SETIMAGE, IMAGE_ICON,
                         reinterpret_cast<LPARAM>(icons.back().get()));
    }
    SendMessageW(FToolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.get()));
    // The controls hold the new pictures now: the old ones can go.
    FImages = std::move(images);
    FIcons = std::move(icons);
    SendMessageW(FToolbar, TB_AUTOSIZE, 0, 0);
    DrawMenuBar(FWindow);
}

SIZE TMainWindow::ClientSize() const {
    RECT toolbar{};
    GetWindowRect(FToolbar, &toolbar);
    return SIZE{Scaled(MainAreaSize.cx, FDpi),
                (toolbar.bottom - toolbar.top) + Scaled(MainAreaSize.cy, FDpi)};
}

void TMainWindow::LayOut() {
    SendMessageW(FToolbar, TB_AUTOSIZE, 0, 0);
    RECT toolbar{};
    GetWindowRect(FToolbar, &toolbar);
    const int top = toolbar.bottom - toolbar.top;
    for (const TLayoutItem& item : MainControlsLayout()) {
        RECT rect = Scaled(item.Rect, FDpi, top);
        if (item.Id == IDC_SEDKESTROID) {
            const int spin = Scaled(SpinButtonWidth, FDpi);
            MoveWindow(FAddress.UpDown(), rect.right - spin, rect.top, spin, rect.bottom - rect.top,
                       TRUE);
            rect.right -= spin;
        }
        MoveWindow(Control(item.Id), rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, TRUE);
    }
    const LONG_PTR style = GetWindowLongPtrW(FWindow, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrW(FWindow, GWL_EXSTYLE);
    const SIZE window = WindowSizeFor(ClientSize(), static_cast<DWORD>(style),
                                      static_cast<DWORD>(exStyle), true, FDpi);
    SetWindowPos(FWindow, nullptr, 0, 0, window.cx, window.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(FWindow, nullptr, TRUE);
}

void TMainWindow::Paint() {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(FWindow, &paint);
    RECT toolbar{};
    GetWindowRect(FToolbar, &toolbar);
    for (const RECT& panel : MainPanelsLayout()) {
        RECT rect = Scaled(panel, FDpi, toolbar.bottom - toolbar.top);
        DrawEdge(dc, &rect, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
    }
    EndPaint(FWindow, &paint);
}

bool TMainWindow::MeasureItem(MEASUREITEMSTRUCT& item) const {
    if (item.CtlType != ODT_MENU)
        return false;
    item.itemWidth = static_cast<UINT>(Scaled(16, FDpi));
    item.itemHeight = item.itemWidth;
    return true;
}

bool TMainWindow::DrawItem(const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    RECT rect = item.rcItem;
    if (item.CtlType == ODT_MENU) {
        const int size = Scaled(16, FDpi);
        int index = 0;
        for (const TActionFace& face : ActionFaces()) {
            if (static_cast<UINT>(face.Command) == item.itemID) {
                // The toolbar's picture; a disabled item's in grey, as the toolbar shows it.
                IMAGELISTDRAWPARAMS draw{};
                draw.cbSize = sizeof draw;
                draw.himl = FImages.get();
                draw.i = index;
                draw.hdcDst = dc;
                draw.x = rect.left;
                draw.y = rect.top + (rect.bottom - rect.top - size) / 2;
                draw.rgbBk = CLR_NONE;
                draw.rgbFg = CLR_NONE;
                draw.fStyle = ILD_TRANSPARENT;
                if ((item.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0) {
                    draw.fState = ILS_SATURATE;
                    draw.Frame = 255;
                }
                ImageList_DrawIndirect(&draw);
                return true;
            }
            ++index;
        }
        return false;
    }
    switch (item.CtlID) {
    case IDC_PNKESTROIDHEADER:
    case IDC_PNDATETIMEHEADER: {
        SetBkColor(dc, HeaderFace);
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
        const std::wstring text = WindowTextOf(item.hwndItem);
        const HGDIOBJ old = SelectObject(dc, FBoldFont.get());
        SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
        SetBkMode(dc, TRANSPARENT);
        rect.left += Scaled(10, FDpi);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        return true;
    }
    case IDC_SHWARNKESTROID:
    case IDC_SHWARNDATETIME: {
        FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
        const HBRUSH face = CreateSolidBrush(DotFace);
        const HPEN rim = CreatePen(PS_SOLID, 1, DotRim);
        const HGDIOBJ oldBrush = SelectObject(dc, face);
        const HGDIOBJ oldPen = SelectObject(dc, rim);
        Ellipse(dc, rect.left, rect.top, rect.right, rect.bottom);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(face);
        DeleteObject(rim);
        return true;
    }
    default:
        return false;
    }
}
