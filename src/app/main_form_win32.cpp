#include "app/main_form_win32.h"

#include <commctrl.h>

#include "app/main_form_ids.h"

namespace quorvanel {
namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 1000;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Client area as designed, in twips, with the news panel (960 twips) collapsed.
constexpr int kClientWidthTwips = 3510;
constexpr int kClientHeightTwips = 3150 - 960;

struct ControlPlacement {
    int left, top, width, height;
};
constexpr ControlPlacement kChkEnableDefault{120, 1830, 3420, 255};
constexpr ControlPlacement kLstConversations{120, 510, 3300, 1185};
constexpr ControlPlacement kTxtNumChatWindows{120, 165, 4395, 225};

}  // namespace

MainForm::~MainForm() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool MainForm::RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainFormClassName;
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool MainForm::Create(HINSTANCE instance, int showCommand) {
    HDC screen = GetDC(nullptr);
    if (screen != nullptr) {
        dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    RECT frame{0, 0, Twips(kClientWidthTwips, true), Twips(kClientHeightTwips, false)};
    AdjustWindowRect(&frame, kStyle, FALSE);
    if (CreateWindowExA(0, kMainFormClassName, kMainFormCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                        instance, this) == nullptr) {
        return false;
    }
    Form_Load();
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    return true;
}

LRESULT CALLBACK MainForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MainForm* form = nullptr;
    if (message == WM_NCCREATE) {
        form = static_cast<MainForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    } else {
        form = reinterpret_cast<MainForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (form == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    // No exception may unwind through user32; a failed handler leaves the message unhandled.
    try {
        return form->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            dialogs_.SetOwner(hwnd_);
            waiter_.SetDialogWindow(hwnd_);
            CreateControls();
            // Timer1 runs from the moment the window exists, through the load step.
            SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1) {
                Timer1_Timer();
                return 0;
            }
            break;
        case WM_DESTROY:
            // The engine stays alive until the form is destroyed: a tick may still be unwinding
            // from a bot request's wait, during which this message was dispatched.
            KillTimer(hwnd_, kTimer1);
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

int MainForm::Twips(int twips, bool horizontal) const {
    return MulDiv(twips, horizontal ? dpiX_ : dpiY_, 1440);
}

void MainForm::CreateControls() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd_, GWLP_HINSTANCE));
    const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto make = [&](DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                    const ControlPlacement& at, int id) {
        HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style,
                                       Twips(at.left, true), Twips(at.top, false),
                                       Twips(at.width, true), Twips(at.height, false), hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                       nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };

    // Created in tab order: the list, then the check box; the label takes no focus.
    txtNumChatWindows_ = make(0, L"STATIC", L"Initialising...", SS_LEFT | SS_NOPREFIX,
                              kTxtNumChatWindows, kIdNumChatWindows);
    lstConversations_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                             WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                                 LVS_SHOWSELALWAYS,
                             kLstConversations, kIdConversations);
    chkEnableDefault_ = make(0, L"BUTTON", L"Enable on newly opened windows",
                             WS_TABSTOP | BS_AUTOCHECKBOX, kChkEnableDefault, kIdEnableDefault);

    SendMessageW(lstConversations_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(lstConversations_, &client);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(lstConversations_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    list_ = std::make_unique<ConversationListControls>(lstConversations_, chkEnableDefault_,
                                                       txtNumChatWindows_);
    relay_ = std::make_unique<RelayEngine>(windows_, *list_, Conversations_, &replies_);
}

void MainForm::Form_Load() {
    // Centre on the screen, keeping the size.
    RECT window{};
    GetWindowRect(hwnd_, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    Conversations_ = NewConversationTable();

    // Waits for the bot's talk page while the window handles its messages: Timer1 may tick
    // already, with an empty token until this returns.
    ConversationToken_ = StartConversation(transport_, settings_);
}

void MainForm::Timer1_Timer() {
    if (relay_) relay_->Timer1_Timer();
}

}  // namespace quorvanel
