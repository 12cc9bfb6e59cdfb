// The whole program under Wine: quorvanel.exe answers conversations of test-messenger with the
// answers of quorvanel-botserver and its starter bot.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/about_window_win32.h"
#include "app/help_window_win32.h"
#include "app/main_form_ids.h"
#include "app/record_window_win32.h"
#include "e2e/quorvanel_session_win32.h"
#include "settings/options_dialog_ids.h"
#include "win32/talk_server_win32.h"

namespace quorvanel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::WaitUntil;

constexpr char kMarker = '\xA0';
constexpr char kToken[] = "botcust2=0123456789abcdef&message=";
constexpr char kNotice[] = "... robot is typing ...";
const std::string kHello = std::string("Me says:\r\n  Hello there.") + kMarker + "\r\n";

class Replies : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start("--token 0123456789abcdef"));
        ASSERT_TRUE(session.StartMessenger(server.Port()));
    }
    // Opens a conversation and waits until the program lists it; returns the window.
    HWND Open(const std::string& kind, const std::string& id, const std::string& name) {
        const int before = session.EntryCount();
        const std::string reply = session.Messenger(kind + " " + id + " " + name);
        EXPECT_TRUE(WaitUntil([&] { return session.EntryCount() > before; }, 20s)) << reply;
        return reply.rfind("ok ", 0) == 0 ? static_cast<HWND>(LongToHandle(std::atol(reply.c_str() + 3))) : nullptr;
    }
    bool HistoryHas(const std::string& id, const std::string& text, std::chrono::milliseconds within) {
        return WaitUntil([&] { return session.History(id).find(text) != std::string::npos; }, within);
    }
    int ReplyCount(const std::string& id) {
        const std::string history = session.History(id);
        int replies = 0;
        for (std::size_t at = 0; (at = history.find("Me says:", at)) != std::string::npos; ++at) ++replies;
        return replies;
    }

    testing::TalkServer server;
    testing::QuorvanelSession session;
};

// One conversation of twenty messages: each is answered at once with the bot's answer (the page
// escapes the ampersand; the contact reads the text the page shows) and the marker; the talk
// page is read once and its token goes with every question, so that the bot remembers the name.
TEST_F(Replies, InstantReplyLatencyOverTwentyMessages) {
    const struct {
        const char* said;
        const char* asked;
        const char* answer;
    } exchanges[] = {
        {"hello", "hello", "Hello there."},
        {"My name is Zoltan.", "My%20name%20is%20Zoltan%2E", "Nice to meet you, Zoltan."},
        {"How are you?", "How%20are%20you%3F", "I'm fine, thank you. How are you?"},
        {"Are Tom and Jerry friends?", "Are%20Tom%20and%20Jerry%20friends%3F", "Tom & Jerry are friends."},
        {"What is my name?", "What%20is%20my%20name%3F", "Your name is Zoltan."},
    };
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "a", "Ann");
    std::vector<long long> latencies;
    int mostLooks = 0;
    auto replied = Clock::now();
    for (std::size_t i = 0, asked = 0; i < 20; ++i) {
        const auto& exchange = exchanges[i % std::size(exchanges)];
        // Ann is a person: her line comes no sooner than she can type it at 60 words a minute,
        // or the program would take her for another machine and stop answering.
        const auto typed = replied + std::chrono::milliseconds(250 * std::strlen(exchange.said));
        WaitUntil([&] { return Clock::now() >= typed; }, 30s);
        const int looked = testing::Looks(session.MessengerProcess(), "a");
        const auto said = Clock::now();
        session.Messenger(std::string("say a ") + exchange.said);
        ASSERT_TRUE(WaitUntil([&] { return ReplyCount("a") == static_cast<int>(i + 1); }, 20s))
            << session.History("a");
        replied = Clock::now();
        latencies.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(replied - said).count());
        mostLooks = std::max(mostLooks, testing::Looks(session.MessengerProcess(), "a") - looked);
        // One message in a hundred gets a canned line, without asking the bot.
        const std::string history = session.History("a");
        const std::string reply = history.substr(history.rfind("\r\n  ") + 4);
        const bool canned = reply.starts_with("Check this: http://www.example.");
        EXPECT_TRUE(history.ends_with(std::string("Ann says:\r\n  ") + exchange.said + "\r\nMe says:\r\n  " +
                                      (canned ? reply : exchange.answer + std::string(1, kMarker) + "\r\n")))
            << history;
        const auto log = server.Log();
        asked += !canned;
        ASSERT_EQ(log.size(), asked + 1);
        EXPECT_EQ(log[0].method, "GET");
        if (!canned) {
            EXPECT_EQ(log.back().body, kToken + std::string(exchange.asked));
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const long long median = (latencies[9] + latencies[10]) / 2, worst = latencies.back();
    std::printf("instant reply latency over 20 messages: median %lld ms, worst %lld ms\n", median, worst);
    // Answered in the tick that notices the message, or at worst the next: counted in the
    // program's looks at the history (one or two a tick), which a loaded machine stretches as it
    // stretches the ticks themselves.
    EXPECT_LE(mostLooks, 6);
}

