#pragma once

#include <string>
#include <vector>

#include "store/sqlite_store.h"

namespace quorvanel {

// One exchange as the Record window shows it and a saved record holds it: its local time, the
// contact and the bot that answered, what the contact said, and what was sent or why nothing was.
// Lines end in CR LF.
std::wstring ExchangeText(const RecordRow& row);

// Exchanges as a text file: UTF-8 with a byte order mark (so that Notepad reads it as such), one
// exchange after the other with a blank line between them.
std::string RecordFileText(const std::vector<RecordRow>& rows);

}  // namespace quorvanel
