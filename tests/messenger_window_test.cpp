#include "relay/messenger_window.h"

#include <gtest/gtest.h>

#include "fakes/fake_desktop.h"

namespace quorvanel {
namespace {

using testing::FakeDesktop;

TEST(MessengerWindow, HistoryEntryBoxAndSendAreFoundByClassAnsiRichEditsFirst) {
    struct Case {
        std::vector<const wchar_t*> children;
        int history, entry, send;  // child index, -1: none
    };
    const Case cases[] = {
        {{L"Static", L"RichEdit20A", L"RichEdit20W", L"RichEdit20A", L"Button", L"Button"}, 1, 3, 4},
        {{L"RichEdit20W", L"RichEdit20W"}, 0, 1, -1},
        {{L"RichEdit20W", L"RichEdit20A", L"RichEdit20W"}, 1, -1, -1},  // one ANSI: no entry box
        {{L"RichEdit20W"}, 0, -1, -1},
        {{}, -1, -1, -1},
    };
    for (const Case& c : cases) {
        FakeDesktop desktop;
        const WindowHandle window = desktop.AddWindow(L"IMWindowClass", L"Bob - Conversation");
        for (const wchar_t* child : c.children) desktop.AddWindow(child, {}, 0, window);
        auto child = [&](int i) { return i < 0 ? WindowHandle{0} : desktop.Child(window, static_cast<std::size_t>(i)); };
        EXPECT_EQ(FindHistoryBox(desktop, window), child(c.history)) << c.children.size();
        EXPECT_EQ(FindInputBox(desktop, window), child(c.entry)) << c.children.size();
        EXPECT_EQ(FindSendButton(desktop, window), child(c.send)) << c.children.size();
    }
}

}  // namespace
}  // namespace quorvanel
