// The stand-in bot server: its pure helpers, and the real executable driven over HTTP.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "talk_protocol.h"

namespace {

using namespace std::chrono_literals;
using talk::Fault;
using talk::FaultKind;
using talk::Scope;

// ---- pure helpers ----

TEST(TalkPercentDecode, DecodesEveryEscapeToItsByteAndLeavesMalformedOnesAlone) {
    EXPECT_EQ(talk::PercentDecode("hello%20there%3F%0A%E9"), "hello there?\n\xE9");
    EXPECT_EQ(talk::PercentDecode("%e9%2b+"), "\xE9+ ");
    EXPECT_EQ(talk::PercentDecode("%00x"), std::string("\0x", 2));
    EXPECT_EQ(talk::PercentDecode("100% %4 %G1 %"), "100% %4 %G1 %");
}

TEST(TalkFormField, FindsTheNamedFieldOfTheClientsBody) {
    const std::string body = "botcust2=d6a0d6e83e35d2d9&message=caf%E9%3F";
    EXPECT_EQ(talk::FormField(body, "botcust2"), "d6a0d6e83e35d2d9");
    EXPECT_EQ(talk::FormField(body, "message"), "caf\xE9?");
    EXPECT_EQ(talk::FormField(body, "botid"), std::nullopt);
    EXPECT_EQ(talk::FormField("xmessage=1&message=2", "message"), "2");
    EXPECT_EQ(talk::FormField("message=&a=1", "message"), "");
    EXPECT_EQ(talk::FormField("a=1&message", "message"), "");
    EXPECT_EQ(talk::FormField("", "message"), std::nullopt);
}

TEST(TalkHtmlEscape, EscapesMarkupAndQuotesOnly) {
    EXPECT_EQ(talk::HtmlEscape(R"(<b>"Tom" & 'Jerry'</b>)"),
              "&lt;b&gt;&quot;Tom&quot; &amp; 'Jerry'&lt;/b&gt;");
    EXPECT_EQ(talk::HtmlEscape("caf\xE9"), "caf\xE9");
}

TEST(TalkWindows1252ToUtf8, MapsLatin1AndTheWindowsOnlyRange) {
    EXPECT_EQ(talk::Windows1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(talk::Windows1252ToUtf8("\x80\x93\x9F"), "\xE2\x82\xAC\xE2\x80\x9C\xC5\xB8");
    EXPECT_EQ(talk::Windows1252ToUtf8("\x81\xFF"), "\xC2\x81\xC3\xBF");
    EXPECT_EQ(talk::Windows1252ToUtf8("plain"), "plain");
}

TEST(TalkJsonString, KeepsEveryByteRecoverableInAsciiText) {
    EXPECT_EQ(talk::JsonString("a\"b\\c\nd\re\tf"), R"("a\"b\\c\nd\re\tf")");
    EXPECT_EQ(talk::JsonString(std::string("\0\x1F\x7F\xE9\xFF", 5)),
              R"("\u0000\u001F\u007F\u00E9\u00FF")");
    EXPECT_EQ(talk::JsonString(""), R"("")");
}

TEST(TalkAnswer, PicksTheFirstMatchingRuleCaseInsensitively) {
    EXPECT_EQ(talk::Answer("Hello!", "Kestro"), "Hello there.");
    EXPECT_EQ(talk::Answer("HI", "Kestro"), "Hello there.");
    EXPECT_EQ(talk::Answer("hello, how are you?", "Kestro"), "I'm fine, thank you. How are you?");
    EXPECT_EQ(talk::Answer("What is your NAME?", "Kestro"), "My name is Kestro.");
    EXPECT_EQ(talk::Answer("what's the weather like", "Kestro"),
              "I hear the weather is lovely where you are.");
    EXPECT_EQ(talk::Answer("ok bye", "Kestro"), "Goodbye, talk to you later.");
    EXPECT_EQ(talk::Answer("do you like it?", "Kestro"),
              "That is a good question. What do you think?");
    EXPECT_EQ(talk::Answer("I went out", "Kestro"), "Tell me more about that.");
    EXPECT_EQ(talk::Answer("", "Kestro"), "Tell me more about that.");
}

TEST(TalkAnswer, MatchesWholeWordsOnly) {
    EXPECT_EQ(talk::Answer("this is it", "Kestro"), "Tell me more about that.");  // not "hi"
    EXPECT_EQ(talk::Answer("a nickname", "Kestro"), "Tell me more about that.");  // not "name"
    EXPECT_EQ(talk::Answer("how   are\nyou", "Kestro"), "I'm fine, thank you. How are you?");
}

TEST(TalkAnswer, CarriesAnEntityAndALatin1Letter) {
    EXPECT_EQ(talk::Answer("the cafe", "Kestro"), "Coffee &amp; cake sound good to me.");
    EXPECT_EQ(talk::Answer("CAF\xC9", "Kestro"), "Coffee &amp; cake sound good to me.");
    EXPECT_EQ(talk::Answer("speak french", "Kestro"), "I know one French word: caf\xE9.");
}

TEST(TalkAnswer, EscapesWhatComesFromOutside) {
    EXPECT_EQ(talk::Answer("say <i>Tom & Jerry</i>", "Kestro"),
              "&lt;i&gt;Tom &amp; Jerry&lt;/i&gt;");
    EXPECT_EQ(talk::Answer("  Say  x", "Kestro"), " x");
    EXPECT_EQ(talk::Answer("sayonara", "Kestro"), "Tell me more about that.");
    EXPECT_EQ(talk::Answer("your name", "A&B"), "My name is A&amp;B.");
}

TEST(TalkRandom, RepeatsPerSeedAndDiffersBetweenSeeds) {
    talk::Random a(42), b(42), c(43);
    const std::uint64_t first = a.Next();
    EXPECT_EQ(first, b.Next());
    EXPECT_NE(first, c.Next());
    EXPECT_NE(first, a.Next());
}

TEST(TalkTokenHex, IsSixteenLowerCaseDigits) {
    EXPECT_EQ(talk::TokenHex(0xABCull), "0000000000000abc");
    EXPECT_EQ(talk::TokenHex(~0ull), "ffffffffffffffff");
}

TEST(TalkGarbage, IsNeverUtf8AndHoldsNoMarker) {
    talk::Random random(7);
    for (int i = 0; i < 50; ++i) {
        const std::string garbage = talk::Garbage(random);
        EXPECT_NE(garbage.find('\xFF'), std::string::npos);
        EXPECT_EQ(garbage.find("<!-- Quorvanel_Data -->"), std::string::npos);
        EXPECT_EQ(garbage.find("botcust2"), std::string::npos);
        EXPECT_GT(garbage.size(), 100u);
    }
}

TEST(TalkPages, AnswerLineIsTheOnlyBoldNameLine) {
    const talk::PageText page{"Kestro", "b&1", "tok\"en"};
    const std::string with = talk::AnswerPage(page, "a<b", std::string("Hi."), true);
    EXPECT_NE(with.find("<b>You:</b> a&lt;b <br><b>Kestro:</b> Hi. <br>"), std::string::npos);
    EXPECT_NE(with.find(R"(action="/pandora/talk?botid=b&amp;1")"), std::string::npos);
    EXPECT_NE(with.find(R"(name="botcust2" value="tok&quot;en")"), std::string::npos);
    const std::string without = talk::AnswerPage(page, "a", std::nullopt, false);
    EXPECT_EQ(without.find("Kestro:"), std::string::npos);
    EXPECT_EQ(without.find("<form"), std::string::npos);
}

TEST(TalkParseFault, AcceptsTheFaultNamesWithTheirTimes) {
    EXPECT_EQ(talk::ParseFault("none"), Fault{});
    EXPECT_EQ(talk::ParseFault("delay:3000"), (Fault{FaultKind::kDelay, 3000}));
    EXPECT_EQ(talk::ParseFault("hang"), (Fault{FaultKind::kHang, 0}));
    EXPECT_EQ(talk::ParseFault("hang:250"), (Fault{FaultKind::kHang, 250}));
    EXPECT_EQ(talk::ParseFault("500"), Fault{FaultKind::kError500});
    EXPECT_EQ(talk::ParseFault("garbage"), Fault{FaultKind::kGarbage});
    for (const char* bad : {"delay", "delay:", "delay:-1", "delay:1x", "500:1", "hung", ""}) {
        EXPECT_EQ(talk::ParseFault(bad), std::nullopt) << bad;
    }
}

TEST(TalkParseFaultSetting, KeepsOnlyTheScopesTheFaultFits) {
    const auto all = talk::ParseFaultSetting("all", "noform", std::nullopt);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->scopes, (std::vector{Scope::kTalkGet, Scope::kTalkPost}));
    EXPECT_EQ(talk::ParseFaultSetting("all", "500", std::nullopt).value().scopes.size(), 3u);
    EXPECT_EQ(talk::ParseFaultSetting("news", "noanswer", std::nullopt), std::nullopt);
    EXPECT_EQ(talk::ParseFaultSetting("talk-get", "nomarker", std::nullopt), std::nullopt);
    EXPECT_EQ(talk::ParseFaultSetting("all", "nomarker", std::nullopt).value().scopes,
              (std::vector{Scope::kTalkPost, Scope::kNews}));
    EXPECT_EQ(talk::ParseFaultSetting("talk-post", "hang", "2").value().count, 2);
    EXPECT_EQ(talk::ParseFaultSetting("talk-post", "hang", "0"), std::nullopt);
    EXPECT_EQ(talk::ParseFaultSetting("talk", "500", std::nullopt), std::nullopt);
}

TEST(TalkChaos, ParsesSeedAndPercent) {
    const auto chaos = talk::ParseChaos("12:25");
    ASSERT_TRUE(chaos);
    EXPECT_EQ(chaos->seed, 12u);
    EXPECT_EQ(chaos->percent, 25);
    for (const char* bad : {"12", "12:101", "12:-1", "x:5", ":5"}) {
        EXPECT_EQ(talk::ParseChaos(bad), std::nullopt) << bad;
    }
}

TEST(TalkChaos, HitsAboutThePercentageWithBoundedFaults) {
    int hits = 0;
    std::set<FaultKind> kinds;
    for (std::uint64_t n = 0; n < 4000; ++n) {
        const Fault fault = talk::ChaosFault({9, 25}, n);
        EXPECT_EQ(fault, talk::ChaosFault({9, 25}, n));
        if (fault.kind == FaultKind::kNone) continue;
        ++hits;
        kinds.insert(fault.kind);
        if (fault.kind == FaultKind::kDelay) {
            EXPECT_LE(fault.ms, 5000);
        } else {
            EXPECT_EQ(fault.ms, fault.kind == FaultKind::kHang ? 30000 : 0);
        }
    }
    EXPECT_EQ(kinds, (std::set{FaultKind::kDelay, FaultKind::kHang, FaultKind::kError500,
                               FaultKind::kEmpty, FaultKind::kGarbage}));
    EXPECT_GT(hits, 850);
    EXPECT_LT(hits, 1150);
    EXPECT_EQ(talk::ChaosFault({9, 0}, 3), Fault{});
    EXPECT_NE(talk::ChaosFault({9, 100}, 3), Fault{});
}

// ---- the executable ----

constexpr char kBotid[] = "a1b2c3d4e5f60718";
const std::string kTalk = std::string("/pandora/talk?botid=") + kBotid;
const std::string kNews = "/public/quorvanel/index.php?progversion=1.11";
constexpr char kFormType[] = "application/x-www-form-urlencoded";

// A failed request shows as -1 or as its error text, so a test fails instead of crashing.
int Status(const httplib::Result& result) {
    return result ? result->status : -1;
}
std::string Body(const httplib::Result& result) {
    return result ? result->body : "<no response: " + httplib::to_string(result.error()) + ">";
}

// One talk-server process, stopped with SIGTERM when it goes out of scope.
class TalkServer {
  public:
    explicit TalkServer(std::vector<std::string> args = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        // A test killed midway must not leave its server behind for long; later options win.
        args.insert(args.begin(), {TALK_SERVER_PATH, "--lifetime", "60"});
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TALK_SERVER_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];
        first_line_ = ReadLine();
        std::smatch match;
        if (std::regex_match(first_line_, match,
                             std::regex(R"(listening on 127\.0\.0\.1:(\d+))"))) {
            port_ = std::stoi(match[1]);
        }
    }
    ~TalkServer() {
        if (pid_ > 0) Stop();
        if (stdout_ >= 0) close(stdout_);
    }

