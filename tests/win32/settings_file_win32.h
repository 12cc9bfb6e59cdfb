#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/settings_store_win32.h"

namespace quorvanel::testing {

// The settings file in the Windows directory (or, where a path is given, another such as the
// per-user copy), handled byte for byte by the tests.

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
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    return file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush().good();
}

inline std::string ReadSettingsFileBytes(const std::wstring& path = SettingsFilePath()) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace quorvanel::testing