TEST_F(Replies, AtMediumTheNoticeStandsInTheEntryBoxUntilTheReplyIsSent) {
    ASSERT_TRUE(session.StartProgram("medium"));
    Open("open", "a", "Ann");
    const int looked = testing::Looks(session.MessengerProcess(), "a");
    const auto said = Clock::now();
    session.Messenger("say a hello");
    EXPECT_TRUE(WaitUntil([&] { return session.Entry("a") == kNotice; }, 30s));
    EXPECT_EQ(ReplyCount("a"), 0);
    EXPECT_TRUE(HistoryHas("a", kHello, 40s));
    // Reading 3 to 10 ticks, typing of 12 characters at 2 to 3 a second 4 to 6 ticks. A loaded
    // machine stretches the ticks: the upper bound counts them as the program's looks at the
    // history (one a tick, two in the ticks that find the message and the reply).
    EXPECT_GE(Clock::now() - said, 5s);
    EXPECT_LE(testing::Looks(session.MessengerProcess(), "a") - looked, 10 + 6 + 2);
    EXPECT_EQ(session.Entry("a"), "");
}

// A wide RichEdit window is answered; a window without a Send button keeps the reply in its entry
// box; a line ending in the marker (another robot's) is neither answered nor asked about. Windows
// 98 has no wide rich edit windows to answer (a messenger there uses the ANSI ones).
TEST_F(Replies, EachKindOfWindowGetsWhatItCanTake) {
    const bool wide = (GetVersion() & 0x80000000u) == 0;
    ASSERT_TRUE(session.StartProgram("instant"));
    if (wide) Open("open-w", "w", "Wes");
    Open("open-nobutton", "n", "Nia");
    Open("open", "r", "Rob");
    session.Messenger("say r from another robot\\xA0");
    if (wide) session.Messenger("say w hello");
    session.Messenger("say n hello");
    if (wide) {
        EXPECT_TRUE(HistoryHas("w", kHello, 15s)) << session.History("w");
    }
    EXPECT_TRUE(WaitUntil([&] { return session.Entry("n") == std::string("Hello there.") + kMarker; }, 15s))
        << session.Entry("n");
    EXPECT_EQ(ReplyCount("n"), 0);
    // Three ticks more: an answer to the robot, asked after the others, would have come by now.
    EXPECT_TRUE(testing::WaitTicks(session.MessengerProcess(), "r", 3));
    EXPECT_EQ(ReplyCount("r"), 0);
    EXPECT_EQ(server.Posts(), wide ? 2 : 1);
    session.Messenger("say r and from a person");
    EXPECT_TRUE(HistoryHas("r", "Me says:", 15s));
}

