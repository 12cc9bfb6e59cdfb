#include "settings/rules.h"

#include "qvbot/text.h"

namespace quorvanel {
namespace {

constexpr std::wstring_view kAlways = L"always";
constexpr std::wstring_view kNever = L"never";

std::wstring Decimal(int value) { return std::to_wstring(value); }

int ReadNumber(SettingsStore& store, const SettingKey& key, int lo, int hi) {
    const auto value = ParseMinutes(ReadSetting(store, key), lo, hi);
    return value ? *value : *ParseMinutes(key.defaultValue, lo, hi);
}

}  // namespace

std::optional<int> ParseMinutes(std::wstring_view text, int lo, int hi) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

std::optional<int> ParseClockTime(std::wstring_view text) {
    const std::size_t colon = text.find(L':');
    if (colon == std::wstring_view::npos || colon < 1 || colon > 2 || text.size() != colon + 3) {
        return std::nullopt;
    }
    const auto hours = ParseMinutes(text.substr(0, colon), 0, 23);
    const auto minutes = ParseMinutes(text.substr(colon + 1), 0, 59);
    if (!hours || !minutes) return std::nullopt;
    return *hours * 60 + *minutes;
}

std::wstring FormatClockTime(int minutesOfDay) {
    const int hours = minutesOfDay / 60 % 24;
    const int minutes = minutesOfDay % 60;
    std::wstring text;
    text += static_cast<wchar_t>(L'0' + hours / 10);
    text += static_cast<wchar_t>(L'0' + hours % 10);
    text += L':';
    text += static_cast<wchar_t>(L'0' + minutes / 10);
    text += static_cast<wchar_t>(L'0' + minutes % 10);
    return text;
}

std::wstring_view AnswerWhenName(AnswerWhen when) {
    switch (when) {
        case AnswerWhen::Away: return L"away";
        case AnswerWhen::Hours: return L"hours";
        case AnswerWhen::Always: break;
    }
    return kAlways;
}

std::optional<AnswerWhen> ParseAnswerWhen(std::wstring_view text) {
    for (AnswerWhen when : {AnswerWhen::Always, AnswerWhen::Away, AnswerWhen::Hours}) {
        if (text == AnswerWhenName(when)) return when;
    }
    return std::nullopt;
}

bool WithinHours(int minuteOfDay, int from, int to) {
    if (from == to) return true;
    if (from < to) return minuteOfDay >= from && minuteOfDay < to;
    return minuteOfDay >= from || minuteOfDay < to;  // across midnight
}

ReplyRules ReadReplyRules(SettingsStore& store) {
    ReplyRules rules;
    rules.stepBackMinutes = ReadNumber(store, kStepBackMinutes, 0, kMaxRuleMinutes);
    rules.when = ParseAnswerWhen(ReadSetting(store, kAnswerWhen)).value_or(AnswerWhen::Always);
    rules.awayMinutes = ReadNumber(store, kAwayMinutes, 1, kMaxRuleMinutes);
    rules.hoursFrom = ParseClockTime(ReadSetting(store, kHoursFrom)).value_or(rules.hoursFrom);
    rules.hoursTo = ParseClockTime(ReadSetting(store, kHoursTo)).value_or(rules.hoursTo);
    rules.capAnswers = ReadNumber(store, kCapAnswers, 1, kMaxCapAnswers);
    rules.capMinutes = ReadNumber(store, kCapMinutes, 1, kMaxRuleMinutes);
    return rules;
}

bool WriteReplyRules(SettingsStore& store, const ReplyRules& rules) {
    // Every write is tried, so that one refused key does not keep the others from being saved.
    bool saved = WriteSetting(store, kStepBackMinutes, Decimal(rules.stepBackMinutes));
    saved = WriteSetting(store, kAnswerWhen, AnswerWhenName(rules.when)) && saved;
    saved = WriteSetting(store, kAwayMinutes, Decimal(rules.awayMinutes)) && saved;
    saved = WriteSetting(store, kHoursFrom, FormatClockTime(rules.hoursFrom)) && saved;
    saved = WriteSetting(store, kHoursTo, FormatClockTime(rules.hoursTo)) && saved;
    saved = WriteSetting(store, kCapAnswers, Decimal(rules.capAnswers)) && saved;
    saved = WriteSetting(store, kCapMinutes, Decimal(rules.capMinutes)) && saved;
    return saved;
}

std::wstring ContactKey(std::wstring_view contact) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring key;
    for (unsigned char byte : qvbot::Utf8FromWide(contact)) {
        key += kDigits[byte >> 4];
        key += kDigits[byte & 0xF];
    }
    return key;
}

ContactRule ReadContactRule(SettingsStore& store, std::wstring_view contact) {
    // A contact without a name has no key of their own; an empty key would mean something else.
    if (contact.empty()) return ContactRule::Default;
    const std::wstring value = ReadSetting(store, kContactsSection, ContactKey(contact), L"");
    if (value == kAlways) return ContactRule::Always;
    if (value == kNever) return ContactRule::Never;
    return ContactRule::Default;
}

bool WriteContactRule(SettingsStore& store, std::wstring_view contact, ContactRule rule) {
    if (contact.empty()) return false;
    const std::wstring_view value = rule == ContactRule::Always  ? kAlways
                                    : rule == ContactRule::Never ? kNever
                                                                 : std::wstring_view();
    return WriteSetting(store, kContactsSection, ContactKey(contact), value);
}

}  // namespace quorvanel
