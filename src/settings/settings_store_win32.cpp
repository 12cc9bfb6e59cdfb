#include "settings/settings_store_win32.h"

#include <windows.h>

#include <vector>

#include "relay/ansi_text_win32.h"

namespace quorvanel {
namespace {

constexpr char kSettingsFileName[] = "quorvanel11.ini";

}  // namespace

std::wstring ProfileSettingsStore::ReadValue(std::wstring_view section,
                                                     std::wstring_view key,
                                                     std::wstring_view defaultValue,
                                                     int bufferChars, int size) {
    if (bufferChars <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(bufferChars), ' ');
    const std::string ansiSection = ToAnsi(section);
    const std::string ansiKey = ToAnsi(key);
    const std::string ansiDefault = ToAnsi(defaultValue);
    // The count returned is of no use: the buffer is cut at its first NUL by the caller.
    GetPrivateProfileStringA(ansiSection.c_str(), ansiKey.c_str(), ansiDefault.c_str(),
                             buffer.data(), static_cast<DWORD>(size), kSettingsFileName);
    return FromAnsi(buffer.data(), buffer.size());
}

bool ProfileSettingsStore::WriteValue(std::wstring_view section, std::wstring_view key,
                                              std::wstring_view value) {
    const std::string ansiSection = ToAnsi(section);
    const std::string ansiKey = ToAnsi(key);
    const std::string ansiValue = ToAnsi(value);
    return WritePrivateProfileStringA(ansiSection.c_str(), ansiKey.c_str(), ansiValue.c_str(),
                                      kSettingsFileName) != FALSE;
}

std::wstring SettingsFilePath() {
    std::vector<wchar_t> directory(MAX_PATH + 1, L'\0');
    const UINT length = GetWindowsDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
    std::wstring path(directory.data(), length <= MAX_PATH ? length : 0);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + L"quorvanel11.ini";
}

}  // namespace quorvanel