// Windows open before the start are listed, and closing one takes it off the list. With the bot
// server down the contact receives the error line.
TEST_F(Replies, ListsTheWindowsFoundAtTheStartAndSendsTheErrorLineWhenTheServerIsDown) {
    testing::WriteSetting("ConnectionSettings", "BotServer",
                          "127.0.0.1:" + std::to_string(testing::UnusedPort()));
    ASSERT_EQ(session.Messenger("open a Ann").rfind("ok ", 0), 0u);
    ASSERT_EQ(session.Messenger("open b Bob").rfind("ok ", 0), 0u);
    ASSERT_TRUE(session.StartProgram("instant"));
    EXPECT_EQ(session.Label(), "2 chat window(s) open");
    EXPECT_EQ(session.EntryCount(), 2);
    Open("open", "c", "Cleo");  // answered by default, unlike the two found at the start
    session.Messenger("say c hello");
    EXPECT_TRUE(HistoryHas("c",
                           std::string("Me says:\r\n  ERROR: I can't seem to access the website from "
                                       "which I get my responses. Please ensure you are connected "
                                       "and that your Internet Explorer connection settings are "
                                       "correct.") + kMarker + "\r\n",
                           15s))
        << session.History("c");
    session.Messenger("close a");
    EXPECT_TRUE(WaitUntil([&] { return session.Label() == "2 chat window(s) open" && session.EntryCount() == 2; }, 30s))
        << session.Label();
}

TEST_F(Replies, ASlowBotInOneConversationDoesNotStopAnothersTyping) {
    ASSERT_TRUE(session.StartProgram("slow"));
    Open("open", "a", "Ann");
    const HWND bob = Open("open", "b", "Bob");
    // Bob's answer (33 characters) takes 17 to 33 ticks to type at "slow".
    session.Messenger("say b how are you");
    ASSERT_TRUE(WaitUntil([&] { return session.Entry("b") == kNotice; }, 40s));
    ASSERT_TRUE(server.Control("scope=talk-post&fault=delay:15000&count=1"));
    session.Messenger("say a hello");
    // Ann is asked within 14 ticks; while her request waits, Bob's notice keeps coming back.
    ASSERT_TRUE(WaitUntil([&] { return server.Posts() == 2; }, 40s));
    HWND bobEntry = FindWindowExA(bob, FindWindowExA(bob, nullptr, "RichEdit20A", nullptr),
                                  "RichEdit20A", nullptr);
    SendMessageA(bobEntry, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    // Bob's pipeline moves on: the notice comes back, or his reply is sent.
    EXPECT_TRUE(WaitUntil([&] { return session.Entry("b") == kNotice || ReplyCount("b") > 0; }, 10s));
    EXPECT_EQ(ReplyCount("a"), 0);  // Ann's still waits
}

// A messenger whose window thread stops answering for 15 s freezes nothing: the program's own
// window takes a menu command at once, another messenger's contact is answered meanwhile, and
// the hung one's contact once the hang is over.
TEST_F(Replies, AHungMessengerFreezesNothing) {
    ASSERT_TRUE(session.StartProgram("instant"));
    testing::ChildProcess other;
    ASSERT_TRUE(other.Start("test-messenger.exe"));
    const HWND ann = Open("open", "a", "Ann");
    const int before = session.EntryCount();
    other.Command("open b Bob");
    ASSERT_TRUE(WaitUntil([&] { return session.EntryCount() > before; }, 20s));
    session.Messenger("say a are you there");
    ASSERT_EQ(session.Messenger("hang 15"), "ok");
    const auto hung = Clock::now();
    // Bob's conversation is watched on: a whole tick has met the hung window.
    ASSERT_TRUE(testing::WaitTicks(other, "b", 2));
    other.Command("say b hello");
    // The menu answers at once, time after time, while the messenger is hung.
    for (int i = 0; i < 5 && Clock::now() - hung < 10s; ++i) {
        const auto posted = Clock::now();
        PostMessageA(session.MainWindow(), WM_COMMAND, kIdMenuAboutQuorvanel, 0);
        const HWND about = testing::WaitForWindow(kAboutClassName, nullptr, 20s);
        ASSERT_NE(about, nullptr);
        EXPECT_LT(Clock::now() - posted, 500ms) << "About " << i + 1 << " waited for the hung messenger";
        PostMessageA(about, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 10s));
    }
    EXPECT_TRUE(WaitUntil([&] { return other.Command("dump b").find("Me says:") != std::string::npos; }, 15s));
    DWORD_PTR result = 0;
    EXPECT_EQ(SendMessageTimeoutA(ann, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result), 0)
        << "Bob was watched and answered only after Ann's messenger came back";
    EXPECT_TRUE(HistoryHas("a", "are you there\r\nMe says:", 40s)) << session.History("a");
    other.Command("quit");
}

