#include "present/restyle.h"

#include <gtest/gtest.h>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

using testing::FakeDialogs;
using testing::FakeSettings;

class Restyle : public ::testing::Test {
protected:
    FakeSettings file;
    FakeDialogs dialogs;
    std::wstring Messy(const std::wstring& answer) {
        file.Set(L"BotBehaviour", L"TypeStyle", L"messy");
        return RestyleReply(answer, file, dialogs);
    }
};

TEST_F(Restyle, AnythingButMessyLeavesTheAnswerUnchanged) {
    const std::wstring answer = L"I'm fine. Are you? You're great.";
    EXPECT_EQ(RestyleReply(answer, file, dialogs), answer);  // no setting: "perfect"
    for (const wchar_t* style : {L"perfect", L"Messy", L"MESSY", L"messy ", L""}) {
        file.Set(L"BotBehaviour", L"TypeStyle", style);
        EXPECT_EQ(RestyleReply(answer, file, dialogs), answer) << style;
    }
}

TEST_F(Restyle, MessyLowersDropsApostrophesAndFullStopsAndShortens) {
    EXPECT_EQ(Messy(L"I'm fine. Are you?"), L"im fine r you?");
    EXPECT_EQ(Messy(L"You're great. Thank you"), L"u're great thank you");
    EXPECT_EQ(Messy(L"Your turn. Are you ready"), L"ur turn r u ready");
    EXPECT_EQ(Messy(L"you  are"), L"u  are");
    EXPECT_EQ(Messy(L"I care about it."), L"i cr about it");
    EXPECT_EQ(Messy(L""), L"");
    // No word boundaries; other punctuation and every blank stay.
    EXPECT_EQ(Messy(L"Bayou hardware, you! are\tyou\r\nare "), L"bau hardware, you! are\tyou\r\nr ");
    EXPECT_EQ(Messy(L"the bayou is there"), L"the bau is there");
    EXPECT_EQ(Messy(L"Hello, world; ok: yes!  \u201Cfine\u201D"), L"hello, world; ok: yes!  \u201Cfine\u201D");
    // Letters beyond A to Z are lowered by the system mapping.
    EXPECT_EQ(Messy(L"\u00C9T\u00C9 \u00C0 PARIS."), L"\u00E9t\u00E9 \u00E0 paris");
}

TEST_F(Restyle, ReplacementsDoNotOverlapAndRunInOrder) {
    EXPECT_EQ(Messy(L"you you you "), L"u u u ");
    EXPECT_EQ(Messy(L"youre youre "), L"u're u're ");
    EXPECT_EQ(Messy(L"your youre you are "), L"ur u're u r ");
    EXPECT_EQ(Messy(L"areare are "), L"arer r ");
}

TEST_F(Restyle, ALinkKeepsCaseApostrophesAndFullStops) {
    EXPECT_EQ(Messy(L"Check this: http://a/b. You are here."),
              L"Check this: http://a/b. You r here.");
    EXPECT_EQ(Messy(L"You're at http://x.example/ you know"), L"You're at http://x.example/ u know");
    // Only the lower-case scheme counts.
    EXPECT_EQ(Messy(L"See HTTP://A.B. It's Here."), L"see http://ab its here");
}

}  // namespace
}  // namespace quorvanel
