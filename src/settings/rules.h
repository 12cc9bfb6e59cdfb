#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace quorvanel {

// When the robot may answer, whom, and how often: the user's rules as the settings file keeps
// them. Every value read that is not understood counts as its default.
inline constexpr std::wstring_view kRulesSection = L"Rules";
// Minutes the robot stays out of a conversation after the user has written in it; 0 = never.
inline constexpr SettingKey kStepBackMinutes{kRulesSection, L"StepBackMinutes", L"0"};
// "always", "away" (only after AwayMinutes without keyboard or mouse) or "hours" (only from
// HoursFrom to HoursTo, local time, which may cross midnight).
inline constexpr SettingKey kAnswerWhen{kRulesSection, L"AnswerWhen", L"always"};
inline constexpr SettingKey kAwayMinutes{kRulesSection, L"AwayMinutes", L"10"};
inline constexpr SettingKey kHoursFrom{kRulesSection, L"HoursFrom", L"18:00"};
inline constexpr SettingKey kHoursTo{kRulesSection, L"HoursTo", L"08:00"};
// At most CapAnswers answers to one contact within any CapMinutes.
inline constexpr SettingKey kCapAnswers{kRulesSection, L"CapAnswers", L"60"};
inline constexpr SettingKey kCapMinutes{kRulesSection, L"CapMinutes", L"10"};

// One key per contact with a rule of their own: the contact's name as UTF-8 in hexadecimal
// (keys in the file are matched without regard to case and may not hold every character a name
// can), the value "always" or "never".
inline constexpr std::wstring_view kContactsSection = L"Contacts";

inline constexpr int kMinutesPerDay = 24 * 60;
inline constexpr int kMaxRuleMinutes = kMinutesPerDay;
inline constexpr int kMaxCapAnswers = 1000;

enum class AnswerWhen { Always, Away, Hours };

struct ReplyRules {
    int stepBackMinutes = 0;
    AnswerWhen when = AnswerWhen::Always;
    int awayMinutes = 10;
    int hoursFrom = 18 * 60;  // minutes after midnight
    int hoursTo = 8 * 60;
    int capAnswers = 60;
    int capMinutes = 10;
};

enum class ContactRule { Default, Always, Never };

ReplyRules ReadReplyRules(SettingsStore& store);
// Writes every rule; false when the file could not be written.
bool WriteReplyRules(SettingsStore& store, const ReplyRules& rules);

// A whole number from lo to hi written in decimal digits alone (at most 9 of them).
std::optional<int> ParseMinutes(std::wstring_view text, int lo, int hi);
// "H:MM" or "HH:MM", 00:00 to 23:59, as minutes after midnight.
std::optional<int> ParseClockTime(std::wstring_view text);
std::wstring FormatClockTime(int minutesOfDay);
std::wstring_view AnswerWhenName(AnswerWhen when);
std::optional<AnswerWhen> ParseAnswerWhen(std::wstring_view text);
// Whether a minute of the day lies in the hours from..to; from == to means the whole day.
bool WithinHours(int minuteOfDay, int from, int to);

std::wstring ContactKey(std::wstring_view contact);
ContactRule ReadContactRule(SettingsStore& store, std::wstring_view contact);
// The default leaves the key with an empty value.
bool WriteContactRule(SettingsStore& store, std::wstring_view contact, ContactRule rule);

}  // namespace quorvanel
