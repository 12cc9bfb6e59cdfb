// The whole program left running under Wine against five conversations whose contacts write at
// random, a bot server that fails at random, and windows that open and close at random. Each
// contact message that should be answered must be answered exactly once, nothing may go to a
// closed window, and the program's memory, GDI and USER objects and handles must stay flat.
//
// QV_SOAK_SECONDS sets how long the contacts go on writing (default 120), QV_SOAK_SEED the seed
// of the contacts, the window closes and the server's faults (default 7). scripts/soak.sh runs it
// for an hour.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "e2e/process_resources_win32.h"
#include "e2e/quorvanel_session_win32.h"
#include "e2e/soak_ledger.h"
#include "win32/talk_server_win32.h"

namespace quorvanel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::SoakBurst;
using testing::SoakWindow;

constexpr int kConversations = 5;
constexpr int kChaosPercent = 25;
constexpr auto kStep = 100ms;
constexpr auto kAnswerDeadline = 150s;  // a few hung requests queued ahead, then typing
constexpr auto kSampleEvery = 5s;
constexpr double kMeanWindowLifeSeconds = 90.0;
// A window closing in the middle of a tick may still be asked about within that tick.
constexpr long long kCloseGraceMs = 2000;

int EnvironmentNumber(const char* name, int fallback) {
    char value[32] = {};
    if (GetEnvironmentVariableA(name, value, sizeof(value)) == 0) return fallback;
    const int number = std::atoi(value);
    return number > 0 ? number : fallback;
}

long long UnixMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>((ticks - 116444736000000000ull) / 10000);
}

struct Sample {
    double atSeconds;
    testing::ProcessResources resources;
};

class Soak : public ::testing::Test {
  protected:
    enum class State { Closed, Idle, Awaiting };

    struct Slot {
        std::string contact;
        int window = -1;  // index into windows_, -1 while closed
        State state = State::Closed;
        Clock::time_point due;
        Clock::time_point saidAt;
        Clock::time_point lastLook;
        Clock::time_point closeAt = Clock::time_point::max();  // a close planned mid-answer
    };

