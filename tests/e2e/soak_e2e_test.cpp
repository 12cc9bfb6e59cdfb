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
    const int number = std::getenv(name) != nullptr ? std::atoi(std::getenv(name)) : 0;
    return number > 0 ? number : fallback;
}

struct Burst {
    std::vector<int> ids;
    bool answerable = true;     // false: its messages end in the marker
    bool expectAnswer = false;  // the window was still open when its answer was due
    int replies = 0;            // replies in the history after its last message
    int asked = 0;              // bot requests about any of its messages
    std::string answer;         // the last such reply, without the marker
};

// A conversation window, and the test's plans for it: its contact speaks again, or once closed
// opens a new window, at `due`.
struct Window {
    std::string contact;  // its lines start "<contact> says:"
    std::vector<Burst> bursts;
    std::string history;        // the last history read from it
    long long closedAtMs = -1;  // Unix time of the close, -1 while open
    bool awaiting = false;      // an answer to its latest burst is awaited
    Clock::time_point due{}, saidAt{}, lastLook{};
    Clock::time_point closeAt = Clock::time_point::max();  // a close planned mid-answer
};

class Soak : public ::testing::Test {
  protected:
    void SetUp() override {
        seconds_ = EnvironmentNumber("QV_SOAK_SECONDS", 120);
        const int seed = EnvironmentNumber("QV_SOAK_SEED", 7);
        random_.seed(static_cast<unsigned>(seed));
        ASSERT_TRUE(server_.Start("--chaos " + std::to_string(seed) + ":" + std::to_string(kChaosPercent) +
                                  " --lifetime " + std::to_string(seconds_ + 900)));
        ASSERT_TRUE(session_.StartMessenger(server_.Port()) && session_.StartProgram("fast"));
    }

