#include "bot/bot_server.h"
#include "bot/reply_text.h"

#include <gtest/gtest.h>

#include "bot/page_fetcher.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_http.h"
#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

using testing::FakeSettings;
using testing::Latin1Codec;
using testing::ScriptedRandom;

// A client fetching through the page fetcher from a scripted server; each test scripts its draws
// and pages (a page not scripted never comes).
class Client : public ::testing::Test {
protected:
    FakeSettings file;
    testing::FakeClock clock;
    testing::ScriptedHttp http{clock};
    testing::FakeScheduler scheduler{clock};
    Latin1Codec codec;
    PageFetcher transport{http, codec, scheduler};
    ScriptedRandom random;
    std::wstring token = L"tok123";
    BotServerClient bot{transport, file, random, codec, token};

    Client() { file.Set(L"ConnectionSettings", L"BotServer", L"bots.example.net"); }

    std::string Fetch(std::size_t i) const { return http.started.at(i).url + "|" + http.started.at(i).body; }
    // The bot's answer, the fake clock run until it has come.
    std::wstring Ask(const std::wstring& message, const std::wstring& contact) {
        return testing::Await(clock, [&](auto done) { bot.Ask(message, contact, done); });
    }
};

TEST(BotServer, TheAnswerIsTheFirstBetweenNameAndLineBreakAsWritten) {
    const std::pair<std::wstring, const wchar_t*> pages[] = {
        {L"<B>Kestro:</B> first <BR><B>Kestro:</B> second <BR>", L"first"},
        {L"<B>Kestro:</B>  <BR>", L""},
        {L"<B>Kestro:</B> a&amp;b <I>c</I><BR>two <BR>", L"a&amp;b <I>c</I><BR>two"},
        {L"<B>Kestro:</B> <BR>", kNoAnswer},
        {L"<B>Kestro:</B> one<BR>two", kNoAnswer},
        {L"<B>kestro:</B> hi <BR>", kNoAnswer},
        {std::wstring(40'000, L'x') + L"<B>Kestro:</B> far <BR>", L"far"},
    };
    for (const auto& [page, answer] : pages) EXPECT_EQ(ExtractReply(page, L"Kestro"), answer) << page.substr(0, 60);
}

TEST(ReplyFragmentToText, GivesTheTextAReaderSees) {
    using namespace std::string_view_literals;
    const struct {
        std::wstring_view fragment;
        std::wstring_view text;
    } cases[] = {
        {L"Tom &amp; Jerry are friends.", L"Tom & Jerry are friends."},
        {L"&lt;3 &quot;x&quot; &#233;&#xE9;&eacute; &notin; &notit; &NotEqualTilde;",
         L"<3 \"x\" \u00E9\u00E9\u00E9 \u2209 \u00ACit; \u2242\u0338"},
        {L"I like <I>tea</I>.<BR>Do you?", L"I like tea. Do you?"},
        {L"<B><I>deep<U>ly</U></I></B> <BLINK x=1>odd</BLINK>", L"deeply odd"},
        {L"see <A href=\"http://x.example/?a=1&amp;b=2\">this page</A>!", L"see this page (http://x.example/?a=1&b=2)!"},
        {L"<a title=x HREF=https://y.example/>https://y.example/</a> or <a href='mailto:a@b'>mail</a>",
         L"https://y.example/ or mail (mailto:a@b)"},
        {L"<a href=\"javascript:go()\">click</a> <a name=top>top</a> <a href=\"http://z\">open", L"click top open (http://z)"},
        {L"<a href=\" http://w/?a&copy=1&amp;lt;\">w</a>", L"w (http://w/?a&copy=1&lt;)"},
        {L"one<!-- <B>hidden</B> -->two", L"onetwo"},
        {L"one<P>two</P>three<DIV>four", L"one two three four"},
        {L"a<SCRIPT>var s = '<b>x</b>';</SCRIPT>b<STYLE>p{}</STYLE>c", L"abc"},
        {L"1 < 2 & 3 > 2 &nope; &", L"1 < 2 & 3 > 2 &nope; &"},
        {L"a <", L"a <"},
        {L"  \t a&nbsp;\u00A0 b \r\n<BR><BR> c&#32;&#160;", L"a b c"},
        {L"x&#0;y\0z"sv, L"x\uFFFDyz"},
        {L"<I> </I><BR>&nbsp;<P></P>", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplyFragmentToText(c.fragment), c.text) << std::wstring(c.fragment);
    }
}

TEST_F(Client, EveryQuestionPostsTheTokenAndItsEncodedTextWithTheSettingsOfTheMoment) {
    for (int i = 0; i < 4; ++i) random.Push(0.5f);
    http.Answer("<b>You:</b> x <br><b>Kestro:</b> Tom &amp; <i>Jerry</i> <br>");
    http.Answer("<b>Kestro:</b> wrong bot <br><b>Zed:</b> right bot <br>");
    http.Answer("<p>Resting.</p>");
    EXPECT_EQ(Ask(L"a b?\n\u00E9-_.~+%AZaz09", L"Ann"), L"Tom & Jerry");  // as the page shows it
    file.Set(L"ConnectionSettings", L"BotName", L"Zed");
    file.Set(L"ConnectionSettings", L"BotID", L"99");
    EXPECT_EQ(Ask(L"", L"Ann"), L"right bot");
    EXPECT_EQ(Ask(L"x", L"Bob"), kNoAnswer);
    EXPECT_EQ(Ask(L"x", L"Ann"), kNoPageAnswer);
    EXPECT_EQ(Fetch(0), "HTTP://bots.example.net/pandora/talk?botid=5e0a7c31d94b2f68|"
                        "botcust2=tok123&message=a%20b%3F%0A%E9%2D%5F%2E%7E%2B%25AZaz09");
    EXPECT_EQ(Fetch(1), "HTTP://bots.example.net/pandora/talk?botid=99|botcust2=tok123&message=");
}

// The token is the talk page's botcust2, or the fallback where the page has no such form field.
TEST_F(Client, ARunThatBeganWithTheBuiltInBotStartsTheConversationBeforeItsFirstQuestion) {
    token = L"";
    for (int i = 0; i < 3; ++i) random.Push(0.5f);
    http.Answer("<form><input type=hidden name=botcust2 value=77></form>");
    http.Answer("<b>Kestro:</b> one <br>");
    http.Answer("<b>Kestro:</b> two <br>");
    EXPECT_EQ(Ask(L"a", L"Ann"), L"one");
    EXPECT_EQ(Ask(L"b", L"Bob"), L"two");
    EXPECT_EQ(token, L"77");
    EXPECT_EQ(Fetch(0), "http://bots.example.net/pandora/talk?botid=5e0a7c31d94b2f68|");
    EXPECT_EQ(Fetch(1), "HTTP://bots.example.net/pandora/talk?botid=5e0a7c31d94b2f68|botcust2=77&message=a");
    EXPECT_EQ(Fetch(2), "HTTP://bots.example.net/pandora/talk?botid=5e0a7c31d94b2f68|botcust2=77&message=b");
    token = L"";
    BotServerClient restarted{transport, file, random, codec, token};
    http.Answer("<p>No form.</p>");
    restarted.Ask(L"c", L"Ann", [](std::wstring) {});
    clock.RunUntil(clock.now + 30'000);
    EXPECT_EQ(token, kFallbackToken);
}

TEST_F(Client, DrawsRoundingToTwoAndThreeGiveCannedLinesWithoutARequest) {
    // r * 200 in single precision, halves to the even side: 2.34375, 3.125, 2.5 | 3.5, 1.4, 4.5.
    for (float r : {3.0f / 256, 1.0f / 64, 2.5f / 200, 3.5f / 200, 1.4f / 200, 4.5f / 200}) random.Push(r);
    for (const wchar_t* canned : {kCannedLine1, kCannedLine2, kCannedLine1}) EXPECT_EQ(Ask(L"a", L"Ann"), canned);
    EXPECT_TRUE(http.started.empty());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Ask(L"a", L"Ann"), kNoPageAnswer);
}

}  // namespace
}  // namespace quorvanel