    int port() const { return port_; }
    const std::string& first_line() const { return first_line_; }

    httplib::Client Client(std::chrono::milliseconds timeout = 10s) const {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(timeout);
        return client;
    }
    httplib::Result Ask(const std::string& message_field) const {
        return Client().Post(kTalk.c_str(), "botcust2=abc&message=" + message_field, kFormType);
    }
    void Control(const std::string& form) const {
        const auto res = Client().Post("/__control", form, kFormType);
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200) << form << ": " << res->body;
    }
    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        std::istringstream text(Body(Client().Get("/__log")));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }

    // SIGTERM, then the exit status.
    int Stop() {
        kill(pid_, SIGTERM);
        return Wait(5s);
    }
    // The exit status (128 + signal when killed), or -1 when it did not end in time.
    int Wait(std::chrono::milliseconds limit = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) != pid_) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                pid_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    std::string ReadLine() const {
        std::string line;
        char c = 0;
        pollfd fd{stdout_, POLLIN, 0};
        while (poll(&fd, 1, 10000) > 0 && read(stdout_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
    int port_ = 0;
    std::string first_line_;
};

std::optional<std::string> FirstFormToken(const std::string& page) {
    const std::size_t form = page.find("<form");
    const std::size_t end = page.find("</form>", form);
    if (form == std::string::npos || end == std::string::npos) return {};
    const std::string key = R"(name="botcust2" value=")";
    const std::size_t value = page.find(key, form);
    if (value == std::string::npos || value > end) return {};
    const std::size_t start = value + key.size();
    return page.substr(start, page.find('"', start) - start);
}

// Waits until the server has logged `count` requests; false after ten seconds.
bool WaitForLog(const TalkServer& server, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (server.Log().size() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string AnswerLine(const std::string& answer, const std::string& name = "Kestro") {
    return "<b>" + name + ":</b> " + answer + " <br>";
}

// Sends bytes exactly as given and returns everything the server sent back.
std::string RawExchange(int port, const std::string& request) {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(sock, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = recv(sock, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, n);
    }
    close(sock);
    return reply;
}

TEST(TalkServerRun, PrintsOnlyItsAddressFirst) {
    TalkServer server;
    EXPECT_GT(server.port(), 0) << server.first_line();
    EXPECT_EQ(server.Stop(), 0);
}

TEST(TalkServerRun, WritesThePortFileAndQuitsWhenAsked) {
    const std::string file = ::testing::TempDir() + "talk_server_port_" + std::to_string(getpid());
    std::remove(file.c_str());
    TalkServer server({"--port-file", file});
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, std::to_string(server.port()) + "\n");
    // HTTP/1.0 without keep-alive, as the tests under Wine send it: the reply ends the stream.
    const std::string reply =
        RawExchange(server.port(), "POST /__quit HTTP/1.0\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 200")) << reply;
    EXPECT_EQ(server.Wait(), 0);
}

TEST(TalkServerRun, StopsByItselfAfterItsLifetime) {
    const auto start = std::chrono::steady_clock::now();
    TalkServer server({"--lifetime", "1", "--fault", "talk-post=hang"});
    std::optional<int> status;
    std::thread hung([&] { status = Status(server.Ask("hi")); });
    EXPECT_EQ(server.Wait(), 0);
    hung.join();
    EXPECT_EQ(status, 503);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
}

TEST(TalkServerRun, RefusesBadOptions) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--fault", "news=noanswer"},
                                                                  {"--chaos", "5"},
                                                                  {"--charset", "ascii"},
                                                                  {"--nope", "1"}}) {
        TalkServer server(args);
        EXPECT_EQ(server.port(), 0);
        EXPECT_EQ(server.Wait(), 2) << args[0] << " " << args[1];
    }
}

