#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/ansi_text_win32.h"
#include "settings/settings_store_win32.h"

namespace quorvanel::testing {

// The settings file in the Windows directory (or, where a path is given, another such as the
// per-user copy), handled byte for byte by the tests.

// A file's attributes, asked by the family's own form: on 9x the program answers the wide one
// as 98 does (not there).
inline DWORD FileAttributes(const std::wstring& path) {
    return GetVersion() & 0x80000000u ? GetFileAttributesA(ToAnsi(path).c_str())
                                      : GetFileAttributesW(path.c_str());
}

// Removes the file and the per-user copy, or directories standing in their place.
inline void RemoveSettingsFile() {
    for (const std::wstring& path : {SettingsFilePath(), UserSettingsFilePath()}) {
        if (GetVersion() & 0x80000000u) {
            const std::string ansi = ToAnsi(path);
            SetFileAttributesA(ansi.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(ansi.c_str());
            RemoveDirectoryA(ansi.c_str());
            continue;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        RemoveDirectoryW(path.c_str());
    }
}

inline bool WriteSettingsFileBytes(const std::string& bytes,
                                   const std::wstring& path = SettingsFilePath()) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    return file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush().good();
}

inline std::string ReadSettingsFileBytes(const std::wstring& path = SettingsFilePath()) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace quorvanel::testing
