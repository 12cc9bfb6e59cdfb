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

// Seen from a second thread while the box is open; the owner's timer ticks meanwhile.
TEST(Win32Dialogs, MessageBoxIsModalWithOkOnlyAndTimersKeepTicking) {
    static std::atomic<int> ticks{0};
    ticks = 0;
    const auto show = [](HWND owner) {
        SetTimer(owner, 7, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
        Win32Dialogs(owner).ShowMessage(L"Error: invalid typing speed selected", L"Quorvanel");
        return KillTimer(owner, 7);
    };
    testing::ShowWhile(show, "#32770", [](HWND box, HWND owner) {
        EXPECT_EQ(GetWindow(box, GW_OWNER), owner);
        EXPECT_FALSE(IsWindowEnabled(owner));
        EXPECT_TRUE(testing::WaitUntil([] { return ticks >= 3; }, testing::kPatience)) << "the owner's timer stopped";
        EXPECT_EQ(testing::Text(GetDlgItem(box, 0xFFFF)), L"Error: invalid typing speed selected");
        HWND icon = GetDlgItem(box, 1088);
        EXPECT_FALSE(icon != nullptr && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0);
        std::wstring buttons;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (testing::ButtonType(child) >= 0 && IsWindowVisible(child)) buttons += testing::Text(child) + L";";
        }
        EXPECT_EQ(buttons, L"OK;");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
}

}  // namespace
}  // namespace quorvanel
