// The whole program under Wine: quorvanel.exe answers conversations of test-messenger with the
// answers of quorvanel-botserver and its starter bot.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "e2e/quorvanel_session_win32.h"
#include "win32/talk_server_win32.h"

namespace quorvanel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::QuorvanelSession;
using testing::TalkServer;
using testing::WaitUntil;

constexpr char kMarker = '\xA0';
const std::string kHello = std::string("Me says:\r\n  Hello there.") + kMarker + "\r\n";

class Replies : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ClearSettings();
        ASSERT_TRUE(server.Start("--token 0123456789abcdef"));
        const std::string host = "127.0.0.1:" + std::to_string(server.Port());
        testing::WriteSetting("ConnectionSettings", "BotServer", host);
        testing::WriteSetting("BotBehaviour", "TypeSpeed", "instant");
        ASSERT_TRUE(session.StartMessenger());
    }
    void TearDown() override {
        session.CloseProgram();
        testing::ClearSettings();
    }
    void Start() {
        ASSERT_TRUE(session.StartProgram());
        session.TickEnableDefault();
    }
    // Opens a conversation and waits until the program lists it; returns the window.
    HWND Open(const std::string& kind, const std::string& id, const std::string& name) {
        const int before = session.EntryCount();
        const std::string reply = session.Messenger(kind + " " + id + " " + name);
        EXPECT_EQ(reply.rfind("ok ", 0), 0u) << reply;
        EXPECT_TRUE(WaitUntil([&] { return session.EntryCount() > before; }, 10s));
        return reply.rfind("ok ", 0) == 0 ? static_cast<HWND>(LongToHandle(std::atol(reply.c_str() + 3)))
                                          : nullptr;
    }
    bool HistoryHas(const std::string& id, const std::string& text, std::chrono::milliseconds within) {
        return WaitUntil([&] { return session.History(id).find(text) != std::string::npos; }, within);
    }
    int Posts() {
        int posts = 0;
        for (const auto& entry : server.Log()) posts += entry.method == "POST";
        return posts;
    }

    TalkServer server;
    QuorvanelSession session;
};

TEST_F(Replies, InstantAnswersWithTheBotsAnswerAndTheMarker) {
    Start();
    Open("open", "a", "Ann");
    session.Messenger("say a hello");
    EXPECT_TRUE(HistoryHas("a", "Ann says:\r\n  hello\r\n" + kHello, 3s)) << session.History("a");
    // The same token for every question, from the talk page's first form.
    const auto log = server.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log.back().body, "botcust2=0123456789abcdef&message=hello");
    // The answer page escapes the ampersand; the contact reads the text the page shows.
    session.Messenger("say a Are Tom and Jerry friends?");
    EXPECT_TRUE(HistoryHas("a", std::string("Me says:\r\n  Tom & Jerry are friends.") + kMarker, 3s))
        << session.History("a");
}

TEST_F(Replies, TheBotLearnsTheContactsNameAndLaterSaysIt) {
    Start();
    Open("open", "a", "Ann");
    session.Messenger("say a My name is Zoltan.");
    ASSERT_TRUE(HistoryHas("a", "Me says:\r\n  Nice to meet you, Zoltan.", 5s)) << session.History("a");
    session.Messenger("say a How are you?");
    ASSERT_TRUE(HistoryHas("a", "How are you?" + std::string(1, kMarker), 5s)) << session.History("a");
    session.Messenger("say a What is my name?");
    EXPECT_TRUE(HistoryHas("a", "Me says:\r\n  Your name is Zoltan.", 5s)) << session.History("a");
}

