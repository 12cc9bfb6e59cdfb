// The bot client over the WinINet transport against the stand-in bot server, checked from the
// server's request log.
#include <gtest/gtest.h>

#include <chrono>

#include "bot/bot_server.h"
#include "bot/http_client_win32.h"
#include "bot/page_fetcher.h"
#include "fakes/fake_settings.h"
#include "present/random_source.h"
#include "relay/ansi_text_win32.h"
#include "win32/talk_server_win32.h"

namespace quorvanel {
namespace {

using testing::FakeSettings;
using testing::TalkServer;

// Draws that never roll a canned line.
class NeverCanned : public RandomSource {
public:
    float NextSingle() override { return 0.5f; }
};

class AgainstTalkServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start("--token 0123456789abcdef"));
        settings.Set(L"ConnectionSettings", L"BotServer", server.Host());
        settings.Set(L"ConnectionSettings", L"BotID", L"f00dfeed12345678");
    }

    TalkServer server;
    FakeSettings settings;
    WinInetHttpClient client;
    MessageLoopWaiter waiter;
    AnsiCodec codec;
    PageFetcher transport{client, waiter, codec};
    NeverCanned random;
    std::wstring token;
    BotServerClient bot{transport, settings, random, codec, token};
};

TEST_F(AgainstTalkServer, TheTokenOfTheFirstFormIsSentWithEveryQuestion) {
    token = StartConversation(transport, settings);
    EXPECT_EQ(token, L"0123456789abcdef");
    EXPECT_EQ(bot.GetBotReply(L"hello"), L"Hello there.");
    EXPECT_FALSE(bot.GetBotReply(L"what is your name?").empty());

    const auto log = server.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "/pandora/talk?botid=f00dfeed12345678");
    EXPECT_EQ(log[0].contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(log[0].body, "");
    EXPECT_EQ(log[1].method, "POST");
    EXPECT_EQ(log[1].target, "/pandora/talk?botid=f00dfeed12345678");
    EXPECT_EQ(log[1].contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(log[1].body, "botcust2=0123456789abcdef&message=hello");
    EXPECT_EQ(log[2].body, "botcust2=0123456789abcdef&message=what%20is%20your%20name%3F");
}

TEST_F(AgainstTalkServer, ThePostBodyIsByteExact) {
    token = L"tok";
    bot.GetBotReply(L"caf\u00E9 a-b_c.d~e\r\n100%");
    const auto log = server.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].body, "botcust2=tok&message=caf%E9%20a%2Db%5Fc%2Ed%7Ee%0D%0A100%25");
}

TEST_F(AgainstTalkServer, ServerErrorsGiveTheErrorLineOrTheFixedAnswer) {
    token = L"tok";
    ASSERT_TRUE(server.Control("scope=talk-post&fault=500&count=1"));
    EXPECT_EQ(bot.GetBotReply(L"hi"), kNoPageAnswer);
    ASSERT_TRUE(server.Control("scope=talk-post&fault=empty&count=1"));
    EXPECT_EQ(bot.GetBotReply(L"hi"), kNoPageAnswer);
    ASSERT_TRUE(server.Control("scope=talk-post&fault=nomarker&count=1"));
    EXPECT_EQ(bot.GetBotReply(L"hi"), kNoAnswer);
    ASSERT_TRUE(server.Control("scope=talk-get&fault=noform&count=1"));
    EXPECT_EQ(StartConversation(transport, settings), kFallbackToken);
    EXPECT_EQ(bot.GetBotReply(L"hi"), L"Hello there.");  // faults were for one request each
}

TEST_F(AgainstTalkServer, AnUnreachableServerGivesTheFallbackTokenAndTheErrorLine) {
    settings.Set(L"ConnectionSettings", L"BotServer",
                 L"127.0.0.1:" + std::to_wstring(testing::UnusedPort()));
    token = StartConversation(transport, settings);
    EXPECT_EQ(token, kFallbackToken);
    EXPECT_EQ(bot.GetBotReply(L"hi"), kNoPageAnswer);
    EXPECT_TRUE(server.Log().empty());
}

TEST_F(AgainstTalkServer, AHangingServerGivesUpAfterTwentyAndAHalfSeconds) {
    token = L"tok";
    ASSERT_TRUE(server.Control("scope=talk-post&fault=hang"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bot.GetBotReply(L"hi"), kNoPageAnswer);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    EXPECT_GE(elapsed, 20'400);
    EXPECT_LT(elapsed, 23'000);
    ASSERT_TRUE(server.Control("scope=all&fault=none"));
}

}  // namespace
}  // namespace quorvanel
