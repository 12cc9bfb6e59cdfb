// The whole program left running under Wine against five conversations whose contacts write at
// random, a bot server that fails at random, and windows that open and close at random. Each
// contact message that should be answered must be answered exactly once, nothing may go to a
// closed window, and the program's memory, GDI and USER objects and handles must stay flat.
//
// A contact's message is "say m<id>" (the starter bot answers "say X" with X, so an answer names
// the message it answers), or "say m<id>" ended by the program's own line marker, which must never
// be answered. A burst is one or more messages said back to back; only its last one is answered.
//
// QV_SOAK_SECONDS sets how long the contacts go on writing (default 120), QV_SOAK_SEED the seed
// of the contacts, the window closes and the server's faults (default 7). scripts/soak.sh runs it
// for an hour.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "e2e/process_resources_win32.h"
#include "e2e/quorvanel_session_win32.h"
#include "win32/talk_server_win32.h"

namespace quorvanel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kConversations = 5;
constexpr int kChaosPercent = 25;
constexpr auto kStep = 100ms;
constexpr auto kAnswerDeadline = 150s;  // a few hung requests queued ahead, then typing
constexpr auto kSampleEvery = 5s;
constexpr double kMeanWindowLifeSeconds = 90.0;
// A window closing in the middle of a tick may still be asked about within that tick.
constexpr long long kCloseGraceMs = 2000;
constexpr char kMarker = '\xA0';

// The program's answers of its own: canned lines, given without asking the bot, and the lines for
// a bot that cannot be asked or gives no answer.
bool IsCanned(const std::string& text) {
    return text == "Check this: http://www.example.com/quorvanel/" ||
           text == "Check this: http://www.example.org/chatbots/";
}
bool IsFallback(const std::string& text) {
    return IsCanned(text) || text == "I don't know what to say." ||
           text.rfind("ERROR: I can't seem to access the website", 0) == 0;
}

// "m<digits>" (after an optional "say " and before an optional marker): the id, or -1.
int IdOf(std::string text) {
    if (text.rfind("say ", 0) == 0) text.erase(0, 4);
    if (!text.empty() && text.back() == kMarker) text.pop_back();
    if (text.size() < 2 || text[0] != 'm' ||
        text.find_first_not_of("0123456789", 1) != std::string::npos)
        return -1;
    return std::atoi(text.c_str() + 1);
}
std::string MessageName(int id) {
    std::string name(1, 'm');  // not "m" + ...: g++ 12 warns falsely of overlapping copies there
    return name += std::to_string(id);
}

int EnvironmentNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    const int number = value != nullptr ? std::atoi(value) : 0;
    return number > 0 ? number : fallback;
}

long long UnixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Burst {
    std::vector<int> ids;
    bool answerable = true;     // false: its messages end in the marker
    bool expectAnswer = false;  // the window was still open when its answer was due
    int replies = 0;            // replies in the history after its last message
    int asked = 0;              // bot requests about any of its messages
    std::string answer;         // the last such reply, without the marker
};

struct Window {
    std::string contact;  // its lines start "<contact> says:"
    std::vector<Burst> bursts;
    std::string history;        // the last history read from it
    long long closedAtMs = -1;  // Unix time of the close, -1 while open
};

class Soak : public ::testing::Test {
  protected:
    enum class State { Closed, Idle, Awaiting };

    struct Slot {
        std::string contact;
        int window = -1;  // index into windows_, -1 while closed
        State state = State::Closed;
        Clock::time_point due{}, saidAt{}, lastLook{};
        Clock::time_point closeAt = Clock::time_point::max();  // a close planned mid-answer
    };

    void SetUp() override {
        seconds_ = EnvironmentNumber("QV_SOAK_SECONDS", 120);
        seed_ = EnvironmentNumber("QV_SOAK_SEED", 7);
        random_.seed(static_cast<unsigned>(seed_));
        std::printf("soak: %d s, seed %d, %d %% of bot requests failing\n", seconds_, seed_,
                    kChaosPercent);
        testing::ClearSettings();
        ASSERT_TRUE(server_.Start("--chaos " + std::to_string(seed_) + ":" +
                                  std::to_string(kChaosPercent) + " --lifetime " +
                                  std::to_string(seconds_ + 900)));
        testing::WriteSetting("ConnectionSettings", "BotServer",
                              "127.0.0.1:" + std::to_string(server_.Port()));
        testing::WriteSetting("BotBehaviour", "TypeSpeed", "fast");
        ASSERT_TRUE(session_.StartMessenger());
        ASSERT_TRUE(session_.StartProgram());
        session_.TickEnableDefault();
    }
    void TearDown() override {
        session_.CloseProgram();
        testing::ClearSettings();
    }