TEST(TalkServerRun, TalkPageFirstFormCarriesAFreshTokenPerVisit) {
    TalkServer server({"--seed", "42"});
    const auto first = server.Client().Get(kTalk.c_str());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    EXPECT_EQ(first->get_header_value("Content-Type"), "text/html; charset=ISO-8859-1");
    const auto token = FirstFormToken(first->body);
    ASSERT_TRUE(token) << first->body;
    EXPECT_TRUE(std::regex_match(*token, std::regex("[0-9a-f]{16}"))) << *token;
    EXPECT_NE(FirstFormToken(Body(server.Client().Get(kTalk.c_str()))), token);

    TalkServer same_seed({"--seed", "42"});
    EXPECT_EQ(FirstFormToken(Body(same_seed.Client().Get(kTalk.c_str()))), token);
    TalkServer fixed({"--token", "FIXED123"});
    EXPECT_EQ(FirstFormToken(Body(fixed.Client().Get("/pandora/talk?botid=other"))), "FIXED123");
}

TEST(TalkServerRun, AnswersInTheMarkerFormAfterTheUsersLine) {
    TalkServer server;
    const auto res = server.Ask("hello%20there%3F");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=ISO-8859-1");
    EXPECT_TRUE(Contains(res->body, "<b>You:</b> hello there? <br>" + AnswerLine("Hello there.")))
        << res->body;
    EXPECT_EQ(FirstFormToken(res->body), "abc");

    const std::string cafe = Body(server.Ask("caf%E9%20%3F%0Aok"));
    EXPECT_TRUE(Contains(cafe, "<b>You:</b> caf\xE9 ?\nok <br>")) << cafe;
    EXPECT_TRUE(Contains(cafe, AnswerLine("Coffee &amp; cake sound good to me."))) << cafe;
    EXPECT_TRUE(
        Contains(Body(server.Ask("French%3F")), AnswerLine("I know one French word: caf\xE9.")));
    EXPECT_TRUE(Contains(Body(server.Ask("say%20%3Cb%3E")), AnswerLine("&lt;b&gt;")));
    // An unknown bot still answers.
    const auto other =
        server.Client().Post("/pandora/talk?botid=nobody", "botcust2=abc&message=bye", kFormType);
    EXPECT_TRUE(Contains(Body(other), AnswerLine("Goodbye, talk to you later.")));
}

