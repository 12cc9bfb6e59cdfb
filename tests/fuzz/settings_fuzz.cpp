// libFuzzer target: a settings file holding any values (UTF-8 bytes, the values separated by NUL
// bytes) read as settings, the typing pace, the neatness and the answering rules; what is left
// names a contact, whose rule is written and read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fakes/fake_dialogs.h"
#include "qvbot/text.h"
#include "fakes/fake_settings.h"
#include "present/restyle.h"
#include "present/simulated_typing.h"
#include "settings/rules.h"
#include "settings/settings.h"

using namespace quorvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    testing::FakeSettings settings;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (const SettingKey* key : {&kTypeSpeed, &kTypeStyle, &kBotServer, &kBotID, &kBotName, &kStepBackMinutes,
                                  &kAnswerWhen, &kAwayMinutes, &kHoursFrom, &kHoursTo, &kCapAnswers,
                                  &kCapMinutes}) {
        if (rest.empty()) break;
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        settings.Set(std::wstring(key->section), std::wstring(key->key),
                     qvbot::WideFromUtf8(rest.substr(0, end)));
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

    const ReplyRules rules = ReadReplyRules(settings);
    if (rules.stepBackMinutes < 0 || rules.stepBackMinutes > kMaxRuleMinutes || rules.awayMinutes < 1 ||
        rules.hoursFrom < 0 || rules.hoursFrom >= kMinutesPerDay || rules.hoursTo < 0 ||
        rules.hoursTo >= kMinutesPerDay || rules.capAnswers < 1 || rules.capAnswers > kMaxCapAnswers ||
        rules.capMinutes < 1 || rules.capMinutes > kMaxRuleMinutes) {
        __builtin_trap();
    }
    const std::wstring contact = qvbot::WideFromUtf8(rest);
    if (!contact.empty()) {
        WriteContactRule(settings, contact, ContactRule::Never);
        if (ReadContactRule(settings, contact) != ContactRule::Never) __builtin_trap();
    }
    return 0;
}
