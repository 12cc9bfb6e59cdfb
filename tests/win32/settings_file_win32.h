#pragma once

#include <windows.h>

#include <string>

#include "settings/settings_store_win32.h"

namespace quorvanel::testing {

// The settings file in the Windows directory (or, where a path is given, another such as the
// per-user copy), handled byte for byte by the tests.
inline bool SettingsFileExists() {
    return GetFileAttributesW(SettingsFilePath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removes the file and the per-user copy, or directories standing in their place.
inline void RemoveSettingsFile() {
    for (const std::wstring& path : {SettingsFilePath(), UserSettingsFilePath()}) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        RemoveDirectoryW(path.c_str());
    }
}

inline bool WriteSettingsFileBytes(const std::string& bytes,
                                   const std::wstring& path = SettingsFilePath()) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

inline std::string ReadSettingsFileBytes(const std::wstring& path = SettingsFilePath()) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

}  // namespace quorvanel::testing
