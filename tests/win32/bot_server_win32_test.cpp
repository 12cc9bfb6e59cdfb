// The bot client over the WinINet transport against the stand-in bot server, checked from the
// server's request log.
#include <gtest/gtest.h>

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
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].method, i == 0 ? "GET" : "POST");
        EXPECT_EQ(log[i].target, "/pandora/talk?botid=f00dfeed12345678");
        EXPECT_EQ(log[i].contentType, "application/x-www-form-urlencoded");
    }
    EXPECT_EQ(log[1].body, "botcust2=0123456789abcdef&message=hello");
    EXPECT_EQ(log[2].body, "botcust2=0123456789abcdef&message=what%20is%20your%20name%3F");
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

}  // namespace
}  // namespace quorvanel
