// The settings readers and writer on the real profile functions, with the file in the Windows
// directory of the Wine prefix.
#include "settings/settings_store_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "win32/child_process_win32.h"
#include "win32/settings_file_win32.h"

#include <string>

#include "platform/system_win32.h"
#include "settings/settings.h"

namespace quorvanel {
namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override { testing::RemoveSettingsFile(); }
    void TearDown() override { testing::RemoveSettingsFile(); }

    ProfileSettingsStore store;
};

// Without a file the defaults are read, and reading creates none.
TEST_F(ProfileFile, HandWrittenFilesReadAsStored) {
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"medium");
    EXPECT_EQ(testing::FileAttributes(SettingsFilePath()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(testing::WriteSettingsFileBytes(
        "[botbehaviour]\r\ntypespeed=slow\r\n\r\n[ConnectionSettings]\r\nBotName=\r\n"
        "BotID=caf\xE9 \xFF\r\nBotServer=" + std::string(300, 's') + "\r\n"));
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"slow");  // names match without case
    EXPECT_EQ(ReadSetting(store, kTypeStyle), L"perfect");  // missing key
    EXPECT_EQ(ReadSetting(store, kBotName), L"");           // empty, not the default
    EXPECT_EQ(ReadSetting(store, kBotID), L"caf\u00E9 \u00FF");
    EXPECT_EQ(ReadSetting(store, kBotServer), std::wstring(254, L's'));
}

TEST_F(ProfileFile, WrittenValuesReadBackAsWritten) {
    EXPECT_TRUE(WriteSetting(store, kBotName, L"R\u00E9my"));
    const std::string bytes = testing::ReadSettingsFileBytes();
    EXPECT_NE(bytes.find("[ConnectionSettings]\r\nBotName=R\xE9my\r\n"), std::string::npos) << bytes;
    EXPECT_EQ(ReadSetting(store, kBotName), L"R\u00E9my");
    EXPECT_TRUE(WriteSetting(store, kBotName, L""));
    EXPECT_EQ(ReadSetting(store, kBotName), L"");  // empty, not the default
}

// Where the Windows directory refuses the file, the per-user copy takes its place, and once it
// exists it is read and written first; only when both are refused does a write fail. A
// directory in a file's place can be neither read nor written; a file another program holds
// open for reading can be read but not written.
TEST_F(ProfileFile, ThePerUserCopyStandsInForARefusedFile) {
    enum Stand { Absent, Directory, Held, Writable };
    struct Case {
        const char* name;
        Stand shared, user;  // files hold TypeSpeed=slow (shared) or fast (per-user)
        bool written;
        const wchar_t *style, *speed;  // read back by a new store
    };
    const Case cases[] = {
        {"shared refused", Directory, Absent, true, L"messy", L"medium"},
        {"shared held open: not taken for refused", Held, Absent, false, L"perfect", L"slow"},
        {"both refused", Directory, Directory, false, L"perfect", L"medium"},
        {"per-user copy there", Writable, Writable, true, L"messy", L"fast"},
    };
    const std::wstring user = UserSettingsFilePath();
    if (GetVersion() & 0x80000000u) {
        // 9x has no file virtualization: the Windows directory's file is all there is.
        EXPECT_EQ(user, L"");
        GTEST_SKIP() << "no per-user settings copy on 9x";
    }
    // Puts a directory, or a file that sets the typing speed, in a file's place.
    auto place = [](const std::wstring& path, Stand stand, const std::string& speed) {
        if (stand == Directory) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        } else if (stand != Absent) {
            ASSERT_TRUE(testing::WriteSettingsFileBytes("[BotBehaviour]\r\nTypeSpeed=" + speed + "\r\n", path));
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::RemoveSettingsFile();
        SHCreateDirectoryExW(nullptr, user.substr(0, user.rfind(L'\\')).c_str(), nullptr);
        place(SettingsFilePath(), c.shared, "slow");
        place(user, c.user, "fast");
        HANDLE held = c.shared != Held ? INVALID_HANDLE_VALUE
                                       : CreateFileW(SettingsFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(WriteSetting(store, kTypeStyle, L"messy"), c.written);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        ProfileSettingsStore restarted;
        EXPECT_EQ(ReadSetting(restarted, kTypeStyle), c.style);
        EXPECT_EQ(ReadSetting(restarted, kTypeSpeed), c.speed);
        EXPECT_EQ(testing::ReadSettingsFileBytes().find("messy"), std::string::npos) << "the shared file was written";
    }
}

// A folder whose name the ANSI code page cannot hold, as a user's profile folder may be: the
// file inside is still read and written, by its wide path.
TEST_F(ProfileFile, AFileInAFolderOutsideTheAnsiCodePageIsReachedByItsWidePath) {
    if (GetVersion() & 0x80000000u) GTEST_SKIP() << "9x paths are ANSI";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"Pawe\u0142 \u0416";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\quorvanel11.ini";
    DeleteFileW(file.c_str());
    EXPECT_TRUE(sys::WriteProfileString(file, L"BotBehaviour", L"TypeSpeed", L"fast"));
    EXPECT_EQ(sys::ReadProfileString(file, L"BotBehaviour", L"TypeSpeed", L"medium", 16, 15).substr(0, 4), L"fast");
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

// Windows redirects the writes of the Windows directory to the per-user copy only for a
// program whose manifest asks for no execution level; the 32-bit build relies on it.
TEST(ProgramManifest, AsksForNoExecutionLevelInEitherBuild) {
    for (const char* exe : {"quorvanel.exe", "..\\windows-i686\\quorvanel.exe"}) {
        SCOPED_TRACE(exe);
        const std::string path = testing::ProgramDirectory() + exe;
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << "build the windows and windows-i686 presets first";
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
        ASSERT_NE(found, nullptr) << "no manifest";
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        const std::string manifest(bytes, SizeofResource(module, found));
        EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
        EXPECT_EQ(manifest.find("requestedExecutionLevel"), std::string::npos) << manifest;
        FreeLibrary(module);
    }
}

}  // namespace
}  // namespace quorvanel
