#include "settings/settings.h"

#include <gtest/gtest.h>

#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

TEST(ReadSetting, ValuesAreCutAtTheirFirstNulAndAt254Characters) {
    const std::pair<std::wstring, std::wstring> values[] = {
        {L"", L""}, {std::wstring(300, L'n'), std::wstring(254, L'n')},
        {std::wstring(L"bot\0hidden", 10), L"bot"}, {L"caf\u00E9 \u00FF ", L"caf\u00E9 \u00FF "}};
    for (const auto& [stored, read] : values) {
        testing::FakeSettings file;
        file.Set(L"ConnectionSettings", L"BotName", stored);
        EXPECT_EQ(ReadSetting(file, kBotName), read);
    }
}

}  // namespace
}  // namespace quorvanel