TEST(TalkServerRun, BotNameAndUtf8AreConfigurable) {
    TalkServer server({"--bot-name", "Zed", "--charset", "utf-8"});
    const auto res = server.Ask("your%20name%3F%20%80");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=UTF-8");
    EXPECT_TRUE(Contains(res->body, "<b>You:</b> your name? \xE2\x82\xAC <br>" +
                                        AnswerLine("My name is Zed.", "Zed")))
        << res->body;
    EXPECT_TRUE(Contains(Body(server.Ask("french")),
                         AnswerLine("I know one French word: caf\xC3\xA9.", "Zed")));
    EXPECT_TRUE(Contains(Body(server.Client().Get(kTalk.c_str())), "Chat with Zed"));
}

TEST(TalkServerRun, NewsPageCarriesItsMarker) {
    TalkServer server;
    const auto res = server.Client().Get(kNews.c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_TRUE(Contains(res->body, "<!-- Quorvanel_Data -->"));
    EXPECT_TRUE(Contains(res->body, "1.11"));
}

TEST(TalkServerRun, LogsEachRequestExactlyButNotItsOwn) {
    const std::string file = ::testing::TempDir() + "talk_server_log_" + std::to_string(getpid());
    std::remove(file.c_str());
    TalkServer server({"--log", file});
    const std::string body = "botcust2=abc&message=caf%E9\"\\\xE9\n";
    const std::string reply =
        RawExchange(server.port(),
                    "POST /pandora/talk?botid=x&v=%41 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                    "X-Mixed-Case: Value One\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                    "Content-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    EXPECT_TRUE(Contains(reply, "200 OK")) << reply;
    server.Client().Get("/nowhere");
    server.Control("scope=news&fault=none");

    const auto lines = server.Log();
    ASSERT_EQ(lines.size(), 2u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, std::regex(R"(\{"seq":1,"ms":(\d+),(.*))")));
    const auto ms = std::chrono::milliseconds(std::stoll(match[1]));
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    EXPECT_LT(std::chrono::abs(now - ms), 60s);
    // cpp-httplib keeps the names' case and orders them alphabetically.
    EXPECT_EQ(
        match[2].str(),
        R"("method":"POST","target":"/pandora/talk?botid=x&v=%41","headers":{)"
        R"("Connection":"close","Content-Length":")" +
            std::to_string(body.size()) +
            R"(","Content-Type":"application/x-www-form-urlencoded","Host":"127.0.0.1",)"
            R"("X-Mixed-Case":"Value One"},"body":"botcust2=abc&message=caf%E9\"\\\u00E9\n"})");
    EXPECT_TRUE(std::regex_match(lines[1],
                                 std::regex(R"(\{"seq":2,.*"method":"GET","target":"/nowhere".*)")))
        << lines[1];

    std::ifstream in(file);
    std::vector<std::string> from_file;
    for (std::string line; std::getline(in, line);) from_file.push_back(line);
    EXPECT_EQ(from_file, lines);

    ASSERT_TRUE(server.Client().Post("/__log/clear", "", kFormType));
    EXPECT_TRUE(server.Log().empty());
    server.Client().Get(kNews.c_str());
    ASSERT_EQ(server.Log().size(), 1u);
    EXPECT_TRUE(server.Log()[0].starts_with(R"({"seq":3,)")) << server.Log()[0];
}

