#pragma once

#include <string>
#include <string_view>

namespace quorvanel {

// The text up to its first NUL, or the whole text when it has none: every fixed-size buffer that
// comes back from the platform (window texts, settings values) is read through it.
inline std::wstring CutAtNul(std::wstring_view text) {
    return std::wstring(text.substr(0, text.find(L'\0')));
}

}  // namespace quorvanel
