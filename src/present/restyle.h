#pragma once

#include <string>

#include "present/dialogs.h"
#include "settings/settings_store.h"

namespace quorvanel {

// The bot's answer as it will be typed: unchanged at "perfect" neatness; at "messy" lower case
// without apostrophes and full stops (unless it holds a link), and with four short forms.
std::wstring RestyleReply(const std::wstring& answer, SettingsStore& settings, Dialogs& dialogs);

}  // namespace quorvanel