TEST(TalkServerFaults, Error500AndEmptyBody) {
    TalkServer server;
    server.Control("scope=talk-post&fault=500");
    EXPECT_EQ(Status(server.Ask("hi")), 500);
    EXPECT_EQ(Status(server.Client().Get(kTalk.c_str())), 200);

    server.Control("scope=talk-post&fault=empty");
    const auto empty = server.Ask("hi");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->body, "");
    EXPECT_EQ(empty->get_header_value("Content-Length"), "0");

    server.Control("fault=none");
    EXPECT_TRUE(Contains(Body(server.Ask("hi")), AnswerLine("Hello there.")));
}

TEST(TalkServerFaults, CountLimitsAFaultToTheNextRequestsOfItsScope) {
    TalkServer server;
    server.Control("scope=talk-post&fault=500&count=2");
    EXPECT_EQ(Status(server.Client().Get(kTalk.c_str())), 200);  // another scope: not counted
    EXPECT_EQ(Status(server.Ask("hi")), 500);
    EXPECT_EQ(Status(server.Ask("hi")), 500);
    EXPECT_EQ(Status(server.Ask("hi")), 200);

    server.Control("scope=all&fault=empty&count=1");
    EXPECT_EQ(Body(server.Client().Get(kNews.c_str())), "");
    EXPECT_EQ(Body(server.Ask("hi")), "");
    EXPECT_NE(Body(server.Ask("hi")), "");
    EXPECT_NE(Body(server.Client().Get(kNews.c_str())), "");
}

