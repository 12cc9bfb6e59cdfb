// Text handling for test-messenger: command escapes, message formatting and
// ANSI/UTF-16 conversion. Header-only; used by test_messenger_win32.cpp.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace textutil {

inline int hexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// Command-line escapes: \n \r \t \\ \xHH (byte in the ANSI code page).
// \0 is dropped because rich edits cannot hold a NUL; anything else
// unknown stays as written so odd input never gets lost.
inline std::string unescape(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char ch = in[i];
        if (ch != '\\' || i + 1 >= in.size()) {
            out += ch;
            continue;
        }
        char e = in[i + 1];
        switch (e) {
        case 'n': out += '\n'; ++i; break;
        case 'r': out += '\r'; ++i; break;
        case 't': out += '\t'; ++i; break;
        case '\\': out += '\\'; ++i; break;
        case '0': ++i; break;
        case 'x': {
            int hi = i + 2 < in.size() ? hexValue(in[i + 2]) : -1;
            int lo = i + 3 < in.size() ? hexValue(in[i + 3]) : -1;
            if (hi < 0 || lo < 0) {
                out += ch;
                break;
            }
            char byte = static_cast<char>(hi * 16 + lo);
            if (byte != '\0') out += byte;
            i += 3;
            break;
        }
        default:
            out += ch;
            break;
        }
    }
    return out;
}

// Reply escaping: keeps a reply on one line and 7-bit clean.
inline std::string escape(const std::string& in) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    for (char ch : in) {
        auto b = static_cast<unsigned char>(ch);
        switch (ch) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (b < 0x20 || b >= 0x7F) {
                out += "\\x";
                out += digits[b >> 4];
                out += digits[b & 15];
            } else {
                out += ch;
            }
        }
    }
    return out;
}

inline std::wstring fromAnsi(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

inline std::string toAnsi(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// Splits on CR LF, CR or LF. A single trailing line break does not start an
// extra empty line, so "hi\r\n" is one line.
template <class Str>
std::vector<Str> splitLines(const Str& text) {
    using Ch = typename Str::value_type;
    std::vector<Str> lines;
    Str cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        Ch ch = text[i];
        if (ch == Ch('\r') || ch == Ch('\n')) {
            if (ch == Ch('\r') && i + 1 < text.size() && text[i + 1] == Ch('\n')) ++i;
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty() || lines.empty()) lines.push_back(cur);
    return lines;
}

// "<speaker> says:" then each line indented by two spaces, all CR LF ended.
template <class Str>
Str formatMessage(const Str& speaker, const std::vector<Str>& lines) {
    using Ch = typename Str::value_type;
    const Ch says[] = {' ', 's', 'a', 'y', 's', ':', '\r', '\n', 0};
    const Ch indent[] = {' ', ' ', 0};
    const Ch eol[] = {'\r', '\n', 0};
    Str out = speaker;
    out += says;
    for (const Str& l : lines) {
        out += indent;
        out += l;
        out += eol;
    }
    return out;
}

inline bool parseUnsigned(const std::string& s, unsigned& value) {
    if (s.empty() || s.size() > 9) return false;
    unsigned v = 0;
    for (char ch : s) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + static_cast<unsigned>(ch - '0');
    }
    value = v;
    return true;
}

// Chat-like filler from the other party, at least `bytes` long.
inline std::string fillerText(const std::string& speaker, std::size_t bytes) {
    static const char* const phrases[] = {
        "did you see the game last night?",
        "I will send you the report tomorrow morning.",
        "the quick brown fox jumps over the lazy dog",
        "can we move the meeting to three o'clock?",
        "ok, sounds good to me :)",
        "lunch at the usual place?",
        "sorry, I was away from my desk for a bit.",
    };
    constexpr std::size_t phraseCount = sizeof phrases / sizeof phrases[0];
    std::string out;
    out.reserve(bytes + 256);
    for (std::size_t n = 0; out.size() < bytes; ++n) {
        out += speaker;
        out += " says:\r\n  [";
        out += std::to_string(n + 1);
        out += "] ";
        out += phrases[n % phraseCount];
        out += "\r\n";
    }
    return out;
}

}  // namespace textutil
