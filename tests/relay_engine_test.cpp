#include "relay/relay_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_conversation_list.h"
#include "fakes/fake_desktop.h"

namespace quorvanel {
namespace {

using ::testing::ElementsAre;
using testing::FakeConversationList;
using Entries = std::vector<FakeConversationList::Entry>;
using testing::FakeDesktop;

// Records what the poll cycle asks of the reply stages; a hook runs code inside the delay, as a
// nested tick would during a message box.
class RecordingStages : public ReplyStages {
public:
    int delay = 4;
    int delayCalls = 0;
    std::vector<int> advanced;
    std::function<void()> insideDelay;

    int GetDelayTicks() override {
        ++delayCalls;
        if (insideDelay) insideDelay();
        return delay;
    }
    void AdvanceReply(int slot) override { advanced.push_back(slot); }
    void DropReply(int slot) override { dropped.push_back(slot); }
    std::vector<int> dropped;
};

class PollCycle : public ::testing::Test {
protected:
    FakeDesktop desktop;
    FakeConversationList list;
    ConversationTable table = NewConversationTable();
    RecordingStages stages;
    RelayEngine engine{desktop, list, table, &stages};
};

TEST_F(PollCycle, NewWindowsAreListedOnceInEnumerationOrderAndTickedByTheDefaultOfTheirTime) {
    const WindowHandle ann = desktop.AddConversation(L"Ann");
    const WindowHandle bob = desktop.AddConversation(L"Bob");
    engine.Timer1_Timer();
    list.enableDefault = true;
    const WindowHandle twin = desktop.AddConversation(L"Bob");
    engine.Timer1_Timer();
    engine.Timer1_Timer();
    EXPECT_EQ(list.status, L"3 chat window(s) open");
    EXPECT_EQ(list.entries, (Entries{{L"Ann", ann, false}, {L"Bob", bob, false}, {L"Bob", twin, true}}));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[3].hWnd, twin);
}

TEST_F(PollCycle, VanishedWindowsAreRetiredAndReturningHandlesGetNewSlots) {
    const WindowHandle ann = desktop.AddConversation(L"Ann");
    const WindowHandle bob = desktop.AddConversation(L"Bob");
    list.enableDefault = true;
    desktop.Say(ann, L"Ann", L"hello");
    engine.Timer1_Timer();
    desktop.Close(ann);
    stages.advanced.clear();
    engine.Timer1_Timer();
    EXPECT_EQ(list.status, L"1 chat window(s) open");
    EXPECT_EQ(table[1].hWnd, 0);
    EXPECT_THAT(stages.advanced, ElementsAre(2));  // never advanced again

    // A later window that gets the same handle is a new conversation.
    desktop.AddConversation(L"Cid", L"", ann);
    engine.Timer1_Timer();
    EXPECT_EQ(list.entries, (Entries{{L"Bob", bob, true}, {L"Cid", ann, true}}));
    EXPECT_EQ(engine.FindSlot(ann), 3);
}

TEST_F(PollCycle, EntryTextIsTheTitleLessFifteenCharactersTakenOnce) {
    const WindowHandle shortTitle = desktop.AddWindow(L"IMWindowClass", L"Short title");
    const WindowHandle exact = desktop.AddWindow(L"IMWindowClass", L" - Conversation");
    const WindowHandle odd = desktop.AddWindow(L"IMWindowClass", L"Someone - Chatting now");
    for (const wchar_t* other : {L"imwindowclass", L"IMWindowClass2", L"IMWindow"}) desktop.AddWindow(other, L"A - B");
    engine.Timer1_Timer();
    // Only windows of exactly the class count. The short title is counted but not listed; the
    // suffix itself is never checked.
    EXPECT_EQ(list.status, L"3 chat window(s) open");
    EXPECT_EQ(list.entries, (Entries{{L"", exact, false}, {L"Someone", odd, false}}));

    // The short title is tried again every tick; listed ones keep their first text.
    desktop.SetText(shortTitle, L"Dora - Conversation");
    desktop.SetText(odd, L"Renamed - Conversation");
    engine.Timer1_Timer();
    EXPECT_EQ(list.entries.back(), (FakeConversationList::Entry{L"Dora", shortTitle, false}));
    EXPECT_EQ(list.entries[1].text, L"Someone");
}

TEST_F(PollCycle, NewMessagesInTickedConversationsArmTheReadingDelayOwnLinesDoNot) {
    const WindowHandle ann = desktop.AddConversation(L"Ann", L"Ann says:\r\n  hi\r\n");
    engine.Timer1_Timer();  // listed unticked: nothing read
    EXPECT_EQ(table[1].LastMessage, L"");

    list.entries[0].ticked = true;
    stages.delay = 6;
    engine.Timer1_Timer();  // the message already in the history is answered once ticked
    EXPECT_EQ(table[1].LastMessage, L"hi");
    EXPECT_EQ(table[1].DelayTicks, 6);

    // The same block again is not new.
    engine.Timer1_Timer();
    EXPECT_EQ(stages.delayCalls, 1);

    // A message ending in the own-line marker is remembered but not answered; one inside counts.
    desktop.Say(ann, L"Ann", L"robot reply\u00A0");
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].LastMessage, L"robot reply\u00A0");
    EXPECT_EQ(stages.delayCalls, 1);
    desktop.Say(ann, L"Ann", L"a\u00A0b");
    stages.delay = 9;
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].DelayTicks, 9);
}