TEST(TalkServerFaults, RejectsBadControlOrders) {
    TalkServer server;
    for (const char* form : {"scope=news&fault=noanswer", "fault=boom", "scope=x&fault=500",
                             "fault=500&count=0", ""}) {
        EXPECT_EQ(Status(server.Client().Post("/__control", form, kFormType)), 400) << form;
    }
    EXPECT_EQ(Status(server.Ask("hi")), 200);
}

TEST(TalkServerFaults, DelayHoldsOnlyItsScope) {
    TalkServer server;
    server.Control("scope=talk-get&fault=delay:1200");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Status(server.Client().Get(kNews.c_str())), 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1200ms);
    start = std::chrono::steady_clock::now();
    const auto res = server.Client().Get(kTalk.c_str());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1200ms);
    EXPECT_TRUE(FirstFormToken(Body(res)));
}

TEST(TalkServerFaults, HangHoldsRequestsWithoutBlockingOthersUntilCleared) {
    TalkServer server;
    server.Control("scope=talk-post&fault=hang");
    const auto timed_out = server.Client(300ms).Post(kTalk.c_str(), "message=hi", kFormType);
    EXPECT_FALSE(timed_out);
    EXPECT_EQ(timed_out.error(), httplib::Error::Read);

    std::vector<std::optional<int>> statuses(12);
    std::vector<std::thread> hung;
    for (auto& status : statuses) {
        hung.emplace_back([&server, &status] {
            if (const auto res = server.Ask("hi")) status = res->status;
        });
    }
    // Everything else is still served while all of these hang.
    EXPECT_TRUE(WaitForLog(server, 1 + statuses.size()));
    EXPECT_EQ(Status(server.Client().Get(kTalk.c_str())), 200);
    EXPECT_EQ(Status(server.Client().Get(kNews.c_str())), 200);
    for (const auto& status : statuses) EXPECT_FALSE(status);

    server.Control("scope=talk-post&fault=none");
    for (auto& thread : hung) thread.join();
    for (const auto& status : statuses) EXPECT_EQ(status, 200);
}

