#include "relay/window_system_win32.h"

#include <windows.h>

#include <exception>
#include <vector>

#include "platform/system_win32.h"
#include "platform/ansi_text_win32.h"

namespace quorvanel {
namespace {

// How long another program's window may take to answer a message, and how long its thread is
// left alone after it did not: about a tick, so it is tried again at the next one.
constexpr UINT kAnswerWithinMs = 400;
constexpr DWORD kSilentForMs = 900;

HWND ToHwnd(WindowHandle handle) { return static_cast<HWND>(LongToHandle(handle)); }
WindowHandle FromHwnd(HWND hwnd) { return static_cast<WindowHandle>(HandleToLong(hwnd)); }

struct Enumeration {
    const std::function<bool(WindowHandle)>& visit;
    std::exception_ptr failure;
};

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM context) {
    auto* enumeration = reinterpret_cast<Enumeration*>(context);
    // No exception may cross user32; it is carried out and rethrown after EnumWindows returns.
    try {
        return enumeration->visit(FromHwnd(hwnd)) ? TRUE : FALSE;
    } catch (...) {
        enumeration->failure = std::current_exception();
        return FALSE;
    }
}

}  // namespace

void User32WindowSystem::EnumerateWindows(const std::function<bool(WindowHandle)>& visit) {
    Enumeration enumeration{visit, nullptr};
    listedClassNames_.clear();
    enumerating_ = true;
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&enumeration));
    enumerating_ = false;
    classNames_.swap(listedClassNames_);
    listedClassNames_.clear();
    if (enumeration.failure) std::rethrow_exception(enumeration.failure);
}

// The class name of another process's window costs a round trip to the window manager (two under
// Wine), for every top-level window at every tick. A window keeps its class for life, and a handle
// comes back for a new window only after its slot was reused thousands of times (handles carry a
// reuse count); a name read during one enumeration is therefore given again during the next, and
// forgotten as soon as an enumeration no longer lists that window.
std::wstring User32WindowSystem::ReadClassName(WindowHandle window, int bufferChars) {
    if (bufferChars <= 0) return {};
    const auto known = classNames_.find(window);
    ClassName read;
    if (known != classNames_.end() && known->second.bufferChars == bufferChars) {
        read = known->second;
    } else {
        std::vector<char> buffer(static_cast<std::size_t>(bufferChars), '\0');
        // 0 on failure: the buffer stays empty.
        GetClassNameA(ToHwnd(window), buffer.data(), bufferChars);
        read = {bufferChars, FromAnsi(buffer.data(), buffer.size())};
    }
    if (enumerating_) listedClassNames_[window] = read;
    return read.name;
}

std::wstring User32WindowSystem::ReadWindowTitle(WindowHandle window, int bufferChars) {
    if (bufferChars <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(bufferChars), '\0');
    GetWindowTextA(ToHwnd(window), buffer.data(), bufferChars);
    return FromAnsi(buffer.data(), buffer.size());
}

WindowHandle User32WindowSystem::FindChild(WindowHandle parent, WindowHandle after,
                                           const std::wstring& className) {
    const std::string ansiClass = ToAnsi(className);
    return FromHwnd(FindWindowExA(ToHwnd(parent), ToHwnd(after), ansiClass.c_str(), nullptr));
}

std::intptr_t User32WindowSystem::Send(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                       std::intptr_t lParam, bool wide) {
    const HWND hwnd = ToHwnd(window);
    const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    if (thread == 0) return 0;  // the window is gone
    const DWORD now = GetTickCount();
    if (const auto silent = silentUntil_.find(thread); silent != silentUntil_.end()) {
        if (static_cast<LONG>(silent->second - now) > 0) throw WindowNotAnswering();
        silentUntil_.erase(silent);
    }
    LRESULT result = 0;
    if (sys::SendWithin(hwnd, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam),
                        kAnswerWithinMs, result, wide)) {
        return result;
    }
    if (!IsWindow(hwnd)) return 0;
    silentUntil_[thread] = now + kSilentForMs;
    throw WindowNotAnswering();
}

std::int64_t User32WindowSystem::SendGetTextLength(WindowHandle window) {
    return static_cast<std::int64_t>(Send(window, WM_GETTEXTLENGTH, 0, 0));
}

std::int64_t User32WindowSystem::SendGetTextLengthW(WindowHandle window) {
    return static_cast<std::int64_t>(Send(window, WM_GETTEXTLENGTH, 0, 0, true));
}

std::wstring User32WindowSystem::SendGetText(WindowHandle window, std::size_t bufferChars) {
    if (bufferChars == 0) return {};
    std::vector<char> buffer(bufferChars, '\0');
    Send(window, WM_GETTEXT, bufferChars, reinterpret_cast<LPARAM>(buffer.data()));
    return FromAnsi(buffer.data(), buffer.size());
}

void User32WindowSystem::SendSetText(WindowHandle window, const std::wstring& text) {
    const std::string ansi = ToAnsi(text);
    Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ansi.c_str()));
}

void User32WindowSystem::SendKeyMessage(WindowHandle window, unsigned message, unsigned virtualKey) {
    Send(window, message, virtualKey, 0);
}

}  // namespace quorvanel
