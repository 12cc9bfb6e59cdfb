#pragma once
// For tests of the modal windows: the window runs modally on the test thread while a second
// thread acts on it from outside, through its controls, the keyboard and what it shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/modal_window_win32.h"
#include "win32/child_process_win32.h"
#include "win32/layout_win32.h"
#include "platform/threads.h"

namespace quorvanel::testing {

inline constexpr std::chrono::seconds kPatience{10};

// A control anywhere below the window (controls may sit inside panels).
inline HWND Control(HWND window, int id) {
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == id) return child;
        if (HWND inner = Control(child, id)) return inner;
    }
    return nullptr;
}

inline HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Presses the keys in order and lets them go in reverse order, as real keystrokes.
inline void Press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs(2 * keys.size(), INPUT{INPUT_KEYBOARD, {}});
    for (std::size_t i = 0, last = inputs.size() - 1; i < keys.size(); ++i) {
        inputs[i].ki.wVk = inputs[last - i].ki.wVk = std::data(keys)[i];
        inputs[last - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Ready for keys: the focus is on a control inside the window.
inline bool HasFocusInside(HWND window) { return IsChild(window, FocusOf(window)) != FALSE; }

// Keys typed go to the foreground window, which another window may hold for a while.
inline bool BringToFront(HWND window) {
    return WaitUntil([&] { return SetForegroundWindow(window) && GetForegroundWindow() == window; },
                     kPatience);
}

// The visible message box the window owns, or null.
inline HWND MessageBoxOf(HWND window) {
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr;) {
        if (GetWindow(box, GW_OWNER) == window && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

// Has `show` show a window of the class modally over an owner window of the test while `user`
// acts on it from a second thread, once it is visible with the focus inside it; whatever is left
// open is closed after that, so a failed step cannot hang the test. Returns what `show` returned.
inline int ShowWhile(const std::function<int(HWND owner)>& show, const char* className,
                     const std::function<void(HWND window, HWND owner)>& user) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                                 300, 200, nullptr, nullptr, nullptr, nullptr);
    Thread player([&] {
        const HWND ready = WaitForWindow(className, nullptr, kPatience, HasFocusInside);
        EXPECT_NE(ready, nullptr) << className << " never came up with the focus in it";
        if (ready != nullptr) user(ready, owner);
        if (HWND window = FindWindowA(className, nullptr)) {
            if (HWND box = MessageBoxOf(window)) PostMessageW(box, WM_COMMAND, IDOK, 0);
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    });
    const int result = show(owner);
    player.Join();
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
    return result;
}

inline int ShowWhile(ModalWindow& modal, const char* className,
                     const std::function<void(HWND window, HWND owner)>& user) {
    return ShowWhile([&](HWND owner) { return modal.ShowModal(owner); }, className, user);
}

inline bool WaitClosed(HWND window) {
    return WaitUntil([&] { return !IsWindow(window); }, kPatience);
}

}  // namespace quorvanel::testing
