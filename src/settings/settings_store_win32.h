#pragma once

#include "settings/settings_store.h"

namespace quorvanel {

// The profile functions on "quorvanel11.ini", named without a directory so that the file is the
// one in the Windows directory, shared by every user and every running copy.
class ProfileSettingsStore final : public SettingsStore {
public:
    std::wstring ReadValue(std::wstring_view section, std::wstring_view key,
                                   std::wstring_view defaultValue, int bufferChars,
                                   int size) override;
    bool WriteValue(std::wstring_view section, std::wstring_view key,
                            std::wstring_view value) override;
};

// Where the profile functions keep the settings file: for messages that name it.
std::wstring SettingsFilePath();

}  // namespace quorvanel
