#include "present/restyle.h"

#include <gtest/gtest.h>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

TEST(RestyleReply, MessyLowersDropsApostrophesAndFullStopsAndShortensUnlessALinkIsThere) {
    const std::pair<const wchar_t*, const wchar_t*> messy[] = {
        {L"I'm fine. Are you?", L"im fine r you?"},
        {L"You're great. Your turn, you are", L"u're great ur turn, u are"},
        {L"you you youre your areare are ", L"u u u're ur arer r "},
        {L"Bayou hardware, you! are\tyou\r\nare ", L"bau hardware, you! are\tyou\r\nr "},
        {L"\u00C9T\u00C9 \u00C0 PARIS.", L"\u00E9t\u00E9 \u00E0 paris"},
        {L"You're at http://x.example/a. You are here.", L"You're at http://x.example/a. You r here."},
        {L"See HTTP://A.B. It's Here.", L"see http://ab its here"},
        {L"", L""},
    };
    testing::FakeDialogs dialogs;
    for (const auto& [answer, typed] : messy) {
        testing::FakeSettings file;
        EXPECT_EQ(RestyleReply(answer, file, dialogs), answer);  // "perfect" by default
        for (const wchar_t* other : {L"perfect", L"Messy", L"messy "}) {
            file.Set(L"BotBehaviour", L"TypeStyle", other);
            EXPECT_EQ(RestyleReply(answer, file, dialogs), answer);
        }
        file.Set(L"BotBehaviour", L"TypeStyle", L"messy");
        EXPECT_EQ(RestyleReply(answer, file, dialogs), typed);
    }
}

}  // namespace
}  // namespace quorvanel
