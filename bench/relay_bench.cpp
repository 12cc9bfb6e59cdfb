// Detection and poll-tick costs. GetNewMessage's text work is compared with the floor of reading
// the history once: one memchr pass over the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "fakes/fake_conversation_list.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_settings.h"
#include "relay/answer_rules.h"
#include "relay/message_detection.h"
#include "relay/relay_engine.h"

namespace quorvanel {
namespace {

// A history of about `chars` characters whose other party spoke last, near the end.
std::wstring MakeHistory(std::size_t chars) {
    std::wstring history = L"Conversation started\r\n";
    while (history.size() + 200 < chars) {
        history += L"Bob says:\r\n  how is the weather over there today, any rain at all?\r\n";
        history += L"Me says:\r\n  sunny all week, thanks for asking\u00A0\r\n";
    }
    history += L"Bob says:\r\n  good to hear\r\n  see you soon\r\n";
    history.push_back(L'\0');
    return history;
}

void BM_ExtractLatestBlock(benchmark::State& state) {
    const std::wstring history = MakeHistory(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ExtractLatestBlock(history, L"Bob"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * history.size() * sizeof(wchar_t)));
}

// The worst case: the other party's name matches no speaker line (say, the window was renamed),
// so the speaker search walks the whole history back to line 1.
void BM_ExtractLatestBlockNoSpeaker(benchmark::State& state) {
    const std::wstring history = MakeHistory(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ExtractLatestBlock(history, L"Robert"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * history.size() * sizeof(wchar_t)));
}

// GetNewMessage for a history that changed: read the whole history through the window system (a
// copy of the buffer, as WM_GETTEXT makes) and extract the block.
void BM_GetNewMessage(benchmark::State& state) {
    testing::FakeDesktop desktop;
    testing::FakeConversationList list;
    list.enableDefault = true;
    ConversationTable table = NewConversationTable();
    RelayEngine engine(desktop, list, table, nullptr);
    const std::wstring history = MakeHistory(static_cast<std::size_t>(state.range(0)));
    const WindowHandle w = desktop.AddConversation(L"Bob", history);
    engine.RefreshConversationList();
    for (auto _ : state) {
        table[1].LastMessage.clear();
        table[1].History = {};
        benchmark::DoNotOptimize(engine.GetNewMessage(w));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * history.size() * sizeof(wchar_t)));
}

// The floor: one memchr pass over the history's bytes.
void BM_MemchrPass(benchmark::State& state) {
    const std::wstring history = MakeHistory(static_cast<std::size_t>(state.range(0)));
    const std::size_t bytes = history.size() * sizeof(wchar_t);
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::memchr(history.data(), 0x7F, bytes));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// Stands in for the reply pipeline and the clock where a tick consults the rules: every message
// is given a reading delay, nothing is typed.
class QuietStages final : public ReplyStages {
public:
    int GetDelayTicks() override { return 5; }
    void AdvanceReply(int) override {}
    void DropReply(int) override {}
};
class StillClock final : public Clock {
public:
    std::int64_t NowMs() override { return 1'000'000; }
    int SecondOfDay() override { return 12 * 3600; }
    std::int64_t IdleMs() override { return 0; }
};

// One poll tick with 50 ticked conversations of 100 KB histories each, every one read in full;
// with range 1, every rule in force: a step back, hours, the cap, and a rule per contact.
void BM_PollTick(benchmark::State& state) {
    testing::FakeDesktop desktop;
    testing::FakeConversationList list;
    list.enableDefault = true;
    ConversationTable table = NewConversationTable();
    testing::FakeSettings file;
    StillClock clock;
    AnswerRules rules(file, clock);
    QuietStages stages;
    const bool ruled = state.range(0) != 0;
    if (ruled) {
        WriteReplyRules(file, {5, AnswerWhen::Hours, 10, 8 * 60, 20 * 60, 60, 10});
        WriteContactRule(file, L"Boss", ContactRule::Never);
    }
    RelayEngine engine(desktop, list, table, ruled ? &stages : nullptr, ruled ? &rules : nullptr);
    for (int i = 0; i < 50; ++i) desktop.AddConversation(L"Bob", MakeHistory(100'000));
    for (int i = 0; i < 30; ++i) desktop.AddWindow(L"Shell_TrayWnd", L"");
    engine.Timer1_Timer();
    for (auto _ : state) {
        for (std::size_t i = 1; i < table.size(); ++i) {
            table[i].LastMessage.clear();
            table[i].History = {};
        }
        engine.Timer1_Timer();
    }
}

// One poll tick with the given number of conversations (ticked or not) of 1 MB histories in which
// nobody writes, beside 30 other windows: the list refresh and the per-tick check of each history.
void BM_PollTickNobodyWriting(benchmark::State& state) {
    testing::FakeDesktop desktop;
    testing::FakeConversationList list;
    list.enableDefault = state.range(1) != 0;
    ConversationTable table = NewConversationTable();
    RelayEngine engine(desktop, list, table, nullptr);
    const std::wstring history = MakeHistory(1'000'000);
    for (int i = 0; i < 30; ++i) desktop.AddWindow(L"Shell_TrayWnd", L"");
    for (int i = 0; i < state.range(0); ++i) desktop.AddConversation(L"Bob", history);
    engine.Timer1_Timer();
    const int firstReads = desktop.wholeTextReads;
    for (auto _ : state) engine.Timer1_Timer();
    state.counters["full reads per tick"] = benchmark::Counter(
        static_cast<double>(desktop.wholeTextReads - firstReads), benchmark::Counter::kAvgIterations);
}

#define HISTORY_SIZES Arg(10'000)->Arg(1'000'000)->Arg(10'000'000)
BENCHMARK(BM_MemchrPass)->HISTORY_SIZES;
BENCHMARK(BM_ExtractLatestBlock)->HISTORY_SIZES;
BENCHMARK(BM_ExtractLatestBlockNoSpeaker)->HISTORY_SIZES;
BENCHMARK(BM_GetNewMessage)->HISTORY_SIZES;
BENCHMARK(BM_PollTick)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// {conversations, ticked}
BENCHMARK(BM_PollTickNobodyWriting)->Args({10, 1})->Args({50, 0})->Args({50, 1})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvanel

BENCHMARK_MAIN();
