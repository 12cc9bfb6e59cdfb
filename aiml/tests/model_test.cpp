// <sraix>: the engine's rounds with a host, and what a model is sent and what is taken from it.
#include "qvbot/model.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "qvbot/bot.h"

namespace qvbot {
namespace {

using nlohmann::json;

constexpr char kAiml[] = R"(<aiml>
<category><pattern>HELLO</pattern><template>Hi.</template></category>
<category><pattern>ASK *</pattern><template><think><set name="asked"><star/></set></think>
  <random><li>A</li><li>B</li><li>C</li><li>D</li></random>
  <sraix service="m" default="nothing"><star/></sraix>.</template></category>
<category><pattern>TWICE</pattern><template><sraix>one</sraix> <sraix>two</sraix></template></category>
<category><pattern>MANY</pattern><template><srai>TWICE</srai> <srai>TWICE</srai></template></category>
</aiml>)";

struct Sraix : ::testing::Test {
    Sraix() {
        LoadReport report;
        bot.LoadText("t.aiml", kAiml, report);
    }
    Bot bot{{{"name", "Kestro"}, {"age", "two"}, {"botid", "b1"}}};
    Conversation conversation{"tok", {}, {}, {}, 7, {}};
};

TEST_F(Sraix, ARequestLeavesTheConversationAsItWasAndTheNextRoundRepeatsItsChoices) {
    bot.Respond(conversation, "hello");
    const std::string before = SaveConversation(conversation);
    const Reply asked = bot.Respond(conversation, "ask the weather", {});
    ASSERT_TRUE(asked.pending);
    EXPECT_EQ(asked.pending->service, "m");
    EXPECT_EQ(asked.pending->text, "the weather");
    EXPECT_EQ(SaveConversation(conversation), before);
    Conversation twin = conversation;
    const Reply answered = bot.Respond(conversation, "ask the weather", {"Sunny"});
    EXPECT_FALSE(answered.pending);
    // The same random choice as a host without a model makes, and the side effects once.
    const std::string fallback = bot.Respond(twin, "ask the weather");
    EXPECT_EQ(answered.answer.substr(0, 2), fallback.substr(0, 2));
    EXPECT_EQ(fallback.substr(2), "nothing.");
    EXPECT_EQ(answered.answer.substr(2), "Sunny.");
    EXPECT_EQ(conversation.predicates.at("asked"), "the weather");
    EXPECT_EQ(bot.Respond(conversation, "ask it", {std::nullopt}).answer.substr(2), "nothing.");
}

TEST_F(Sraix, RequestsComeInTheirOrderAndAreBoundedPerMessage) {
    EXPECT_EQ(bot.Respond(conversation, "twice", {"1"}).pending->text, "two");
    EXPECT_EQ(bot.Respond(conversation, "twice", {"1", "2"}).answer, "1 2");
    SraixAnswers given;
    Reply reply;
    while ((reply = bot.Respond(conversation, "many", given)).pending) given.emplace_back("x");
    EXPECT_EQ(given.size(), kMaxSraixPerMessage);
    EXPECT_EQ(reply.answer, "x x x");
}

Conversation Talked(int exchanges, const std::string& said, const std::string& more = "") {
    Bot echo{{}};
    LoadReport report;
    echo.LoadText("t.aiml",
                  "<aiml><category><pattern>*</pattern><template>You said <star/>. "
                  "Yes.</template></category></aiml>",
                  report);
    Conversation conversation;
    for (int i = 0; i < exchanges; ++i)
        echo.Respond(conversation, said + " " + std::to_string(i) + more);
    return conversation;
}

TEST(ModelRequest, ThePersonaTheLatestExchangesInTurnAndTheTextLast) {
    const ModelService service{"m", "http://h/v1", "llama", "", 1000, 50};
    const json request = json::parse(
        ChatRequest(service, {{"name", "Kestro"}, {"age", "two"}}, Talked(12, "line"), "now"));
    EXPECT_EQ(request["model"], "llama");
    const json& messages = request["messages"];
    ASSERT_EQ(messages.size(), 1u + 2 * kModelExchanges + 1);
    EXPECT_EQ(messages[0]["role"], "system");
    for (const char* part : {"Kestro", "age: two"}) {
        EXPECT_NE(messages[0]["content"].get<std::string>().find(part), std::string::npos) << part;
    }
    EXPECT_EQ(messages[1]["content"], "line 2");
    EXPECT_EQ(messages[2]["role"], "assistant");
    EXPECT_EQ(messages[20]["role"], "assistant");
    EXPECT_EQ(messages[21]["role"], "user");
    EXPECT_EQ(messages[21]["content"], "now");
    // A message of two sentences with its two answers; long exchanges, as many of the latest as
    // fit the bytes.
    const auto two = RecentExchanges(Talked(2, "line", ". And more")).back();
    EXPECT_EQ(two.said + " / " + two.answered,
              "line 1 And more / You said line 1 Yes You said And more Yes");
    const auto exchanges = RecentExchanges(Talked(10, std::string(400, 'w'), ". And more"));
    EXPECT_EQ(exchanges.size(), 4u);
    EXPECT_EQ(exchanges.back().said.substr(400), " 9 And more");
    EXPECT_EQ(ChatHeaders({"m", "", "", "sk-1", 1, 1}),
              "Content-Type: application/json\r\nAuthorization: Bearer sk-1\r\n");
}

TEST(ModelAnswer, PlainTextCutAtTheLimitOrNothingForJsonNotAsAsked) {
    const auto answer = [](const std::string& content) {
        return ChatAnswer(
            R"({"choices":[{"message":{"role":"assistant","content":)" + content + "}}]}", 12);
    };
    EXPECT_EQ(answer(R"("  Hello\n\nthere ")"), "Hello there");
    EXPECT_EQ(answer(R"("<think>hmm</think> Hi")"), "Hi");
    EXPECT_EQ(answer(R"("\u00e9t\u00e9 \u00e9t\u00e9 \u00e9t\u00e9 x")"),
              "\xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9 ");
    for (const std::string bad : {R"("")", "null", "42", R"("<think>never done")"})
        EXPECT_FALSE(answer(bad)) << bad;
    for (const std::string bad :
         {"", "{", "[]", R"({"choices":[]})", R"({"choices":[{"text":"hi"}]})"}) {
        EXPECT_FALSE(ChatAnswer(bad, 10)) << bad;
    }
}

TEST(ModelServicesFile, ServicesReadAndEachFaultNamed) {
    std::vector<std::string> errors;
    const auto services = ReadServices("s.json", R"({"services": {
        "local": {"url": "http://192.168.1.5:8080/v1/chat/completions", "model": "llama", "time_limit_ms": 5000},
        "nourl": {"model": "x"}, "nomodel": {"url": "https://api.example.com/v1"},
        "typo": {"url": "http://h/", "model": "x", "timelimit": 5}, "slow": {"url": "http://h/", "model": "x", "time_limit_ms": 0}}})",
                                       errors);
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(FindService(services, "local")->time_limit_ms, 5000);
    EXPECT_EQ(FindService(services, "nomodel"), nullptr);
    EXPECT_EQ(errors.size(), 4u);
    ReadServices("s.json", "{\"services\": [", errors);
    EXPECT_EQ(errors.back(), "s.json: not JSON of the form {\"services\": {...}}");
    const auto url = ParseServiceUrl("HTTPS://api.example.com/v1/chat?x=1");
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->https);
    EXPECT_EQ(url->host + " " + url->port + " " + url->target, "api.example.com 443 /v1/chat?x=1");
    EXPECT_EQ(ParseServiceUrl("http://h:8080")->target, "/");
    for (const char* bad :
         {"ftp://h/", "http://", "http://h:0/", "http://h:99999/", "http://u@h/", "h/v1"}) {
        EXPECT_FALSE(ParseServiceUrl(bad)) << bad;
    }
}

}  // namespace
}  // namespace qvbot
