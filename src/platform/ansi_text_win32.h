#pragma once

#include <string>
#include <string_view>

#include "platform/text_codec.h"

namespace quorvanel {

// Text crosses the platform boundary in the ANSI code page; a character the code page cannot
// hold becomes its default character.
std::string ToAnsi(std::wstring_view text);
// Converts every byte given, NULs included, so fixed-size buffers keep their shape.
std::wstring FromAnsi(const char* bytes, std::size_t count);
// The same from a given code page, or from the ANSI code page when the system has not that one.
std::wstring FromCodePage(const char* bytes, std::size_t count, unsigned codePage);

// The same conversions for the network code.
class AnsiCodec final : public TextCodec {
public:
    std::string ToAnsi(std::wstring_view text) override { return quorvanel::ToAnsi(text); }
    std::wstring FromAnsi(std::string_view bytes) override {
        return quorvanel::FromAnsi(bytes.data(), bytes.size());
    }
    std::wstring FromCodePage(std::string_view bytes, unsigned codePage) override {
        return quorvanel::FromCodePage(bytes.data(), bytes.size(), codePage);
    }
};

}  // namespace quorvanel
