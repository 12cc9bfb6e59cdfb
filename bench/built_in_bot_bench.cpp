// The built-in bot's answer with the starter bot in-process: each call's time, so that the median
// and the 99th percentile are reported (as counters, in microseconds), over a mix of messages and
// contacts that has the bot match, reduce, remember and forget.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bot/built_in_bot.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"
#include "qvbot/folder.h"

namespace quorvanel {
namespace {

class StarterFiles : public BotFileSource {
public:
    const qvbot::FolderReader& StarterBot() override { return starter_; }
    std::unique_ptr<qvbot::FolderReader> Folder(const std::wstring&) override {
        return std::make_unique<qvbot::DiskFolder>(QV_STARTER_BOT);
    }

private:
    qvbot::DiskFolder starter_{QV_STARTER_BOT};
};

// Never a canned line: every call reaches the bot.
class NoCannedLines : public RandomSource {
public:
    float NextSingle() override { return 0.5f; }
};

void BM_BuiltInAnswer(benchmark::State& state) {
    StarterFiles files;
    testing::FakeSettings settings;
    NoCannedLines random;
    testing::FakeDialogs dialogs;
    BuiltInBotClient bot{files, settings, random, dialogs};
    bot.Prepare();
    const std::wstring messages[] = {L"Hello!", L"My name is Ann.", L"How are you today?",
                                     L"What is my name?", L"Tell me about yourself, please.",
                                     L"I like cheese. Do you like cheese? Why not?",
                                     L"What is your favorite color?", L"bye"};
    std::vector<double> micros;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::wstring contact = L"contact " + std::to_wstring(i % 1500);  // past the bound
        const auto start = std::chrono::steady_clock::now();
        bot.Ask(messages[i % std::size(messages)], contact, [](std::wstring answer) { benchmark::DoNotOptimize(answer); });
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        ++i;
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}
BENCHMARK(BM_BuiltInAnswer)->Iterations(100000)->Unit(benchmark::kMicrosecond);

// Loading the starter bot, as the program does at start-up.
void BM_LoadStarterBot(benchmark::State& state) {
    StarterFiles files;
    testing::FakeSettings settings;
    NoCannedLines random;
    testing::FakeDialogs dialogs;
    for (auto _ : state) {
        BuiltInBotClient bot{files, settings, random, dialogs};
        bot.Prepare();
    }
}
BENCHMARK(BM_LoadStarterBot)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvanel
