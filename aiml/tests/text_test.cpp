// Normalisation and the code pages that meet the wire.
#include <gtest/gtest.h>

#include "qvbot/text.h"

namespace qvbot {
namespace {

std::string Shown(const std::vector<Sentence>& sentences) {
    std::string out;
    for (const auto& s : sentences) {
        out.append("[").append(JoinWords(s.keys)).append("|").append(JoinWords(s.words)).append("]");
    }
    return out;
}

TEST(Normalise, SubstitutesSplitsAndStripsPunctuation) {
    const struct {
        const char* input;
        const char* sentences;
    } cases[] = {
        {"hi. I'm Ann! how are you?", "[HI|hi][I AM ANN|I am Ann][HOW ARE YOU|how are you]"},
        {"Mr. Smith is here", "[MR SMITH IS HERE|Mr Smith is here]"},
        {"pi is 3.14", "[PI IS 3 14|pi is 3 14]"},
        {"... ?! .", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Shown(Normalise(c.input)), c.sentences) << c.input;
}

TEST(Text, CasesCutsClientBytesAndPageBytes) {
    const struct {
        std::string got, expected;
    } cases[] = {
        {Lower("\xC3\x89T\xC3\x89 ABC"), "\xC3\xA9t\xC3\xA9 abc"},
        // Beyond Latin-1: Cyrillic, Greek (final sigma too), Latin Extended; ß has no capital.
        {Upper("\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82 \xC4\x85\xC5\xBC \xC3\xBF \xC3\x9F"),
         "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2 \xCE\x9B\xCE\x8C\xCE\x93\xCE\x9F\xCE\xA3 \xC4\x84\xC5\xBB \xC5\xB8 \xC3\x9F"},
        {Lower("\xD0\x9F\xD0\xA0\xD0\x98 \xC5\xB8"), "\xD0\xBF\xD1\x80\xD0\xB8 \xC3\xBF"},
        {Formal("the QUICK  fox"), "The Quick  Fox"},
        {SentenceCase("  hello World"), "  Hello World"},
        {CutUtf8("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9"},
        {CutUtf8("ab", 5), "ab"},
        // Windows-1252 bytes from the client, and UTF-8 from a client that sends it.
        {ClientTextToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC"},
        {ClientTextToUtf8("caf\xC3\xA9"), "caf\xC3\xA9"},
        {ClientTextToUtf8("\xC3("), "\xC3\x83("},
        // To the page: Windows-1252 bytes where they exist, references for the rest.
        {Utf8ToWindows1252Html("caf\xC3\xA9 \xE2\x82\xAC \xE2\x98\x83"), "caf\xE9 \x80 &#9731;"},
        {Utf8ToWindows1252Html("\xC2\x81"), "&#129;"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

// Broken sequences give one U+FFFD each for as much as could still have become a character;
// the byte that broke one is read afresh. Wide text is UTF-16 under Windows, UTF-32 elsewhere.
TEST(Utf8, BrokenSequencesAndWideText) {
    const std::pair<const char*, const wchar_t*> cases[] = {
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", L"caf\u00E9 \U0001F600"},
        {"\xE2\x82", L"\uFFFD"},                                    // cut short at the end
        {"\xF0\x9F\x98x\xE2(\xE2\x82\xAC", L"\uFFFDx\uFFFD(\u20AC"},  // cut short before more
        {"\xC0\xAF\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong
        {"\xF0\x8F\xBF\xBF", L"\uFFFD\uFFFD\uFFFD\uFFFD"},            // overlong, 4 bytes
        {"\xED\xA0\x80\xED\x9F\xBF", L"\uFFFD\uFFFD\uFFFD\uD7FF"},   // a surrogate
        {"\xF4\x90\x80\x80\xF4\x8F\xBF\xBF\xF5", L"\uFFFD\uFFFD\uFFFD\uFFFD\U0010FFFF\uFFFD"},
        {"\x80\xBF" "a", L"\uFFFD\uFFFDa"},                         // lone continuation bytes
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(WideFromUtf8(bytes), text) << bytes;
    EXPECT_EQ(Utf8FromWide(L"a\U0001F600"), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8FromWide(std::wstring{L'a', wchar_t(0xDC00), wchar_t(0xD800)}),
              "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qvbot