// About opened while a bot request hangs, and left open: the request still ends at its limit (the
// contact gets the error line) and the next conversation is answered while About stays open.
TEST_F(Replies, AWindowLeftOpenDuringARequestHoldsNoOtherReply) {
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "a", "Ann");
    Open("open", "b", "Bob");
    ASSERT_TRUE(server.Control("scope=talk-post&fault=hang&count=1"));
    session.Messenger("say a hello");
    ASSERT_TRUE(WaitUntil([&] { return server.Posts() == 1; }, 15s));
    PostMessageA(session.MainWindow(), WM_COMMAND, kIdMenuAboutQuorvanel, 0);
    const HWND about = testing::WaitForWindow(kAboutClassName, nullptr, 20s);
    ASSERT_NE(about, nullptr);
    session.Messenger("say b hello");
    // After Ann's request reaches its limit of 20 s.
    EXPECT_TRUE(HistoryHas("b", kHello, 60s)) << session.History("b");
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_TRUE(HistoryHas("a", "Me says:\r\n  ERROR:", 1s)) << session.History("a");
    PostMessageA(about, WM_CLOSE, 0, 0);
}

// While a bot request hangs the main window takes its keys (F1 opens Help), and closed then, the
// program ends at once and cleanly: nothing waits for the request, and the typing notice of a
// reply still being typed is taken back.
TEST_F(Replies, ClosedDuringASlowRequestTheProgramEndsAtOnce) {
    ASSERT_TRUE(session.StartProgram("slow"));
    Open("open", "a", "Ann");
    Open("open", "b", "Bob");
    session.Messenger("say b say " + std::string(90, 'x'));  // the bot repeats it: 45 ticks or more
    ASSERT_TRUE(WaitUntil([&] { return session.Entry("b") == kNotice; }, 40s));
    ASSERT_TRUE(server.Control("scope=talk-post&fault=hang"));
    session.Messenger("say a hello");
    ASSERT_TRUE(WaitUntil([&] { return server.Posts() == 2; }, 30s));
    PostMessageA(session.MainWindow(), WM_KEYDOWN, VK_F1, 0);
    const HWND help = testing::WaitForWindow(kHelpClassName, nullptr, 20s);
    ASSERT_NE(help, nullptr) << "F1 opened no Help";
    PostMessageA(help, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(help); }, 20s));
    const HANDLE program = session.Program().ProcessHandle();
    const auto closed = Clock::now();
    PostMessageA(session.MainWindow(), WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(program, 10'000), WAIT_OBJECT_0);
    // A generous bound for a loaded machine, far below the request's 20 s limit.
    EXPECT_LT(Clock::now() - closed, 5s);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(program, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(session.Entry("b"), "");
    EXPECT_EQ(ReplyCount("b"), 0);
}

// Histories longer than the characters the program compares at their start, so that a new line
// shows in the length alone and a same-length replacement in the start alone.
TEST_F(Replies, AHistoryThatGrowsIsReplacedOrIsClearedIsReadAnew) {
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "a", "Ann");
    session.Messenger("raw a Conversation with Ann, started at 10:00; every message is shown below.\\r\\n");
    session.Messenger("say a hello");
    ASSERT_TRUE(HistoryHas("a", kHello, 15s)) << session.History("a");
    session.Messenger("say a how are you");
    // Its answer in place, so that the replacement below is the only change to come.
    ASSERT_TRUE(HistoryHas("a", "how are you\r\nMe says:", 15s)) << session.History("a");
    EXPECT_EQ(server.Posts(), 2);

    std::string replaced = session.History("a");
    replaced.replace(replaced.find("10:00"), 5, "11:00");
    replaced.replace(replaced.find("how are you"), 11, "who are you");
    std::string escaped;  // as test-messenger takes it: the history holds no other controls
    for (char c : replaced)
        escaped += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == kMarker ? "\\xA0" : std::string(1, c);
    session.Messenger("replace a " + escaped);
    // The start is compared every 5 ticks, the whole history read every 300.
    EXPECT_TRUE(WaitUntil([&] { return server.Posts() == 3; }, 30s));
    EXPECT_EQ(server.Log().back().body, kToken + std::string("who%20are%20you"));
    ASSERT_TRUE(WaitUntil([&] { return ReplyCount("a") == 3; }, 15s)) << session.History("a");

    session.Messenger("clear a");
    session.Messenger("say a hello again");
    EXPECT_TRUE(HistoryHas("a", "Ann says:\r\n  hello again\r\nMe says:", 15s)) << session.History("a");
    EXPECT_TRUE(WaitUntil([&] { return server.Posts() == 4; }, 1s));
}

// A fresh install: no settings file, so the built-in bot answers, each contact with a memory of
// its own; a bot server chosen in the Options is asked from the next question on.
class BuiltInBot : public Replies {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start("--token 0123456789abcdef"));
        ASSERT_TRUE(session.StartMessenger(0));
    }
    // Says a line and waits for the reply that follows it.
    std::string Exchange(const std::string& id, const std::string& said) {
        const int before = ReplyCount(id);
        session.Messenger("say " + id + " " + said);
        if (!WaitUntil([&] { return ReplyCount(id) > before; }, 25s)) return "(no reply)";
        const std::string history = session.History(id);
        return history.substr(history.rfind("\r\n  ") + 4);
    }
    // Chooses the bot server at the host (empty: the built-in bot) in the Options and saves.
    void ChooseBot(const std::string& host) {
        PostMessageA(session.MainWindow(), WM_COMMAND, kIdMenuOptions, 0);
        const HWND dialog = testing::WaitForWindow(kOptionsDialogClassName, nullptr, 20s);
        ASSERT_NE(dialog, nullptr);
        const HWND page = GetDlgItem(dialog, kIdConnectionPage);
        SendMessageA(GetDlgItem(page, kIdBuiltInBot), BM_SETCHECK, host.empty() ? BST_CHECKED : BST_UNCHECKED, 0);
        SendMessageA(GetDlgItem(page, kIdUseBotServer), BM_SETCHECK, host.empty() ? BST_UNCHECKED : BST_CHECKED, 0);
        SendMessageA(GetDlgItem(page, kIdBotServer), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(host.c_str()));
        PostMessageA(GetDlgItem(dialog, kIdOptionsOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 20s));
    }
};

