// The engine on a generated AIML 2.0 bot of 10,000 categories and five sets of 10,000 entries:
// each answer's time (median and 99th percentile, in microseconds), and the slowest answer to
// inputs of up to 100 words against patterns of several `#` and `^` that never quite match.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "qvbot/bot.h"

namespace {

constexpr int kCategories = 10000;
constexpr int kSets = 5;
constexpr int kEntries = 10000;

std::string Category(const std::string& pattern, const std::string& answer) {
    return "<category><pattern>" + pattern + "</pattern><template>" + answer +
           "</template></category>\n";
}

// The same bot every time: its categories cycle through the 2.0 pattern forms and templates.
const qvbot::Bot& GeneratedBot() {
    static const qvbot::Bot* bot = [] {
        auto* made = new qvbot::Bot(qvbot::Properties{{"name", "Bench"}});
        qvbot::LoadReport report;
        for (int s = 0; s < kSets; ++s) {
            std::string entries, map;
            for (int i = 0; i < kEntries; ++i) {
                // One entry in four has two words, so entries of several words are looked up too.
                entries += "item" + std::to_string(s) + "x" + std::to_string(i) +
                           (i % 4 == 0 ? " extra\n" : "\n");
                map += "item" + std::to_string(s) + "x" + std::to_string(i) + ":value " +
                       std::to_string(i) + "\n";
            }
            made->LoadSetOrMap("sets/s" + std::to_string(s) + ".txt", entries, report);
            made->LoadSetOrMap("maps/m" + std::to_string(s) + ".txt", map, report);
        }
        std::string file = "<aiml version=\"2.0\">\n" + Category("#", "I see.");
        for (int i = 0; i < kCategories; ++i) {
            const std::string n = std::to_string(i), set = "s" + std::to_string(i % kSets);
            switch (i % 5) {
                case 0:
                    file +=
                        Category("WHAT IS <set>" + set + "</set> NUMBER " + n,
                                 "<map name=\"m" + std::to_string(i % kSets) + "\"><star/></map>");
                    break;
                case 1:
                    file += Category("# TOPIC" + n + " ^", "<srai>TOPIC" + n + "</srai>");
                    break;
                case 2:
                    file += Category("TOPIC" + n,
                                     "<think><set var=\"x\"><star/></set></think>topic " + n);
                    break;
                case 3:
                    file += Category("$SAY" + n + " *",
                                     "<condition name=\"mood\"><li "
                                     "value=\"happy\">glad</li><li><star/></li></condition>");
                    break;
                default:
                    file += Category("_ WORD" + n + " #", "<set name=\"last\"><star/></set>");
                    break;
            }
        }
        // What no input of the run quite matches: each `#` and `^` could take any words.
        file += Category("# ALPHA # BETA ^ GAMMA # DELTA", "never") +
                Category("^ ALPHA ^ BETA # GAMMA ^ OMEGA", "never");
        made->LoadText("bench.aiml", file + "</aiml>", report);
        return made;
    }();
    return *bot;
}

void Report(benchmark::State& state, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}

void BM_Aiml2Answer(benchmark::State& state) {
    const qvbot::Bot& bot = GeneratedBot();
    const std::string messages[] = {"What is item3x4023 number 4023?",
                                    "Tell me about topic1206 now please",
                                    "topic7777",
                                    "say4443 hello there",
                                    "my word9999 is here",
                                    "What is item1x4 extra number 9001?",
                                    "Nothing matches this at all.",
                                    "Hello! How are you? topic12"};
    std::vector<qvbot::Conversation> conversations(1500);
    std::vector<double> micros;
    std::size_t i = 0;
    for (auto _ : state) {
        qvbot::Conversation& conversation = conversations[i % conversations.size()];
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(bot.Respond(conversation, messages[i % std::size(messages)]));
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
        ++i;
    }
    Report(state, micros);
}
BENCHMARK(BM_Aiml2Answer)->Iterations(100000)->Unit(benchmark::kMicrosecond);

// Inputs of 1 to 100 words made of the words those patterns name, in an order that fails late.
// worst_us is the slowest input's fastest run, so that a busy machine's pauses do not count.
void BM_Aiml2WorstInputs(benchmark::State& state) {
    const qvbot::Bot& bot = GeneratedBot();
    const char* words[] = {"alpha", "beta", "gamma", "alpha", "beta", "omega", "gamma", "beta"};
    std::vector<std::string> inputs;
    std::string text;
    for (int n = 1; n <= 100; ++n) {
        text += std::string(n > 1 ? " " : "") + words[n % std::size(words)];
        inputs.push_back(text);
    }
    std::vector<double> micros, fastest(inputs.size(), 1e9);
    std::size_t i = 0;
    for (auto _ : state) {
        qvbot::Conversation conversation;
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(bot.Respond(conversation, inputs[i % inputs.size()]));
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
        fastest[i % inputs.size()] = std::min(fastest[i % inputs.size()], micros.back());
        ++i;
    }
    Report(state, micros);
    state.counters["worst_us"] = *std::max_element(fastest.begin(), fastest.end());
}
BENCHMARK(BM_Aiml2WorstInputs)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
