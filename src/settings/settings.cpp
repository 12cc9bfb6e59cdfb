#include "settings/settings.h"

#include "platform/text.h"

namespace quorvanel {
namespace {

constexpr int kReplyBufferChars = 256;
constexpr int kReplyBufferSize = 255;  // includes the terminating NUL: values keep 254 characters

}  // namespace

std::wstring ReadSetting(SettingsStore& store, std::wstring_view section, std::wstring_view key,
                         std::wstring_view defaultValue) {
    return CutAtNul(store.ReadValue(section, key, defaultValue, kReplyBufferChars,
                                            kReplyBufferSize));
}

bool WriteSetting(SettingsStore& store, std::wstring_view section, std::wstring_view key,
                  std::wstring_view value) {
    return store.WriteValue(section, key, value);
}

}  // namespace quorvanel
