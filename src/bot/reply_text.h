#pragma once

#include <string>
#include <string_view>

namespace quorvanel {

// The text a reader of the page sees in a piece of body markup: character references decoded,
// tags dropped (and the contents of scripts and styles), a line break or a block boundary one
// blank, every run of white space (no-break spaces included) one blank, no blank at either end.
// Markup that shows nothing gives "". Linear in the markup's length.
std::wstring ReplyFragmentToText(std::wstring_view fragment);

}  // namespace quorvanel
