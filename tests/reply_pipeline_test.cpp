// The reply pipeline driven by the poll cycle, tick by tick, over a fake desktop.
#include "relay/reply_pipeline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bot/bot_server.h"
#include "fakes/fake_conversation_list.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"
#include "relay/typing_notice.h"

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
    bool later = false;  // answers wait in `waiting` for the test to give them
    std::vector<std::function<void(std::wstring)>> waiting;

    // Each question as "contact: message"; answered before Ask returns, unless later.
    void Ask(const std::wstring& message, const std::wstring& contact,
             std::function<void(std::wstring)> done) override {
        questions.push_back(contact + L": " + message);
        if (later) return waiting.push_back(std::move(done));
        ++outstanding;
        mostOutstanding = std::max(mostOutstanding, outstanding);
        if (whileAsked) whileAsked();
        --outstanding;
        done(answer);
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

    std::vector<ReplyOutcome> outcomes;  // what became of each message, as the record is told
    std::vector<std::wstring> heard;

    Pipeline() {
        list.enableDefault = true;
        pipeline.OnHandled([this](const HandledMessage& handled) {
            outcomes.push_back(handled.outcome);
            heard.push_back(handled.heard);
        });
    }
    void Speed(const std::wstring& speed) { file.Set(L"BotBehaviour", L"TypeSpeed", speed); }
    WindowHandle Open(const std::wstring& name) { return desktop.AddConversation(name, L"start\r\n"); }
    WindowHandle Entry(WindowHandle window) { return desktop.Child(window, 1); }
    WindowHandle Send(WindowHandle window) { return desktop.Child(window, 2); }

    // What ticks did to a window, a word a tick: "n" the notice put in its entry box, "r" another
    // text put in, "p" Send pressed; "-" nothing.
    std::string Ticks(WindowHandle window, int ticks = 1) {
        std::string log;
        for (int t = 0; t < ticks; ++t) {
            const std::size_t before = desktop.sent.size();
            engine.Timer1_Timer();
            log += t == 0 ? "" : " ";
            const std::size_t word = log.size();
            for (std::size_t i = before; i < desktop.sent.size(); ++i) {
                const FakeDesktop::Sent& s = desktop.sent[i];
                if (s.window == Entry(window) && s.message == 0x000C) log += s.text == kTypingNotice ? 'n' : 'r';
                if (s.window == Send(window) && s.message == 0x0101) log += 'p';
            }
            if (log.size() == word) log += '-';
        }
        return log;
    }
};

TEST_F(Pipeline, AfterThreeTicksOfReadingTenOfTypingShowTheNoticeEightTimesAndSend) {
    Speed(L"medium");
    bot.answer = std::wstring(20, L'x');
    random.Push(0.0f);  // delay 3
    random.Push(0.0f);  // 20 / 2 = 10 ticks of typing
    const WindowHandle w = Open(L"Bob");
    desktop.Say(w, L"Bob", L"hi");
    // Noticed, two ticks of reading, then the bot is asked on typing tick 1.
    EXPECT_EQ(Ticks(w, 14), "- - - n n n n - n n n nrp - -");
    EXPECT_EQ(desktop.Text(Entry(w)), std::wstring(20, L'x') + L"\u00A0");
    EXPECT_EQ(bot.questions.size(), 1u);
}

// A messenger window that stops answering is skipped, tick by tick, without losing its reply or
// holding the others; once it answers again its reply goes on where it stopped.
TEST_F(Pipeline, AWindowThatDoesNotAnswerWaitsWhileOthersGoOn) {
    Speed(L"medium");
    bot.answer = std::wstring(10, L'x');
    for (int i = 0; i < 4; ++i) random.Push(0.0f);  // delays of 3, typing of 5 ticks
    const WindowHandle ann = Open(L"Ann");
    const WindowHandle bob = Open(L"Bob");
    desktop.Say(ann, L"Ann", L"hi");
    desktop.Say(bob, L"Bob", L"hi");
    EXPECT_EQ(Ticks(ann, 5), "- - - n n");
    desktop.hung.push_back(ann);
    EXPECT_EQ(Ticks(bob, 4), "n nrp - -");  // Bob's reply goes out meanwhile
    desktop.hung.clear();
    EXPECT_EQ(Ticks(ann, 4), "n nrp - -");  // Ann's last two typing ticks, where she stopped
    EXPECT_EQ(desktop.Text(Entry(ann)), std::wstring(10, L'x') + L"\u00A0");
}

