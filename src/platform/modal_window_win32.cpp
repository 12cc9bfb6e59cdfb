#include "platform/modal_window_win32.h"

#include "platform/system_win32.h"

namespace quorvanel {

TwipsScale::TwipsScale() {
    HDC screen = GetDC(nullptr);
    if (screen != nullptr) {
        dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
}

void CentreOnScreen(HWND window) {
    RECT outer{};
    GetWindowRect(window, &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

ModalWindow::~ModalWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool ModalWindow::RegisterModalClass(HINSTANCE instance, const char* className, HICON icon) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = icon;
    wc.lpszClassName = className;
    return sys::RegisterClassOnce(wc);
}

bool ModalWindow::CreateFixedWindow(HWND owner, const char* className, const char* caption,
                                    DWORD style, DWORD exStyle, int clientWidthTwips,
                                    int clientHeightTwips) {
    RECT frame{0, 0, twips_.X(clientWidthTwips), twips_.Y(clientHeightTwips)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return CreateWindowExA(exStyle, className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                           GetModuleHandleA(nullptr), this) != nullptr;
}

int ModalWindow::ShowModal(HWND owner, MessagePump* pump) {
    result_ = 0;
    ended_ = false;
    if (Create(owner) == nullptr) return 0;
    MessagePump ownPump;
    pump_ = pump != nullptr ? pump : &ownPump;
    owner_ = owner;
    ownerDisabled_ = owner != nullptr && IsWindowEnabled(owner);
    released_ = false;
    if (ownerDisabled_) EnableWindow(owner, FALSE);
    pump_->EnterModal(*this);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);

    MSG message;
    while (hwnd_ != nullptr && !ended_) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: leave the quit for the main loop.
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (pump_->PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    Release();
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    pump_ = nullptr;
    return result_;
}

bool ModalWindow::TranslateDialogMessage(MSG& message) {
    if (hwnd_ == nullptr || ended_) return false;
    return PreTranslate(message) || IsDialogMessageA(hwnd_, &message) != 0;
}

void ModalWindow::EndModal(int result) {
    result_ = result;
    ended_ = true;
    Release();
}

void ModalWindow::KeepFocus(WPARAM activation, HWND first) {
    if (LOWORD(activation) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) focus_ = focus;
    } else {
        SetFocus(focus_ != nullptr && IsWindow(focus_) ? focus_ : first);
    }
}

void ModalWindow::Release() {
    if (released_) return;
    released_ = true;
    pump_->LeaveModal(*this);
    // The owner is enabled again before the window is hidden, so that activation returns to it.
    if (ownerDisabled_) EnableWindow(owner_, TRUE);
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
    if (owner_ != nullptr && IsWindow(owner_)) SetActiveWindow(owner_);
}

bool ModalWindow::PreTranslate(MSG&) { return false; }

LRESULT ModalWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        EndModal(0);
        return 0;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK ModalWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ModalWindow* window = nullptr;
    if (message == WM_NCCREATE) {
        window = static_cast<ModalWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    } else {
        window = reinterpret_cast<ModalWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (window == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        window->hwnd_ = nullptr;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    // No exception may unwind through user32.
    try {
        return window->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace quorvanel