    void SetUp() override {
        seconds_ = EnvironmentNumber("QV_SOAK_SECONDS", 120);
        seed_ = EnvironmentNumber("QV_SOAK_SEED", 7);
        random_.seed(static_cast<unsigned>(seed_));
        std::printf("soak: %d s, seed %d, %d %% of bot requests failing\n", seconds_, seed_,
                    kChaosPercent);

        testing::ClearSettings();
        ASSERT_TRUE(server_.Start(std::string("--chaos ") + std::to_string(seed_) + ":" +
                                  std::to_string(kChaosPercent) + " --lifetime " +
                                  std::to_string(seconds_ + 900)));
        testing::WriteSetting("ConnectionSettings", "BotServer",
                              std::string("127.0.0.1:") + std::to_string(server_.Port()));
        testing::WriteSetting("BotBehaviour", "TypeSpeed", "fast");
        ASSERT_TRUE(session_.StartMessenger());
        ASSERT_TRUE(session_.StartProgram());
        session_.TickEnableDefault();
    }
    void TearDown() override {
        session_.CloseProgram();
        testing::ClearSettings();
    }

    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random_);
    }
    bool Chance(double p) { return Uniform(0.0, 1.0) < p; }
    std::string WindowId(int window) const { return std::string("w") + std::to_string(window); }

    void Fail(const std::string& what) {
        if (problems_.size() < 200) problems_.push_back(what);
    }

    std::string Label(int window) const {
        return windows_[window].contact + "#" + std::to_string(window);
    }

    void OpenWindow(Slot& slot, Clock::time_point now) {
        const int window = static_cast<int>(windows_.size());
        const std::string reply =
            session_.Messenger("open " + WindowId(window) + " " + slot.contact);
        if (reply.rfind("ok ", 0) != 0) {
            Fail("test-messenger could not open a window: " + reply);
            return;
        }
        SoakWindow record;
        record.contact = slot.contact;
        windows_.push_back(record);
        slot.window = window;
        slot.state = State::Idle;
        slot.due = now + std::chrono::milliseconds(static_cast<int>(Uniform(200, 3000)));
    }

    void CloseWindow(Slot& slot, Clock::time_point now) {
        SoakWindow& record = windows_[slot.window];
        record.history = session_.History(WindowId(slot.window));
        session_.Messenger("close " + WindowId(slot.window));
        record.closedAtMs = UnixMs();
        ++closes_;
        slot.window = -1;
        slot.state = State::Closed;
        slot.closeAt = Clock::time_point::max();
        // Long enough for the program to see the window go before one with the same title comes.
        slot.due = now + std::chrono::milliseconds(static_cast<int>(Uniform(3000, 8000)));
    }

    void Speak(Slot& slot, Clock::time_point now) {
        SoakWindow& record = windows_[slot.window];
        const std::string id = WindowId(slot.window);
        // Whatever was typed for the last message has been sent: the entry box is empty.
        const std::string entry = session_.Entry(id);
        if (!entry.empty())
            Fail(Label(slot.window) + ": the entry box holds \"" + entry +
                 "\" before the contact speaks");

        SoakBurst burst;
        const double kind = Uniform(0.0, 1.0);
        const int size = kind < 0.65 ? 1 : kind < 0.85 ? 2 : kind < 0.90 ? 3 : 1;
        burst.answerable = kind < 0.90;
        for (int i = 0; i < size; ++i) burst.ids.push_back(nextMessage_++);
        for (int message : burst.ids) {
            // Said back to back, so that the program reads them as one block.
            session_.Messenger("say " + id + " say m" + std::to_string(message) +
                               (burst.answerable ? "" : "\\xA0"));
        }
        messages_ += size;
        record.bursts.push_back(burst);
        slot.saidAt = now;
        slot.lastLook = now;
        if (burst.answerable) {
            slot.state = State::Awaiting;
            // Some windows close while their answer is being read, asked or typed.
            if (Chance(0.25)) slot.closeAt = now + std::chrono::milliseconds(static_cast<int>(Uniform(300, 6000)));
        } else {
            slot.state = State::Idle;  // nothing comes back; speak again later
            slot.due = now + std::chrono::milliseconds(static_cast<int>(Uniform(2000, 6000)));
        }
    }

    // Looks for the answer to the latest burst.
    void Look(Slot& slot, Clock::time_point now) {
        if (now - slot.lastLook < 400ms) return;
        slot.lastLook = now;
        SoakWindow& record = windows_[slot.window];
        record.history = session_.History(WindowId(slot.window));
        const bool answered = testing::RepliesAfterLastBurst(record) > 0;
        if (answered || now - slot.saidAt > kAnswerDeadline) {
            // Answered while open, or overdue: either way this burst must have exactly one answer.
            record.bursts.back().expectAnswer = true;
            slot.state = State::Idle;
            slot.due = now + std::chrono::milliseconds(static_cast<int>(Uniform(300, 6000)));
            if (answered) {
                ++answers_;
                latencies_.push_back(std::chrono::duration<double>(now - slot.saidAt).count());
            }
        }
    }

    void TakeSample(Clock::time_point start) {
        Sample sample;
        sample.atSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        sample.resources =
            testing::SampleProcess(session_.Program().ProcessHandle(), session_.Program().Id());
        samples_.push_back(sample);
    }

    bool ProgramRunning() {
        if (WaitForSingleObject(session_.Program().ProcessHandle(), 0) != WAIT_TIMEOUT)
            return false;
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(session_.MainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000,
                                   &result) != 0;
    }

    void CheckResourcesFlat() {
        // Ignore the first fifth (at least 20 s) while caches and the first requests settle,
        // then compare the highest value of the last third with that of the first third.
        const double warmUp = std::max(20.0, seconds_ / 5.0);
        std::vector<Sample> settled;
        for (const auto& sample : samples_) {
            if (sample.atSeconds >= warmUp) settled.push_back(sample);
        }
        ASSERT_GE(settled.size(), 6u) << "too few resource samples";
        const std::size_t third = settled.size() / 3;
        struct Counter {
            const char* name;
            long long testing::ProcessResources::*field;
            long long allowance;
        };
        const Counter counters[] = {
            {"GDI objects", &testing::ProcessResources::gdiObjects, 8},
            {"USER objects", &testing::ProcessResources::userObjects, 4},
            {"handles", &testing::ProcessResources::handles, 16},
            {"private bytes", &testing::ProcessResources::privateBytes, 8ll << 20},
        };
        std::printf("resources (%s):\n", settled.front().resources.sources.c_str());
        for (const auto& counter : counters) {
            long long early = -1, late = -1, low = -1, high = -1;
            for (std::size_t i = 0; i < settled.size(); ++i) {
                const long long value = settled[i].resources.*counter.field;
                if (i < third) early = std::max(early, value);
                if (i >= settled.size() - third) late = std::max(late, value);
                low = low < 0 ? value : std::min(low, value);
                high = std::max(high, value);
            }
            std::printf(
                "  %-13s first third max %lld, last third max %lld (range %lld..%lld over %zu "
                "samples)\n",
                counter.name, early, late, low, high, settled.size());
            EXPECT_GT(early, 0) << counter.name << " could not be read";
            EXPECT_LE(late, early + counter.allowance) << counter.name << " grew";
        }
    }

    void Run() {
        std::vector<Slot> slots(kConversations);
        const char* names[kConversations] = {"Ann", "Bob", "Cleo", "Dev", "Eli"};
        const auto start = Clock::now();
        for (int i = 0; i < kConversations; ++i) {
            slots[i].contact = names[i];
            OpenWindow(slots[i], start);
        }
        const auto end = start + std::chrono::seconds(seconds_);
        auto nextSample = start;
        auto nextReport = start + 300s;
        const double closeChance =
            std::chrono::duration<double>(kStep).count() / kMeanWindowLifeSeconds;

        // The contacts write and windows come and go until the end; then every open question is
        // left to be answered.
        for (bool writing = true;;) {
            const auto now = Clock::now();
            if (writing && now >= end) writing = false;
            bool waiting = false;
            for (auto& slot : slots) {
                if (slot.state == State::Closed) {
                    if (writing && now >= slot.due) OpenWindow(slot, now);
                    continue;
                }
                if (writing && (Chance(closeChance) || now >= slot.closeAt)) {
                    CloseWindow(slot, now);
                    continue;
                }
                if (slot.state == State::Awaiting) {
                    Look(slot, now);
                    waiting = waiting || slot.state == State::Awaiting;
                } else if (writing && now >= slot.due) {
                    Speak(slot, now);
                }
            }
            if (now >= nextSample) {
                if (!ProgramRunning()) {
                    Fail("the program stopped or stopped responding");
                    return;
                }
                TakeSample(start);
                nextSample += kSampleEvery;
            }
            if (now >= nextReport) {
                const auto& r = samples_.back().resources;
                std::printf(
                    "soak %4.0f s: %d messages, %d answers, %d closes; GDI %lld USER %lld handles "
                    "%lld private %lld KiB\n",
                    samples_.back().atSeconds, messages_, answers_, closes_, r.gdiObjects,
                    r.userObjects, r.handles, r.privateBytes / 1024);
                std::fflush(stdout);
                nextReport += 300s;
            }
            if (!writing && !waiting) break;
            Sleep(static_cast<DWORD>(
                kStep.count()));  // the test's own pace; the program runs on its own
        }
        TakeSample(start);

        int open = 0;
        for (auto& slot : slots) {
            if (slot.window < 0) continue;
            ++open;
            windows_[slot.window].history = session_.History(WindowId(slot.window));
        }
        const std::string label = std::to_string(open) + " chat window(s) open";
        EXPECT_TRUE(testing::WaitUntil([&] { return session_.Label() == label; }, 5s))
            << session_.Label();
        EXPECT_EQ(session_.EntryCount(), open);
    }

    int seconds_ = 0;
    int seed_ = 0;
    std::mt19937 random_;
    testing::TalkServer server_;
    testing::QuorvanelSession session_;
    std::vector<SoakWindow> windows_;
    std::vector<Sample> samples_;
    std::vector<std::string> problems_;
    std::vector<double> latencies_;
    int nextMessage_ = 1;
    int messages_ = 0;
    int answers_ = 0;
    int closes_ = 0;
};