TEST_F(Replies, AtMediumTheNoticeStandsInTheEntryBoxUntilTheReplyIsSent) {
    testing::WriteSetting("BotBehaviour", "TypeSpeed", "medium");
    Start();
    Open("open", "a", "Ann");
    const auto said = Clock::now();
    session.Messenger("say a hello");
    EXPECT_TRUE(WaitUntil([&] { return session.Entry("a") == "... robot is typing ..."; }, 15s));
    EXPECT_EQ(session.History("a").find("Me says:"), std::string::npos);
    EXPECT_TRUE(HistoryHas("a", kHello, 25s));
    // Reading 3 to 10 ticks, typing of 12 characters at 2 to 3 a second 4 to 6 ticks.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - said);
    EXPECT_GE(took.count(), 5'000);
    EXPECT_LE(took.count(), 18'000);
    EXPECT_EQ(session.Entry("a"), "");
}

TEST_F(Replies, ClosingTheProgramWhileItTypesTakesBackTheNotice) {
    testing::WriteSetting("BotBehaviour", "TypeSpeed", "slow");
    Start();
    Open("open", "a", "Ann");
    session.Messenger("say a how are you");  // 33 characters: 17 ticks of typing at the least
    ASSERT_TRUE(WaitUntil([&] { return session.Entry("a") == "... robot is typing ..."; }, 20s));
    session.CloseProgram();
    EXPECT_EQ(session.Entry("a"), "");
    EXPECT_EQ(session.History("a").find("Me says:"), std::string::npos);
}

TEST_F(Replies, ALineEndingInTheMarkerIsNotAnswered) {
    Start();
    Open("open", "a", "Ann");
    session.Messenger("say a from another robot\\xA0");
    Sleep(3000);  // three ticks: an answer would have come by now
    EXPECT_EQ(session.History("a").find("Me says:"), std::string::npos);
    EXPECT_EQ(Posts(), 0);
    session.Messenger("say a and from a person");
    EXPECT_TRUE(HistoryHas("a", "Me says:", 3s));
}

TEST_F(Replies, ABotServerThatIsDownMakesTheContactReceiveTheErrorLine) {
    testing::WriteSetting("ConnectionSettings", "BotServer",
                          "127.0.0.1:" + std::to_string(testing::UnusedPort()));
    Start();
    Open("open", "a", "Ann");
    session.Messenger("say a hello");
    EXPECT_TRUE(HistoryHas("a",
                           std::string("Me says:\r\n  ERROR: I can't seem to access the website from "
                                       "which I get my responses. Please ensure you are connected "
                                       "and that your Internet Explorer connection settings are "
                                       "correct.") + kMarker + "\r\n",
                           5s))
        << session.History("a");
}

TEST_F(Replies, WideRichEditWindowsAreAnsweredAndWindowsWithoutSendKeepTheReply) {
    Start();
    Open("open-w", "w", "Wes");
    Open("open-nobutton", "n", "Nia");
    session.Messenger("say w hello");
    session.Messenger("say n hello");
    EXPECT_TRUE(HistoryHas("w", kHello, 4s)) << session.History("w");
    EXPECT_TRUE(WaitUntil([&] { return session.Entry("n") == std::string("Hello there.") + kMarker; },
                          4s))
        << session.Entry("n");
    EXPECT_EQ(session.History("n").find("Me says:"), std::string::npos);
}

TEST_F(Replies, ASlowBotInOneConversationDoesNotStopAnothersTyping) {
    testing::WriteSetting("BotBehaviour", "TypeSpeed", "slow");
    Start();
    Open("open", "a", "Ann");
    const HWND bob = Open("open", "b", "Bob");
    // Bob's answer (33 characters) takes 17 to 33 ticks to type at "slow".
    session.Messenger("say b how are you");
    ASSERT_TRUE(WaitUntil([&] { return session.Entry("b") == "... robot is typing ..."; }, 20s));
    ASSERT_TRUE(server.Control("scope=talk-post&fault=delay:5000&count=1"));
    session.Messenger("say a hello");
    // Ann is asked within 14 ticks; while her request waits, Bob's notice keeps coming back.
    ASSERT_TRUE(WaitUntil([&] { return Posts() == 2; }, 20s));
    HWND bobEntry = FindWindowExA(bob, FindWindowExA(bob, nullptr, "RichEdit20A", nullptr),
                                  "RichEdit20A", nullptr);
    SendMessageA(bobEntry, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    // Bob's pipeline moves on: the notice comes back, or his reply is sent.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return session.Entry("b") == "... robot is typing ..." ||
                   session.History("b").find(kMarker) != std::string::npos;
        },
        4s));
    EXPECT_EQ(session.History("a").find("Me says:"), std::string::npos);  // Ann's still waits
}

// Histories longer than the characters the program compares at their start, so that a new line
// shows in the length alone and a same-length replacement in the start alone.
TEST_F(Replies, AHistoryThatGrowsIsReplacedOrIsClearedIsReadAnew) {
    Start();
    Open("open", "a", "Ann");
    session.Messenger("raw a Conversation with Ann, started at 10:00; every message is shown below.\\r\\n");
    session.Messenger("say a hello");
    ASSERT_TRUE(HistoryHas("a", kHello, 3s)) << session.History("a");
    session.Messenger("say a how are you");
    ASSERT_TRUE(WaitUntil([&] { return Posts() == 2; }, 3s));

    std::string replaced = session.History("a");
    replaced.replace(replaced.find("10:00"), 5, "11:00");
    replaced.replace(replaced.find("how are you"), 11, "who are you");
    std::string escaped;
    for (unsigned char c : replaced) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        escaped += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
    }
    session.Messenger("replace a " + escaped);
    EXPECT_TRUE(WaitUntil([&] { return Posts() == 3; }, 8s));  // the start is compared every 5 ticks
    EXPECT_EQ(server.Log().back().body, "botcust2=0123456789abcdef&message=who%20are%20you");
    ASSERT_TRUE(HistoryHas("a", "who are you\r\nMe says:", 3s));

    session.Messenger("clear a");
    session.Messenger("say a hello again");
    EXPECT_TRUE(HistoryHas("a", "Ann says:\r\n  hello again\r\nMe says:", 3s)) << session.History("a");
    EXPECT_TRUE(WaitUntil([&] { return Posts() == 4; }, 1s));
}

TEST_F(Replies, InstantReplyLatencyOverTwentyMessages) {
    Start();
    Open("open", "a", "Ann");
    std::vector<long long> latencies;
    for (int i = 0; i < 20; ++i) {
        const std::string mark = "question number " + std::to_string(i);
        const std::size_t repliesBefore = [&] {
            const std::string h = session.History("a");
            std::size_t n = 0;
            for (std::size_t at = h.find("Me says:"); at != std::string::npos; at = h.find("Me says:", at + 1)) ++n;
            return n;
        }();
        const auto said = Clock::now();
        session.Messenger("say a " + mark);
        ASSERT_TRUE(WaitUntil(
            [&] {
                const std::string h = session.History("a");
                std::size_t n = 0;
                for (std::size_t at = h.find("Me says:"); at != std::string::npos; at = h.find("Me says:", at + 1)) ++n;
                return n > repliesBefore;
            },
            5s));
        latencies.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - said).count());
    }
    std::sort(latencies.begin(), latencies.end());
    const long long median = (latencies[9] + latencies[10]) / 2;
    const long long worst = latencies.back();
    RecordProperty("median_ms", static_cast<int>(median));
    RecordProperty("worst_ms", static_cast<int>(worst));
    std::printf("instant reply latency over 20 messages: median %lld ms, worst %lld ms\n", median, worst);
    // One tick, the settle delay and the request itself.
    EXPECT_LE(worst, 1000 + 500 + 100 + 400);
}

}  // namespace
}  // namespace quorvanel
