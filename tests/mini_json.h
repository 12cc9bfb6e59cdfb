#pragma once
// A small JSON reader for test data: UTF-8 text in, strings as std::wstring (UTF-16 where
// wchar_t is 16 bits). A \u escape of a lone surrogate is kept as that one code unit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvanel::testing::json {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::wstring string;
    std::vector<Value> items;        // array elements, or object values
    std::vector<std::wstring> keys;  // object keys, beside their values in items

    bool IsNull() const { return kind == Kind::Null; }
    // The value of `key` in an object, or nullptr.
    const Value* Get(std::wstring_view key) const {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == key) return &items[i];
        }
        return nullptr;
    }
};

inline void AppendCodePoint(std::wstring& out, std::uint32_t c) {
    if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

namespace detail {

inline std::uint32_t CodeOf(char c) {
    return static_cast<unsigned char>(c);
}
inline std::uint32_t CodeOf(wchar_t c) {
    return static_cast<std::uint32_t>(c);
}

inline int HexDigit(std::uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// Four hex digits at text[at], or -1.
template <class Text>
long Hex4(const Text& text, std::size_t at) {
    if (at + 4 > text.size()) return -1;
    long v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int d = HexDigit(CodeOf(text[at + i]));
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Value> Document() {
        Value v;
        if (!ParseValue(v, 0)) return std::nullopt;
        SkipSpace();
        if (pos_ != text_.size()) return std::nullopt;
        return v;
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }

    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool ParseValue(Value& v, int depth) {
        if (depth > 64) return false;
        SkipSpace();
        if (pos_ >= text_.size()) return false;
        switch (text_[pos_]) {
            case '{':
                return ParseObject(v, depth);
            case '[':
                return ParseArray(v, depth);
            case '"':
                v.kind = Value::Kind::String;
                return ParseString(v.string);
            case 't':
                v.kind = Value::Kind::Bool;
                v.boolean = true;
                return Literal("true");
            case 'f':
                v.kind = Value::Kind::Bool;
                return Literal("false");
            case 'n':
                v.kind = Value::Kind::Null;
                return Literal("null");
            default:
                return ParseNumber(v);
        }
    }

    bool ParseNumber(Value& v) {
        const std::size_t start = pos_;
        while (pos_ < text_.size() &&
               std::string_view("+-0123456789.eE").find(text_[pos_]) != std::string_view::npos) {
            ++pos_;
        }
        if (pos_ == start) return false;
        v.kind = Value::Kind::Number;
        v.number = std::stod(std::string(text_.substr(start, pos_ - start)));
        return true;
    }

    bool ParseArray(Value& v, int depth) {
        v.kind = Value::Kind::Array;
        ++pos_;
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == ']') return ++pos_, true;
        for (;;) {
            v.items.emplace_back();
            if (!ParseValue(v.items.back(), depth + 1)) return false;
            SkipSpace();
            if (pos_ >= text_.size()) return false;
            if (text_[pos_++] == ']') return true;
            if (text_[pos_ - 1] != ',') return false;
        }
    }

    bool ParseObject(Value& v, int depth) {
        v.kind = Value::Kind::Object;
        ++pos_;
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == '}') return ++pos_, true;
        for (;;) {
            SkipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '"') return false;
            v.keys.emplace_back();
            if (!ParseString(v.keys.back())) return false;
            SkipSpace();
            if (pos_ >= text_.size() || text_[pos_++] != ':') return false;
            v.items.emplace_back();
            if (!ParseValue(v.items.back(), depth + 1)) return false;
            SkipSpace();
            if (pos_ >= text_.size()) return false;
            if (text_[pos_++] == '}') return true;
            if (text_[pos_ - 1] != ',') return false;
        }
    }

    // One UTF-8 sequence; malformed bytes read as U+FFFD.
    std::uint32_t Utf8() {
        const auto lead = static_cast<unsigned char>(text_[pos_++]);
        if (lead < 0x80) return lead;
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (extra < 0 || lead > 0xF4) return 0xFFFD;
        std::uint32_t c = lead & (0x3F >> extra);
        for (int i = 0; i < extra; ++i) {
            if (pos_ >= text_.size() || (static_cast<unsigned char>(text_[pos_]) & 0xC0) != 0x80) {
                return 0xFFFD;
            }
            c = (c << 6) | (static_cast<unsigned char>(text_[pos_++]) & 0x3F);
        }
        return c;
    }

    bool ParseString(std::wstring& out) {
        ++pos_;  // the opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') return ++pos_, true;
            if (c != '\\') {
                AppendCodePoint(out, Utf8());
                continue;
            }
            if (++pos_ >= text_.size()) return false;
            const char e = text_[pos_++];
            switch (e) {
                case '"':
                    out.push_back(L'"');
                    break;
                case '\\':
                    out.push_back(L'\\');
                    break;
                case '/':
                    out.push_back(L'/');
                    break;
                case 'b':
                    out.push_back(L'\b');
                    break;
                case 'f':
                    out.push_back(L'\f');
                    break;
                case 'n':
                    out.push_back(L'\n');
                    break;
                case 'r':
                    out.push_back(L'\r');
                    break;
                case 't':
                    out.push_back(L'\t');
                    break;
                case 'u': {
                    const long unit = Hex4(text_, pos_);
                    if (unit < 0) return false;
                    pos_ += 4;
                    // A surrogate pair written as two escapes is one character.
                    if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
                        const long low = Hex4(text_, pos_ + 2);
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            pos_ += 6;
                            AppendCodePoint(out,
                                            0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                            break;
                        }
                    }
                    out.push_back(static_cast<wchar_t>(unit));
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace detail

// The JSON value `text` holds, or nullopt when it is not well-formed.
inline std::optional<Value> Parse(std::string_view text) {
    return detail::Parser(text).Document();
}

// Decodes the \uXXXX escapes left in an already decoded string (data written "double escaped"
// so that it can hold lone surrogates).
inline std::wstring DecodeUnicodeEscapes(std::wstring_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        const long unit = text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'u'
                              ? detail::Hex4(text, i + 2)
                              : -1;
        if (unit < 0) {
            out.push_back(text[i++]);
            continue;
        }
        i += 6;
        if (unit >= 0xD800 && unit <= 0xDBFF && text.substr(i, 2) == L"\\u") {
            const long low = detail::Hex4(text, i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 6;
                AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return out;
}

}  // namespace quorvanel::testing::json
