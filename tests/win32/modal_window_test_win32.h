#pragma once
// For tests of the modal windows: the window runs modally on the test thread while a second
// thread acts on it from outside, through its controls, the keyboard and what it shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "app/modal_window_win32.h"
#include "win32/child_process_win32.h"
#include "win32/threads_win32.h"

namespace quorvanel::testing {

inline constexpr std::chrono::seconds kPatience{10};

inline std::wstring Text(HWND window) {
    std::vector<wchar_t> buffer(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

// A control anywhere below the window (controls may sit inside panels).
inline HWND Control(HWND window, int id) {
    std::pair<int, HWND> search{id, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<std::pair<int, HWND>*>(param);
            if (GetDlgCtrlID(child) != s->first) return TRUE;
            s->second = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

inline HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Presses the keys in order and lets them go in reverse order, as real keystrokes.
inline void Press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (auto key = keys.begin(); key != keys.end(); ++key) inputs.push_back({INPUT_KEYBOARD, {}});
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) inputs.push_back({INPUT_KEYBOARD, {}});
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool up = i >= keys.size();
        inputs[i].ki.wVk = up ? std::data(keys)[inputs.size() - 1 - i] : std::data(keys)[i];
        inputs[i].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// The visible message box the window owns, or null.
inline HWND MessageBoxOf(HWND window) {
    std::pair<HWND, HWND> search{window, nullptr};
    EnumThreadWindows(
        GetWindowThreadProcessId(window, nullptr),
        [](HWND w, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<std::pair<HWND, HWND>*>(param);
            char name[16] = {};
            GetClassNameA(w, name, sizeof(name));
            if (lstrcmpA(name, "#32770") != 0 || GetWindow(w, GW_OWNER) != s->first ||
                !IsWindowVisible(w)) {
                return TRUE;
            }
            s->second = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

// Shows the window modally over an owner window of the test while `user` acts on it from a
// second thread, once it is visible with the focus inside it; whatever is left open is closed
// after that, so a failed step cannot hang the test. Returns what ShowModal returned.
inline int ShowWhile(ModalWindow& modal, const char* className,
                     const std::function<void(HWND window, HWND owner)>& user) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                                 300, 200, nullptr, nullptr, nullptr, nullptr);
    Thread player([&] {
        HWND window = nullptr;
        const bool shown = WaitUntil(
            [&] {
                window = FindWindowA(className, nullptr);
                return window != nullptr && IsWindowVisible(window) && IsChild(window, FocusOf(window));
            },
            kPatience);
        EXPECT_TRUE(shown) << className << " never came up with the focus in it";
        if (shown) user(window, owner);
        if (window != nullptr && IsWindow(window)) {
            if (HWND box = MessageBoxOf(window)) PostMessageW(box, WM_COMMAND, IDOK, 0);
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    });
    const int result = modal.ShowModal(owner);
    player.join();
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
    return result;
}

inline bool WaitClosed(HWND window) {
    return WaitUntil([&] { return !IsWindow(window); }, kPatience);
}

}  // namespace quorvanel::testing
