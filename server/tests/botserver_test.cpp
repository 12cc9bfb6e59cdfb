// The executable driven over HTTP: the talk protocol, conversations per token, bounds, the test
// options and the faults.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "talk_protocol.h"

namespace {

using namespace std::chrono_literals;
constexpr char kTalk[] = "/pandora/talk?botid=5e0a7c31d94b2f68";
constexpr char kNews[] = "/public/quorvanel/index.php?progversion=1.11";
constexpr char kForm[] = "application/x-www-form-urlencoded";

std::string Body(const httplib::Result& r) { return r ? r->body : "<no response>"; }
int Status(const httplib::Result& r) { return r ? r->status : -1; }
bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One server process with the starter bot and the test options, stopped when it goes. The shell
// prints its own process id, which the server keeps when it replaces the shell.
class Server {
  public:
    explicit Server(const std::vector<std::string>& args = {}, bool test_control = true) {
        std::string command = "echo $$; exec " BOTSERVER_PATH " --aiml " QVBOT_STARTER
                              " --port 0 --lifetime 60";
        if (test_control) command += " --test-control";
        for (const auto& arg : args) command += " '" + arg + "'";
        out_ = popen(command.c_str(), "r");
        char text[256];
        if (out_ != nullptr && fgets(text, sizeof text, out_) != nullptr) pid_ = std::atoi(text);
        if (out_ != nullptr && fgets(text, sizeof text, out_) != nullptr) line_ = text;
        if (!line_.empty() && line_.back() == '\n') line_.pop_back();
        std::smatch match;
        if (std::regex_search(line_, match, std::regex(R"(listening on 127\.0\.0\.1:(\d+)$)"))) {
            port_ = std::stoi(match[1]);
        }
    }
    ~Server() {
        if (out_ == nullptr) return;
        if (pid_ > 0) kill(pid_, SIGTERM);
        Wait();
    }
    int port() const { return port_; }
    const std::string& line() const { return line_; }
    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(10s);
        return client;
    }
    httplib::Result Say(const std::string& message, const std::string& token = "abc") const {
        return Client().Post(kTalk, "botcust2=" + token + "&message=" + message, kForm);
    }
    // Waits until `count` requests are in the log; false after ten seconds.
    bool Logged(std::size_t count) const {
        for (int i = 0; i < 1000; ++i) {
            const std::string log = Body(Client().Get("/__log"));
            if (static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')) >= count) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    int Control(const std::string& form) const {
        return Status(Client().Post("/__control", form, kForm));
    }
    // The exit status; the server's own lifetime bounds the wait.
    int Wait() {
        const int status = pclose(out_);
        out_ = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    FILE* out_ = nullptr;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string line_;
};

std::string Token(const std::string& page) {
    const std::regex first_form(R"re(<form[^>]*><input type="hidden" name="botcust2" value="([^"]*)")re");
    std::smatch match;
    return std::regex_search(page, match, first_form) ? match[1].str() : "<none>";
}

TEST(BotServer, StartsReportsAndStops) {
    Server server;
    EXPECT_TRUE(std::regex_match(server.line(),
                                 std::regex(R"(loaded \d{3} categories from \d+ files \(0 replaced\); )"
                                            R"(listening on 127\.0\.0\.1:\d+)")))
        << server.line();
    EXPECT_EQ(Status(server.Client().Post("/__quit", "", kForm)), 200);
    EXPECT_EQ(server.Wait(), 0);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--fault", "news=noanswer"}, {"--port", "7x"}, {"--aiml", "/nonexistent"}}) {
        Server bad(args);
        EXPECT_EQ(bad.port(), 0);
        EXPECT_NE(bad.Wait(), 0) << args[0];
    }
}

TEST(BotServer, TalkPagesCarryAFreshTokenAndAnswersFollowEachToken) {
    Server server({"--seed", "42"});
    const auto page = server.Client().Get(kTalk);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=ISO-8859-1");
    const std::string token = Token(page->body);
    EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{16}"))) << page->body;
    EXPECT_NE(Token(Body(server.Client().Get(kTalk))), token);
    EXPECT_EQ(Token(Body(Server({"--seed", "42"}).Client().Get(kTalk))), token);

    const std::string reply = Body(server.Say("Hello%3F", token));
    EXPECT_TRUE(Has(reply, "<b>You:</b> Hello? <br><b>Kestro:</b> Hello there. <br>")) << reply;
    EXPECT_EQ(Token(reply), token);
    // Escaped on the page, Latin-1 as Windows-1252 bytes, the rest as references.
    EXPECT_TRUE(Has(Body(server.Say("say%20caf%E9%20%3Cb%3E")), "<b>Kestro:</b> caf\xE9 b <br>"));
    EXPECT_TRUE(Has(Body(server.Say("say%20%E2%98%83")), "<b>Kestro:</b> &#9731; <br>"));
    EXPECT_TRUE(Has(Body(server.Say("My%20name%20is%20Ann", "one")), "Ann"));
    EXPECT_TRUE(Has(Body(server.Say("What%20is%20my%20name%3F", "one")), "Ann"));
    EXPECT_FALSE(Has(Body(server.Say("What%20is%20my%20name%3F", "two")), "Ann"));
}

TEST(BotServer, BoundsAndTestOptions) {
    Server server({"--charset", "utf-8", "--token", "FIXED"});
    EXPECT_EQ(Token(Body(server.Client().Get("/pandora/talk?botid=other"))), "FIXED");
    EXPECT_EQ(Status(server.Say("say%20" + std::string(70 * 1024, 'x'))), 413);
    const std::string cut = Body(server.Say("say%20" + std::string(3000, 'y')));
    EXPECT_TRUE(Has(cut, "<b>Kestro:</b> " + std::string(996, 'y') + " <br>")) << cut.size();
    EXPECT_TRUE(Has(Body(server.Say("say%20caf%C3%A9")), "<b>Kestro:</b> caf\xC3\xA9 <br>"));

    Server fixed({"--answer-html", "Tom &amp; <i>Jerry</i>"});
    EXPECT_TRUE(Has(Body(fixed.Say("hi")), "<b>Kestro:</b> Tom &amp; <i>Jerry</i> <br>"));
    // Without the test options nobody can read the conversations or stop the server.
    Server user({}, false);
    EXPECT_EQ(Status(user.Client().Get("/__log")), 404);
    EXPECT_EQ(Status(user.Client().Post("/__quit", "", kForm)), 404);
}

TEST(BotServer, FaultsOnOrder) {
    Server server;
    const struct {
        const char* order;  // to /__control
        int status;         // of the next talk POST
        const char* must, *must_not;
    } cases[] = {
        {"scope=talk-post&fault=500&count=1", 500, "Internal Server Error", "Kestro:"},
        {"scope=talk-post&fault=empty&count=1", 200, "", "<html>"},
        {"scope=all&fault=noanswer&count=1", 200, "<b>You:</b> hello <br>", "Kestro:"},
        {"scope=talk-post&fault=nomarker&count=1", 200, "botcust2", "Kestro:"},
        {"scope=talk-post&fault=noform&count=1", 200, "Kestro:", "<form"},
        {"scope=talk-post&fault=garbage&count=1", 200, "\xFF", "Kestro:"},
        {"scope=news&fault=500", 200, "Kestro:</b> Hello there.", "<none>"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(server.Control(c.order), 200) << c.order;
        const auto res = server.Say("hello");
        EXPECT_EQ(Status(res), c.status) << c.order;
        EXPECT_TRUE(Has(Body(res), c.must)) << c.order;
        EXPECT_FALSE(Has(Body(res), c.must_not)) << c.order;
    }
    EXPECT_EQ(Status(server.Client().Get(kNews)), 500);
    for (const char* bad : {"scope=news&fault=noanswer", "fault=boom", "fault=500&count=0"}) EXPECT_EQ(server.Control(bad), 400) << bad;
}

TEST(BotServer, HangHoldsItsScopeUntilClearedOrStopped) {
    Server server({"--fault", "talk-post=hang"});
    std::vector<int> statuses(3, 0);
    std::vector<std::thread> hung;
    for (auto& status : statuses) hung.emplace_back([&] { status = Status(server.Say("hi")); });
    ASSERT_TRUE(server.Logged(statuses.size()));
    EXPECT_EQ(Status(server.Client().Get(kTalk)), 200);  // others are still served
    for (const int status : statuses) EXPECT_EQ(status, 0);
    ASSERT_EQ(server.Control("scope=talk-post&fault=none"), 200);
    for (auto& thread : hung) thread.join();
    for (const int status : statuses) EXPECT_EQ(status, 200);

    // A request still hanging when the server stops gets 503.
    ASSERT_EQ(server.Control("scope=news&fault=hang"), 200);
    int news = 0;
    std::thread stopped([&] { news = Status(server.Client().Get(kNews)); });
    ASSERT_TRUE(server.Logged(statuses.size() + 2));
    EXPECT_EQ(Status(server.Client().Post("/__quit", "", kForm)), 200);
    stopped.join();
    EXPECT_EQ(news, 503);
}

}  // namespace
