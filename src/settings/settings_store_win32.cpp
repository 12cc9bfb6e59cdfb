#include "settings/settings_store_win32.h"

#include <windows.h>

#include <vector>

#include "app/system_win32.h"
#include "relay/ansi_text_win32.h"

namespace quorvanel {
namespace {

constexpr char kSettingsFileName[] = "quorvanel11.ini";

// The file the profile functions should use: the per-user copy once there is one, as Windows'
// redirection does; otherwise the bare name, which they look up in the Windows directory.
std::string ProfileFile(const std::wstring& userCopy) {
    return !userCopy.empty() && sys::Exists(userCopy) ? ToAnsi(userCopy) : kSettingsFileName;
}

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
                             buffer.data(), static_cast<DWORD>(size),
                             ProfileFile(UserSettingsFilePath()).c_str());
    return FromAnsi(buffer.data(), buffer.size());
}

bool ProfileSettingsStore::WriteValue(std::wstring_view section, std::wstring_view key,
                                              std::wstring_view value) {
    const std::wstring userCopy = UserSettingsFilePath();
    const std::string file = ProfileFile(userCopy);
    if (Write(file, section, key, value)) return true;
    // Only administrators may write the Windows directory from Vista on.
    if (file != kSettingsFileName || userCopy.empty()) return false;
    StartUserCopy(userCopy);
    return Write(ToAnsi(userCopy), section, key, value);
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