TEST_F(Soak, EveryQuestionIsAnsweredOnceAndResourcesStayFlat) {
    Run();

    std::vector<testing::SoakPost> posts;
    int faults = 0;
    for (const auto& entry : server_.Log()) {
        if (entry.method != "POST" || entry.target.rfind("/pandora/talk", 0) != 0) continue;
        posts.push_back({entry.ms, entry.body});
    }
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        for (const auto& problem : testing::VerifySoakWindow(Label(static_cast<int>(i)),
                                                             windows_[i], posts, kCloseGraceMs)) {
            Fail(problem);
        }
    }
    for (const auto& problem : testing::VerifySoakPosts(windows_, posts)) Fail(problem);
    int bursts = 0;
    for (const auto& window : windows_) bursts += static_cast<int>(window.bursts.size());
    for (const auto& window : windows_) {
        std::size_t at = 0;
        while ((at = window.history.find("Me says:\r\n  ERROR:", at)) != std::string::npos)
            ++faults, ++at;
    }
    std::sort(latencies_.begin(), latencies_.end());
    std::printf(
        "soak: %zu windows (%d closed at random), %d bursts, %d messages, %d answers seen, "
        "%zu bot requests, %d error lines; answer time median %.1f s, worst %.1f s\n",
        windows_.size(), closes_, bursts, messages_, answers_, posts.size(), faults,
        latencies_.empty() ? 0.0 : latencies_[latencies_.size() / 2],
        latencies_.empty() ? 0.0 : latencies_.back());
    for (const auto& problem : problems_) ADD_FAILURE() << problem;
    EXPECT_GT(answers_, seconds_ / 10) << "the run answered too little to prove anything";
    CheckResourcesFlat();
}

}  // namespace
}  // namespace quorvanel
