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

// The latest block as above, and the latest line the user wrote themselves since the other
// party's block before it: the last later block under a speaker line that is not the other
// party's and does not end in the own-line marker (the robot's replies do), cut at a NUL and
// trimmed. Counting from the block before the latest, a line the user wrote just before the
// other party's latest is seen, even when both came within one look; as the other party goes on,
// the same line stays the latest until it falls out. Empty when there is none, and when the
// history holds no CR LF.
struct LatestLines {
    std::optional<std::wstring> block;
    std::wstring userWriting;
};
LatestLines ReadLatestLines(std::wstring_view history, std::wstring_view name);

}  // namespace quorvanel
