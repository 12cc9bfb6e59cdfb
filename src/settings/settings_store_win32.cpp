#include "settings/settings_store_win32.h"

#include <windows.h>

#include <vector>

#include "platform/system_win32.h"
#include "platform/ansi_text_win32.h"

namespace quorvanel {
namespace {

constexpr char kSettingsFileName[] = "quorvanel11.ini";

bool Write(const std::string& file, std::wstring_view section, std::wstring_view key,
           std::wstring_view value) {
    return WritePrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(),
                                      ToAnsi(value).c_str(), file.c_str()) != FALSE;
}

// Starts the per-user copy from the shared file's contents, as Windows does on its first
// redirected write, so that values the user has not changed are kept.
void StartUserCopy(const std::wstring& userCopy) {
    for (std::size_t slash = userCopy.find(L'\\', 3); slash != std::wstring::npos;
         slash = userCopy.find(L'\\', slash + 1)) {
        sys::CreateFolder(userCopy.substr(0, slash));  // existing ones fail
    }
    sys::CopyNewFile(SettingsFilePath(), userCopy);
    sys::ClearFileAttributes(userCopy);
}

}  // namespace

std::wstring ProfileSettingsStore::ReadValue(std::wstring_view section, std::wstring_view key,
                                             std::wstring_view defaultValue, int bufferChars, int size) {
    if (bufferChars <= 0) return {};
    // The per-user copy once there is one, as Windows' redirection does, by its full path;
    // otherwise the bare name, which the profile functions look up in the Windows directory.
    const std::wstring userCopy = UserSettingsFilePath();
    if (!userCopy.empty() && sys::Exists(userCopy)) {
        return sys::ReadProfileString(userCopy, section, key, defaultValue, bufferChars, size);
    }
    std::vector<char> buffer(static_cast<std::size_t>(bufferChars), ' ');
    // The count returned is of no use: the buffer is cut at its first NUL by the caller.
    GetPrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(defaultValue).c_str(),
                             buffer.data(), static_cast<DWORD>(size), kSettingsFileName);
    return FromAnsi(buffer.data(), buffer.size());
}

bool ProfileSettingsStore::WriteValue(std::wstring_view section, std::wstring_view key,
                                      std::wstring_view value) {
    const std::wstring userCopy = UserSettingsFilePath();
    if (!userCopy.empty() && sys::Exists(userCopy)) {
        failedFile_ = userCopy;
        return sys::WriteProfileString(userCopy, section, key, value);
    }
    failedFile_ = SettingsFilePath();
    if (Write(kSettingsFileName, section, key, value)) return true;
    // Only a refusal sends the user to a copy of their own (Vista and later let only
    // administrators write the Windows directory). A file held open for a moment by a virus
    // scanner or another copy of the program is no reason to leave the shared file for good.
    if (GetLastError() != ERROR_ACCESS_DENIED || userCopy.empty()) return false;
    StartUserCopy(userCopy);
    failedFile_ = userCopy;
    return sys::WriteProfileString(userCopy, section, key, value);
}

std::wstring SettingsFilePath() {
    return sys::WindowsDirectory() + L"quorvanel11.ini";
}

std::wstring UserSettingsFilePath() {
    // 9x has no per-user copies: the Windows directory's file is all there is.
    const std::wstring folder = sys::LocalAppDataFolder();
    if (folder.empty()) return {};
    // The path below the drive is kept: C:\Windows\ becomes VirtualStore\Windows\.
    const std::wstring windows = sys::WindowsDirectory();
    const std::size_t belowDrive = windows.find(L'\\');
    if (belowDrive == std::wstring::npos) return {};
    return folder + L"\\VirtualStore" + windows.substr(belowDrive) +
           L"quorvanel11.ini";
}

}  // namespace quorvanel