TEST_F(Pipeline, ANestedTickDuringARequestNeitherAsksTwiceNorLosesASlot) {
    Speed(L"instant");
    const WindowHandle ann = Open(L"Ann");
    const WindowHandle bob = Open(L"Bob");
    desktop.Say(ann, L"Ann", L"from ann");
    desktop.Say(bob, L"Bob", L"from bob");
    std::vector<WindowHandle> late;
    int nested = 0;
    bot.whileAsked = [&] {
        if (nested++ > 0) return;
        // Windows that appear during the wait grow the table past its capacity.
        for (const wchar_t* name : {L"Cid", L"Dan", L"Eve"}) {
            late.push_back(Open(name));
            desktop.Say(late.back(), name, L"from " + std::wstring(name));
        }
        engine.Timer1_Timer();
        engine.Timer1_Timer();
    };
    engine.Timer1_Timer();
    ASSERT_EQ(table.size(), 6u);
    // The others' readings ended during Ann's request: they wait at 1 and ask afterwards.
    engine.Timer1_Timer();
    EXPECT_THAT(bot.questions, ElementsAre(L"Ann: from ann", L"Bob: from bob", L"Cid: from Cid", L"Dan: from Dan",
                                         L"Eve: from Eve"));
    EXPECT_EQ(bot.mostOutstanding, 1);
    for (WindowHandle w : {ann, bob, late[0], late[1], late[2]}) {
        EXPECT_EQ(desktop.Text(Entry(w)), L"Hello there.\u00A0");
    }
}

// Only a request's own end lets the next question go: another's end, come meanwhile, does not.
TEST_F(Pipeline, OnlyTheOutstandingRequestsOwnEndLetsTheNextQuestionGo) {
    Speed(L"instant");
    bot.later = true;
    const WindowHandle ann = Open(L"Ann");
    const WindowHandle bob = Open(L"Bob");
    desktop.Say(ann, L"Ann", L"first");
    engine.Timer1_Timer();
    ASSERT_EQ(bot.waiting.size(), 1u);
    // Something else takes the bot server meanwhile (the conversation start of a restart, say).
    const ReplyPipeline::RequestId hold = pipeline.HoldQuestions();
    desktop.Say(bob, L"Bob", L"second");
    bot.waiting[0](L"late");
    EXPECT_EQ(Ticks(bob, 3), "- - -");
    EXPECT_EQ(bot.questions.size(), 1u);
    EXPECT_EQ(desktop.Text(Entry(ann)), L"late\u00A0");  // its answer still went to its slot
    pipeline.ReleaseQuestions(hold);
    engine.Timer1_Timer();
    EXPECT_THAT(bot.questions, ElementsAre(L"Ann: first", L"Bob: second"));
}

TEST_F(Pipeline, ShortRepliesAreSentAtOnceAndRepliesRestyled) {
    Speed(L"fast");
    const WindowHandle w = Open(L"Bob");
    bot.answer = L"k";  // 1 / (r + 3) rounds to 0
    desktop.Say(w, L"Bob", L"ok?");
    random.Push(0.125f);  // delay 2
    random.Push(0.0f);
    EXPECT_EQ(Ticks(w, 2), "- nrp");
    EXPECT_EQ(desktop.Text(Entry(w)), L"k\u00A0");

    Speed(L"instant");
    file.Set(L"BotBehaviour", L"TypeStyle", L"messy");
    bot.answer = L"I'm fine. Are you?";
    desktop.Say(w, L"Bob", L"how are you");
    EXPECT_EQ(Ticks(w), "nrp");
    EXPECT_EQ(desktop.Text(Entry(w)), L"im fine r you?\u00A0");

    // What the record is told: a canned line and the error line are told from the bot's answer,
    // and a window without a Send button keeps the reply in its box.
    file.Set(L"BotBehaviour", L"TypeStyle", L"perfect");
    for (const wchar_t* answer : {kCannedLine2, kNoPageAnswer}) {
        bot.answer = answer;
        desktop.Say(w, L"Bob", answer);
        Ticks(w);
    }
    desktop.Close(Send(w));
    desktop.Say(w, L"Bob", L"last");
    engine.Timer1_Timer();
    EXPECT_THAT(outcomes,
                ElementsAre(ReplyOutcome::Sent, ReplyOutcome::Sent, ReplyOutcome::CannedLine,
                            ReplyOutcome::ErrorLine, ReplyOutcome::NoSendButton));
    EXPECT_THAT(heard, ElementsAre(L"ok?", L"how are you", kCannedLine2, kNoPageAnswer, L"last"));
}

