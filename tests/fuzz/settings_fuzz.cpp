// libFuzzer target: a settings file holding any values (UTF-8 bytes, the five values separated
// by NUL bytes) read by every reader: the typing pace, the neatness, and the bot server's
// address, bot and name in both requests to it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bot/bot_server.h"
#include "bot/page_fetcher.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_http.h"
#include "fakes/fake_settings.h"
#include "present/restyle.h"
#include "present/simulated_typing.h"
#include "settings/settings.h"

using namespace quorvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    testing::FakeSettings settings;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (const SettingKey* key : {&kTypeSpeed, &kTypeStyle, &kBotServer, &kBotID, &kBotName}) {
        if (rest.empty()) break;
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        settings.Set(std::wstring(key->section), std::wstring(key->key),
                     DecodeUtf8(rest.substr(0, end)));
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const std::wstring value = ReadSetting(settings, *key);
        if (value.size() > 254 || value.find(L'\0') != std::wstring::npos) __builtin_trap();
    }

    testing::FakeDialogs dialogs;
    testing::ScriptedRandom random({0.5f, 0.25f, 0.75f});
    SimulatedTyping typing(settings, random, dialogs);
    const int delay = typing.GetDelayTicks();
    const TypingTime time = typing.ComputeTypingTicks(L"How are you?");
    if (delay < 0 || delay > 14 || time.ticks < 0 || time.ticks > 12) __builtin_trap();
    RestyleReply(L"You're right. Your turn, you are next: http://example.com/", settings, dialogs);

    testing::FakeClock clock;
    testing::ScriptedHttp http(clock);
    testing::FakeWaiter waiter(clock);
    testing::Latin1Codec codec;
    http.Answer("<form><input name=botcust2 value=t1></form>");
    http.Answer("<b>Kestro:</b> Hello <br>");
    PageFetcher fetcher(http, waiter, codec);
    const std::wstring token = StartConversation(fetcher, settings);
    BotServerClient(fetcher, settings, random, codec, token).GetBotReply(L"Hi there");
    return 0;
}
