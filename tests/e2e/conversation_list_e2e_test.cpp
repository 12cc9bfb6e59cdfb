// quorvanel.exe beside test-messenger, both under Wine, watched from outside as another program
// would: the status label is read with WM_GETTEXT.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/main_form_ids.h"
#include "e2e/quorvanel_session_win32.h"
#include "win32/child_process_win32.h"
#include "win32/talk_server_win32.h"

namespace quorvanel {
namespace {

using testing::ChildProcess;
using testing::WaitUntil;

std::string LabelText(HWND main) {
    char buffer[128] = {};
    SendMessageA(GetDlgItem(main, kIdNumChatWindows), WM_GETTEXT, sizeof(buffer),
                 reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

TEST(QuorvanelWithMessenger, LabelCountsOpenConversationWindows) {
    // No bot server: the conversation start fails at once instead of looking up a real host.
    testing::ClearSettings();
    testing::WriteSetting("ConnectionSettings", "BotServer",
                          "127.0.0.1:" + std::to_string(testing::UnusedPort()));
    ChildProcess messenger;
    ASSERT_TRUE(messenger.Start("test-messenger.exe"));
    ASSERT_EQ(messenger.Command("open a Ann").rfind("ok ", 0), 0u);
    ASSERT_EQ(messenger.Command("open b Bob").rfind("ok ", 0), 0u);

    ChildProcess program;
    ASSERT_TRUE(program.Start("quorvanel.exe"));
    HWND main = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (main = FindWindowA(kMainFormClassName, kMainFormCaption)); },
                          std::chrono::seconds(30)));

    std::string label;
    EXPECT_TRUE(WaitUntil([&] { return (label = LabelText(main)) == "2 chat window(s) open"; },
                          std::chrono::seconds(15)))
        << label;
    HWND list = GetDlgItem(main, kIdConversations);
    EXPECT_EQ(SendMessageA(list, 0x1004 /* LVM_GETITEMCOUNT */, 0, 0), 2);

    messenger.Command("close a");
    EXPECT_TRUE(WaitUntil([&] { return (label = LabelText(main)) == "1 chat window(s) open"; },
                          std::chrono::seconds(15)))
        << label;
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(list, 0x1004, 0, 0) == 1; },
                          std::chrono::seconds(15)));

    // Closing the main window ends the program.
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.ProcessHandle(), 15000), WAIT_OBJECT_0);
    messenger.Command("quit");
    testing::ClearSettings();
}

}  // namespace
}  // namespace quorvanel