// The robot writes only into an entry box that holds nothing of the user's; a reply that finds
// the user's words there is dropped, and the next message is answered as usual.
TEST_F(Pipeline, WhatTheUserTypesIsNeverOverwritten) {
    Speed(L"instant");
    const WindowHandle w = Open(L"Bob");
    const struct {
        std::wstring entry;
        const char* ticks;
    } boxes[] = {{L"", "nrp"}, {kTypingNotice, "nrp"}, {L"an earlier reply\u00A0", "nrp"},
                 {L"half a sent", "-"}, {L" ", "-"}};
    int message = 0;
    for (const auto& box : boxes) {
        desktop.Say(w, L"Bob", L"line " + std::to_wstring(++message));
        desktop.SetText(Entry(w), box.entry);
        EXPECT_EQ(Ticks(w), box.ticks) << message;
        if (*box.ticks == '-') {
            EXPECT_EQ(desktop.Text(Entry(w)), box.entry);
        }
    }
    // Begun while the notice stands: the reply is dropped at the next tick, the words kept.
    Speed(L"medium");
    bot.answer = std::wstring(40, L'a');
    desktop.Say(w, L"Bob", L"long one");
    desktop.SetText(Entry(w), L"");
    for (int t = 0; t < 2; ++t) random.Push(0.0f);
    Ticks(w, 4);
    ASSERT_EQ(desktop.Text(Entry(w)), kTypingNotice);
    desktop.SetText(Entry(w), L"no, I'll answer");
    EXPECT_EQ(Ticks(w, 10), "- - - - - - - - - -");
    EXPECT_EQ(table[1].TypingTicks, 0);

    // Dropped while the bot is being asked (the user wrote): the answer is not typed.
    Speed(L"instant");
    bot.later = true;
    desktop.SetText(Entry(w), L"");
    desktop.Say(w, L"Bob", L"one last");
    Ticks(w);
    pipeline.DropReply(1);
    bot.waiting.at(0)(L"too late");
    Ticks(w, 2);
    EXPECT_EQ(desktop.Text(Entry(w)), L"");
    using enum ReplyOutcome;
    EXPECT_THAT(outcomes,
                ElementsAre(Sent, Sent, Sent, UserWriting, UserWriting, UserWriting, UserWriting));
    EXPECT_EQ(heard.back(), L"one last");
}

// A new message while a reply is typed replaces it when its reading ends. A reply dropped unsent,
// or the program ending, must not leave the notice for the user's next Enter to send; whatever
// else the user put in the entry box stays.
TEST_F(Pipeline, ADroppedReplyOrTheEndTakesBackTheNoticeButNotTheUsersText) {
    const std::wstring notice = kTypingNotice;
    auto typing = [&] {  // a conversation with a long reply being typed, its notice standing
        Speed(L"medium");
        const WindowHandle w = Open(L"Bob");
        desktop.Say(w, L"Bob", L"one");
        bot.answer = std::wstring(40, L'a');
        for (int t = 0; t < 4; ++t) random.Push(0.0f);  // reading and typing, twice
        Ticks(w, 4);
        return w;
    };
    const struct {
        std::wstring entry, answer, speed, left;
    } drops[] = {
        {notice, L"", L"medium", L""},  // an empty answer replaces the reply
        {L"my own words", L"", L"medium", L"my own words"},
        {notice, L"fine", L"Medium", L""},  // the speed turned invalid
        {notice, L"bb", L"medium", L"bb\u00A0"},  // 2 / 2 = 1 tick: sent at once
    };
    for (const auto& drop : drops) {
        const WindowHandle w = typing();
        desktop.Say(w, L"Bob", L"two");
        Ticks(w, 2);
        desktop.SetText(Entry(w), drop.entry);
        Speed(drop.speed);
        bot.answer = drop.answer;
        Ticks(w);
        EXPECT_EQ(desktop.Text(Entry(w)), drop.left) << drop.entry << " " << drop.speed;
    }
    EXPECT_THAT(outcomes, ElementsAre(ReplyOutcome::EmptyAnswer, ReplyOutcome::EmptyAnswer,
                                      ReplyOutcome::InvalidSpeed, ReplyOutcome::Sent));

    // The program ends while a request waits; the tick unwinding from it shows and sends nothing.
    const WindowHandle left = typing();
    const WindowHandle own = typing();
    const WindowHandle asking = Open(L"Cy");
    Speed(L"instant");
    desktop.Say(asking, L"Cy", L"hi");
    bot.whileAsked = [&] {
        desktop.SetText(Entry(own), L"my own words");
        pipeline.Stop();
    };
    EXPECT_EQ(Ticks(asking), "-");
    EXPECT_EQ(desktop.Text(Entry(left)), L"");
    EXPECT_EQ(desktop.Text(Entry(own)), L"my own words");
}

}  // namespace
}  // namespace quorvanel
