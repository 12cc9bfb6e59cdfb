#include "relay/messenger_window.h"

#include <gtest/gtest.h>

#include "fakes/fake_desktop.h"

namespace quorvanel {
namespace {

using testing::FakeDesktop;

TEST(CutAtNul, CutsAtTheFirstNulOrKeepsTheWholeText) {
    EXPECT_EQ(CutAtNul(std::wstring(L"ab\0cd\0", 6)), L"ab");
    EXPECT_EQ(CutAtNul(std::wstring(L"\0x", 2)), L"");
    EXPECT_EQ(CutAtNul(L"no nul"), L"no nul");
    EXPECT_EQ(CutAtNul(L""), L"");
}

TEST(ListConversationWindows, TakesExactClassMatchesInEnumerationOrder) {
    FakeDesktop desktop;
    const WindowHandle a = desktop.AddWindow(L"IMWindowClass", L"Ann - Conversation");
    desktop.AddWindow(L"imwindowclass", L"lower case class");
    desktop.AddWindow(L"IMWindowClass2", L"longer class");
    desktop.AddWindow(L"IMWindow", L"shorter class");
    const WindowHandle b = desktop.AddWindow(L"IMWindowClass", L"Bob - Conversation");
    desktop.AddWindow(L"", L"no class");

    EXPECT_EQ(ListConversationWindows(desktop), (std::vector<WindowHandle>{a, b}));
}

TEST(ListConversationWindows, EmptyDesktopGivesNoWindows) {
    FakeDesktop desktop;
    EXPECT_TRUE(ListConversationWindows(desktop).empty());
    desktop.AddWindow(L"Shell_TrayWnd", L"");
    EXPECT_TRUE(ListConversationWindows(desktop).empty());
}

TEST(CollectWindowsOfClass, AppendsDecimalHandleAndSpaceAndAlwaysContinues) {
    FakeDesktop desktop;
    const WindowHandle match = desktop.AddWindow(L"IMWindowClass", L"x");
    const WindowHandle other = desktop.AddWindow(L"Notepad", L"y");
    std::wstring accumulator = L"IMWindowClass ";
    EXPECT_TRUE(CollectWindowsOfClass(desktop, match, accumulator));
    EXPECT_TRUE(CollectWindowsOfClass(desktop, other, accumulator));
    EXPECT_TRUE(CollectWindowsOfClass(desktop, match, accumulator));
    const std::wstring h = std::to_wstring(match);
    EXPECT_EQ(accumulator, L"IMWindowClass " + h + L" " + h + L" ");

    // The accumulator names the class it collects.
    std::wstring notepads = L"Notepad ";
    CollectWindowsOfClass(desktop, match, notepads);
    CollectWindowsOfClass(desktop, other, notepads);
    EXPECT_EQ(notepads, L"Notepad " + std::to_wstring(other) + L" ");
}

TEST(GetConversationTitle, CutsTheFixedBuffer) {
    FakeDesktop desktop;
    const WindowHandle w = desktop.AddWindow(L"IMWindowClass", L"Bob - Conversation");
    EXPECT_EQ(GetConversationTitle(desktop, w), L"Bob - Conversation");
    // A 300-character title comes back as the 259 characters that fit the 260-character buffer.
    desktop.SetTitle(w, std::wstring(300, L'x'));
    EXPECT_EQ(GetConversationTitle(desktop, w), std::wstring(259, L'x'));
    EXPECT_EQ(GetConversationTitle(desktop, 12345), L"");  // no such window
}

class ChildSearch : public ::testing::Test {
protected:
    FakeDesktop desktop;
    WindowHandle window = desktop.AddWindow(L"IMWindowClass", L"Bob - Conversation");
};

TEST_F(ChildSearch, AnsiRichEditsAreHistoryThenEntryBox) {
    desktop.AddChild(window, L"Static");
    const WindowHandle history = desktop.AddChild(window, L"RichEdit20A");
    const WindowHandle wide = desktop.AddChild(window, L"RichEdit20W");
    const WindowHandle entry = desktop.AddChild(window, L"RichEdit20A");
    const WindowHandle send = desktop.AddChild(window, L"Button");
    desktop.AddChild(window, L"Button");
    EXPECT_EQ(FindHistoryBox(desktop, window), history);
    EXPECT_EQ(FindInputBox(desktop, window), entry);
    EXPECT_EQ(FindSendButton(desktop, window), send);
    EXPECT_NE(FindInputBox(desktop, window), wide);
}

TEST_F(ChildSearch, WideRichEditsOnlyWhenThereIsNoAnsiOne) {
    const WindowHandle history = desktop.AddChild(window, L"RichEdit20W");
    const WindowHandle entry = desktop.AddChild(window, L"RichEdit20W");
    EXPECT_EQ(FindHistoryBox(desktop, window), history);
    EXPECT_EQ(FindInputBox(desktop, window), entry);
}

TEST_F(ChildSearch, OneAnsiRichEditMeansNoEntryBoxEvenWithWideOnes) {
    desktop.AddChild(window, L"RichEdit20W");
    const WindowHandle ansi = desktop.AddChild(window, L"RichEdit20A");
    desktop.AddChild(window, L"RichEdit20W");
    EXPECT_EQ(FindHistoryBox(desktop, window), ansi);
    EXPECT_EQ(FindInputBox(desktop, window), 0);
}

TEST_F(ChildSearch, MissingControlsGiveZero) {
    EXPECT_EQ(FindHistoryBox(desktop, window), 0);
    EXPECT_EQ(FindInputBox(desktop, window), 0);
    EXPECT_EQ(FindSendButton(desktop, window), 0);
    desktop.AddChild(window, L"RichEdit20W");  // a single rich edit: history, no entry box
    EXPECT_EQ(FindInputBox(desktop, window), 0);
    EXPECT_EQ(FindHistoryBox(desktop, 999), 0);  // vanished window
}

TEST(GetControlText, ReturnsTheTextWithItsTerminatingNul) {
    FakeDesktop desktop;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"Bob says:\r\n  hi\r\n");
    const WindowHandle history = FindHistoryBox(desktop, w);
    EXPECT_EQ(GetControlText(desktop, history), std::wstring(L"Bob says:\r\n  hi\r\n\0", 18));
    EXPECT_EQ(GetControlText(desktop, 4242), std::wstring(1, L'\0'));  // vanished control
}

TEST(GetControlText, TextThatGrowsBetweenLengthAndReadIsCutToTheBuffer) {
    FakeDesktop desktop;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"abc");
    const WindowHandle history = FindHistoryBox(desktop, w);
    desktop.onGetText = [&](WindowHandle) { desktop.SetText(history, L"abcdef"); };
    EXPECT_EQ(GetControlText(desktop, history), std::wstring(L"abc\0", 4));
}

TEST(SetControlTextAndTapSpaceKey, SendTheExactMessages) {
    FakeDesktop desktop;
    const WindowHandle w = desktop.AddConversation(L"Bob");
    const WindowHandle entry = FindInputBox(desktop, w);
    SetControlText(desktop, entry, L"hello");
    TapSpaceKey(desktop, entry);
    EXPECT_EQ(desktop.Text(entry), L"hello");
    ASSERT_EQ(desktop.sent.size(), 3u);
    EXPECT_EQ(desktop.sent[0], (FakeDesktop::Sent{entry, 0x000C, 0, L"hello"}));
    EXPECT_EQ(desktop.sent[1], (FakeDesktop::Sent{entry, 0x0100, 32, L""}));
    EXPECT_EQ(desktop.sent[2], (FakeDesktop::Sent{entry, 0x0101, 32, L""}));
}

}  // namespace
}  // namespace quorvanel
