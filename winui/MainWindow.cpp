#include "winui/MainWindow.h"

#include "app/uGlobals.h"
#include "winui/ActionFaces.h"
#include "winui/MessageBoxes.h"
#include "winui/ResourceIds.h"
#include "winui/WinModelTimers.h"

#include <exception>
#include <stdexcept>

namespace {

constexpr const wchar_t* ClassName = L"TfmMain";
constexpr const wchar_t* Caption = L"Kestro4 Setup Clock";
constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

void RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = DefWindowProcW; // replaced per window once its object is known
    type.hInstance = instance;
    type.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    type.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    type.lpszClassName = ClassName;
    RegisterClassExW(&type); // a second window of the process finds it registered
}

} // namespace

TMainWindow::TMainWindow(HINSTANCE instance, TMainWindowHooks hooks)
    : FInstance(instance), FHooks(std::move(hooks)) {
    if (FHooks.Store == nullptr) {
        FOwnStore = std::make_unique<TSettingsFile>(ConfigFileName());
        FHooks.Store = FOwnStore.get();
    }
    if (FHooks.Timers == nullptr) {
        FOwnTimers = std::make_unique<TWinModelTimers>();
        FHooks.Timers = FOwnTimers.get();
    }
    RegisterWindowClass(instance);
    FAccelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    FWindow = CreateWindowExW(WS_EX_CONTROLPARENT, ClassName, Caption, Style, CW_USEDEFAULT,
                              CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, nullptr);
    if (FWindow == nullptr)
        throw std::runtime_error("Cannot create the main window");
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMainWindow::WindowProc));
    CreateControls();
    FModel = std::make_unique<TMainModel>(static_cast<TMainView&>(*this), *FHooks.Timers,
                                          *FHooks.Store, FHooks.System);
    CallModel([this] { FModel->FormCreate(); });
}

TMainWindow::~TMainWindow() {
    FModel.reset(); // the engine, then the channel, which closes the port
    if (FWindow != nullptr) {
        FHooks.QuitWhenClosed = false;
        DestroyWindow(FWindow);
    }
}

bool TMainWindow::PreTranslate(MSG& message) {
    if (FWindow == nullptr)
        return false;
    if (message.hwnd != FWindow && !IsChild(FWindow, message.hwnd))
        return false;
    if (FAccelerators != nullptr && TranslateAcceleratorW(FWindow, FAccelerators, &message))
        return true;
    return IsDialogMessageW(FWindow, &message) != FALSE;
}

void TMainWindow::CallModel(const std::function<void()>& call) {
    if (!FModel)
        return;
    ++FModelDepth;
    try {
        call();
    } catch (const std::exception& error) {
        // The model reports its own failures; this is the view failing while it reported.
        if (FWindow != nullptr)
            ShowMessageBox(FWindow, error.what());
    } catch (...) {
    }
    --FModelDepth;
    if (FModelDepth == 0 && FCloseRequested && FWindow != nullptr) {
        FCloseRequested = false;
        DestroyWindow(FWindow);
    }
}

LRESULT CALLBACK TMainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    // Nothing may leave through the system's dispatching of a message.
    try {
        return self->OnMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        ShowMessageBox(window, error.what());
    } catch (...) {
    }
    return 0;
}

LRESULT TMainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result))
            return result;
        break;
    }
    case WM_SIZE:
        // The toolbar spans the window's width.
        if (FToolbar != nullptr)
            SendMessageW(FToolbar, TB_AUTOSIZE, 0, 0);
        break;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_DRAWITEM:
        if (DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_MEASUREITEM:
        if (MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_DPICHANGED: {
        ApplyDpi(HIWORD(wParam));
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(FWindow, nullptr, suggested.left, suggested.top,
                     suggested.right - suggested.left, suggested.bottom - suggested.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        LayOut();
        return 0;
    }
    case WM_ACTIVATE:
        // As a dialog does: the focus comes back to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            FFocus = GetFocus();
        } else if (FFocus != nullptr && IsChild(FWindow, FFocus)) {
            SetFocus(FFocus);
            return 0;
        }
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        FModel.reset();
        FWindow = nullptr;
        if (FHooks.QuitWhenClosed)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(FWindow, message, wParam, lParam);
}

void TMainWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (FAddress.OnCommand(wParam, lParam))
        return;
    const int command = LOWORD(wParam);
    const HWND control = reinterpret_cast<HWND>(lParam);
    // A button of a panel or a check box reports its click; the toolbar, the menu and the
    // keys report their command.
    if (control != nullptr && control != FToolbar && HIWORD(wParam) != BN_CLICKED)
        return;
    switch (command) {
    case IDC_CHBALLMETERS:
        CallModel([this] { FModel->AllMetersClicked(OptoheadTicked()); });
        return;
    case IDM_CANCEL:
    case IDCANCEL:
        CallModel([this] { FModel->Cancel(); });
        return;
    case IDOK: // Enter: a typed address is taken over
        if (GetFocus() == FAddress.Edit())
            FAddress.TakeOverEntry();
        return;
    case IDM_EXIT:
        // Enabled by the model only while nothing runs.
        if (IsWindowEnabled(FWindow) &&
            !(GetMenuState(GetMenu(FWindow), IDM_EXIT, MF_BYCOMMAND) & MF_GRAYED))
            PostMessageW(FWindow, WM_CLOSE, 0, 0);
        return;
    default:
        break;
    }
    if (const TActionFace* face = FaceOfCommand(command))
        CallModel([this, face] { FModel->Execute(face->Action); });
}

bool TMainWindow::OnNotify(const NMHDR& header, LRESULT& result) {
    return FAddress.OnNotify(header, result);
}

void TMainWindow::OnClose() {
    // Closed while an operation runs (its messages are processed while it waits): the window
    // goes once the operation has returned, never from under it.
    if (FModelDepth > 0) {
        FCloseRequested = true;
        return;
    }
    DestroyWindow(FWindow);
}
