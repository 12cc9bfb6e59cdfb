#include "qvbot/text.h"

#include <algorithm>
#include <cstdint>

#include <array>

namespace qvbot {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one code point at `i` and moves past it. A broken sequence gives one U+FFFD for its
// longest start that could still have become a character, and the byte that broke it is read
// afresh, as browsers do, so one stray byte never swallows the character after it.
char32_t NextCode(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i++]);
    if (b0 < 0x80) return b0;
    int needed = 0;
    char32_t code = 0;
    // The second byte's bounds shut out overlong forms, surrogates and what lies past U+10FFFF.
    unsigned char lower = 0x80, upper = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        needed = 1;
        code = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        needed = 2;
        code = b0 & 0x0F;
        if (b0 == 0xE0) lower = 0xA0;
        if (b0 == 0xED) upper = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        needed = 3;
        code = b0 & 0x07;
        if (b0 == 0xF0) lower = 0x90;
        if (b0 == 0xF4) upper = 0x8F;
    } else {
        return kReplacement;
    }
    for (; needed > 0; --needed, ++i) {
        if (i >= text.size()) return kReplacement;
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < lower || b > upper) return kReplacement;
        code = (code << 6) | (b & 0x3F);
        lower = 0x80;
        upper = 0xBF;
    }
    return code;
}

bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0; }
bool IsSentenceEnd(char32_t c) { return c == '.' || c == '!' || c == '?' || c == 0x2026; }
bool IsApostrophe(char32_t c) { return c == '\'' || c == 0x2019 || c == 0x2018; }
// Letters and digits of every script count as word characters; punctuation of ASCII and the
// common typographic marks does not.
bool IsWordChar(char32_t c) {
    if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
    if (c == 0xD7 || c == 0xF7) return false;
    if (c >= 0x2000 && c <= 0x206F) return false;  // general punctuation
    return c != kReplacement;
}

struct CaseRun {
    char32_t first, last;
    std::int32_t delta;
    std::uint32_t stride;
};
#include "case_table.inc"

// Unicode's simple case mapping: a code point to one code point, so the text keeps its shape.
template <std::size_t N>
char32_t MapCase(const CaseRun (&runs)[N], char32_t c) {
    if (c < 0x80) return c;  // the caller has done ASCII
    const CaseRun* end = runs + N;
    const CaseRun* run = std::upper_bound(runs, end, c, [](char32_t code, const CaseRun& r) { return code < r.first; });
    if (run == runs) return c;
    --run;
    if (c > run->last || (c - run->first) % run->stride != 0) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + run->delta);
}

char32_t UpperCode(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    return MapCase(kUpperRuns, c);
}
char32_t LowerCode(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    return MapCase(kLowerRuns, c);
}

template <typename Map>
std::string MapCodes(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : DecodeUtf8(text)) AppendUtf8(out, map(c));
    return out;
}

// Punctuation removed from one piece of text: apostrophes vanish ("don't" is one word), every
// other mark separates words.
std::string CleanWords(const std::u32string& codes) {
    std::string out;
    for (const char32_t c : codes) {
        if (IsApostrophe(c)) continue;
        if (IsWordChar(c)) {
            AppendUtf8(out, c);
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    return out;
}

}  // namespace

std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) out += NextCode(text, i);
    return out;
}

void AppendUtf8(std::string& out, char32_t code) {
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = kReplacement;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::wstring WideFromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = NextCode(text, i);
        if constexpr (sizeof(wchar_t) == 2) {
            if (code >= 0x10000) {
                code -= 0x10000;
                out += static_cast<wchar_t>(0xD800 + (code >> 10));
                code = 0xDC00 + (code & 0x3FF);
            }
        }
        out += static_cast<wchar_t>(code);
    }
    return out;
}

std::string Utf8FromWide(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto code = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
            }
        }
        AppendUtf8(out, code);
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        if (NextCode(text, i) == kReplacement && text.substr(at, 3) != "\xEF\xBF\xBD") return false;
    }
    return true;
}

std::string CutUtf8(std::string_view text, std::size_t limit) {
    std::size_t i = 0;
    for (std::size_t count = 0; i < text.size() && count < limit; ++count) NextCode(text, i);
    return std::string(text.substr(0, i));
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b >= 0x80 && b <= 0x9F ? kWindows1252High[b - 0x80] : b);
    }
    return out;
}

std::string ClientTextToUtf8(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

std::string Utf8ToWindows1252Html(std::string_view text) {
    std::string out;
    for (const char32_t c : DecodeUtf8(text)) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        bool done = false;
        for (std::size_t k = 0; k < kWindows1252High.size() && !done; ++k) {
            if (kWindows1252High[k] == c && (c < 0x80 || c > 0x9F)) {
                out += static_cast<char>(0x80 + k);
                done = true;
            }
        }
        if (!done) out += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
    }
    return out;
}

std::string Upper(std::string_view text) { return MapCodes(text, UpperCode); }
std::string Lower(std::string_view text) { return MapCodes(text, LowerCode); }

