// The user32 adapter against real conversation windows of another process (test-messenger).
#include "relay/window_system_win32.h"

#include <gtest/gtest.h>

#include "relay/message_detection.h"
#include "relay/messenger_window.h"
#include "win32/child_process_win32.h"

namespace quorvanel {
namespace {

class User32Adapter : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(messenger.Start("test-messenger.exe")); }

    // Opens a conversation window and returns its handle as test-messenger reports it.
    WindowHandle Open(const std::string& kind, const std::string& id, const std::string& name) {
        const std::string reply = messenger.Command(kind + " " + id + " " + name);
        EXPECT_EQ(reply.rfind("ok ", 0), 0u) << reply;
        return reply.rfind("ok ", 0) == 0 ? std::stoi(reply.substr(3)) : 0;
    }

    testing::ChildProcess messenger;
    User32WindowSystem windows;
};

// A window that vanishes leaves the list; its title and controls then read as empty, and writing
// to them does nothing.
TEST_F(User32Adapter, ListsConversationWindowsWithTheirTitlesUntilTheyVanish) {
    const WindowHandle ann = Open("open", "a", "Ann");
    const WindowHandle bob = Open("open-w", "b", "Bob");
    messenger.Command("say a hi");
    const WindowHandle history = FindHistoryBox(windows, ann);

    EXPECT_EQ(ListConversationWindows(windows).size(), 2u);
    EXPECT_EQ(GetConversationTitle(windows, bob), L"Bob - Conversation");
    messenger.Command("rename a Annie");
    EXPECT_EQ(GetConversationTitle(windows, ann), L"Annie - Conversation");

    messenger.Command("close a");
    EXPECT_EQ(ListConversationWindows(windows), std::vector<WindowHandle>{bob});
    EXPECT_EQ(GetConversationTitle(windows, ann), L"");
    EXPECT_EQ(GetControlText(windows, history), std::wstring(1, L'\0'));
    SetControlText(windows, history, L"nobody there");
    TapSpaceKey(windows, history);
    EXPECT_EQ(FindHistoryBox(windows, ann), 0);
}

// (Windows with both boxes, of either rich edit class, are answered in the end-to-end tests.)
TEST_F(User32Adapter, WindowsShortOfABoxGiveNoneForIt) {
    const WindowHandle noEntry = Open("open-noentry", "n", "Ned");
    const WindowHandle bare = Open("open-norichedit", "r", "Rae");
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

}  // namespace
}  // namespace quorvanel
