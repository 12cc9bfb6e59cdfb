#pragma once

#include <string>
#include <string_view>

namespace quorvanel {

// The settings file as the program sees it: the profile functions on one fixed file. Nothing is
// kept in memory; every read goes to the file.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // GetPrivateProfileStringA into a buffer of bufferChars blanks, passing size as the buffer
    // size; returns the whole buffer.
    virtual std::wstring ReadValue(std::wstring_view section, std::wstring_view key,
                                           std::wstring_view defaultValue, int bufferChars,
                                           int size) = 0;
    // WritePrivateProfileStringA; false when the file could not be written.
    virtual bool WriteValue(std::wstring_view section, std::wstring_view key,
                                    std::wstring_view value) = 0;
    // The file the last write went to or failed to reach, for messages; empty when unknown.
    virtual std::wstring FileWritten() const { return {}; }
};

}  // namespace quorvanel