std::string Formal(std::string_view text) {
    bool start = true;
    return MapCodes(text, [&start](char32_t c) {
        const char32_t mapped = start ? UpperCode(c) : LowerCode(c);
        start = IsSpace(c);
        return mapped;
    });
}

std::string SentenceCase(std::string_view text) {
    bool done = false;
    return MapCodes(text, [&done](char32_t c) {
        if (done || IsSpace(c)) return c;
        done = true;
        return UpperCode(c);
    });
}

std::string CollapseSpace(std::string_view text) {
    return JoinWords(SplitWords(text));
}

std::vector<std::string> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        if (IsSpace(NextCode(text, i))) {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word.append(text.substr(at, i - at));
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::string JoinWords(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < words.size() && i < to; ++i) {
        if (!out.empty()) out += ' ';
        out += words[i];
    }
    return out;
}

std::string Substitute(std::string_view text, const Substitutions& table) {
    const std::vector<std::string> tokens = SplitWords(text);
    std::vector<std::string> out;
    // The replacement takes the case of the word it replaces: "Don't" gives "Do not".
    const auto replace = [&](std::string_view original, const std::string& with,
                             std::string_view tail) {
        const std::u32string codes = DecodeUtf8(original);
        // "I" is upper case wherever it stands, so it passes no capital on.
        const bool capital = codes.size() > 1 && UpperCode(codes[0]) == codes[0] &&
                             LowerCode(codes[0]) != codes[0];
        out.push_back((capital ? SentenceCase(with) : with) + std::string(tail));
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        // Trailing punctuation stays behind the replacement: "don't?" gives "do not?".
        std::size_t end = token.size();
        while (end > 0 && std::string_view(".,!?;:").find(token[end - 1]) != std::string::npos) {
            --end;
        }
        const std::string_view bare = std::string_view(token).substr(0, end);
        if (i + 1 < tokens.size()) {
            const std::string& next = tokens[i + 1];
            std::size_t next_end = next.size();
            while (next_end > 0 &&
                   std::string_view(".,!?;:").find(next[next_end - 1]) != std::string::npos) {
                --next_end;
            }
            const auto pair = table.find(Upper(token + " " + next.substr(0, next_end)));
            if (pair != table.end()) {
                replace(token, pair->second, std::string_view(next).substr(next_end));
                ++i;
                continue;
            }
        }
        if (const auto whole = table.find(Upper(token)); whole != table.end()) {
            replace(token, whole->second, "");
        } else if (const auto part = table.find(Upper(bare)); !bare.empty() && part != table.end()) {
            replace(token, part->second, std::string_view(token).substr(end));
        } else {
            out.push_back(token);
        }
    }
    return JoinWords(out);
}

Substitutions ReadSubstitutions(std::string_view name, std::string_view text,
                                std::vector<std::string>& errors) {
    Substitutions table;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') continue;
        // "find","replace": the find part may hold blanks and punctuation, never a quote.
        const std::size_t middle = line.find("\",\"");
        if (line.size() < 5 || line.front() != '"' || line.back() != '"' || middle == std::string_view::npos) {
            errors.push_back(std::string(name) + ":" + std::to_string(number) + ": expected \"find\",\"replace\"");
            continue;
        }
        const std::string find = CollapseSpace(line.substr(1, middle - 1));
        if (find.empty()) continue;
        table[Upper(find)] = CollapseSpace(line.substr(middle + 3, line.size() - middle - 4));
    }
    return table;
}

std::string EachSentenceCase(std::string_view text) {
    bool start = true;
    return MapCodes(text, [&start](char32_t c) {
        if (c == U'.') {
            start = true;
            return c;
        }
        if (!start || IsSpace(c)) return c;
        start = false;
        return UpperCode(c);
    });
}

std::vector<Sentence> Normalise(std::string_view text, const Substitutions& normal) {
    const std::u32string codes = DecodeUtf8(Substitute(text, normal));
    std::vector<Sentence> sentences;
    std::u32string current;
    const auto finish = [&] {
        Sentence sentence;
        sentence.words = SplitWords(CleanWords(current));
        for (const auto& word : sentence.words) sentence.keys.push_back(Upper(word));
        if (!sentence.words.empty()) sentences.push_back(std::move(sentence));
        current.clear();
    };
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const char32_t c = codes[i];
        const bool ends = IsSentenceEnd(c) && (i + 1 == codes.size() || IsSpace(codes[i + 1]) ||
                                               IsSentenceEnd(codes[i + 1]));
        if (ends) {
            finish();
        } else {
            current += c;
        }
    }
    finish();
    return sentences;
}

std::vector<std::string> PatternWords(std::string_view text) {
    std::vector<std::string> out;
    for (const std::string& word : SplitWords(text)) {
        if (word == "*" || word == "_") {
            out.push_back(word);
            continue;
        }
        for (const std::string& part : SplitWords(CleanWords(DecodeUtf8(word)))) {
            out.push_back(Upper(part));
        }
    }
    return out;
}

}  // namespace qvbot