    Clock::duration Within(int lowMs, int highMs) {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(lowMs, highMs)(random_));
    }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    static std::string WindowId(int window) { return std::string("w") + std::to_string(window); }
    std::string Label(int window) const {
        return windows_[window].contact + "#" + std::to_string(window);
    }
    void Fail(const std::string& what) {
        if (problems_.size() < 200) problems_.push_back(what);
    }

    void OpenWindow(Slot& slot, Clock::time_point now) {
        const int window = static_cast<int>(windows_.size());
        const std::string reply = session_.Messenger("open " + WindowId(window) + " " + slot.contact);
        if (reply.rfind("ok ", 0) != 0) return Fail("test-messenger could not open a window: " + reply);
        windows_.push_back({slot.contact, {}, {}, -1});
        slot.window = window;
        slot.state = State::Idle;
        slot.due = now + Within(200, 3000);
    }

    void CloseWindow(Slot& slot, Clock::time_point now) {
        Window& window = windows_[slot.window];
        window.history = session_.History(WindowId(slot.window));
        session_.Messenger("close " + WindowId(slot.window));
        window.closedAtMs = UnixMs();
        ++closes_;
        slot = Slot{slot.contact};
        // Long enough for the program to see the window go before one with the same title comes.
        slot.due = now + Within(3000, 8000);
    }

    void Speak(Slot& slot, Clock::time_point now) {
        const std::string id = WindowId(slot.window);
        // Whatever was typed for the last message has been sent: the entry box is empty.
        const std::string entry = session_.Entry(id);
        if (!entry.empty())
            Fail(Label(slot.window) + ": the entry box holds \"" + entry + "\" before the contact speaks");
        Burst burst;
        const double kind = std::uniform_real_distribution<double>(0, 1)(random_);
        burst.answerable = kind < 0.90;
        for (int i = kind < 0.65 ? 1 : kind < 0.85 ? 2 : kind < 0.90 ? 3 : 1; i > 0; --i) {
            burst.ids.push_back(nextMessage_);
            // Said back to back, so that the program reads them as one block.
            session_.Messenger("say " + id + " say m" + std::to_string(nextMessage_++) +
                               (burst.answerable ? "" : "\\xA0"));
        }
        messages_ += static_cast<int>(burst.ids.size());
        windows_[slot.window].bursts.push_back(burst);
        slot.saidAt = slot.lastLook = now;
        if (burst.answerable) {
            slot.state = State::Awaiting;
            // Some windows close while their answer is being read, asked or typed.
            if (Chance(0.25)) slot.closeAt = now + Within(300, 6000);
        } else {
            slot.due = now + Within(2000, 6000);  // nothing comes back; speak again later
        }
    }

    // Looks for a reply to the latest burst.
    void Look(Slot& slot, Clock::time_point now) {
        if (now - slot.lastLook < 400ms) return;
        slot.lastLook = now;
        Window& window = windows_[slot.window];
        window.history = session_.History(WindowId(slot.window));
        const std::size_t said =
            window.history.find("  say m" + std::to_string(window.bursts.back().ids.back()) + "\r\n");
        const bool answered =
            said != std::string::npos && window.history.find("Me says:", said) != std::string::npos;
        if (answered || now - slot.saidAt > kAnswerDeadline) {
            // Answered while open, or overdue: either way this burst must have exactly one answer.
            window.bursts.back().expectAnswer = true;
            slot.state = State::Idle;
            slot.due = now + Within(300, 6000);
            if (answered) {
                ++answers_;
                latencies_.push_back(std::chrono::duration<double>(now - slot.saidAt).count());
            }
        }
    }

    // The history is "<name> says:" lines each followed by lines indented by two blanks. Walks it:
    // the contact's messages must be the ones said, in order, and each reply must carry the
    // marker, follow the last message of a burst and name that message (or be a fallback).
    void CheckHistory(int index) {
        Window& window = windows_[index];
        auto problem = [&](const std::string& what) { Fail(Label(index) + ": " + what); };
        std::vector<std::pair<int, Burst*>> said;  // every message id with its burst, in order
        for (auto& burst : window.bursts)
            for (int id : burst.ids) said.push_back({id, &burst});
        std::size_t next = 0;     // the next message of `said` to find
        Burst* owner = nullptr;   // the burst whose last message came last, or none
        bool fromContact = false, spoken = false;
        for (std::size_t start = 0, end; start < window.history.size(); start = end + 2) {
            end = window.history.find("\r\n", start);
            if (end == std::string::npos) return problem("the history does not end in CR LF");
            std::string line = window.history.substr(start, end - start);
            if (line == "Me says:" || line == window.contact + " says:") {
                fromContact = line != "Me says:";
                spoken = true;
                continue;
            }
            if (!spoken || line.rfind("  ", 0) != 0) return problem("a line nobody says: " + line);
            line.erase(0, 2);
            if (fromContact) {
                if (next == said.size() || IdOf(line) != said[next].first)
                    return problem("the contact's messages are not the ones said, in order");
                const auto [id, burst] = said[next++];
                owner = id == burst->ids.back() ? burst : nullptr;
                continue;
            }
            if (line.empty() || line.back() != kMarker)
                problem("a reply without the marker: \"" + line + "\"");
            else
                line.pop_back();
            if (owner == nullptr) {
                problem("a reply before the contact spoke or inside a burst: \"" + line + "\"");
                continue;
            }
            ++owner->replies;
            owner->answer = line;
            const int id = IdOf(line);
            if (id != owner->ids.back() && !(id < 0 && IsFallback(line)))
                problem("the reply to m" + std::to_string(owner->ids.back()) + " is \"" + line + "\"");
        }
        if (next != said.size()) problem("the history lacks messages the contact said");
    }

    // The bot requests: each about the latest message of an answerable burst, at most one per
    // burst, none for a window after it closed, and one for every answer that is not canned.
    void CheckRequests() {
        std::map<int, std::pair<Window*, Burst*>> owners;
        for (auto& window : windows_)
            for (auto& burst : window.bursts)
                for (int id : burst.ids) owners[id] = {&window, &burst};
        for (const auto& entry : server_.Log()) {
            if (entry.method != "POST" || entry.target.rfind("/pandora/talk", 0) != 0) continue;
            ++requests_;
            // The message is the body's last field, "say%20m<id>" and perhaps the marker, "%A0".
            const std::size_t at = entry.body.find("&message=say%20");
            std::string message = at == std::string::npos ? "" : entry.body.substr(at + 15);
            if (message.ends_with("%A0")) {
                message.resize(message.size() - 3);
                message.push_back(kMarker);
            }
            const auto found = owners.find(message.empty() ? -1 : IdOf(message));
            if (found == owners.end()) {
                Fail("a bot request about nothing a contact said: " + entry.body);
                continue;
            }
            auto [window, burst] = found->second;
            const int id = found->first;
            const std::string name = MessageName(id);
            ++burst->asked;
            if (!burst->answerable) Fail("the bot was asked about " + name + ", which ends in the marker");
            if (id != burst->ids.back()) Fail("the bot was asked about " + name + ", not the latest message");
            if (window->closedAtMs >= 0 && entry.ms > window->closedAtMs + kCloseGraceMs)
                Fail("the bot was asked about " + name + " " + std::to_string(entry.ms - window->closedAtMs) +
                     " ms after its window closed");
        }
        for (const auto& window : windows_) {
            for (const auto& burst : window.bursts) {
                const std::string name = MessageName(burst.ids.back());
                if (!burst.answerable && burst.replies > 0) Fail(name + " ends in the marker but was answered");
                if (burst.replies > 1) Fail(name + " answered " + std::to_string(burst.replies) + " times");
                if (burst.answerable && burst.expectAnswer && burst.replies == 0) Fail(name + " never answered");
                if (burst.asked > 1) Fail("the bot was asked about " + name + " " + std::to_string(burst.asked) + " times");
                if (burst.replies == 1 && IsCanned(burst.answer) != (burst.asked == 0))
                    Fail(name + " got \"" + burst.answer + "\" after " + std::to_string(burst.asked) + " bot requests");
                errorLines_ += burst.answer.rfind("ERROR:", 0) == 0;
            }
        }
    }

    bool ProgramRunning() {
        if (WaitForSingleObject(session_.Program().ProcessHandle(), 0) != WAIT_TIMEOUT) return false;
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(session_.MainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000,
                                   &result) != 0;
    }

    void TakeSample(Clock::time_point start) {
        samples_.push_back({std::chrono::duration<double>(Clock::now() - start).count(),
                            testing::SampleProcess(session_.Program().ProcessHandle(),
                                                   session_.Program().Id())});
    }

    void CheckResourcesFlat() {
        // Ignore the first fifth (at least 20 s) while caches and the first requests settle,
        // then compare the highest value of the last third with that of the first third.
        const double warmUp = std::max(20.0, seconds_ / 5.0);
        std::vector<testing::ProcessResources> settled;
        for (const auto& [at, resources] : samples_)
            if (at >= warmUp) settled.push_back(resources);
        ASSERT_GE(settled.size(), 6u) << "too few resource samples";
        const std::size_t third = settled.size() / 3;
        const struct {
            const char* name;
            long long testing::ProcessResources::*field;
            long long allowance;
        } counters[] = {
            {"GDI objects", &testing::ProcessResources::gdiObjects, 8},
            {"USER objects", &testing::ProcessResources::userObjects, 4},
            {"handles", &testing::ProcessResources::handles, 16},
            {"private bytes", &testing::ProcessResources::privateBytes, 8ll << 20},
        };
        for (const auto& counter : counters) {
            long long early = -1, late = -1;
            for (std::size_t i = 0; i < settled.size(); ++i) {
                const long long value = settled[i].*counter.field;
                if (i < third) early = std::max(early, value);
                if (i >= settled.size() - third) late = std::max(late, value);
            }
            std::printf("  %-13s highest of the first third %lld, of the last third %lld\n",
                        counter.name, early, late);
            EXPECT_GT(early, 0) << counter.name << " could not be read";
            EXPECT_LE(late, early + counter.allowance) << counter.name << " grew";
        }
    }

    void Run() {
        std::vector<Slot> slots;
        for (const char* name : {"Ann", "Bob", "Cleo", "Dev", "Eli"}) slots.push_back({name});
        const auto start = Clock::now();
        for (auto& slot : slots) OpenWindow(slot, start);
        const auto end = start + std::chrono::seconds(seconds_);
        auto nextSample = start;
        const double closeChance = std::chrono::duration<double>(kStep).count() / kMeanWindowLifeSeconds;

        // The contacts write and windows come and go until the end; then every open question is
        // left to be answered.
        for (bool writing = true;;) {
            const auto now = Clock::now();
            writing = writing && now < end;
            bool waiting = false;
            for (auto& slot : slots) {
                if (slot.state == State::Closed) {
                    if (writing && now >= slot.due) OpenWindow(slot, now);
                } else if (writing && (Chance(closeChance) || now >= slot.closeAt)) {
                    CloseWindow(slot, now);
                } else if (slot.state == State::Awaiting) {
                    Look(slot, now);
                    waiting = waiting || slot.state == State::Awaiting;
                } else if (writing && now >= slot.due) {
                    Speak(slot, now);
                }
            }
            if (now >= nextSample) {
                if (!ProgramRunning()) return Fail("the program stopped or stopped responding");
                TakeSample(start);
                nextSample += kSampleEvery;
            }
            if (!writing && !waiting) break;
            Sleep(static_cast<DWORD>(kStep.count()));  // the test's own pace; the program runs on its own
        }
        TakeSample(start);

        int open = 0;
        for (auto& slot : slots) {
            if (slot.window < 0) continue;
            ++open;
            windows_[slot.window].history = session_.History(WindowId(slot.window));
        }
        const std::string label = std::to_string(open) + " chat window(s) open";
        EXPECT_TRUE(testing::WaitUntil([&] { return session_.Label() == label; }, 5s)) << session_.Label();
        EXPECT_EQ(session_.EntryCount(), open);
    }

    int seconds_ = 0, seed_ = 0;
    std::mt19937 random_;
    testing::TalkServer server_;
    testing::QuorvanelSession session_;
    std::vector<Window> windows_;
    std::vector<std::pair<double, testing::ProcessResources>> samples_;  // seconds in, figures
    std::vector<std::string> problems_;
    std::vector<double> latencies_;
    int nextMessage_ = 1, messages_ = 0, answers_ = 0, closes_ = 0, requests_ = 0, errorLines_ = 0;
};

TEST_F(Soak, EveryQuestionIsAnsweredOnceAndResourcesStayFlat) {
    Run();
    for (int i = 0; i < static_cast<int>(windows_.size()); ++i) CheckHistory(i);
    CheckRequests();
    std::sort(latencies_.begin(), latencies_.end());
    std::printf("soak: %zu windows (%d closed at random), %d messages, %d answers seen, %d bot "
                "requests, %d error lines; answer time median %.1f s, worst %.1f s\n",
                windows_.size(), closes_, messages_, answers_, requests_, errorLines_,
                latencies_.empty() ? 0.0 : latencies_[latencies_.size() / 2],
                latencies_.empty() ? 0.0 : latencies_.back());
    for (const auto& problem : problems_) ADD_FAILURE() << problem;
    EXPECT_GT(answers_, seconds_ / 10) << "the run answered too little to prove anything";
    CheckResourcesFlat();
}

}  // namespace
}  // namespace quorvanel
