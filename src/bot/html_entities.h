#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace quorvanel::html {

// A named character reference: the name as written after '&' (with its ';' when it has one)
// and the one or two characters it stands for (second is 0 when there is one).
struct NamedReference {
    std::string_view name;
    char32_t first;
    char32_t second;
};

// Every named reference, sorted by name in byte order.
std::span<const NamedReference> NamedReferences();

// The longest reference name that `text` (what follows the '&') starts with, or nullptr.
// Costs a few binary searches per character of the name, never a scan of the table.
const NamedReference* LongestNamedReference(std::wstring_view text);

}  // namespace quorvanel::html
