#include "present/simulated_typing.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

using testing::FakeDialogs;
using testing::FakeSettings;
using testing::ScriptedRandom;

class Typing : public ::testing::Test {
protected:
    FakeSettings file;
    ScriptedRandom random;
    FakeDialogs dialogs;
    SimulatedTyping typing{file, random, dialogs};

    void Speed(const std::wstring& speed) { file.Set(L"BotBehaviour", L"TypeSpeed", speed); }
    int Delay(float r) {
        random.Push(r);
        return typing.GetDelayTicks();
    }
    int Typed(std::size_t chars, float r) {
        random.Push(r);
        return typing.GetTypingTicks(std::wstring(chars, L'x'));
    }
};

constexpr float kAlmostOne = 0.99999994f;  // the largest single below 1

TEST_F(Typing, DelayScalesTheDrawAndRoundsHalvesToEven) {
    Speed(L"fast");
    EXPECT_EQ(Delay(0.125f), 2);  // 2.5
    EXPECT_EQ(Delay(0.875f), 6);  // 5.5
    EXPECT_EQ(Delay(0.0f), 2);
    EXPECT_EQ(Delay(kAlmostOne), 6);
    Speed(L"medium");
    EXPECT_EQ(Delay(0.0f), 3);
    EXPECT_EQ(Delay(0.5f), 6);  // 6.5
    EXPECT_EQ(Delay(kAlmostOne), 10);
    Speed(L"slow");
    EXPECT_EQ(Delay(0.0f), 4);
    EXPECT_EQ(Delay(0.05f), 4);  // 4.5 in single precision
    EXPECT_EQ(Delay(kAlmostOne), 14);
    EXPECT_EQ(random.taken, 10);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Typing, DefaultSpeedIsMedium) {
    EXPECT_EQ(Delay(0.0f), 3);
    EXPECT_EQ(Typed(30, 0.0f), 15);
}

TEST_F(Typing, TypingTimeFollowsTheLengthOfTheText) {
    Speed(L"medium");
    EXPECT_EQ(Typed(30, 0.0f), 15);
    EXPECT_EQ(Typed(30, kAlmostOne), 10);
    EXPECT_EQ(Typed(1, 0.0f), 0);  // exactly 0.5: the even neighbour
    EXPECT_EQ(Typed(0, 0.5f), 0);
    Speed(L"fast");
    EXPECT_EQ(Typed(1, 0.0f), 0);
    EXPECT_EQ(Typed(2, 0.0f), 1);
    EXPECT_EQ(Typed(2, kAlmostOne), 1);  // just above 0.5
    EXPECT_EQ(Typed(7, 0.5f), 2);        // 2.0
    Speed(L"slow");
    EXPECT_EQ(Typed(1, 0.0f), 1);
    EXPECT_EQ(Typed(1, kAlmostOne), 1);
    EXPECT_EQ(Typed(0, 0.0f), 0);
    EXPECT_EQ(Typed(5, 0.0f), 5);
}

TEST_F(Typing, InstantIsOneTickWithoutADraw) {
    Speed(L"instant");
    EXPECT_EQ(typing.GetDelayTicks(), 1);
    EXPECT_EQ(typing.GetTypingTicks(L""), 1);
    EXPECT_EQ(typing.GetTypingTicks(std::wstring(500, L'x')), 1);
    EXPECT_EQ(random.taken, 0);
}

TEST_F(Typing, InvalidSpeedsShowTheErrorAndGiveZeroWithoutADraw) {
    for (const wchar_t* speed : {L"Fast", L"FAST", L"medium ", L"", L"Instant", L"quick"}) {
        Speed(speed);
        dialogs.shown.clear();
        EXPECT_EQ(typing.GetDelayTicks(), 0) << speed;
        EXPECT_EQ(typing.GetTypingTicks(L"hello"), 0) << speed;
        EXPECT_EQ(dialogs.shown, (std::vector<FakeDialogs::Shown>(
                                     2, {L"Error: invalid typing speed selected", L"Quorvanel"})));
    }
    EXPECT_EQ(random.taken, 0);
}

TEST_F(Typing, TheSettingIsReadAfreshEveryTime) {
    Speed(L"fast");
    EXPECT_EQ(Delay(0.0f), 2);
    Speed(L"slow");
    EXPECT_EQ(Delay(0.0f), 4);
    EXPECT_EQ(file.reads.size(), 2u);
}

TEST(FixedStateRandom, RepeatsItsSequenceAndSpreadsFastDelaysAsRounded) {
    FixedStateRandom first;
    FixedStateRandom second;
    FakeSettings file;
    file.Set(L"BotBehaviour", L"TypeSpeed", L"fast");
    FakeDialogs dialogs;
    FixedStateRandom random;
    SimulatedTyping typing(file, random, dialogs);

    std::array<int, 7> counts{};
    constexpr int kDraws = 100'000;
    for (int i = 0; i < kDraws; ++i) {
        const float a = first.NextSingle();
        ASSERT_EQ(a, second.NextSingle());
        ASSERT_GE(a, 0.0f);
        ASSERT_LT(a, 1.0f);
        const int ticks = typing.GetDelayTicks();
        ASSERT_GE(ticks, 2);
        ASSERT_LE(ticks, 6);
        ++counts[static_cast<std::size_t>(ticks)];
    }
    // 2 and 6 take an eighth each, 3, 4 and 5 a quarter each.
    for (int t : {2, 6}) EXPECT_NEAR(counts[t], kDraws / 8, kDraws / 100) << t;
    for (int t : {3, 4, 5}) EXPECT_NEAR(counts[t], kDraws / 4, kDraws / 100) << t;
}

}  // namespace
}  // namespace quorvanel
