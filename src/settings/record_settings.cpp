#include "settings/record_settings.h"

#include "settings/rules.h"

namespace quorvanel {

RecordSettings ReadRecordSettings(SettingsStore& store) {
    RecordSettings settings;
    settings.keep = ReadSetting(store, kKeepRecord) != L"no";
    settings.days =
        ParseMinutes(ReadSetting(store, kRecordDays), 1, kMaxRecordDays).value_or(settings.days);
    settings.exchanges = ParseMinutes(ReadSetting(store, kRecordExchanges), 1, kMaxRecordExchanges)
                             .value_or(settings.exchanges);
    return settings;
}

}  // namespace quorvanel