// Ann is remembered after Commands > Exit and a new start, Bob after the program was killed right
// after his answer; each in a new window.
TEST_F(BuiltInBot, AFreshInstallAnswersEachContactWithAMemoryOfItsOwnThatOutlastsARestart) {
    ASSERT_TRUE(session.StartProgram(nullptr));
    Open("open", "a", "Ann");
    // At the typing speed of a fresh install. (Each contact's own memory is the engine's test.)
    EXPECT_EQ(Exchange("a", "hello"), std::string("Hello there.") + kMarker + "\r\n");
    testing::WriteSetting("BotBehaviour", "TypeSpeed", "instant");
    const std::string named = Exchange("a", "My name is Ann.");
    EXPECT_TRUE(named.starts_with("Nice to meet you, Ann.") || named.starts_with("Check this:")) << named;
    PostMessageA(session.MainWindow(), WM_COMMAND, kIdMenuExit, 0);
    ASSERT_TRUE(session.CloseProgram());
    session.Messenger("close a");
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "c", "Ann");
    const std::string again = Exchange("c", "What is my name?");
    EXPECT_TRUE(again.starts_with("Your name is Ann.") || again.starts_with("Check this:")) << again;
    Open("open", "b", "Bob");
    Exchange("b", "My name is Bob.");
    Exchange("b", "hello");  // in flight as the program is killed: the record may lose it
    TerminateProcess(session.Program().ProcessHandle(), 1);
    session.CloseProgram();
    session.Messenger("close b");
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "d", "Bob");
    const std::string bob = Exchange("d", "What is my name?");
    EXPECT_TRUE(bob.starts_with("Your name is Bob.") || bob.starts_with("Check this:")) << bob;
    EXPECT_EQ(server.Log().size(), 0u);

    // The record lists both contacts, Bob heard from last and shown first, with what he said
    // before the kill.
    PostMessageA(session.MainWindow(), WM_COMMAND, kIdMenuRecord, 0);
    const HWND record = testing::WaitForWindow(kRecordClassName, nullptr, 20s);
    ASSERT_NE(record, nullptr);
    std::string shown;
    EXPECT_TRUE(WaitUntil(
        [&] {
            char text[8192] = {};
            SendMessageA(GetDlgItem(record, kIdRecordExchanges), WM_GETTEXT, sizeof text,
                         reinterpret_cast<LPARAM>(text));
            shown = text;
            return shown.find("  Bob: My name is Bob.\r\n  Sent: ") != std::string::npos;
        },
        20s))
        << shown;
    EXPECT_EQ(SendMessageA(GetDlgItem(record, kIdRecordContacts), LVM_GETITEMCOUNT, 0, 0), 2);
    PostMessageA(record, WM_CLOSE, 0, 0);
}

