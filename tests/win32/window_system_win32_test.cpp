// The user32 adapter against real conversation windows of another process (test-messenger).
#include "relay/window_system_win32.h"

#include <gtest/gtest.h>

#include "relay/message_detection.h"
#include "relay/messenger_window.h"
#include "win32/child_process_win32.h"

namespace quorvanel {
namespace {

using testing::ChildProcess;

class User32Adapter : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(messenger.Start("test-messenger.exe")); }
    void TearDown() override { messenger.Command("quit"); }

    // Opens a conversation window and returns its handle as test-messenger reports it.
    WindowHandle Open(const std::string& kind, const std::string& id, const std::string& name) {
        const std::string reply = messenger.Command(kind + " " + id + " " + name);
        EXPECT_EQ(reply.rfind("ok ", 0), 0u) << reply;
        return reply.rfind("ok ", 0) == 0 ? std::stoi(reply.substr(3)) : 0;
    }
    std::wstring History(WindowHandle window) {
        return CutAtNul(GetControlText(windows, FindHistoryBox(windows, window)));
    }

    ChildProcess messenger;
    User32WindowSystem windows;
};

TEST_F(User32Adapter, ListsConversationWindowsWithTheirTitles) {
    const WindowHandle ann = Open("open", "a", "Ann");
    const WindowHandle bob = Open("open-w", "b", "Bob");

    EXPECT_EQ(ListConversationWindows(windows).size(), 2u);
    EXPECT_EQ(GetConversationTitle(windows, ann), L"Ann - Conversation");
    EXPECT_EQ(GetConversationTitle(windows, bob), L"Bob - Conversation");
    messenger.Command("rename a Annie");
    EXPECT_EQ(GetConversationTitle(windows, ann), L"Annie - Conversation");

    messenger.Command("close a");
    EXPECT_EQ(ListConversationWindows(windows), std::vector<WindowHandle>{bob});
    EXPECT_EQ(GetConversationTitle(windows, ann), L"");  // vanished window
}

TEST_F(User32Adapter, FindsHistoryEntryAndSendInBothRichEditClasses) {
    const WindowHandle ansi = Open("open", "a", "Ann");
    const WindowHandle wide = Open("open-w", "w", "Wes");
    const WindowHandle noEntry = Open("open-noentry", "n", "Ned");
    const WindowHandle bare = Open("open-norichedit", "r", "Rae");

    for (WindowHandle w : {ansi, wide}) {
        const WindowHandle history = FindHistoryBox(windows, w);
        const WindowHandle entry = FindInputBox(windows, w);
        ASSERT_NE(history, 0);
        ASSERT_NE(entry, 0);
        EXPECT_NE(history, entry);
        EXPECT_EQ(GetParent(static_cast<HWND>(LongToHandle(entry))),
                  static_cast<HWND>(LongToHandle(w)));
        EXPECT_NE(FindSendButton(windows, w), 0);
    }
    char className[64] = {};
    GetClassNameA(static_cast<HWND>(LongToHandle(FindInputBox(windows, wide))), className, 64);
    EXPECT_STREQ(className, "RichEdit20W");

    EXPECT_NE(FindHistoryBox(windows, noEntry), 0);
    EXPECT_EQ(FindInputBox(windows, noEntry), 0);
    EXPECT_EQ(FindHistoryBox(windows, bare), 0);
    EXPECT_EQ(FindInputBox(windows, bare), 0);
}

TEST_F(User32Adapter, ReadsALongHistoryAcrossProcessesWithCrLfLines) {
    const WindowHandle w = Open("open", "a", "Ann");
    EXPECT_EQ(messenger.Command("fill a 40"), "ok");
    EXPECT_EQ(messenger.Command("say a caf\\xE9 at eight\\nor nine?"), "ok");

    const WindowHandle history = FindHistoryBox(windows, w);
    const std::wstring buffer = GetControlText(windows, history);
    ASSERT_GT(buffer.size(), 40'000u);
    EXPECT_EQ(buffer.back(), L'\0');
    const std::wstring text = CutAtNul(buffer);
    EXPECT_EQ(text.size() + 1, buffer.size());
    EXPECT_NE(text.find(L"Ann says:\r\n  caf\u00E9 at eight\r\n  or nine?\r\n"), std::wstring::npos);
    EXPECT_EQ(ExtractLatestBlock(buffer, L"Ann"), L"caf\u00E9 at eight   or nine?");
}

TEST_F(User32Adapter, SetsTheEntryBoxAndPressesSendWithTheSpaceKey) {
    const WindowHandle w = Open("open", "a", "Ann");
    messenger.Command("say a hi");
    const WindowHandle entry = FindInputBox(windows, w);

    SetControlText(windows, entry, L"... robot is typing ...");
    TapSpaceKey(windows, entry);  // no character is typed into the box
    EXPECT_EQ(messenger.Command("entry a"), "ok ... robot is typing ...");

    SetControlText(windows, entry, L"hey there\u00A0");
    TapSpaceKey(windows, FindSendButton(windows, w));
    EXPECT_EQ(messenger.Command("entry a"), "ok ");
    EXPECT_EQ(History(w), L"Ann says:\r\n  hi\r\nMe says:\r\n  hey there\u00A0\r\n");
}

TEST_F(User32Adapter, AVanishedControlReadsAsAnEmptyBuffer) {
    const WindowHandle w = Open("open", "a", "Ann");
    messenger.Command("say a hi");
    const WindowHandle history = FindHistoryBox(windows, w);
    messenger.Command("close a");
    EXPECT_EQ(GetControlText(windows, history), std::wstring(1, L'\0'));
    SetControlText(windows, history, L"nobody there");  // must not fail
    TapSpaceKey(windows, history);
    EXPECT_EQ(FindHistoryBox(windows, w), 0);
}

}  // namespace
}  // namespace quorvanel
