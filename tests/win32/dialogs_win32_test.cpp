// The message box and the lower-case mapping on the real user32 and kernel32.
#include "present/dialogs_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include "win32/threads_win32.h"

namespace quorvanel {
namespace {

TEST(Win32Dialogs, LowersLettersBeyondAToZ) {
    Win32Dialogs dialogs;
    EXPECT_EQ(dialogs.ToLowerCase(L"\u00C9COLE \u00C0 PARIS, \u00C7A VA? I'M OK."),
              L"\u00E9cole \u00E0 paris, \u00E7a va? i'm ok.");
    EXPECT_EQ(dialogs.ToLowerCase(L""), L"");
    EXPECT_EQ(dialogs.ToLowerCase(L"123 !?"), L"123 !?");
}

TEST(Win32Dialogs, MessageBoxIsModalWithOkOnlyAndTimersKeepTicking) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    Win32Dialogs dialogs(owner);

    static std::atomic<int> ticks{0};
    ticks = 0;
    SetTimer(owner, 7, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });

    std::atomic<bool> inspected{false};
    std::string text, buttons;
    bool ownedByOwner = false;
    bool iconShown = true;
    testing::Thread inspector([&] {
        HWND box = nullptr;
        for (int i = 0; i < 200 && box == nullptr; ++i) {
            Sleep(50);  // test thread only: waiting for the box to appear
            box = FindWindowA("#32770", "Quorvanel");
        }
        if (box == nullptr) return;
        Sleep(500);  // let the owner's timer tick while the box is open
        char buffer[256] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof(buffer));
        text = buffer;
        ownedByOwner = GetWindow(box, GW_OWNER) == owner;
        HWND icon = GetDlgItem(box, 1088);
        iconShown = icon != nullptr && IsWindowVisible(icon) &&
                    SendMessageA(icon, STM_GETICON, 0, 0) != 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[32] = {};
            GetClassNameA(child, className, sizeof(className));
            if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child)) {
                GetWindowTextA(child, buffer, sizeof(buffer));
                buttons += std::string(buffer) + ";";
            }
        }
        inspected = true;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    dialogs.ShowMessage(L"Error: invalid typing speed selected", L"Quorvanel");
    inspector.join();
    KillTimer(owner, 7);
    DestroyWindow(owner);

    ASSERT_TRUE(inspected);
    EXPECT_EQ(text, "Error: invalid typing speed selected");
    EXPECT_EQ(buttons, "OK;");
    EXPECT_TRUE(ownedByOwner);
    EXPECT_FALSE(iconShown);
    EXPECT_GE(ticks.load(), 3);
}

}  // namespace
}  // namespace quorvanel
