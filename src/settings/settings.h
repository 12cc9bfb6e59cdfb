#pragma once

#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace quorvanel {

// A setting's place in the file and the default every reader passes for it.
struct SettingKey {
    std::wstring_view section;
    std::wstring_view key;
    std::wstring_view defaultValue;
};

inline constexpr std::wstring_view kConnectionSettings = L"ConnectionSettings";
inline constexpr std::wstring_view kBotBehaviour = L"BotBehaviour";

// An empty bot server means the bot built into the program.
inline constexpr SettingKey kBotServer{kConnectionSettings, L"BotServer", L""};
inline constexpr SettingKey kBotID{kConnectionSettings, L"BotID", L"5e0a7c31d94b2f68"};
inline constexpr SettingKey kBotName{kConnectionSettings, L"BotName", L"Kestro"};
// The built-in bot's AIML folder; empty means the starter bot the program carries.
inline constexpr SettingKey kAimlFolder{kConnectionSettings, L"AIMLFolder", L""};
inline constexpr SettingKey kTypeSpeed{kBotBehaviour, L"TypeSpeed", L"medium"};
inline constexpr SettingKey kTypeStyle{kBotBehaviour, L"TypeStyle", L"perfect"};

// The stored value (at most 254 characters), or the default when the file, the section or the
// key is missing. A key with an empty value reads as empty text.
std::wstring ReadSetting(SettingsStore& store, std::wstring_view section, std::wstring_view key,
                         std::wstring_view defaultValue);
// Creates the file, section and key as needed; false when the file could not be written.
bool WriteSetting(SettingsStore& store, std::wstring_view section, std::wstring_view key,
                  std::wstring_view value);

inline std::wstring ReadSetting(SettingsStore& store, const SettingKey& setting) {
    return ReadSetting(store, setting.section, setting.key, setting.defaultValue);
}
inline bool WriteSetting(SettingsStore& store, const SettingKey& setting, std::wstring_view value) {
    return WriteSetting(store, setting.section, setting.key, value);
}

}  // namespace quorvanel
