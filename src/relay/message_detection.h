#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvanel {

// The other party's latest block of lines in a conversation history, as the poll cycle compares
// it: the lines after the last "<name> says:" line (line 0 is never looked at) up to the next
// speaker line of anybody, each followed by one space, cut at the first NUL and trimmed of
// spaces. Lines are split on CR LF only. Empty optional when the history holds no CR LF.
std::optional<std::wstring> ExtractLatestBlock(std::wstring_view history, std::wstring_view name);

}  // namespace quorvanel
