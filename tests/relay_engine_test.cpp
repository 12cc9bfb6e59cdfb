#include "relay/relay_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_conversation_list.h"
#include "fakes/fake_desktop.h"

namespace quorvanel {
namespace {

using ::testing::ElementsAre;
using testing::FakeConversationList;
using testing::FakeDesktop;

// Records what the poll cycle asks of the reply stages; hooks let a test run code inside them,
// as a nested tick would during a bot request or a message box.
class RecordingStages : public ReplyStages {
public:
    int delay = 4;
    int delayCalls = 0;
    std::vector<int> advanced;
    std::function<void()> insideDelay;
    std::function<void(int)> insideAdvance;

    int GetDelayTicks() override {
        ++delayCalls;
        if (insideDelay) insideDelay();
        return delay;
    }
    void AdvanceReply(int slot) override {
        advanced.push_back(slot);
        if (insideAdvance) insideAdvance(slot);
    }
};

class PollCycle : public ::testing::Test {
protected:
    FakeDesktop desktop;
    FakeConversationList list;
    ConversationTable table = NewConversationTable();
    RecordingStages stages;
    RelayEngine engine{desktop, list, table, &stages};

    std::vector<std::wstring> EntryTexts() const {
        std::vector<std::wstring> texts;
        for (const auto& e : list.entries) texts.push_back(e.text);
        return texts;
    }
    std::vector<WindowHandle> EntryHandles() const {
        std::vector<WindowHandle> handles;
        for (const auto& e : list.entries) handles.push_back(e.data);
        return handles;
    }
    void Say(WindowHandle window, const std::wstring& name, const std::wstring& text) {
        const WindowHandle history = desktop.Child(window, 0);
        desktop.SetText(history, desktop.Text(history) + name + L" says:\r\n  " + text + L"\r\n");
    }
};

TEST_F(PollCycle, NewWindowsAreListedInEnumerationOrderWithTheirNames) {
    const WindowHandle ann = desktop.AddConversation(L"Ann");
    const WindowHandle bob = desktop.AddConversation(L"Bob");
    const WindowHandle twin = desktop.AddConversation(L"Bob");
    engine.Timer1_Timer();
    EXPECT_EQ(list.status, L"3 chat window(s) open");
    EXPECT_THAT(EntryTexts(), ElementsAre(L"Ann", L"Bob", L"Bob"));
    EXPECT_THAT(EntryHandles(), ElementsAre(ann, bob, twin));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[3].hWnd, twin);
    EXPECT_FALSE(list.entries[0].ticked);

    // Listing is done once: later ticks add nothing.
    engine.Timer1_Timer();
    EXPECT_EQ(list.entries.size(), 3u);
    EXPECT_EQ(table.size(), 4u);
}

TEST_F(PollCycle, VanishedWindowsAreRetiredAndReturningHandlesGetNewSlots) {
    const WindowHandle ann = desktop.AddConversation(L"Ann");
    const WindowHandle bob = desktop.AddConversation(L"Bob");
    list.enableDefault = true;
    Say(ann, L"Ann", L"hello");
    engine.Timer1_Timer();
    table[1].ReplyText = L"pending";
    table[1].TypingTicks = 3;
    EXPECT_EQ(table[1].LastMessage, L"hello");

    desktop.Close(ann);
    stages.advanced.clear();
    engine.Timer1_Timer();
    EXPECT_EQ(list.status, L"1 chat window(s) open");
    EXPECT_THAT(EntryHandles(), ElementsAre(bob));
    EXPECT_EQ(table[1].hWnd, 0);
    EXPECT_EQ(table[1].LastMessage, L"");
    EXPECT_EQ(table[1].ReplyText, L"pending");  // left as it was, never advanced again
    EXPECT_EQ(table[1].TypingTicks, 3);
    EXPECT_THAT(stages.advanced, ElementsAre(2));

    // A later window that gets the same handle is a new conversation.
    desktop.AddConversation(L"Cid", L"", ann);
    engine.Timer1_Timer();
    EXPECT_THAT(EntryTexts(), ElementsAre(L"Bob", L"Cid"));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[3].hWnd, ann);
    EXPECT_EQ(engine.FindSlot(ann), 3);
}

