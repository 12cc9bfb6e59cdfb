#pragma once

#include <string_view>

#include "settings/settings.h"

namespace quorvanel {

// The record of what the robot said in the user's name, as the settings file keeps it. A value
// that is not understood counts as its default.
inline constexpr std::wstring_view kRecordSection = L"Record";
// "no" turns the record off (what is in it stays until cleared); anything else keeps it.
inline constexpr SettingKey kKeepRecord{kRecordSection, L"Keep", L"yes"};
// Exchanges older than this many days go, and the oldest beyond this many.
inline constexpr SettingKey kRecordDays{kRecordSection, L"Days", L"90"};
inline constexpr SettingKey kRecordExchanges{kRecordSection, L"Exchanges", L"100000"};

inline constexpr int kMaxRecordDays = 100 * 366;
inline constexpr int kMaxRecordExchanges = 10'000'000;

struct RecordSettings {
    bool keep = true;
    int days = 90;
    int exchanges = 100'000;
};

RecordSettings ReadRecordSettings(SettingsStore& store);

}  // namespace quorvanel
