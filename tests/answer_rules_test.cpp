// The user's answering rules: whom, when, the step back, and the stop of a runaway exchange.
#include "relay/answer_rules.h"

#include <gtest/gtest.h>

#include "fakes/fake_conversation_list.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_settings.h"
#include "relay/relay_engine.h"

namespace quorvanel {
namespace {

using testing::FakeConversationList;
using testing::FakeDesktop;
using testing::FakeSettings;

class FakeClock final : public Clock {
public:
    std::int64_t now = 1'000'000;
    int second = 12 * 3600;
    std::int64_t idle = 0;
    std::int64_t NowMs() override { return now; }
    int SecondOfDay() override { return second; }
    std::int64_t IdleMs() override { return idle; }
};

// Arms every message it is given; remembers which slots were armed and dropped.
class Stages final : public ReplyStages {
public:
    int armed = 0;
    std::vector<int> dropped;
    int GetDelayTicks() override { return ++armed, 3; }
    void AdvanceReply(int) override {}
    void DropReply(int slot) override { dropped.push_back(slot); }
};

class Rules : public ::testing::Test {
protected:
    FakeDesktop desktop;
    FakeConversationList list;
    FakeSettings file;
    FakeClock clock;
    ConversationTable table = NewConversationTable();
    Stages stages;
    AnswerRules rules{file, clock};
    RelayEngine engine{desktop, list, table, &stages, &rules};

    void Set(const std::wstring& key, const std::wstring& value) {
        file.Set(L"Rules", key, value);
        rules.Reread();
    }
    void Tick(std::int64_t ms = 1000) {
        clock.now += ms;
        clock.second += static_cast<int>(ms / 1000);
        engine.Timer1_Timer();
    }
    std::wstring Note(int entry) { return list.entries.at(entry).note; }
};

TEST(RulesFile, AnythingNotUnderstoodIsTheDefaultAndAnyNameHasAKeyOfItsOwn) {
    FakeSettings file;
    for (auto [key, value] : {std::pair{L"StepBackMinutes", L"-1"}, {L"AnswerWhen", L"Away"},
                              {L"AwayMinutes", L"0"}, {L"HoursFrom", L"24:00"}, {L"HoursTo", L"7:5"},
                              {L"CapAnswers", L"99999999999"}, {L"CapMinutes", L" 5"}}) {
        file.Set(L"Rules", key, value);
    }
    const ReplyRules defaults = ReadReplyRules(file);
    EXPECT_EQ(FormatClockTime(defaults.hoursFrom) + FormatClockTime(defaults.hoursTo), L"18:0008:00");
    EXPECT_EQ(defaults.when, AnswerWhen::Always);
    EXPECT_EQ(defaults.stepBackMinutes + defaults.awayMinutes + defaults.capAnswers + defaults.capMinutes,
              0 + 10 + 60 + 10);

    // Keys in the file ignore case and cannot hold every character; each name still has its own.
    const std::wstring names[] = {L"Ann", L"ann", L" Ann", L"a=b;[c]", L"Pawe\u0142 \u0416"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        ASSERT_TRUE(WriteContactRule(file, names[i], i % 2 ? ContactRule::Never : ContactRule::Always));
    }
    for (std::size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(ReadContactRule(file, names[i]), i % 2 ? ContactRule::Never : ContactRule::Always);
    }
    EXPECT_EQ(ContactKey(L"a=b"), L"613D62");
    ASSERT_TRUE(WriteContactRule(file, L"Ann", ContactRule::Default));
    EXPECT_EQ(ReadContactRule(file, L"Ann"), ContactRule::Default);
}

// "never" outweighs ticking new windows, "always" ticks without it; both last across windows
// (the settings file), and ticking a "never" contact by hand serves that window.
TEST_F(Rules, AContactsOwnRuleDecidesHowTheirWindowsAreListed) {
    WriteContactRule(file, L"Boss", ContactRule::Never);
    WriteContactRule(file, L"Ann", ContactRule::Always);
    list.enableDefault = true;
    const WindowHandle boss = desktop.AddConversation(L"Boss", L"x\r\nBoss says:\r\n  report?\r\n");
    desktop.AddConversation(L"Bob");
    Tick();
    list.enableDefault = false;
    desktop.AddConversation(L"Ann");
    desktop.AddConversation(L"Cy");
    Tick();
    EXPECT_EQ(stages.armed, 0);
    std::vector<bool> ticked;
    for (const auto& entry : list.entries) ticked.push_back(entry.ticked);
    EXPECT_EQ(ticked, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(Note(0), L"never");
    EXPECT_EQ(Note(3), L"");

    list.entries[0].ticked = true;
    Tick();
    EXPECT_EQ(stages.armed, 1);
    EXPECT_EQ(Note(0), L"");

    // Set from the list: applied to the entries listed now, and kept for the next window.
    ASSERT_TRUE(engine.SetContactRule(3, ContactRule::Always));
    ASSERT_TRUE(engine.SetContactRule(1, ContactRule::Never));
    EXPECT_TRUE(list.entries[3].ticked);
    EXPECT_FALSE(list.entries[1].ticked);
    EXPECT_EQ(ReadContactRule(file, L"Bob"), ContactRule::Never);
    desktop.Close(boss);
    Tick();
    EXPECT_EQ(engine.ContactRuleOf(2), ContactRule::Always);
}

// The robot keeps out of a conversation for the chosen minutes after the user's last own line,
// and drops what it was about to say when the user writes.
TEST_F(Rules, WritingYourselfStepsTheRobotBackFromYourLastLine) {
    Set(L"StepBackMinutes", L"2");
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"x\r\n");
    Tick();
    desktop.Say(w, L"Bob", L"hi");
    Tick();
    EXPECT_EQ(stages.armed, 1);
    clock.second = 14 * 3600 + 30 * 60 + 15;  // 14:30:15
    desktop.Say(w, L"Me", L"hello Bob, it's me");
    Tick();
    EXPECT_EQ(stages.dropped, std::vector<int>{1});
    EXPECT_EQ(Note(0), L"stepped back until 14:33");  // 14:32:16, shown by the minute it has passed

    desktop.Say(w, L"Bob", L"oh hi");
    Tick(60'000);
    desktop.Say(w, L"Me", L"one more thing");  // counted from this line
    Tick(60'000);
    desktop.Say(w, L"Bob", L"yes?");
    Tick(60'000);
    EXPECT_EQ(stages.armed, 1);
    // The robot's own lines are not the user's.
    desktop.Say(w, L"Me", L"an answer\u00A0");
    Tick(60'000);
    desktop.Say(w, L"Bob", L"and now?");
    Tick();
    EXPECT_EQ(stages.armed, 2);
    EXPECT_EQ(Note(0), L"");
}

TEST_F(Rules, HoursCrossMidnightAndAwayMeansNoInputForTheChosenMinutes) {
    Set(L"AnswerWhen", L"hours");
    Set(L"HoursFrom", L"22:30");
    Set(L"HoursTo", L"7:00");
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"x\r\n");
    const struct {
        int second;
        bool answered;
    } times[] = {{22 * 3600 + 29 * 60 + 59, false}, {22 * 3600 + 30 * 60, true}, {0, true},
                 {6 * 3600 + 59 * 60, true}, {7 * 3600, false}, {12 * 3600, false}};
    int armed = 0;
    for (const auto& at : times) {
        desktop.Say(w, L"Bob", L"at " + std::to_wstring(at.second));
        clock.second = at.second - 1;  // also when the clock is set back
        Tick();
        armed += at.answered;
        EXPECT_EQ(stages.armed, armed) << at.second;
        EXPECT_EQ(Note(0), at.answered ? L"" : L"outside the hours");
    }

    Set(L"AnswerWhen", L"away");
    Set(L"AwayMinutes", L"5");
    clock.idle = 5 * 60'000 - 1;
    desktop.Say(w, L"Bob", L"anyone?");
    Tick();
    EXPECT_EQ(Note(0), L"not while you are here");
    clock.idle = 5 * 60'000;
    desktop.Say(w, L"Bob", L"anyone now?");
    Tick();
    EXPECT_EQ(stages.armed, armed + 1);
}

// Another machine that answers every reply sooner than a person could type it is stopped within
// 15 answers and heard again after 10 quiet minutes; a quick typist never is.
TEST_F(Rules, AMachineAtTheOtherEndIsStoppedAPersonNever) {
    ConversationSlot robot;
    robot.Contact = L"Echo";
    rules.Refresh();
    int answers = 0;
    while (rules.Heard(robot, L"You said: " + std::to_wstring(answers)) && answers < 50) {
        rules.Answered(robot.Contact);
        ++answers;
        Tick(2000);  // it answers within the next ticks: 2 s for a dozen characters
    }
    EXPECT_GE(answers, 5);
    EXPECT_LE(answers, 15);
    EXPECT_EQ(rules.Reason(robot, true), L"another robot");
    Tick(kQuietMs - 1000);
    EXPECT_FALSE(rules.Heard(robot, L"still there?"));
    Tick(kQuietMs);
    EXPECT_TRUE(rules.Heard(robot, L"hello again"));

    // A person at 60 words a minute: their line takes its length times 200 ms, at the least.
    Set(L"CapAnswers", L"1000");
    ConversationSlot person;
    person.Contact = L"Ann";
    for (int turn = 0; turn < 200; ++turn) {
        const std::wstring line(static_cast<std::size_t>(1 + turn % 30), L'x');
        Tick(static_cast<std::int64_t>(line.size()) * kHumanMsPerChar);
        ASSERT_TRUE(rules.Heard(person, line)) << turn;
        rules.Answered(person.Contact);
    }

    // The cap: no more than the chosen answers to one contact within the chosen minutes.
    Set(L"CapAnswers", L"3");
    Set(L"CapMinutes", L"1");
    ConversationSlot slow;
    slow.Contact = L"Cy";
    Tick();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(rules.Heard(slow, L"hi")) << i;
        rules.Answered(slow.Contact);
        Tick(10'000);
    }
    EXPECT_FALSE(rules.Heard(slow, L"hi"));
    EXPECT_EQ(rules.Reason(slow, true).substr(0, 20), L"limit reached until ");
    Tick(30'000);
    EXPECT_TRUE(rules.Heard(slow, L"hi"));
}

}  // namespace
}  // namespace quorvanel
