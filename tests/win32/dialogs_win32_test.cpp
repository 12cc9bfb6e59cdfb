// The message box and the lower-case mapping on the real user32 and kernel32.
#include "present/dialogs_win32.h"

#include <gtest/gtest.h>

#include <atomic>

#include "win32/modal_window_test_win32.h"

namespace quorvanel {
namespace {

TEST(Win32Dialogs, LowersLettersBeyondAToZ) {
    EXPECT_EQ(Win32Dialogs().ToLowerCase(L"\u00C9COLE \u00C0 PARIS, \u00C7A VA? I'M OK."),
              L"\u00E9cole \u00E0 paris, \u00E7a va? i'm ok.");
}

TEST(Win32Dialogs, MessageBoxIsModalWithOkOnlyAndTimersKeepTicking) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    static std::atomic<int> ticks{0};
    ticks = 0;
    SetTimer(owner, 7, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });

    // Seen from a second thread while the box is open; the owner's timer ticks meanwhile.
    HWND box = nullptr;
    std::wstring text, buttons;
    bool iconShown = true;
    testing::Thread inspector([&] {
        if (!testing::WaitUntil([&] { return (box = testing::MessageBoxOf(owner)) != nullptr; },
                                testing::kPatience)) {
            return;
        }
        Sleep(500);  // test thread only
        text = testing::Text(GetDlgItem(box, 0xFFFF));
        HWND icon = GetDlgItem(box, 1088);
        iconShown = icon != nullptr && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (testing::ButtonType(child) >= 0 && IsWindowVisible(child)) buttons += testing::Text(child) + L";";
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    Win32Dialogs(owner).ShowMessage(L"Error: invalid typing speed selected", L"Quorvanel");
    inspector.join();
    KillTimer(owner, 7);
    DestroyWindow(owner);

    ASSERT_NE(box, nullptr) << "no message box owned by the window";
    EXPECT_EQ(text, L"Error: invalid typing speed selected");
    EXPECT_EQ(buttons, L"OK;");
    EXPECT_FALSE(iconShown);
    EXPECT_GE(ticks.load(), 3);
}

}  // namespace
}  // namespace quorvanel