TEST(TalkServerFaults, StoppingReleasesHungRequests) {
    TalkServer server({"--fault", "all=hang"});
    std::optional<int> status;
    std::thread hung([&] {
        if (const auto res = server.Client().Get(kNews.c_str())) status = res->status;
    });
    EXPECT_TRUE(WaitForLog(server, 1));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Stop(), 0);
    hung.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(status, 503);
}

TEST(TalkServerFaults, PageShapeFaults) {
    TalkServer server({"--fault", "talk-get=noform", "--fault", "news=nomarker"});
    const auto page = server.Client().Get(kTalk.c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_FALSE(Contains(page->body, "<form"));
    EXPECT_FALSE(FirstFormToken(page->body));
    const auto news = server.Client().Get(kNews.c_str());
    ASSERT_TRUE(news);
    EXPECT_EQ(news->status, 200);
    EXPECT_FALSE(Contains(news->body, "Quorvanel_Data"));
    EXPECT_TRUE(Contains(news->body, "<html>"));

    server.Control("scope=all&fault=noanswer");  // fits the talk POST only
    const auto answer = server.Ask("hello");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_TRUE(Contains(answer->body, "<b>You:</b> hello <br>"));
    EXPECT_FALSE(Contains(answer->body, "Kestro:"));
    EXPECT_EQ(FirstFormToken(answer->body), "abc");
    EXPECT_FALSE(Contains(Body(server.Client().Get(kTalk.c_str())), "<form"));  // still noform

    server.Control("scope=talk-post&fault=nomarker&count=1");
    const std::string unmarked = Body(server.Ask("hello"));
    EXPECT_TRUE(Contains(unmarked, "<b>You:</b> hello <br>")) << unmarked;
    EXPECT_FALSE(Contains(unmarked, "Kestro:")) << unmarked;
    EXPECT_TRUE(Contains(Body(server.Ask("hello")), AnswerLine("Hello there.")));
}

TEST(TalkServerFaults, GarbageIsNoHtmlTheClientCouldUse) {
    TalkServer server({"--fault", "all=garbage"});
    for (const std::string& body :
         {Body(server.Ask("hi")), Body(server.Client().Get(kTalk.c_str())),
          Body(server.Client().Get(kNews.c_str()))}) {
        EXPECT_TRUE(Contains(body, "\xFF"));
        EXPECT_FALSE(Contains(body, "Kestro:</b>"));
        EXPECT_FALSE(Contains(body, "botcust2"));
        EXPECT_FALSE(Contains(body, "Quorvanel_Data"));
    }
}

TEST(TalkServerFaults, ChaosFollowsItsSeed) {
    // A seed whose first posts fault quickly, so the outcome of each can be foretold.
    constexpr int kPosts = 12;
    std::uint64_t seed = 1;
    const auto quick = [](const Fault& f) {
        return f.kind != FaultKind::kHang && (f.kind != FaultKind::kDelay || f.ms < 300);
    };
    for (;; ++seed) {
        int faults = 0;
        bool all_quick = true;
        for (int n = 0; n < kPosts; ++n) {
            const Fault fault = talk::ChaosFault({seed, 50}, n);
            all_quick = all_quick && quick(fault);
            faults += fault.kind != FaultKind::kNone && fault.kind != FaultKind::kDelay;
        }
        if (all_quick && faults >= 3) break;
    }
    TalkServer server({"--chaos", std::to_string(seed) + ":50"});
    for (int n = 0; n < kPosts; ++n) {
        const Fault fault = talk::ChaosFault({seed, 50}, n);
        const auto res = server.Ask("hello");
        ASSERT_TRUE(res);
        const bool answered = Contains(res->body, AnswerLine("Hello there."));
        switch (fault.kind) {
            case FaultKind::kError500:
                EXPECT_EQ(res->status, 500) << n;
                break;
            case FaultKind::kEmpty:
                EXPECT_EQ(res->body, "") << n;
                break;
            case FaultKind::kGarbage:
                EXPECT_TRUE(Contains(res->body, "\xFF")) << n;
                break;
            default:
                EXPECT_TRUE(answered) << n;
                continue;
        }
        EXPECT_FALSE(answered) << n;
    }
}

}  // namespace
