// libFuzzer target: a reply page from the bot server, any bytes, fetched and decoded by its
// charset, cut to the bot's answer, restyled and timed. The first byte picks the neatness, the
// speed and the draw.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bot/bot_server.h"
#include "bot/page_fetcher.h"
#include "bot/reply_text.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_http.h"
#include "fakes/fake_settings.h"
#include "present/restyle.h"
#include "present/simulated_typing.h"
#include "settings/settings.h"

using namespace quorvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    testing::FakeClock clock;
    testing::ScriptedHttp http(clock);
    testing::FakeScheduler scheduler(clock);
    testing::Latin1Codec codec;
    http.Answer(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), 200,
                (choice & 1) != 0 ? "text/html; charset=utf-8" : "text/html");
    PageFetcher fetcher(http, codec, scheduler);

    testing::FakeSettings settings;
    static const wchar_t* const kSpeeds[] = {L"instant", L"fast", L"medium", L"slow"};
    settings.Set(L"BotBehaviour", L"TypeSpeed", kSpeeds[(choice >> 1) & 3]);
    settings.Set(L"BotBehaviour", L"TypeStyle", (choice & 8) != 0 ? L"messy" : L"perfect");
    testing::FakeDialogs dialogs;
    testing::ScriptedRandom random({static_cast<float>(choice >> 4) / 16.0f});

    const std::wstring page = testing::FetchNow(fetcher, clock, L"http://bots.example/talk", L"message=hi");
    const std::wstring answer = ExtractReply(page, ReadSetting(settings, kBotName));
    const std::wstring text = ReplyFragmentToText(answer);
    // The text a page shows is never longer than its markup, and never starts or ends blank.
    if (text.size() > answer.size() || (!text.empty() && (text.front() == L' ' || text.back() == L' '))) {
        __builtin_trap();
    }
    const std::wstring reply = RestyleReply(text, settings, dialogs);
    const TypingTime typing = SimulatedTyping(settings, random, dialogs).ComputeTypingTicks(reply);
    if (!typing.validSpeed || typing.ticks < 0 ||
        static_cast<std::size_t>(typing.ticks) > reply.size() + 1) {
        __builtin_trap();
    }
    return 0;
}
