// The reply pipeline driven by the poll cycle, tick by tick, over a fake desktop.
#include "relay/reply_pipeline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_conversation_list.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"
#include "present/typing_notice.h"

namespace quorvanel {
namespace {

using ::testing::ElementsAre;
using testing::FakeConversationList;
using testing::FakeDesktop;
using testing::FakeDialogs;
using testing::FakeSettings;
using testing::ScriptedRandom;

class FakeBot : public BotClient {
public:
    std::wstring answer = L"Hello there.";
    std::vector<std::wstring> questions;
    std::function<void()> whileAsked;  // runs inside the request, as ticks do during its wait
    int outstanding = 0;
    int mostOutstanding = 0;

    std::wstring GetBotReply(const std::wstring& message) override {
        questions.push_back(message);
        ++outstanding;
        mostOutstanding = std::max(mostOutstanding, outstanding);
        if (whileAsked) whileAsked();
        --outstanding;
        return answer;
    }
};

class Pipeline : public ::testing::Test {
protected:
    FakeDesktop desktop;
    FakeConversationList list;
    ConversationTable table = NewConversationTable();
    FakeSettings file;
    ScriptedRandom random;
    FakeDialogs dialogs;
    FakeBot bot;
    SimulatedTyping typing{file, random, dialogs};
    ReplyPipeline pipeline{desktop, table, bot, typing, file, dialogs};
    RelayEngine engine{desktop, list, table, &pipeline};

    void SetUp() override { list.enableDefault = true; }

    void Speed(const std::wstring& speed) { file.Set(L"BotBehaviour", L"TypeSpeed", speed); }
    WindowHandle Open(const std::wstring& name) { return desktop.AddConversation(name, L"start\r\n"); }
    void Say(WindowHandle window, const std::wstring& name, const std::wstring& text) {
        const WindowHandle history = desktop.Child(window, 0);
        desktop.SetText(history, desktop.Text(history) + name + L" says:\r\n  " + text + L"\r\n");
    }
    WindowHandle Entry(WindowHandle window) { return desktop.Child(window, 1); }
    WindowHandle Send(WindowHandle window) { return desktop.Child(window, 2); }

    // What one tick did to a window: notices shown, replies put in, Send presses.
    struct TickLog {
        int notices = 0;
        std::vector<std::wstring> replies;
        int presses = 0;
    };
    TickLog Tick(WindowHandle window) {
        const std::size_t before = desktop.sent.size();
        engine.Timer1_Timer();
        TickLog log;
        for (std::size_t i = before; i < desktop.sent.size(); ++i) {
            const FakeDesktop::Sent& s = desktop.sent[i];
            if (s.window == Entry(window) && s.message == 0x000C) {
                if (s.text == kTypingNotice) {
                    ++log.notices;
                } else {
                    log.replies.push_back(s.text);
                }
            }
            if (s.window == Send(window) && s.message == 0x0101) ++log.presses;
        }
        return log;
    }
};

TEST_F(Pipeline, ReadingDelayOfThreeAsksTheBotTwoTicksLater) {
    Speed(L"medium");
    random.Push(0.0f);  // delay 3
    random.Push(0.0f);  // typing time of "Hello there." at 2 characters a second: 6
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"hi");
    Tick(w);  // T: noticed, armed, counted down to 2
    EXPECT_EQ(table[1].DelayTicks, 2);
    Tick(w);
    EXPECT_TRUE(bot.questions.empty());
    const TickLog asked = Tick(w);  // T + 2
    EXPECT_THAT(bot.questions, ElementsAre(L"hi"));
    EXPECT_EQ(table[1].ReplyText, L"Hello there.");
    EXPECT_EQ(table[1].TypingTicks, 5);  // 6, counted down once in the same tick
    EXPECT_EQ(asked.notices, 1);
}

TEST_F(Pipeline, TypingTimeOfTenShowsTheNoticeEightTimesAndSendsOnTheTenth) {
    Speed(L"medium");
    bot.answer = std::wstring(20, L'x');
    random.Push(0.0f);  // delay 3
    random.Push(0.0f);  // 20 / 2 = 10 ticks of typing
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"hi");
    Tick(w);
    Tick(w);
    std::vector<int> notices;
    std::vector<int> sentOn;
    for (int t = 1; t <= 12; ++t) {  // the tick the bot is asked is typing tick 1
        const TickLog log = Tick(w);
        notices.push_back(log.notices);
        if (!log.replies.empty()) sentOn.push_back(t);
        if (!log.replies.empty()) {
            EXPECT_THAT(log.replies, ElementsAre(std::wstring(20, L'x') + L"\u00A0"));
            EXPECT_EQ(log.presses, 1);
        }
    }
    EXPECT_THAT(notices, ElementsAre(0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0, 0));
    EXPECT_THAT(sentOn, ElementsAre(10));
    EXPECT_EQ(bot.questions.size(), 1u);
}

TEST_F(Pipeline, InstantNoticesAsksShowsAndSendsInOneTick) {
    Speed(L"instant");
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"hi");
    const TickLog log = Tick(w);
    EXPECT_THAT(bot.questions, ElementsAre(L"hi"));
    EXPECT_EQ(log.notices, 1);
    EXPECT_THAT(log.replies, ElementsAre(L"Hello there.\u00A0"));
    EXPECT_EQ(log.presses, 1);
    // The notice comes first, then the reply, then the key press on Send.
    const auto& sent = desktop.sent;
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(sent[sent.size() - 6], (FakeDesktop::Sent{Entry(w), 0x000C, 0, kTypingNotice}));
    EXPECT_EQ(sent[sent.size() - 5], (FakeDesktop::Sent{Entry(w), 0x0100, 32, L""}));
    EXPECT_EQ(sent[sent.size() - 2], (FakeDesktop::Sent{Send(w), 0x0100, 32, L""}));
    EXPECT_EQ(sent[sent.size() - 1], (FakeDesktop::Sent{Send(w), 0x0101, 32, L""}));
    EXPECT_TRUE(random.taken == 0);
    // Nothing more happens until the other party writes again.
    EXPECT_EQ(Tick(w).replies.size(), 0u);
    EXPECT_EQ(bot.questions.size(), 1u);
}

TEST_F(Pipeline, ABurstIsAnsweredOnceAboutTheLastMessage) {
    Speed(L"slow");
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"first");
    random.Push(0.1f);  // 0.1 * 10 + 4 = 5
    Tick(w);
    Tick(w);
    Tick(w);
    Say(w, L"Bob", L"second");
    random.Push(0.1f);  // 5 again, replacing the running countdown
    random.Push(0.0f);  // typing draw
    for (int t = 1; t <= 4; ++t) {
        Tick(w);
        EXPECT_TRUE(bot.questions.empty()) << t;
    }
    Tick(w);  // fifth tick counting the one that noticed "second"
    EXPECT_THAT(bot.questions, ElementsAre(L"second"));
}

TEST_F(Pipeline, ANewMessageWhileTypingDropsTheFirstReplyWhenItsReadingEnds) {
    Speed(L"medium");
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"one");
    bot.answer = std::wstring(40, L'a');
    random.Push(0.0f);  // delay 3
    random.Push(0.0f);  // typing 20
    Tick(w);
    Tick(w);
    Tick(w);  // asked about "one"; typing begins
    Say(w, L"Bob", L"two");
    random.Push(0.0f);  // delay 3
    random.Push(0.0f);  // typing of the second answer
    Tick(w);
    Tick(w);
    EXPECT_EQ(table[1].ReplyText, std::wstring(40, L'a'));  // still typing the first
    bot.answer = L"bb";
    const TickLog log = Tick(w);  // the new reading ends: the first reply is dropped
    EXPECT_THAT(bot.questions, ElementsAre(L"one", L"two"));
    EXPECT_EQ(table[1].ReplyText, L"bb");
    EXPECT_EQ(table[1].TypingTicks, 0);  // 2 / 2 = 1 tick: sent at once
    EXPECT_THAT(log.replies, ElementsAre(L"bb\u00A0"));
}

TEST_F(Pipeline, UntickingDoesNotStopAPendingReply) {
    Speed(L"instant");
    file.Set(L"BotBehaviour", L"TypeSpeed", L"fast");
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"hi");
    random.Push(0.125f);  // delay 2
    random.Push(0.0f);    // typing 12 / 3 = 4
    Tick(w);
    list.SetTicked(w, false);
    int sends = 0;
    for (int t = 0; t < 6; ++t) sends += static_cast<int>(Tick(w).replies.size());
    EXPECT_EQ(sends, 1);
}

TEST_F(Pipeline, AWindowClosedWhileTypingIsNeverSentTo) {
    Speed(L"medium");
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"hi");
    random.Push(0.0f);
    random.Push(0.0f);
    Tick(w);
    Tick(w);
    Tick(w);  // asked; typing 6
    const WindowHandle entry = Entry(w);
    desktop.Close(w);
    const std::size_t before = desktop.sent.size();
    for (int t = 0; t < 10; ++t) engine.Timer1_Timer();
    EXPECT_EQ(desktop.sent.size(), before);
    EXPECT_EQ(table[1].hWnd, 0);
    (void)entry;
}

TEST_F(Pipeline, ANestedTickDuringARequestNeitherAsksTwiceNorLosesASlot) {
    Speed(L"instant");
    const WindowHandle ann = Open(L"Ann");
    const WindowHandle bob = Open(L"Bob");
    Say(ann, L"Ann", L"from ann");
    Say(bob, L"Bob", L"from bob");
    WindowHandle cid = 0;
    int nested = 0;
    bot.whileAsked = [&] {
        if (nested++ > 0) return;
        cid = Open(L"Cid");  // appears during the wait
        Say(cid, L"Cid", L"from cid");
        engine.Timer1_Timer();
        engine.Timer1_Timer();
    };
    engine.Timer1_Timer();
    EXPECT_EQ(bot.mostOutstanding, 1);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[3].hWnd, cid);
    // Bob's and Cid's readings ended during Ann's request: they wait at 1 and ask afterwards.
    engine.Timer1_Timer();
    EXPECT_THAT(bot.questions, ElementsAre(L"from ann", L"from bob", L"from cid"));
    EXPECT_EQ(bot.mostOutstanding, 1);
    for (WindowHandle w : {ann, bob, cid}) {
        EXPECT_EQ(desktop.Text(Entry(w)), L"Hello there.\u00A0");
    }
}

TEST_F(Pipeline, ShortRepliesAtAValidSpeedAreSentAtOnceEmptyOnesNever) {
    Speed(L"fast");
    const WindowHandle w = Open(L"Bob");
    bot.answer = L"k";  // 1 / (r + 3) rounds to 0
    Say(w, L"Bob", L"ok?");
    random.Push(0.125f);  // delay 2
    random.Push(0.0f);
    Tick(w);
    const TickLog ready = Tick(w);
    EXPECT_THAT(ready.replies, ElementsAre(L"k\u00A0"));
    EXPECT_EQ(ready.presses, 1);

    Speed(L"instant");
    bot.answer = L"";
    Say(w, L"Bob", L"again");
    const TickLog empty = Tick(w);
    EXPECT_EQ(bot.questions.size(), 2u);
    EXPECT_TRUE(empty.replies.empty());
    EXPECT_EQ(empty.presses, 0);
    EXPECT_EQ(table[1].TypingTicks, 0);
}

TEST_F(Pipeline, ASpeedThatTurnsInvalidBeforeTypingDropsTheReply) {
    Speed(L"medium");
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"hi");
    random.Push(0.0f);
    Tick(w);
    Tick(w);
    Speed(L"Medium");
    const TickLog log = Tick(w);
    EXPECT_EQ(bot.questions.size(), 1u);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(table[1].TypingTicks, 0);
    EXPECT_EQ(log.notices, 0);
    for (int t = 0; t < 5; ++t) EXPECT_TRUE(Tick(w).replies.empty());
}

TEST_F(Pipeline, AnInvalidSpeedShowsTheBoxOncePerNewMessageAndArmsNothing) {
    Speed(L"Fast");
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"hi");
    Tick(w);
    Tick(w);
    Tick(w);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, L"Error: invalid typing speed selected");
    EXPECT_EQ(table[1].DelayTicks, 0);
    Say(w, L"Bob", L"hello?");
    Tick(w);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_TRUE(bot.questions.empty());
    EXPECT_EQ(random.taken, 0);
}