TEST_F(BuiltInBot, TheBotChosenInTheOptionsAnswersFromTheNextQuestion) {
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "a", "Ann");
    Exchange("a", "My name is Ann.");
    ChooseBot("127.0.0.1:" + std::to_string(server.Port()));
    Exchange("a", "What is my name?");
    Exchange("a", "hello");
    // The conversation was started before the first question, and its token went with each one.
    const auto log = server.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].method, "GET");
    for (std::size_t i = 1; i < log.size(); ++i) EXPECT_TRUE(log[i].body.starts_with(kToken)) << log[i].body;
    ChooseBot("");
    const std::string reply = Exchange("a", "What is my name?");
    EXPECT_TRUE(reply.starts_with("Your name is Ann.") || reply.starts_with("Check this:")) << reply;
    EXPECT_EQ(server.Log().size(), log.size());
}

// Left in charge, the robot keeps to the user's rules: it never overwrites what the user types,
// steps back when they write, leaves "never" contacts alone across windows and runs, and stops a
// machine at the other end; the list says why.
TEST_F(BuiltInBot, WhatTheUserTypesSurvivesAndTheirOwnLinesStepTheRobotBack) {
    testing::WriteSetting("Rules", "StepBackMinutes", "5");
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "a", "Ann");
    Exchange("a", "hello");
    session.Messenger("type a my own words");
    session.Messenger("say a are you there?");
    ASSERT_TRUE(testing::WaitTicks(session.MessengerProcess(), "a", 4));
    EXPECT_EQ(session.Entry("a"), "my own words");
    EXPECT_EQ(ReplyCount("a"), 1);
    session.Messenger("send a");
    session.Messenger("say a and now?");
    EXPECT_TRUE(WaitUntil([&] { return session.EntryNote(0).starts_with("stepped back until "); }, 20s))
        << session.EntryNote(0);
    ASSERT_TRUE(testing::WaitTicks(session.MessengerProcess(), "a", 3));
    EXPECT_EQ(ReplyCount("a"), 2) << session.History("a");  // the reply and the user's own line
}

TEST_F(BuiltInBot, NeverChosenInTheListHoldsForNewWindowsAfterARestartAsDoTheHours) {
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "b", "Boss");
    // The menu key on the list, then the menu's "Never answer" by its letter.
    const HWND list = GetDlgItem(session.MainWindow(), kIdConversations);
    PostMessageA(list, WM_KEYDOWN, VK_APPS, 0);
    PostMessageA(list, WM_KEYUP, VK_APPS, 0xC0000001);
    const HWND menu = testing::WaitForWindow("#32768", nullptr, 20s, [](HWND w) { return IsWindowVisible(w) != FALSE; });
    ASSERT_NE(menu, nullptr);
    PostMessageA(menu, WM_CHAR, 'n', 0);
    EXPECT_TRUE(WaitUntil([&] { return session.EntryNote(0) == "never"; }, 20s)) << session.EntryNote(0);
    EXPECT_FALSE(session.EntryTicked(0));

    // After a restart, with hours chosen that do not hold now.
    ASSERT_TRUE(session.CloseProgram());
    SYSTEMTIME now{};
    GetLocalTime(&now);
    testing::WriteSetting("Rules", "AnswerWhen", "hours");
    testing::WriteSetting("Rules", "HoursFrom", std::to_string((now.wHour + 2) % 24) + ":00");
    testing::WriteSetting("Rules", "HoursTo", std::to_string((now.wHour + 3) % 24) + ":00");
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "c", "Boss");
    Open("open", "a", "Ann");  // served: its looks count the ticks
    session.Messenger("say c hello");
    session.Messenger("say a hello");
    EXPECT_TRUE(WaitUntil([&] { return session.EntryNote(1) == "never"; }, 20s)) << session.EntryNote(1);
    EXPECT_TRUE(WaitUntil([&] { return session.EntryNote(2) == "outside the hours"; }, 20s)) << session.EntryNote(2);
    ASSERT_TRUE(testing::WaitTicks(session.MessengerProcess(), "a", 3));
    EXPECT_FALSE(session.EntryTicked(1));
    EXPECT_EQ(ReplyCount("c") + ReplyCount("a"), 0);
}

