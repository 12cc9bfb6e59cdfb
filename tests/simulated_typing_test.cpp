#include "present/simulated_typing.h"

#include <gtest/gtest.h>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

using testing::FakeDialogs;
using testing::FakeSettings;
using testing::ScriptedRandom;

constexpr float kAlmostOne = 0.99999994f;  // the largest single below 1

// Other speeds than the four show the error each time and take no draw.
TEST(SimulatedTyping, TicksScaleTheDrawRoundHalvesToEvenAndOnlyKnownSpeedsCount) {
    const struct {
        const wchar_t* speed;  // null: none stored
        int chars;             // -1: the reading delay
        float draw;
        int ticks;
        bool error = false;
    } cases[] = {
        {L"fast", -1, 0.125f, 2},        {L"fast", -1, 0.875f, 6},  // 2.5 and 5.5
        {L"medium", -1, 0.5f, 6},        {L"slow", -1, 0.05f, 4},   // 6.5, 4.5 in single precision
        {L"slow", -1, kAlmostOne, 14},   {nullptr, -1, 0.0f, 3},
        {L"medium", 30, 0.0f, 15},       {L"medium", 30, kAlmostOne, 10},
        {L"medium", 1, 0.0f, 0},         {L"fast", 7, 0.5f, 2},  // exactly 0.5, then 2.0
        {L"fast", 2, kAlmostOne, 1},     {L"slow", 5, 0.0f, 5},
        {L"instant", 500, 0.5f, 1},      {L"instant", -1, 0.5f, 1},
        {L"Fast", -1, 0.5f, 0, true},    {L"medium ", 2, 0.5f, 0, true},
        {L"", -1, 0.5f, 0, true},
    };
    for (const auto& c : cases) {
        FakeSettings file;
        if (c.speed) file.Set(L"BotBehaviour", L"TypeSpeed", c.speed);
        ScriptedRandom random(c.error ? std::vector<float>{} : std::vector<float>{c.draw});
        FakeDialogs dialogs;
        SimulatedTyping typing(file, random, dialogs);
        const int ticks = c.chars < 0 ? typing.GetDelayTicks()
                                      : typing.GetTypingTicks(std::wstring(static_cast<std::size_t>(c.chars), L'x'));
        EXPECT_EQ(ticks, c.ticks) << (c.speed ? c.speed : L"-") << " " << c.chars << " " << c.draw;
        EXPECT_EQ(dialogs.shown, c.error ? 1 : 0) << (c.speed ? c.speed : L"-");
        if (c.error) { EXPECT_FALSE(typing.ComputeTypingTicks(L"x").validSpeed); }
    }
}

// Every run draws the same sequence: the one the old BASIC generator prints from its start state.
TEST(FixedStateRandom, DrawsTheSequenceOfTheBasicGeneratorsStartState) {
    FixedStateRandom random;
    for (float draw : {0.7055475f, 0.533424f, 0.5795186f}) {
        EXPECT_EQ(random.NextSingle(), draw);
    }
}

}  // namespace
}  // namespace quorvanel
