#pragma once

#include <string>
#include <string_view>

namespace quorvanel {

// Conversions between the program's text and the bytes that cross the platform boundary (window
// texts, settings values, the network).
class TextCodec {
public:
    virtual ~TextCodec() = default;
    virtual std::string ToAnsi(std::wstring_view text) = 0;
    virtual std::wstring FromAnsi(std::string_view bytes) = 0;
    // Bytes in the given Windows code page; in the ANSI code page when the system lacks it.
    virtual std::wstring FromCodePage(std::string_view bytes, unsigned codePage) = 0;
};

}  // namespace quorvanel
