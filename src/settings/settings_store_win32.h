#pragma once

#include "settings/settings_store.h"

namespace quorvanel {

// The profile functions on "quorvanel11.ini", named without a directory so that the file is the
// one in the Windows directory, shared by every user and every running copy. Where the user may
// not write there (Vista and later without elevation), the per-user copy that Windows' own
// redirection of 32-bit programs uses takes its place, for this build too: it is written when
// the shared file is refused and read whenever it exists.
class ProfileSettingsStore final : public SettingsStore {
public:
    std::wstring ReadValue(std::wstring_view section, std::wstring_view key,
                                   std::wstring_view defaultValue, int bufferChars,
                                   int size) override;
    bool WriteValue(std::wstring_view section, std::wstring_view key,
                            std::wstring_view value) override;
    // The file the last write went to, or failed to reach.
    std::wstring FileWritten() const override { return failedFile_; }

private:
    std::wstring failedFile_;
};

// The settings file in the Windows directory: for messages that name it.
std::wstring SettingsFilePath();
// The per-user copy: VirtualStore\Windows\quorvanel11.ini in the local application data
// folder; empty when that folder is unknown.
std::wstring UserSettingsFilePath();

}  // namespace quorvanel
