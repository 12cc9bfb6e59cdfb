// The settings readers and writer on the real profile functions, with the file in the Windows
// directory of the Wine prefix.
#include "settings/settings_store_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "win32/child_process_win32.h"
#include "win32/settings_file_win32.h"

#include <chrono>
#include <random>
#include <string>

#include "settings/settings.h"

namespace quorvanel {
namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }

    static std::wstring Path() { return SettingsFilePath(); }
    static void Remove() { testing::RemoveSettingsFile(); }
    static void WriteRaw(const std::string& bytes) { ASSERT_TRUE(testing::WriteSettingsFileBytes(bytes)); }
    static std::string ReadRaw() { return testing::ReadSettingsFileBytes(); }

    ProfileSettingsStore store;
};

TEST_F(ProfileFile, NoFileGivesDefaultsAndReadingNeverCreatesIt) {
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"medium");
    EXPECT_EQ(GetFileAttributesW(Path().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ProfileFile, HandWrittenFilesReadAsStored) {
    WriteRaw("[botbehaviour]\r\ntypespeed=slow\r\n\r\n[ConnectionSettings]\r\nBotName=\r\n"
             "BotID=caf\xE9 \xFF\r\nBotServer=" + std::string(300, 's') + "\r\n");
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"slow");  // names match without case
    EXPECT_EQ(ReadSetting(store, kTypeStyle), L"perfect");  // missing key
    EXPECT_EQ(ReadSetting(store, kBotName), L"");           // empty, not the default
    EXPECT_EQ(ReadSetting(store, kBotID), L"caf\u00E9 \u00FF");
    EXPECT_EQ(ReadSetting(store, kBotServer), std::wstring(254, L's'));
}

TEST_F(ProfileFile, WrittenValuesReadBackAsWritten) {
    EXPECT_TRUE(WriteSetting(store, kBotName, L"R\u00E9my"));
    EXPECT_NE(ReadRaw().find("[ConnectionSettings]\r\nBotName=R\xE9my\r\n"), std::string::npos) << ReadRaw();
    EXPECT_EQ(ReadSetting(store, kBotName), L"R\u00E9my");
    EXPECT_TRUE(WriteSetting(store, kBotName, L""));
    EXPECT_EQ(ReadSetting(store, kBotName), L"");  // empty, not the default
}

TEST_F(ProfileFile, JunkFilesGiveStoredValuesOrDefaults) {
    std::mt19937 bytes(7);
    std::string junk(64 * 1024, '\0');
    for (char& c : junk) c = static_cast<char>(bytes());
    WriteRaw(junk);
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"medium");

    WriteRaw("TypeSpeed=fast\r\nno sections at all\r\n");
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"medium");

    // 10 MB of filler sections before the one that counts.
    std::string big;
    while (big.size() < 10'000'000) big += "[Filler" + std::to_string(big.size()) + "]\r\nKey=value\r\n";
    WriteRaw(big + "[BotBehaviour]\r\nTypeSpeed=slow\r\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"slow");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
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
        {"shared held open: its values carried over", Held, Absent, true, L"messy", L"slow"},
        {"both refused", Directory, Directory, false, L"perfect", L"medium"},
        {"per-user copy there", Writable, Writable, true, L"messy", L"fast"},
    };
    const std::wstring user = UserSettingsFilePath();
    ASSERT_FALSE(user.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Remove();
        if (c.shared == Directory) {
            ASSERT_TRUE(CreateDirectoryW(Path().c_str(), nullptr));
        }
        if (c.shared == Held || c.shared == Writable) {
            WriteRaw("[BotBehaviour]\r\nTypeSpeed=slow\r\n");
        }
        HANDLE held = c.shared != Held ? INVALID_HANDLE_VALUE
                                       : CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (c.user != Absent) {
            const std::wstring folder = user.substr(0, user.rfind(L'\\'));
            SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
            if (c.user == Directory) {
                ASSERT_TRUE(CreateDirectoryW(user.c_str(), nullptr));
            }
            if (c.user == Writable) {
                ASSERT_TRUE(testing::WriteSettingsFileBytes("[BotBehaviour]\r\nTypeSpeed=fast\r\n",
                                                            user));
            }
        }
        EXPECT_EQ(WriteSetting(store, kTypeStyle, L"messy"), c.written);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        ProfileSettingsStore restarted;
        EXPECT_EQ(ReadSetting(restarted, kTypeStyle), c.style);
        EXPECT_EQ(ReadSetting(restarted, kTypeSpeed), c.speed);
        EXPECT_EQ(ReadRaw().find("messy"), std::string::npos) << "the shared file was written";
    }
    Remove();
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
