#include "bot/bot_server.h"
#include "bot/reply_text.h"

#include <gtest/gtest.h>

#include <deque>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_http.h"
#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

using testing::FakeSettings;
using testing::Latin1Codec;
using testing::ScriptedRandom;

// Pages and form values by script; records every fetch.
class ScriptedTransport : public Transport {
public:
    struct Fetch {
        std::wstring url, body;
    };
    std::vector<Fetch> fetches;
    std::deque<std::wstring> pages;
    std::optional<std::wstring> formValue;
    std::wstring askedField;

    std::wstring FetchPage(const std::wstring& url, const std::wstring& body) override {
        fetches.push_back({url, body});
        if (pages.empty()) return {};
        std::wstring page = pages.front();
        pages.pop_front();
        return page;
    }
    std::optional<std::wstring> FirstFormFieldValue(const std::wstring& name) override {
        askedField = name;
        return formValue;
    }
};

TEST(StartConversation, GetsTheTalkPageAndTakesTheTokenFromTheFirstForm) {
    FakeSettings file;
    ScriptedTransport transport;
    transport.formValue = L"0f1e2d3c4b5a6978";
    EXPECT_EQ(StartConversation(transport, file), L"0f1e2d3c4b5a6978");
    ASSERT_EQ(transport.fetches.size(), 1u);
    EXPECT_EQ(transport.fetches[0].url,
              L"http://www.pandorabots.com/pandora/talk?botid=5e0a7c31d94b2f68");
    EXPECT_EQ(transport.fetches[0].body, L"");
    EXPECT_EQ(transport.askedField, L"botcust2");
    ASSERT_EQ(file.reads.size(), 2u);
    EXPECT_EQ(file.reads[0].key, L"BotServer");
    EXPECT_EQ(file.reads[1].key, L"BotID");

    file.Set(L"ConnectionSettings", L"BotServer", L"127.0.0.1:8080");
    file.Set(L"ConnectionSettings", L"BotID", L"a b&c");  // inserted as read, not encoded
    transport.formValue = L"";  // an empty field's empty value is kept
    EXPECT_EQ(StartConversation(transport, file), L"");
    EXPECT_EQ(transport.fetches[1].url, L"http://127.0.0.1:8080/pandora/talk?botid=a b&c");

    transport.formValue.reset();  // no page, no form or no such field
    EXPECT_EQ(StartConversation(transport, file), L"a41c9e07b5d836f2");
}

TEST(ExtractReply, TakesTheFirstAnswerBetweenTheMarkers) {
    EXPECT_EQ(ExtractReply(L"<P><B>You:</B> hi <BR><B>Kestro:</B> Hello there. <BR></P>", L"Kestro"),
              L"Hello there.");
    EXPECT_EQ(ExtractReply(L"<B>Kestro:</B> first <BR><B>Kestro:</B> second <BR>", L"Kestro"),
              L"first");
    EXPECT_EQ(ExtractReply(L"<B>Kestro:</B>  <BR>", L"Kestro"), L"");  // the end marker at once
    EXPECT_EQ(ExtractReply(L"<B>Kestro:</B>   <BR>", L"Kestro"), L" ");
    EXPECT_EQ(ExtractReply(L"<B>Kestro:</B> <BR>", L"Kestro"), L"I don't know what to say.");
    EXPECT_EQ(ExtractReply(L"<B>Kestro:</B> a&amp;b <I>c</I> <BR>", L"Kestro"), L"a&amp;b <I>c</I>");
    // "<BR>" without the space before it does not end the answer.
    EXPECT_EQ(ExtractReply(L"<B>Kestro:</B> one<BR>two <BR>", L"Kestro"), L"one<BR>two");
    EXPECT_EQ(ExtractReply(L"<B>Kestro:</B> one<BR>two", L"Kestro"), L"I don't know what to say.");
    // Names and markers compare with case.
    EXPECT_EQ(ExtractReply(L"<B>kestro:</B> hi <BR>", L"Kestro"), L"I don't know what to say.");
    EXPECT_EQ(ExtractReply(L"<b>Kestro:</b> hi <br>", L"Kestro"), L"I don't know what to say.");
    EXPECT_EQ(ExtractReply(L"", L"Kestro"), L"I don't know what to say.");
    // Positions beyond 32,767 characters work like any other.
    EXPECT_EQ(ExtractReply(std::wstring(40'000, L'x') + L"<B>K:</B> far <BR>", L"K"), L"far");
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
        {L"see <A href=\"http://x.example/?a=1&amp;b=2\">this page</A>!", L"see this page!"},
        {L"one<!-- <B>hidden</B> -->two", L"onetwo"},
        {L"one<P>two</P>three<DIV>four</DIV><TD>five", L"one two three four five"},
        {L"a<SCRIPT>var s = '<b>x</b>';</SCRIPT>b<STYLE>p{}</STYLE>c", L"abc"},
        {L"1 < 2 & 3 > 2 &nope; &", L"1 < 2 & 3 > 2 &nope; &"},
        {L"a <", L"a <"},
        {L"  \t a&nbsp;\u00A0 b \r\n<BR><BR> c&#32;&#160;", L"a b c"},
        {L"x&#0;y\0z"sv, L"x\uFFFDyz"},
        {L"<I> </I><BR>&nbsp;<P></P>", L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplyFragmentToText(c.fragment), c.text) << std::wstring(c.fragment);
    }
}

TEST(UrlEncode, KeepsOnlyAsciiLettersAndDigits) {
    Latin1Codec codec;
    EXPECT_EQ(UrlEncode(L"a b?", codec), L"a%20b%3F");
    EXPECT_EQ(UrlEncode(L"line\nbreak", codec), L"line%0Abreak");
    EXPECT_EQ(UrlEncode(L"caf\u00E9", codec), L"caf%E9");
    EXPECT_EQ(UrlEncode(L"-_.~+%", codec), L"%2D%5F%2E%7E%2B%25");
    EXPECT_EQ(UrlEncode(L"AZaz09", codec), L"AZaz09");
    EXPECT_EQ(UrlEncode(L"\u00A0\u00FF\x01", codec), L"%A0%FF%01");
    EXPECT_EQ(UrlEncode(L"", codec), L"");
}

class BotQuestion : public ::testing::Test {
protected:
    FakeSettings file;
    ScriptedTransport transport;
    ScriptedRandom random;
    Latin1Codec codec;
    std::wstring token = L"tok123";
    BotServerClient bot{transport, file, random, codec, token};
};

TEST_F(BotQuestion, PostsTheTokenAndTheEncodedMessageAndExtractsTheAnswer) {
    random.Push(0.5f);
    // The answer as the page shows it, not as its markup is written.
    transport.pages.push_back(L"<B>You:</B> x <BR><B>Kestro:</B> Tom &amp; <I>Jerry</I> <BR>");
    EXPECT_EQ(bot.GetBotReply(L"hi there?"), L"Tom & Jerry");
    ASSERT_EQ(transport.fetches.size(), 1u);
    EXPECT_EQ(transport.fetches[0].url,
              L"HTTP://www.pandorabots.com/pandora/talk?botid=5e0a7c31d94b2f68");
    EXPECT_EQ(transport.fetches[0].body, L"botcust2=tok123&message=hi%20there%3F");
    ASSERT_EQ(file.reads.size(), 3u);
    EXPECT_EQ(file.reads[0].key, L"BotServer");
    EXPECT_EQ(file.reads[1].key, L"BotID");
    EXPECT_EQ(file.reads[2].key, L"BotName");

    // Settings are read for every question; the token is whatever the run holds now.
    file.Set(L"ConnectionSettings", L"BotName", L"Zed");
    file.Set(L"ConnectionSettings", L"BotID", L"99");
    token = L"";
    random.Push(0.5f);
    transport.pages.push_back(L"<B>Kestro:</B> wrong bot <BR><B>Zed:</B> right bot <BR>");
    EXPECT_EQ(bot.GetBotReply(L""), L"right bot");
    EXPECT_EQ(transport.fetches[1].url, L"HTTP://www.pandorabots.com/pandora/talk?botid=99");
    EXPECT_EQ(transport.fetches[1].body, L"botcust2=&message=");
}

TEST_F(BotQuestion, NoPageGivesTheErrorLineAndNoMarkerTheFixedAnswer) {
    random.Push(0.5f);
    EXPECT_EQ(bot.GetBotReply(L"hi"),
              L"ERROR: I can't seem to access the website from which I get my responses. Please "
              L"ensure you are connected and that your Internet Explorer connection settings are "
              L"correct.");
    random.Push(0.5f);
    transport.pages.push_back(L"<P>Sorry, the bot is resting.</P>");
    EXPECT_EQ(bot.GetBotReply(L"hi"), L"I don't know what to say.");
}

TEST_F(BotQuestion, RollsTwoAndThreeGiveCannedLinesWithoutARequest) {
    // r * 200 in single precision: 2.34375 -> 2, 3.125 -> 3; exact halves go to the even side.
    const float two = 3.0f / 256.0f;
    const float three = 1.0f / 64.0f;
    const float halfToTwo = 2.5f / 200.0f;
    const float halfToFour = 3.5f / 200.0f;
    ASSERT_EQ(halfToTwo * 200.0f, 2.5f);
    ASSERT_EQ(halfToFour * 200.0f, 3.5f);
    for (float r : {two, three, halfToTwo}) random.Push(r);
    EXPECT_EQ(bot.GetBotReply(L"a"), L"Check this: http://www.example.com/quorvanel/");
    EXPECT_EQ(bot.GetBotReply(L"b"), L"Check this: http://www.example.org/chatbots/");
    EXPECT_EQ(bot.GetBotReply(L"c"), L"Check this: http://www.example.com/quorvanel/");
    EXPECT_TRUE(transport.fetches.empty());
    EXPECT_TRUE(file.reads.empty());

    random.Push(halfToFour);  // 4: asks the bot
    random.Push(1.4f / 200.0f);  // 1: asks the bot
    bot.GetBotReply(L"d");
    bot.GetBotReply(L"e");
    EXPECT_EQ(transport.fetches.size(), 2u);
}

TEST(BotQuestionRate, AboutOneMessageInAHundredGetsACannedLine) {
    FakeSettings file;
    ScriptedTransport transport;
    FixedStateRandom random;
    Latin1Codec codec;
    std::wstring token = L"t";
    BotServerClient bot(transport, file, random, codec, token);
    int canned = 0;
    constexpr int kMessages = 100'000;
    for (int i = 0; i < kMessages; ++i) {
        if (bot.GetBotReply(L"x").starts_with(L"Check this: ")) ++canned;
    }
    EXPECT_NEAR(canned, kMessages / 100, kMessages / 500);
}

}  // namespace
}  // namespace quorvanel
