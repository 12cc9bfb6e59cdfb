#pragma once

#include <string>
#include <string_view>

namespace quorvanel {

// Text crosses the platform boundary in the ANSI code page; a character the code page cannot
// hold becomes its default character.
std::string ToAnsi(std::wstring_view text);
// Converts every byte given, NULs included, so fixed-size buffers keep their shape.
std::wstring FromAnsi(const char* bytes, std::size_t count);

}  // namespace quorvanel