    Clock::duration Within(int lowMs, int highMs) {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(lowMs, highMs)(random_));
    }
    double Uniform() { return std::uniform_real_distribution<double>(0, 1)(random_); }
    static std::string WindowId(int index) { return std::string("w") + std::to_string(index); }
    std::string Label(int index) const { return windows_[index].contact + "#" + std::to_string(index) + ": "; }
    void Fail(const std::string& what) {
        if (++failures_ <= 200) ADD_FAILURE() << what;
    }

    // Opens a window for the contact; returns its index.
    int OpenWindow(std::string contact, Clock::time_point now) {
        const int index = static_cast<int>(windows_.size());
        const std::string reply = session_.Messenger("open " + WindowId(index) + " " + contact);
        EXPECT_EQ(reply.rfind("ok ", 0), 0u) << "test-messenger could not open a window: " << reply;
        windows_.push_back({contact, {}, {}});
        windows_.back().due = now + Within(200, 3000);
        return index;
    }

    void CloseWindow(int index, Clock::time_point now) {
        Window& window = windows_[index];
        window.history = session_.History(WindowId(index));
        session_.Messenger("close " + WindowId(index));
        window.closedAtMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch()).count();
        // Long enough for the program to see the window go before one with the same title comes.
        window.due = now + Within(3000, 8000);
    }

    void Speak(int index, Clock::time_point now) {
        Window& window = windows_[index];
        // Whatever was typed for the last message has been sent: the entry box is empty.
        const std::string entry = session_.Entry(WindowId(index));
        if (!entry.empty()) Fail(Label(index) + "the entry box holds \"" + entry + "\" before the contact speaks");
        Burst burst;
        const double kind = Uniform();
        burst.answerable = kind < 0.90;
        for (int i = kind < 0.65 ? 1 : kind < 0.85 ? 2 : kind < 0.90 ? 3 : 1; i > 0; --i) {
            burst.ids.push_back(nextMessage_);
            // Said back to back, so that the program reads them as one block.
            session_.Messenger("say " + WindowId(index) + " say m" + std::to_string(nextMessage_++) +
                               (burst.answerable ? "" : "\\xA0"));
        }
        window.bursts.push_back(burst);
        window.saidAt = window.lastLook = now;
        window.awaiting = burst.answerable;
        if (!burst.answerable) window.due = now + Within(2000, 6000);  // nothing comes back; speak again later
        // Some windows close while their answer is being read, asked or typed.
        else if (Uniform() < 0.25) window.closeAt = now + Within(300, 6000);
    }

    // Looks for a reply to the latest burst.
    void Look(int index, Clock::time_point now) {
        Window& window = windows_[index];
        if (now - window.lastLook < 400ms) return;
        window.lastLook = now;
        window.history = session_.History(WindowId(index));
        const std::size_t said =
            window.history.find("  say m" + std::to_string(window.bursts.back().ids.back()) + "\r\n");
        const bool answered =
            said != std::string::npos && window.history.find("Me says:", said) != std::string::npos;
        if (answered || now - window.saidAt > kAnswerDeadline) {
            // Answered while open, or overdue: either way this burst must have exactly one answer.
            window.bursts.back().expectAnswer = true;
            window.awaiting = false;
            window.due = now + Within(300, 6000);
            answers_ += answered;
        }
    }

    // The history is "<name> says:" lines each followed by lines indented by two blanks. Each
    // reply must carry the marker, follow the last message of a burst and name that message (or
    // be one of the program's own lines).
    void CheckHistory(int index) {
        Window& window = windows_[index];
        std::map<int, Burst*> lastOf;  // each burst by the id of its last message
        for (auto& burst : window.bursts) lastOf[burst.ids.back()] = &burst;
        Burst* owner = nullptr;  // the burst whose last message came last, or none
        bool fromContact = false;
        for (std::size_t start = 0, end; (end = window.history.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            std::string line = window.history.substr(start, end - start);
            if (line.rfind("  ", 0) != 0) {
                fromContact = line != "Me says:";
                continue;
            }
            line.erase(0, 2);
            if (fromContact) {
                const auto found = lastOf.find(IdOf(line));
                owner = found != lastOf.end() ? found->second : nullptr;
                continue;
            }
            if (line.empty() || line.back() != kMarker)
                Fail(Label(index) + "a reply without the marker: \"" + line + "\"");
            else
                line.pop_back();
            if (owner == nullptr) {
                Fail(Label(index) + "a reply before the contact spoke or inside a burst: \"" + line + "\"");
                continue;
            }
            ++owner->replies;
            owner->answer = line;
            const int id = IdOf(line);
            if (id != owner->ids.back() && !(id < 0 && IsFallback(line)))
                Fail(Label(index) + "the reply to m" + std::to_string(owner->ids.back()) + " is \"" + line + "\"");
        }
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
            // The message is the body's last field: "say%20m<id>", and "%A0" for the marker.
            const std::size_t at = entry.body.find("&message=say%20");
            std::string message = at == std::string::npos ? "" : entry.body.substr(at + 15);
            if (message.ends_with("%A0")) message.replace(message.size() - 3, 3, 1, kMarker);
            const auto found = owners.find(IdOf(message));
            if (found == owners.end()) {
                Fail("a bot request about nothing a contact said: " + entry.body);
                continue;
            }
            auto [window, burst] = found->second;
            const std::string name = MessageName(found->first);
            ++burst->asked;
            if (!burst->answerable || found->first != burst->ids.back())
                Fail("the bot was asked about " + name + ", not the latest message of an answerable burst");
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
            }
        }
    }

    void TakeSample() {
        samples_.push_back(testing::SampleProcess(session_.Program().ProcessHandle(), session_.Program().Id()));
    }

    // Compares the highest value of the last third of the samples with that of the first third.
    void CheckResourcesFlat() {
        ASSERT_GE(samples_.size(), 6u) << "too few resource samples";
        const std::size_t third = samples_.size() / 3;
        constexpr long long kAllowance[testing::kResourceKinds] = {8, 4, 16, 8ll << 20};
        for (int kind = 0; kind < testing::kResourceKinds; ++kind) {
            const char* name = testing::kResourceNames[kind];
            long long early = -1, late = -1;
            for (std::size_t i = 0; i < samples_.size(); ++i) {
                if (i < third) early = std::max(early, samples_[i][kind]);
                if (i >= samples_.size() - third) late = std::max(late, samples_[i][kind]);
            }
            std::printf("  %s: highest %lld in the first third, %lld in the last (%zu samples)\n", name,
                        early, late, samples_.size());
            EXPECT_GT(early, 0) << name << " could not be read";
            EXPECT_LE(late, early + kAllowance[kind]) << name << " grew";
        }
    }

    void Run() {
        std::vector<int> current;  // each contact's latest window
        const auto start = Clock::now();
        for (const char* name : {"Ann", "Bob", "Cleo", "Dev", "Eli"}) current.push_back(OpenWindow(name, start));
        const auto end = start + std::chrono::seconds(seconds_);
        // Samples start after the first fifth (at least 20 s), while caches and the first requests settle.
        const auto warmUp = start + std::max<Clock::duration>(20s, std::chrono::seconds(seconds_ / 5));
        auto nextSample = start;
        const double closeChance = std::chrono::duration<double>(kStep).count() / kMeanWindowLifeSeconds;

        // The contacts write and windows come and go until the end; then every open question is
        // left to be answered.
        for (bool writing = true;;) {
            const auto now = Clock::now();
            writing = writing && now < end;
            bool waiting = false;
            for (int& index : current) {
                const Window& window = windows_[index];
                if (window.closedAtMs >= 0) {
                    if (writing && now >= window.due) index = OpenWindow(window.contact, now);
                } else if (writing && (Uniform() < closeChance || now >= window.closeAt)) {
                    CloseWindow(index, now);
                } else if (window.awaiting) {
                    Look(index, now);
                    waiting = waiting || windows_[index].awaiting;
                } else if (writing && now >= window.due) {
                    Speak(index, now);
                }
            }
            if (now >= nextSample) {
                DWORD_PTR result = 0;
                if (WaitForSingleObject(session_.Program().ProcessHandle(), 0) != WAIT_TIMEOUT ||
                    !SendMessageTimeoutA(session_.MainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result))
                    return Fail("the program stopped or stopped responding");
                if (now >= warmUp) TakeSample();
                nextSample += kSampleEvery;
            }
            if (!writing && !waiting) break;
            Sleep(static_cast<DWORD>(kStep.count()));  // the test's own pace; the program runs on its own
        }
        TakeSample();

        for (int index : current)
            if (windows_[index].closedAtMs < 0) windows_[index].history = session_.History(WindowId(index));
    }

    int seconds_ = 0;
    std::mt19937 random_;
    testing::TalkServer server_;
    testing::QuorvanelSession session_;
    std::vector<Window> windows_;
    std::vector<testing::ProcessResources> samples_;  // taken after the warm-up
    int nextMessage_ = 1, answers_ = 0, requests_ = 0, failures_ = 0;
};

TEST_F(Soak, EveryQuestionIsAnsweredOnceAndResourcesStayFlat) {
    Run();
    for (int i = 0; i < static_cast<int>(windows_.size()); ++i) CheckHistory(i);
    CheckRequests();
    std::printf("soak: %zu windows, %d messages, %d answers seen, %d bot requests\n", windows_.size(),
                nextMessage_ - 1, answers_, requests_);
    EXPECT_GT(answers_, seconds_ / 10) << "the run answered too little to prove anything";
    CheckResourcesFlat();
}

}  // namespace
}  // namespace quorvanel