TEST_F(PollCycle, EntryTextIsTheTitleLessFifteenCharactersTakenOnce) {
    const WindowHandle shortTitle = desktop.AddWindow(L"IMWindowClass", L"Short title");
    const WindowHandle exact = desktop.AddWindow(L"IMWindowClass", L" - Conversation");
    const WindowHandle odd = desktop.AddWindow(L"IMWindowClass", L"Someone - Chatting now");
    engine.Timer1_Timer();
    // The short title is counted but not listed; the suffix itself is never checked.
    EXPECT_EQ(list.status, L"3 chat window(s) open");
    EXPECT_THAT(EntryHandles(), ElementsAre(exact, odd));
    EXPECT_THAT(EntryTexts(), ElementsAre(L"", L"Someone"));
    EXPECT_EQ(table.size(), 3u);

    // The short title is tried again every tick; listed ones keep their first text.
    desktop.SetTitle(shortTitle, L"Dora - Conversation");
    desktop.SetTitle(odd, L"Renamed - Conversation");
    engine.Timer1_Timer();
    EXPECT_THAT(EntryTexts(), ElementsAre(L"", L"Someone", L"Dora"));
    EXPECT_EQ(table[3].hWnd, shortTitle);
}

TEST_F(PollCycle, EnableDefaultTicksOnlyEntriesAddedAfterwards) {
    desktop.AddConversation(L"Ann");
    engine.Timer1_Timer();
    list.enableDefault = true;
    desktop.AddConversation(L"Bob");
    engine.Timer1_Timer();
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_FALSE(list.entries[0].ticked);
    EXPECT_TRUE(list.entries[1].ticked);
}

TEST_F(PollCycle, NewMessagesInTickedConversationsArmTheReadingDelay) {
    const WindowHandle ann = desktop.AddConversation(L"Ann", L"Ann says:\r\n  hi\r\n");
    const WindowHandle bob = desktop.AddConversation(L"Bob", L"Bob says:\r\n  yo\r\n");
    engine.Timer1_Timer();  // listed unticked: nothing read
    EXPECT_EQ(table[1].LastMessage, L"");
    EXPECT_EQ(stages.delayCalls, 0);

    list.SetTicked(ann, true);
    stages.delay = 6;
    engine.Timer1_Timer();  // the message already in the history is answered once ticked
    EXPECT_EQ(table[1].LastMessage, L"hi");
    EXPECT_EQ(table[1].DelayTicks, 6);
    EXPECT_EQ(table[2].DelayTicks, 0);
    EXPECT_EQ(table[2].LastMessage, L"");

    // The same block again is not new; the countdown is left to the reply stages.
    table[1].DelayTicks = 2;
    engine.Timer1_Timer();
    EXPECT_EQ(stages.delayCalls, 1);
    EXPECT_EQ(table[1].DelayTicks, 2);

    // A burst: each new message restarts the countdown; typing is not touched.
    table[1].TypingTicks = 7;
    Say(ann, L"Ann", L"are you there");
    stages.delay = 9;
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].LastMessage, L"are you there");
    EXPECT_EQ(table[1].DelayTicks, 9);
    EXPECT_EQ(table[1].TypingTicks, 7);

    // An invalid speed gives 0: the message stays unanswered.
    Say(ann, L"Ann", L"hello?");
    stages.delay = 0;
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].DelayTicks, 0);
    EXPECT_EQ(table[1].LastMessage, L"hello?");
    (void)bob;
}

TEST_F(PollCycle, MessagesEndingInTheOwnLineMarkerAreNotAnswered) {
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"x\r\nBob says:\r\n  robot reply\u00A0\r\n");
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].LastMessage, L"robot reply\u00A0");  // remembered all the same
    EXPECT_EQ(table[1].DelayTicks, 0);
    EXPECT_EQ(stages.delayCalls, 0);
    // A marker inside the message does not count.
    Say(w, L"Bob", L"a\u00A0b");
    engine.Timer1_Timer();
    EXPECT_EQ(stages.delayCalls, 1);
}

