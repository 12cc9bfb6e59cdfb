#include "settings/settings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fakes/fake_settings.h"
#include "settings/record_settings.h"

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

TEST(RecordSettings, TheRecordIsKeptUnlessTurnedOffAndItsBoundsAreNumbersInRange) {
    testing::FakeSettings file;
    file.Set(L"Record", L"Keep", L"No");
    file.Set(L"Record", L"Days", L"0");
    file.Set(L"Record", L"Exchanges", L"500");
    RecordSettings read = ReadRecordSettings(file);
    EXPECT_EQ(std::tie(read.keep, read.days, read.exchanges), std::make_tuple(true, 90, 500));
    file.Set(L"Record", L"Keep", L"no");
    EXPECT_FALSE(ReadRecordSettings(file).keep);
}

}  // namespace
}  // namespace quorvanel
