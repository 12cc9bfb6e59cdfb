#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace quorvanel {

// Thrown by a Send* call when the window's program does not answer in time (it is hung, or busy):
// the conversation is left alone for the tick and tried again at a later one.
class WindowNotAnswering : public std::runtime_error {
public:
    WindowNotAnswering() : std::runtime_error("the window does not answer") {}
};

// A window handle as the program keeps it: 32 bits, signed; 0 means none. 64-bit Windows keeps
// window handles within 32 bits, so nothing is lost.
using WindowHandle = std::int32_t;

// The window manager as the relay engine sees it. The Win32 implementation makes the user32
// ANSI calls one to one, every message sent with a time limit; tests use an in-memory desktop.
// Texts are wide inside the program and cross this boundary in the ANSI code page.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // EnumWindows: visits every top-level window in enumeration order until visit returns false.
    virtual void EnumerateWindows(const std::function<bool(WindowHandle)>& visit) = 0;
    // GetClassNameA into a zeroed buffer of bufferChars characters; returns the whole buffer.
    virtual std::wstring ReadClassName(WindowHandle window, int bufferChars) = 0;
    // GetWindowTextA into a zeroed buffer of bufferChars characters; returns the whole buffer.
    virtual std::wstring ReadWindowTitle(WindowHandle window, int bufferChars) = 0;
    // FindWindowExA(parent, after, className, no title).
    virtual WindowHandle FindChild(WindowHandle parent, WindowHandle after,
                                   const std::wstring& className) = 0;
    // WM_GETTEXTLENGTH, wParam 0.
    virtual std::int64_t SendGetTextLength(WindowHandle window) = 0;
    // WM_GETTEXTLENGTH sent as a Unicode message: the length in UTF-16 units, which a rich edit
    // knows without converting its whole text to the ANSI code page as the ANSI form makes it do.
    virtual std::int64_t SendGetTextLengthW(WindowHandle window) = 0;
    // WM_GETTEXT with wParam bufferChars into a zeroed buffer of that size; returns the buffer.
    virtual std::wstring SendGetText(WindowHandle window, std::size_t bufferChars) = 0;
    // WM_SETTEXT, wParam 0.
    virtual void SendSetText(WindowHandle window, const std::wstring& text) = 0;
    // A key message (WM_KEYDOWN or WM_KEYUP) with the virtual key as wParam and lParam 0.
    virtual void SendKeyMessage(WindowHandle window, unsigned message, unsigned virtualKey) = 0;
};

}  // namespace quorvanel
