// The settings readers and writer on the real profile functions, with the file in the Windows
// directory of the Wine prefix.
#include "settings/settings_store_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

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
    static bool Exists() { return testing::SettingsFileExists(); }
    static void Remove() { testing::RemoveSettingsFile(); }
    static void WriteRaw(const std::string& bytes) { ASSERT_TRUE(testing::WriteSettingsFileBytes(bytes)); }
    static std::string ReadRaw() { return testing::ReadSettingsFileBytes(); }

    ProfileSettingsStore store;
};

TEST_F(ProfileFile, LivesInTheWindowsDirectory) {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(Path(), std::wstring(windows) + L"\\quorvanel11.ini");
    WriteSetting(store, kBotName, L"Zed");
    EXPECT_TRUE(Exists());
}

TEST_F(ProfileFile, NoFileGivesDefaultsAndReadingNeverCreatesIt) {
    EXPECT_EQ(ReadSetting(store, kBotServer), L"www.pandorabots.com");
    EXPECT_EQ(ReadSetting(store, kBotID), L"5e0a7c31d94b2f68");
    EXPECT_EQ(ReadSetting(store, kBotName), L"Kestro");
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"medium");
    EXPECT_EQ(ReadSetting(store, kTypeStyle), L"perfect");
    EXPECT_FALSE(Exists());
}

TEST_F(ProfileFile, HandWrittenFilesReadAsStored) {
    WriteRaw("[botbehaviour]\r\ntypespeed=slow\r\n\r\n[ConnectionSettings]\r\nBotName=\r\n"
             "BotID=caf\xE9 \xFF\r\nBotServer=" + std::string(300, 's') + "\r\n");
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"slow");  // names match without case
    EXPECT_EQ(ReadSetting(store, kTypeStyle), L"perfect");  // missing key
    EXPECT_EQ(ReadSetting(store, kBotName), L"");           // empty, not the default
    EXPECT_EQ(ReadSetting(store, kBotID), L"caf\u00E9 \u00FF");
    EXPECT_EQ(ReadSetting(store, kBotServer), std::wstring(254, L's'));
    EXPECT_EQ(ReadSetting(store, L"Missing", L"Key", L"fallback"), L"fallback");
}

TEST_F(ProfileFile, FirstSaveWritesBehaviourBeforeConnection) {
    // The Options dialog's order of writes.
    EXPECT_TRUE(WriteSetting(store, kTypeSpeed, L"fast"));
    EXPECT_TRUE(WriteSetting(store, kTypeStyle, L"messy"));
    EXPECT_TRUE(WriteSetting(store, kBotServer, L"127.0.0.1:8080"));
    EXPECT_TRUE(WriteSetting(store, kBotID, L"0123456789abcdef"));
    EXPECT_TRUE(WriteSetting(store, kBotName, L"R\u00E9my"));
    const std::string file = ReadRaw();
    const std::size_t behaviour = file.find("[BotBehaviour]");
    const std::size_t connection = file.find("[ConnectionSettings]");
    ASSERT_NE(behaviour, std::string::npos) << file;
    ASSERT_NE(connection, std::string::npos) << file;
    EXPECT_LT(behaviour, connection);
    EXPECT_LT(file.find("TypeSpeed=fast"), file.find("TypeStyle=messy"));
    EXPECT_LT(file.find("BotServer="), file.find("BotID="));
    EXPECT_LT(file.find("BotID="), file.find("BotName=R\xE9my"));

    EXPECT_EQ(ReadSetting(store, kBotName), L"R\u00E9my");
    EXPECT_TRUE(WriteSetting(store, kBotName, L""));
    EXPECT_EQ(ReadSetting(store, kBotName), L"");
}

TEST_F(ProfileFile, JunkFilesGiveStoredValuesOrDefaults) {
    std::mt19937 bytes(7);
    std::string junk(64 * 1024, '\0');
    for (char& c : junk) c = static_cast<char>(bytes());
    WriteRaw(junk);
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"medium");

    WriteRaw("TypeSpeed=fast\r\nno sections at all\r\n");
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"medium");

    WriteRaw(std::string("[BotBehaviour]\r\nTypeSpeed=fa\0st\r\n", 33));
    const std::wstring cut = ReadSetting(store, kTypeSpeed);
    EXPECT_TRUE(cut == L"fa" || cut == L"medium") << std::string(cut.begin(), cut.end());

    // 10 MB of filler sections before the one that counts.
    std::string big;
    while (big.size() < 10'000'000) big += "[Filler" + std::to_string(big.size()) + "]\r\nKey=value\r\n";
    WriteRaw(big + "[BotBehaviour]\r\nTypeSpeed=slow\r\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadSetting(store, kTypeSpeed), L"slow");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST_F(ProfileFile, AnUnreadableFileGivesDefaultsAndAFailedWriteIsReported) {
    // A directory where the file should be: it can be neither read nor written.
    ASSERT_TRUE(CreateDirectoryW(Path().c_str(), nullptr));
    EXPECT_EQ(ReadSetting(store, kTypeStyle), L"perfect");
    EXPECT_FALSE(WriteSetting(store, kTypeStyle, L"messy"));
    EXPECT_EQ(ReadSetting(store, kTypeStyle), L"perfect");
}

}  // namespace
}  // namespace quorvanel