// The user's own folder in AIML 2.0: its sets and maps answer, and what Ann taught it is hers
// after a restart too.
TEST_F(BuiltInBot, AnOwnFolderInAiml2AnswersAndKeepsWhatItLearned) {
    testing::WriteSetting("ConnectionSettings", "AIMLFolder", QV_AIML2_BOT);
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "a", "Ann");
    const auto answers = [&](const std::string& id, const std::string& said, const std::string& answer) {
        const std::string reply = Exchange(id, said);
        EXPECT_TRUE(reply.starts_with(answer) || reply.starts_with("Check this:")) << said << ": " << reply;
    };
    answers("a", "I like dark red", "dark red is a fine colour.");
    answers("a", "What is the capital of Italy?", "Rome.");
    answers("a", "My name is Ann.", "Nice to meet you, Ann.");
    PostMessageA(session.MainWindow(), WM_COMMAND, kIdMenuExit, 0);
    ASSERT_TRUE(session.CloseProgram());
    session.Messenger("close a");
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "c", "Ann");
    answers("c", "Who am I?", "You are Ann.");
    Open("open", "b", "Bob");
    answers("b", "Who am I?", "Tell me more.");
}

TEST_F(BuiltInBot, AnAnsweringMachineAtTheOtherEndIsStoppedAndTheUserTold) {
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "e", "Echo");
    session.Messenger("echo e");
    session.Messenger("say e hello");
    EXPECT_TRUE(WaitUntil([&] { return session.EntryNote(0) == "another robot"; }, 120s)) << session.History("e");
    const int replies = ReplyCount("e");
    EXPECT_LE(replies, 15);
    ASSERT_TRUE(testing::WaitTicks(session.MessengerProcess(), "e", 5));
    EXPECT_EQ(ReplyCount("e"), replies);
}

// A folder of the user's whose last category asks a model (the tests' stand-in): each contact's
// answer comes from the model with that contact's turns alone, and a failing model gives the
// category's default.
TEST_F(BuiltInBot, AFolderBackedByAModelAnswersEachContactFromItsOwnTurnsAndFallsBackOnAFailure) {
    const int model = testing::StartUnixServer([](const std::string& portFile) {
        return std::string(QV_MODEL_STANDIN_PATH) + " " + portFile + " 0 300";
    });
    ASSERT_GT(model, 0);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        temp + std::string("qv-model-bot-") + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const auto write = [&](const char* name, const std::string& text) {
        std::FILE* file = std::fopen((folder + "\\" + name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs(text.c_str(), file);
        std::fclose(file);
    };
    write("bot.aiml", R"(<aiml><category><pattern>*</pattern><template>
        <sraix service="local" default="No model."><star/></sraix></template></category></aiml>)");
    write("services.json",
          R"({"services": {"local": {"url": "http://127.0.0.1:)" + std::to_string(model) +
              R"(/v1/chat/completions", "model": "standin", "time_limit_ms": 10000}}})");
    testing::WriteSetting("ConnectionSettings", "AIMLFolder", folder);
    ASSERT_TRUE(session.StartProgram("instant"));
    Open("open", "a", "Ann");
    Open("open", "b", "Bob");
    const auto said = [&](const std::string& id, const std::string& line,
                          const std::string& expected) {
        const std::string reply = Exchange(id, line);
        EXPECT_TRUE(reply.starts_with(expected) || reply.starts_with("Check this:")) << reply;
    };
    said("a", "my cat is Tom", "heard: my cat is Tom");
    said("b", "what did she say", "heard: what did she say");
    said("a", "and the dog", "heard: my cat is Tom | and the dog");
    said("b", "fail now", "No model.");
    testing::QuitServer(model);
    DeleteFileA((folder + "\\bot.aiml").c_str());
    DeleteFileA((folder + "\\services.json").c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace quorvanel
