#include "settings/settings.h"

#include <gtest/gtest.h>

#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

using testing::FakeSettings;

TEST(ReadSetting, MissingValuesGiveTheSharedDefaults) {
    FakeSettings file;
    EXPECT_EQ(ReadSetting(file, kBotServer), L"www.pandorabots.com");
    EXPECT_EQ(ReadSetting(file, kBotID), L"5e0a7c31d94b2f68");
    EXPECT_EQ(ReadSetting(file, kBotName), L"Kestro");
    EXPECT_EQ(ReadSetting(file, kTypeSpeed), L"medium");
    EXPECT_EQ(ReadSetting(file, kTypeStyle), L"perfect");
    ASSERT_EQ(file.reads.size(), 5u);
    EXPECT_EQ(file.reads[0], (FakeSettings::Access{L"ConnectionSettings", L"BotServer",
                                                    L"www.pandorabots.com"}));
    EXPECT_EQ(file.reads[3], (FakeSettings::Access{L"BotBehaviour", L"TypeSpeed", L"medium"}));
    EXPECT_TRUE(file.writes.empty());  // reading never writes
}

TEST(ReadSetting, StoredValuesComeBackAsStoredUpTo254Characters) {
    FakeSettings file;
    file.Set(L"ConnectionSettings", L"BotName", L"");
    EXPECT_EQ(ReadSetting(file, kBotName), L"");  // empty, not the default
    file.Set(L"botbehaviour", L"typespeed", L"slow");  // names match without case
    EXPECT_EQ(ReadSetting(file, kTypeSpeed), L"slow");
    file.Set(L"BotBehaviour", L"TypeSpeed", L"medium ");  // values keep their blanks
    EXPECT_EQ(ReadSetting(file, kTypeSpeed), L"medium ");
    file.Set(L"ConnectionSettings", L"BotName", std::wstring(300, L'n'));
    EXPECT_EQ(ReadSetting(file, kBotName), std::wstring(254, L'n'));
    file.Set(L"ConnectionSettings", L"BotServer", std::wstring(L"bot\0hidden", 10));
    EXPECT_EQ(ReadSetting(file, kBotServer), L"bot");
    file.Set(L"ConnectionSettings", L"BotID", L"caf\u00E9 \u00FF");
    EXPECT_EQ(ReadSetting(file, kBotID), L"caf\u00E9 \u00FF");
}

TEST(WriteSetting, WritesTheValueAndReportsFailure) {
    FakeSettings file;
    EXPECT_TRUE(WriteSetting(file, kTypeSpeed, L"fast"));
    EXPECT_EQ(ReadSetting(file, kTypeSpeed), L"fast");
    file.failWrites = true;
    EXPECT_FALSE(WriteSetting(file, kTypeSpeed, L"slow"));
    EXPECT_EQ(ReadSetting(file, kTypeSpeed), L"fast");
}

}  // namespace
}  // namespace quorvanel