TEST_F(PollCycle, AWindowThatVanishesWhileBeingReadYieldsNothing) {
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"x\r\nBob says:\r\n  hi\r\n");
    desktop.onGetText = [&](WindowHandle) { desktop.Close(w); };
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].LastMessage, L"");
    EXPECT_EQ(stages.delayCalls, 0);
    desktop.onGetText = nullptr;
    engine.Timer1_Timer();
    EXPECT_EQ(table[1].hWnd, 0);
    EXPECT_TRUE(list.entries.empty());
}

TEST_F(PollCycle, ANestedTickDuringAdvanceAppendsSafelyAndIsAdvancedNextTick) {
    desktop.AddConversation(L"Ann");
    engine.Timer1_Timer();
    bool nested = false;
    stages.insideAdvance = [&](int slot) {
        if (slot == 1 && !nested) {
            nested = true;
            desktop.AddConversation(L"Bob");
            engine.Timer1_Timer();  // as during a bot request's wait
        }
    };
    stages.advanced.clear();
    engine.Timer1_Timer();
    // Outer tick: slot 1; nested tick: 1 (skipped by the hook) and 2; the outer tick read its
    // upper index before the nested tick appended slot 2.
    EXPECT_THAT(stages.advanced, ElementsAre(1, 1, 2));
    ASSERT_EQ(table.size(), 3u);
    stages.advanced.clear();
    engine.Timer1_Timer();
    EXPECT_THAT(stages.advanced, ElementsAre(1, 2));
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
class HistoryReads : public ::testing::Test {
protected:
    // The first line alone is longer than the characters compared at the start.
    static constexpr wchar_t kHistory[] =
        L"Conversation with Bob, started at 10:00; every message of it is shown below.\r\n"
        L"Bob says:\r\n  hello\r\n";
    FakeDesktop desktop;
    FakeConversationList list;
    ConversationTable table = NewConversationTable();
    RelayEngine engine{desktop, list, table, nullptr};

    // Ticks, returning the full reads each tick made.
    std::vector<int> Tick(int ticks = 1) {
        std::vector<int> reads;
        for (int i = 0; i < ticks; ++i) {
            const int before = desktop.wholeTextReads;
            engine.Timer1_Timer();
            reads.push_back(desktop.wholeTextReads - before);
        }
        return reads;
    }
    // The number of ticks up to and including the first that made a full read, or 0.
    static int FirstRead(const std::vector<int>& reads) {
        const auto at = std::find_if(reads.begin(), reads.end(), [](int n) { return n > 0; });
        return at == reads.end() ? 0 : static_cast<int>(at - reads.begin()) + 1;
    }
};

TEST_F(HistoryReads, ChangesAreNoticedInTimeAndAnUnchangedHistoryIsNotRead) {
    std::wstring edited = kHistory;  // same length, same start
    edited.replace(edited.find(L"hello"), 5, L"hallo");
    const struct {
        const char* change;
        std::wstring history;
        int noticedWithin;  // ticks
        std::wstring message;
    } cases[] = {
        {"a new line", std::wstring(kHistory) + L"Bob says:\r\n  again\r\n", 1, L"again"},
        {"cleared", L"", 1, L"hello"},
        {"replaced, same length, other start",
         L"Conversation with Bob, started at 11:00; every message of it is shown below.\r\n"
         L"Bob says:\r\n  howdy\r\n",
         kHeadCheckEveryTicks, L"howdy"},
        {"edited in place", edited, kFullReadEveryTicks, L"hallo"},
    };
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", kHistory);
    desktop.AddConversation(L"Ann", kHistory);
    ASSERT_EQ(Tick(), (std::vector<int>{2}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        desktop.SetText(desktop.Child(w, 0), kHistory);
        table[1].LastMessage = L"hello";
        table[1].History = {};
        Tick();
        desktop.SetText(desktop.Child(w, 0), c.history);
        const std::vector<int> reads = Tick(c.noticedWithin);
        EXPECT_GE(FirstRead(reads), 1);
        EXPECT_EQ(table[1].LastMessage, c.message);
    }
    // Unchanged, each history is read once a round, the two on different ticks.
    const std::vector<int> reads = Tick(kFullReadEveryTicks);
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 1), 2);
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 0), kFullReadEveryTicks - 2);
}

}  // namespace
}  // namespace quorvanel