TEST_F(PollCycle, AWindowClosedWhileItsDelayIsComputedIsNotArmed) {
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"x\r\nBob says:\r\n  hi\r\n");
    stages.insideDelay = [&] {
        stages.insideDelay = nullptr;
        desktop.Close(w);
        engine.Timer1_Timer();  // as while the invalid-speed message box is open
    };
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].hWnd, 0);
    EXPECT_EQ(table[1].DelayTicks, 0);
    EXPECT_EQ(table[0].DelayTicks, 0);  // the spare slot is never written
}

// A history is read in full only when its length or its first characters changed, or when its
// turn for a full read comes round.
TEST_F(PollCycle, HistoryChangesAreNoticedInTimeAndAnUnchangedHistoryIsNotRead) {
    // The first line alone is longer than the characters compared at the start.
    const std::wstring kHistory =
        L"Conversation with Bob, started at 10:00; every message of it is shown below.\r\n"
        L"Bob says:\r\n  hello\r\n";
    auto tick = [&](int ticks) {  // the full reads each tick made
        std::vector<int> reads;
        for (int i = 0; i < ticks; ++i) {
            const int before = desktop.wholeTextReads;
            engine.Timer1_Timer();
            reads.push_back(desktop.wholeTextReads - before);
        }
        return reads;
    };
    std::wstring edited = kHistory;  // same length, same start
    edited.replace(edited.find(L"hello"), 5, L"hallo");
    const struct {
        const char* change;
        std::wstring history;
        int noticedWithin;  // ticks
        std::wstring message;
    } cases[] = {
        {"replaced, same length, other start",
         L"Conversation with Bob, started at 11:00; every message of it is shown below.\r\n"
         L"Bob says:\r\n  howdy\r\n",
         kHeadCheckEveryTicks, L"howdy"},
        {"edited in place", edited, kFullReadEveryTicks, L"hallo"},
    };
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", kHistory);
    desktop.AddConversation(L"Ann", kHistory);
    ASSERT_EQ(tick(1), (std::vector<int>{2}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        desktop.SetText(desktop.Child(w, 0), kHistory);
        table[1].LastMessage = L"hello";
        table[1].History = {};
        tick(1);
        desktop.SetText(desktop.Child(w, 0), c.history);
        tick(c.noticedWithin);
        EXPECT_EQ(table[1].LastMessage, c.message);  // as only a full read sets it
    }
    // Unchanged, each history is read once a round, the two on different ticks.
    const std::vector<int> reads = tick(kFullReadEveryTicks);
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 1), 2);
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 0), kFullReadEveryTicks - 2);
}

}  // namespace
}  // namespace quorvanel