TEST_F(Pipeline, RepliesAreRestyledBeforeTheyAreTimedAndSent) {
    Speed(L"instant");
    file.Set(L"BotBehaviour", L"TypeStyle", L"messy");
    bot.answer = L"I'm fine. Are you?";
    const WindowHandle w = Open(L"Bob");
    Say(w, L"Bob", L"how are you");
    EXPECT_THAT(Tick(w).replies, ElementsAre(L"im fine r you?\u00A0"));
}

TEST_F(Pipeline, WindowsWithoutEntryBoxOrSendButtonAreLeftAlone) {
    Speed(L"instant");
    const WindowHandle oneEdit = desktop.AddWindow(L"IMWindowClass", L"Ann - Conversation");
    desktop.AddChild(oneEdit, L"RichEdit20A", L"start\r\nAnn says:\r\n  hi\r\n");
    desktop.AddChild(oneEdit, L"RichEdit20W");
    desktop.AddChild(oneEdit, L"Button");
    const WindowHandle noButton = desktop.AddWindow(L"IMWindowClass", L"Bob - Conversation");
    desktop.AddChild(noButton, L"RichEdit20W", L"start\r\nBob says:\r\n  hi\r\n");
    const WindowHandle entry = desktop.AddChild(noButton, L"RichEdit20W");
    engine.Timer1_Timer();
    EXPECT_EQ(bot.questions.size(), 2u);
    for (const auto& s : desktop.sent) {
        EXPECT_NE(s.window, desktop.Child(oneEdit, 1));  // a wide rich edit beside an ANSI one
        EXPECT_NE(s.window, desktop.Child(oneEdit, 2));
    }
    EXPECT_EQ(desktop.Text(entry), L"Hello there.\u00A0");  // left in the box, not sent
}

// A reply dropped unsent, or the program ending, must not leave the notice for the user's next
// Enter to send; whatever else the user put in the entry box stays.
TEST_F(Pipeline, ADroppedReplyOrTheEndTakesBackTheNoticeButNotTheUsersText) {
    const std::wstring notice = kTypingNotice;
    auto typing = [&] {  // a conversation with a long reply being typed, its notice standing
        Speed(L"medium");
        const WindowHandle w = Open(L"Bob");
        Say(w, L"Bob", L"one");
        bot.answer = std::wstring(40, L'a');
        for (int t = 0; t < 4; ++t) random.Push(0.0f);  // reading and typing, twice
        for (int t = 0; t < 4; ++t) Tick(w);
        return w;
    };
    const struct {
        std::wstring entry, answer, speed, left;
    } drops[] = {
        {notice, L"", L"medium", L""},  // an empty answer replaces the reply
        {L"my own words", L"", L"medium", L"my own words"},
        {notice, L"fine", L"Medium", L""},  // the speed turned invalid
    };
    for (const auto& drop : drops) {
        const WindowHandle w = typing();
        Say(w, L"Bob", L"two");
        Tick(w);
        Tick(w);
        desktop.SetText(Entry(w), drop.entry);
        Speed(drop.speed);
        bot.answer = drop.answer;
        Tick(w);
        EXPECT_EQ(desktop.Text(Entry(w)), drop.left) << drop.entry << " " << drop.speed;
    }

    // The program ends while a request waits; the tick unwinding from it shows and sends nothing.
    const WindowHandle left = typing();
    const WindowHandle own = typing();
    const WindowHandle asking = Open(L"Cy");
    Speed(L"instant");
    Say(asking, L"Cy", L"hi");
    bot.whileAsked = [&] {
        desktop.SetText(Entry(own), L"my own words");
        pipeline.Stop();
    };
    const TickLog last = Tick(asking);
    EXPECT_EQ(last.notices + last.replies.size() + last.presses, 0u);
    EXPECT_EQ(desktop.Text(Entry(left)), L"");
    EXPECT_EQ(desktop.Text(Entry(own)), L"my own words");
}

}  // namespace
}  // namespace quorvanel
