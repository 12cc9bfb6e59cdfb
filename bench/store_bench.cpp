// The built-in bot's memory in its SQLite file, with 10,000 contacts in it: what a save costs the
// UI thread (queueing it), what the writer takes to commit one (the save waited for), and what
// reading a contact back costs. Median and 99th percentile as counters, in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "store/sqlite_store.h"

namespace quorvanel {
namespace {

constexpr int kContacts = 10000;
const std::string kState(1500, 's');  // about a conversation's saved size

std::string FilledStore() {
    const auto path = std::filesystem::temp_directory_path() / "qv-store-bench.db";
    if (!std::filesystem::exists(path)) {
        SqliteStore store(path.string(), {});
        for (int i = 0; i < kContacts; ++i)
            store.SaveConversation("", "contact " + std::to_string(i), kState);
    }
    return path.string();
}

template <typename F>
void Timed(benchmark::State& state, F f) {
    std::vector<double> micros;
    int i = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        f(i++);
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_StoreSaveOnTheUiThread(benchmark::State& state) {
    SqliteStore store(FilledStore(), {});
    Timed(state, [&](int i) {
        store.SaveConversation("", "contact " + std::to_string(i % kContacts), kState);
    });
}
BENCHMARK(BM_StoreSaveOnTheUiThread)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_StoreSaveCommitted(benchmark::State& state) {
    SqliteStore store(FilledStore(), {});
    Timed(state, [&](int i) {
        store.SaveConversation("", "contact " + std::to_string(i % kContacts), kState);
        store.Flush();
    });
}
BENCHMARK(BM_StoreSaveCommitted)->Iterations(500)->Unit(benchmark::kMicrosecond);

void BM_StoreLoad(benchmark::State& state) {
    SqliteStore store(FilledStore(), {});
    Timed(state, [&](int i) {
        benchmark::DoNotOptimize(
            store.LoadConversation("", "contact " + std::to_string(i * 7919 % kContacts)));
    });
}
BENCHMARK(BM_StoreLoad)->Iterations(5000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvanel
