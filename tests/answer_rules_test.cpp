// The user's answering rules: whom, when, the step back, and the stop of a runaway exchange.
#include "relay/answer_rules.h"

#include <gtest/gtest.h>

#include "fakes/fake_conversation_list.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_settings.h"
#include "relay/relay_engine.h"

namespace quorvanel {
namespace {

// The poll cycle with the rules, a fake clock, and reply stages that count what they arm.
class Rules : public ::testing::Test, public Clock, public ReplyStages {
protected:
    std::int64_t now = 1'000'000, idle = 0;
    int second = 12 * 3600, armed = 0;
    std::vector<int> dropped;
    std::int64_t NowMs() override { return now; }
    int SecondOfDay() override { return second; }
    std::int64_t IdleMs() override { return idle; }
    int GetDelayTicks() override { return ++armed, 3; }
    void AdvanceReply(int) override {}
    void DropReply(int slot) override { dropped.push_back(slot); }

    testing::FakeDesktop desktop;
    testing::FakeConversationList list;
    testing::FakeSettings file;
    ConversationTable table = NewConversationTable();
    AnswerRules rules{file, *this};
    RelayEngine engine{desktop, list, table, this, &rules};

    void Set(const std::wstring& key, const std::wstring& value) {
        file.Set(L"Rules", key, value);
        rules.Reread();
    }
    void Tick(std::int64_t ms = 1000) {
        now += ms;
        second += static_cast<int>(ms / 1000);
        engine.Timer1_Timer();
    }
    std::wstring Note(int entry) { return list.entries.at(entry).note; }
};

TEST(RulesFile, AnythingNotUnderstoodIsTheDefaultAndAnyNameHasAKeyOfItsOwn) {
    testing::FakeSettings file;
    for (auto [key, value] : {std::pair{L"StepBackMinutes", L"-1"}, {L"AnswerWhen", L"Away"}, {L"AwayMinutes", L"0"},
                              {L"HoursFrom", L"24:00"}, {L"HoursTo", L"7:5"}, {L"CapAnswers", L"99999999999"},
                              {L"CapMinutes", L" 5"}}) {
        file.Set(L"Rules", key, value);
    }
    const ReplyRules r = ReadReplyRules(file);
    EXPECT_EQ(FormatClockTime(r.hoursFrom) + FormatClockTime(r.hoursTo), L"18:0008:00");
    EXPECT_EQ(std::tie(r.when, r.stepBackMinutes, r.awayMinutes, r.capAnswers, r.capMinutes),
              std::make_tuple(AnswerWhen::Always, 0, 10, 60, 10));

    // Keys in the file ignore case and cannot hold every character; each name still has its own.
    const std::wstring names[] = {L"Ann", L"ann", L" Ann", L"a=b;[c]", L"Pawe\u0142 \u0416"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        ASSERT_TRUE(WriteContactRule(file, names[i], i % 2 ? ContactRule::Never : ContactRule::Always));
    }
    for (std::size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(ReadContactRule(file, names[i]), i % 2 ? ContactRule::Never : ContactRule::Always);
    }
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
    EXPECT_EQ(armed, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(list.entries[i].ticked, i == 1 || i == 2) << i;
    EXPECT_EQ(Note(0) + L"|" + Note(3), L"never|");

    list.entries[0].ticked = true;
    Tick();
    EXPECT_EQ(armed, 1);
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
    desktop.Say(w, L"Bob", L"hi");
    Tick();
    second = 14 * 3600 + 30 * 60 + 15;  // 14:30:15
    desktop.Say(w, L"Me", L"hello Bob, it's me");
    Tick();
    EXPECT_EQ(dropped, std::vector<int>{1});
    EXPECT_EQ(Note(0), L"stepped back until 14:33");  // 14:32:16, shown by the minute it has passed
    const struct {
        const wchar_t *speaker, *line;
    } lines[] = {{L"Bob", L"oh hi"}, {L"Me", L"one more thing"}, {L"Bob", L"yes?"}, {L"Me", L"a reply\u00A0"}};
    for (const auto& said : lines) {  // a minute apart: the second line of the user's counts
        desktop.Say(w, said.speaker, said.line);
        Tick(60'000);
    }
    EXPECT_EQ(armed, 1);
    desktop.Say(w, L"Bob", L"and now?");
    Tick();
    EXPECT_EQ(armed, 2);
    EXPECT_EQ(Note(0), L"");
}

TEST_F(Rules, HoursCrossMidnightAndAwayMeansNoInputForTheChosenMinutes) {
    Set(L"AnswerWhen", L"hours");
    Set(L"HoursFrom", L"22:30");
    Set(L"HoursTo", L"7:00");
    list.enableDefault = true;
    const WindowHandle w = desktop.AddConversation(L"Bob", L"x\r\n");
    const int answered[] = {22 * 3600 + 30 * 60, 0, 6 * 3600 + 59 * 60, -(22 * 3600 + 29 * 60 + 59), -7 * 3600};
    for (const int at : answered) {  // negative: not answered; the clock goes back and forth
        desktop.Say(w, L"Bob", L"at " + std::to_wstring(at));
        second = std::abs(at) - 1;
        const int before = armed;
        Tick();
        EXPECT_EQ(armed - before, at >= 0 ? 1 : 0) << at;
        EXPECT_EQ(Note(0), at >= 0 ? L"" : L"outside the hours");
    }

    Set(L"AnswerWhen", L"away");
    Set(L"AwayMinutes", L"5");
    for (const std::int64_t away : {5 * 60'000 - 1, 5 * 60'000}) {
        idle = away;
        desktop.Say(w, L"Bob", L"anyone? " + std::to_wstring(away));
        const int before = armed;
        Tick();
        EXPECT_EQ(Note(0), away < 5 * 60'000 ? L"not while you are here" : L"");
        EXPECT_EQ(armed - before, away < 5 * 60'000 ? 0 : 1);
    }
}

// Another machine that answers every reply sooner than a person could type it is stopped within
// 15 answers and heard again after 10 quiet minutes; a quick typist never is.
TEST_F(Rules, AMachineAtTheOtherEndIsStoppedAPersonNever) {
    ConversationSlot robot, person, slow;
    robot.Contact = L"Echo";
    person.Contact = L"Ann";
    slow.Contact = L"Cy";
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
    for (int turn = 0; turn < 200; ++turn) {
        const std::wstring line(static_cast<std::size_t>(1 + turn % 30), L'x');
        Tick(static_cast<std::int64_t>(line.size()) * kHumanMsPerChar);
        ASSERT_TRUE(rules.Heard(person, line)) << turn;
        rules.Answered(person.Contact);
    }

    // The cap: no more than the chosen answers to one contact within the chosen minutes.
    Set(L"CapAnswers", L"3");
    Set(L"CapMinutes", L"1");
    Tick();
    for (int i = 0; i < 4; ++i, Tick(10'000)) {
        EXPECT_EQ(rules.Heard(slow, L"hi"), i < 3) << i;
        if (i < 3) rules.Answered(slow.Contact);
    }
    EXPECT_EQ(rules.Reason(slow, true).substr(0, 20), L"limit reached until ");
    Tick(20'000);
    EXPECT_TRUE(rules.Heard(slow, L"hi"));
}

}  // namespace
}  // namespace quorvanel
