#pragma once

#include <windows.h>

#include "platform/message_pump_win32.h"

namespace quorvanel {

// Screen units: positions and sizes of windows and controls are kept in twips (1/1440 inch)
// and converted with the screen's dots per inch.
class TwipsScale {
public:
    TwipsScale();
    int X(int twips) const { return MulDiv(twips, dpiX_, 1440); }
    int Y(int twips) const { return MulDiv(twips, dpiY_, 1440); }

private:
    int dpiX_ = 96;
    int dpiY_ = 96;
};

// Moves a window so that its outer rectangle is centred on the screen; its size is kept.
void CentreOnScreen(HWND window);

// A secondary window shown modally, owned by the main window. ShowModal disables the owner and
// runs a message loop of its own until the window is closed; every message is dispatched, so
// the owner's timers go on ticking. Each opening builds the window afresh.
//
// A loop nested deeper (another modal window's, a message box's) may have control when the window is closed: the
// window is then hidden and its owner enabled at once, and ShowModal returns once its own loop
// runs again.
//
// A subclass registers its window class with RegisterModalClass, creates its window (passing
// `this` as the creation parameter) in Create, and handles messages in HandleMessage.
class ModalWindow {
public:
    ModalWindow() = default;
    ModalWindow(const ModalWindow&) = delete;
    ModalWindow& operator=(const ModalWindow&) = delete;
    virtual ~ModalWindow();

    // Returns the result given to EndModal (0 when the window was closed otherwise, or could not
    // be created). Every loop that `pump` serves gives this window its keys while it is open;
    // without a pump the window's own loop alone does.
    int ShowModal(HWND owner, MessagePump* pump = nullptr);
    HWND Handle() const { return hwnd_; }
    // The window's own keys, then the dialog keys; true when the message was handled.
    bool TranslateDialogMessage(MSG& message);

protected:
    static bool RegisterModalClass(HINSTANCE instance, const char* className, HICON icon = nullptr);
    // Creates the window, owned by owner, with `this` as lpParam of CreateWindowEx.
    virtual HWND Create(HWND owner) = 0;
    // Creates this window, fixed in size, whose client area is the given twips; true on success.
    bool CreateFixedWindow(HWND owner, const char* className, const char* caption, DWORD style,
                           DWORD exStyle, int clientWidthTwips, int clientHeightTwips);
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Sees each message of the modal loop before keyboard navigation does; true eats it.
    virtual bool PreTranslate(MSG& message);
    void EndModal(int result);
    // Not a dialog: the focus is given to a control by hand. At WM_ACTIVATE, keeps the control
    // that has the focus as the window goes inactive, and gives it back (or `first`, at the first
    // activation) as it comes back.
    void KeepFocus(WPARAM activation, HWND first);

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    TwipsScale twips_;
    HWND focus_ = nullptr;  // the control that had the focus when the window was last deactivated

private:
    void Release();

    int result_ = 0;
    bool ended_ = false;
    bool released_ = true;
    HWND owner_ = nullptr;
    bool ownerDisabled_ = false;
    MessagePump* pump_ = nullptr;
};

}  // namespace quorvanel
