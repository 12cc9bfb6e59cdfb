// Text rules of the bot: UTF-8 helpers, the code pages that meet the wire, and the normalisation
// that turns what people type into the upper-case words the patterns are written in.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qvbot {

// One code point per entry. Each broken sequence, as long as it could still have become a
// character, is one U+FFFD (as browsers decode UTF-8).
std::u32string DecodeUtf8(std::string_view text);
// A surrogate or a value past U+10FFFF, which UTF-8 cannot hold, is written as U+FFFD.
void AppendUtf8(std::string& out, char32_t code);
bool IsValidUtf8(std::string_view text);

// The programs' wide text: UTF-16 where wchar_t has 16 bits (Windows), UTF-32 where it has 32.
// A lone surrogate becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// At most `limit` code points of a UTF-8 text, never cutting one in half.
std::string CutUtf8(std::string_view text, std::size_t limit);

std::string Latin1ToUtf8(std::string_view bytes);
std::string Windows1252ToUtf8(std::string_view bytes);
// Text from a client: UTF-8 when it is valid UTF-8, otherwise Windows-1252 bytes.
std::string ClientTextToUtf8(std::string_view bytes);
// For a page declared ISO-8859-1 and read by a Windows-1252 client: what those bytes hold stays
// raw, anything else becomes a numeric character reference. `text` must already be HTML.
std::string Utf8ToWindows1252Html(std::string_view text);

// Upper and lower case by Unicode's simple mappings (one character to one: \u00DF stays).
std::string Upper(std::string_view text);
std::string Lower(std::string_view text);
// Each word's first letter upper case, the rest lower case.
std::string Formal(std::string_view text);
// The first letter upper case, the rest as it is.
std::string SentenceCase(std::string_view text);

// Single blanks between words, none at the ends.
std::string CollapseSpace(std::string_view text);
std::vector<std::string> SplitWords(std::string_view text);
std::string JoinWords(const std::vector<std::string>& words, std::size_t from = 0,
                      std::size_t to = std::string::npos);

// Whole-word replacements, looked up in upper case ("WHAT'S" -> "what is").
using Substitutions = std::map<std::string, std::string, std::less<>>;
const Substitutions& InputSubstitutions();
const Substitutions& PersonSubstitutions();   // first and third person swapped
const Substitutions& Person2Substitutions();  // first and second person swapped
const Substitutions& GenderSubstitutions();   // male and female swapped
std::string Substitute(std::string_view text, const Substitutions& table);

// Reads a substitution file as AIML sets ship them: one `"find","replace"` pair a line (blank
// lines and lines starting with # ignored). A line in another form is reported as
// "name:line: what is wrong" and skipped.
Substitutions ReadSubstitutions(std::string_view name, std::string_view text,
                                std::vector<std::string>& errors);

// Capitals at the start of the text and of every sentence in it, the rest as it is. A sentence
// ends in a full stop, as AIML 1.0.1 defines it.
std::string EachSentenceCase(std::string_view text);

// One sentence of input: its words as typed (punctuation gone) and the same in upper case.
struct Sentence {
    std::vector<std::string> words;
    std::vector<std::string> keys;
};
// Substitutions, then a split at . ! ? followed by a blank or the end, then punctuation removed.
// Sentences without words are left out.
std::vector<Sentence> Normalise(std::string_view text, const Substitutions& normal = InputSubstitutions());
// The words of a pattern: upper case, punctuation gone, `*` and `_` kept as words.
std::vector<std::string> PatternWords(std::string_view text);

}  // namespace qvbot
