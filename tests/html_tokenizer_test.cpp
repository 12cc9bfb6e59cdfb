// Tokenizer cases beyond the html5lib suite: the pull interface, input ends, NULs, UTF-16,
// huge tags, and random input.
#include "bot/html_tokenizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>

#include "bot/html_entities.h"

namespace quorvanel::html {
namespace {

// Compact text for one token: "<a x=1 y=2/>" start tag, "</a>" end tag, "#data" comment,
// "!name|public|system|quirks" DOCTYPE (~ for a missing part), anything else character data.
std::wstring Show(const Token& t) {
    switch (t.type) {
        case TokenType::StartTag: {
            std::wstring s = L"<" + t.name;
            for (const Attribute& a : t.attributes) s += L" " + a.name + L"=" + a.value;
            return s + (t.selfClosing ? L"/>" : L">");
        }
        case TokenType::EndTag:
            return L"</" + t.name + L">";
        case TokenType::Comment:
            return L"#" + t.data;
        case TokenType::Doctype: {
            const auto part = [](const std::optional<std::wstring>& p) { return p ? *p : L"~"; };
            return L"!" + part(t.doctypeName) + L"|" + part(t.publicId) + L"|" + part(t.systemId) +
                   (t.forceQuirks ? L"|quirks" : L"");
        }
        case TokenType::Character:
            return t.data;
        case TokenType::EndOfFile:
            return L"EOF";
    }
    return L"?";
}

std::vector<std::wstring> Tokens(std::wstring_view input,
                                 TokenizerState state = TokenizerState::Data) {
    Tokenizer tokenizer(input);
    tokenizer.SetState(state);
    std::vector<std::wstring> out;
    for (const Token* t = &tokenizer.Next(); t->type != TokenType::EndOfFile;
         t = &tokenizer.Next()) {
        out.push_back(Show(*t));
    }
    return out;
}

using V = std::vector<std::wstring>;

TEST(HtmlTokenizer, TextBetweenTagsComesOutAsOneTokenBeforeTheTag) {
    EXPECT_EQ(Tokens(L"a&amp;b\r\nc<b>d</b>"), (V{L"a&b\nc", L"<b>", L"d", L"</b>"}));
    EXPECT_EQ(Tokens(L""), V{});
    EXPECT_EQ(Tokens(L"plain"), V{L"plain"});
}

TEST(HtmlTokenizer, KeepsReturningEndOfFile) {
    Tokenizer tokenizer(L"<p>x");
    EXPECT_EQ(Show(tokenizer.Next()), L"<p>");
    EXPECT_EQ(Show(tokenizer.Next()), L"x");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(tokenizer.Next().type, TokenType::EndOfFile);
}

TEST(HtmlTokenizer, StateSetAfterAStartTagAppliesToWhatFollowsIt) {
    // The tag is handed out before the tokenizer reads past its '>', even behind pending text.
    Tokenizer tokenizer(L"a<script>if (b<c) x='</p>';</script><i>");
    EXPECT_EQ(Show(tokenizer.Next()), L"a");
    EXPECT_EQ(Show(tokenizer.Next()), L"<script>");
    tokenizer.SetState(TokenizerState::ScriptData);
    EXPECT_EQ(Show(tokenizer.Next()), L"if (b<c) x='</p>';");
    EXPECT_EQ(Show(tokenizer.Next()), L"</script>");
    EXPECT_EQ(Show(tokenizer.Next()), L"<i>");

    // Without the switch the same text is markup.
    EXPECT_EQ(Tokens(L"<script>x='</p>'</script>"),
              (V{L"<script>", L"x='", L"</p>", L"'", L"</script>"}));
}

TEST(HtmlTokenizer, OnlyTheLastStartTagClosesRawText) {
    Tokenizer tokenizer(L"a</b></TEXTAREA >c");
    tokenizer.SetState(TokenizerState::Rcdata);
    tokenizer.SetLastStartTag(L"textarea");
    EXPECT_EQ(Show(tokenizer.Next()), L"a</b>");
    EXPECT_EQ(Show(tokenizer.Next()), L"</textarea>");
    EXPECT_EQ(Show(tokenizer.Next()), L"c");

    // With no start tag seen, no end tag is appropriate.
    EXPECT_EQ(Tokens(L"x</style>", TokenizerState::Rawtext), V{L"x</style>"});
}

TEST(HtmlTokenizer, CdataIsASectionOnlyInForeignContent) {
    EXPECT_EQ(Tokens(L"<![CDATA[a<b]]>c"), (V{L"#[CDATA[a<b]]", L"c"}));
    Tokenizer tokenizer(L"<![CDATA[a<b]]]>c");
    tokenizer.SetCdataAllowed(true);
    EXPECT_EQ(Show(tokenizer.Next()), L"a<b]c");
}

TEST(HtmlTokenizer, EndOfInputInsideAConstruct) {
    EXPECT_EQ(Tokens(L"x<div class=\"a"), V{L"x"});  // an unfinished tag is dropped
    EXPECT_EQ(Tokens(L"x<div"), V{L"x"});
    EXPECT_EQ(Tokens(L"x<div a=b/"), V{L"x"});
    EXPECT_EQ(Tokens(L"x</div"), V{L"x"});
    EXPECT_EQ(Tokens(L"x<"), V{L"x<"});
    EXPECT_EQ(Tokens(L"x</"), V{L"x</"});
    EXPECT_EQ(Tokens(L"x<!-- never closed"), (V{L"x", L"# never closed"}));
    EXPECT_EQ(Tokens(L"<!--a--"), V{L"#a"});
    EXPECT_EQ(Tokens(L"<!--a--!"), V{L"#a"});
    EXPECT_EQ(Tokens(L"<!-"), V{L"#-"});
    EXPECT_EQ(Tokens(L"<?xml"), V{L"#?xml"});
    EXPECT_EQ(Tokens(L"<!DOCTYPE html PUBLIC \"-//W3C"), V{L"!html|-//W3C|~|quirks"});
    EXPECT_EQ(Tokens(L"<!DOCTYPE"), V{L"!~|~|~|quirks"});
    EXPECT_EQ(Tokens(L"&"), V{L"&"});
    EXPECT_EQ(Tokens(L"&#"), V{L"&#"});
    EXPECT_EQ(Tokens(L"&#x"), V{L"&#x"});
    EXPECT_EQ(Tokens(L"&#x41"), V{L"A"});
    EXPECT_EQ(Tokens(L"&am"), V{L"&am"});
    EXPECT_EQ(Tokens(L"<!--<script>x", TokenizerState::ScriptData), V{L"<!--<script>x"});
    EXPECT_EQ(Tokens(L"]]", TokenizerState::CdataSection), V{L"]]"});
}

TEST(HtmlTokenizer, NulIsKeptInDataAndReplacedElsewhere) {
    using namespace std::string_literals;
    EXPECT_EQ(Tokens(L"a\0b"s), V{L"a\0b"s});
    for (TokenizerState s : {TokenizerState::Rcdata, TokenizerState::Rawtext,
                             TokenizerState::ScriptData, TokenizerState::Plaintext}) {
        EXPECT_EQ(Tokens(L"a\0b"s, s), V{L"a\uFFFDb"}) << static_cast<int>(s);
    }
    EXPECT_EQ(Tokens(L"a\0b"s, TokenizerState::CdataSection), V{L"a\0b"s});
    EXPECT_EQ(Tokens(L"<a\0 b\0=\0>"s), V{L"<a\uFFFD b\uFFFD=\uFFFD>"});
    EXPECT_EQ(Tokens(L"<a b='\0' c=\"\0\">"s), V{L"<a b=\uFFFD c=\uFFFD>"});
    EXPECT_EQ(Tokens(L"<!--\0--><?\0><!DOCTYPE \0>"s),
              (V{L"#\uFFFD", L"#?\uFFFD", L"!\uFFFD|~|~"}));
    EXPECT_EQ(Tokens(L"&#0;&#x0;"s), V{L"\uFFFD\uFFFD"});
}

TEST(HtmlTokenizer, CarriageReturnsBecomeLineFeedsEverywhere) {
    EXPECT_EQ(Tokens(L"a\r\nb\rc\r\r\nd\n\re"), V{L"a\nb\nc\n\nd\n\ne"});
    EXPECT_EQ(Tokens(L"<a\r\nb='1\r\n2'\rc=3\r>"), V{L"<a b=1\n2 c=3>"});
    EXPECT_EQ(Tokens(L"<!--\r\n-->"), V{L"#\n"});
    EXPECT_EQ(Tokens(L"x\r", TokenizerState::Rawtext), V{L"x\n"});
    // A numeric reference asks for the character itself.
    EXPECT_EQ(Tokens(L"&#13;&#x0D;"), V{L"\r\r"});
}

TEST(HtmlTokenizer, CharacterReferences) {
    // The longest listed name wins; what follows it stays text.
    EXPECT_EQ(Tokens(L"&notin;&notit;&not;&noti"), V{L"\u2209\u00ACit;\u00AC\u00ACi"});
    EXPECT_EQ(Tokens(L"&amp;&AMP&ampx&zzz;&"), V{L"&&&x&zzz;&"});
    // Two-character references.
    EXPECT_EQ(Tokens(L"&NotEqualTilde;&fjlig;"), V{L"\u2242\u0338fj"});
    // In an attribute a legacy name followed by '=' or a letter is left as written.
    EXPECT_EQ(Tokens(L"<a href=\"?x=1&copy=2&copyz&copy;&copy-\">"),
              V{L"<a href=?x=1&copy=2&copyz\u00A9\u00A9->"});
    // Numbers: windows-1252 for the C1 range, U+FFFD for the impossible, no overflow.
    EXPECT_EQ(Tokens(L"&#128;&#x9f;&#x81;&#65;&#X61;"), V{L"\u20AC\u0178\u0081Aa"});
    EXPECT_EQ(Tokens(L"&#xD800;&#xDFFF;&#x110000;&#99999999999999999999999;&#x7FFFFFFFFFFFFFFF;"),
              V{L"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"});
    EXPECT_EQ(Tokens(L"&#x10FFFF;&#128512;"), V{L"\U0010FFFF\U0001F600"});
    // References are decoded in RCDATA but not in raw text.
    EXPECT_EQ(Tokens(L"&lt;", TokenizerState::Rcdata), V{L"<"});
    EXPECT_EQ(Tokens(L"&lt;", TokenizerState::Rawtext), V{L"&lt;"});
}

TEST(HtmlTokenizer, FindsAttributesByName) {
    Tokenizer tokenizer(L"<input NAME=a value='' name=b>");
    const Token& t = tokenizer.Next();
    ASSERT_NE(t.Find(L"name"), nullptr);
    EXPECT_EQ(*t.Find(L"name"), L"a");
    ASSERT_NE(t.Find(L"value"), nullptr);
    EXPECT_EQ(*t.Find(L"value"), L"");
    EXPECT_EQ(t.Find(L"type"), nullptr);
    EXPECT_EQ(t.attributes.size(), 2u);
}

TEST(HtmlTokenizer, EndTagsCarryOnlyTheirName) {
    Tokenizer tokenizer(L"</div class=x/>");
    const Token& t = tokenizer.Next();
    EXPECT_EQ(t.type, TokenType::EndTag);
    EXPECT_EQ(t.name, L"div");
    EXPECT_TRUE(t.attributes.empty());
    EXPECT_FALSE(t.selfClosing);
}

TEST(HtmlTokenizer, ManyAttributesStayInOrderWithTheFirstOfEachNameKept) {
    // Enough to cross from the linear duplicate check to the hashed one, and to show up
    // badly if the check were quadratic.
    constexpr int kCount = 100000;
    std::wstring tag = L"<x";
    for (int i = 0; i < kCount; ++i) tag += L" a" + std::to_wstring(i) + L"=" + std::to_wstring(i);
    for (int i = 0; i < kCount; i += 7) tag += L" A" + std::to_wstring(i) + L"=dup";
    tag += L" a0 late=1>";
    const auto start = std::chrono::steady_clock::now();
    Tokenizer tokenizer(tag);
    const Token& t = tokenizer.Next();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(t.type, TokenType::StartTag);
    ASSERT_EQ(t.attributes.size(), static_cast<std::size_t>(kCount + 1));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(t.attributes[i].name, L"a" + std::to_wstring(i));
        ASSERT_EQ(t.attributes[i].value, std::to_wstring(i));
    }
    EXPECT_EQ(t.attributes.back().name, L"late");
    EXPECT_LT(elapsed, std::chrono::seconds(5));

    // Around the switch-over point, duplicates are found both ways.
    for (int n : {31, 32, 33, 34, 80}) {
        std::wstring small = L"<x";
        for (int i = 0; i < n; ++i) small += L" n" + std::to_wstring(i);
        small += L" n0=again n" + std::to_wstring(n - 1) + L"=again z>";
        Tokenizer again(small);
        const Token& s = again.Next();
        ASSERT_EQ(s.attributes.size(), static_cast<std::size_t>(n + 1)) << n;
        EXPECT_EQ(s.attributes.back().name, L"z") << n;
        EXPECT_EQ(s.Find(L"n0")->size(), 0u) << n;
    }
}

TEST(HtmlTokenizer, ReadsUtf16SurrogatePairsAsOneCharacter) {
    // U+1D504 is a surrogate pair where wchar_t is 16 bits, one unit where it is 32.
    EXPECT_EQ(Tokens(L"<p title=\"\U0001D504\">\U0001D504&Afr;&#x1D504;</p>"),
              (V{L"<p title=\U0001D504>", L"\U0001D504\U0001D504\U0001D504", L"</p>"}));
    EXPECT_EQ(Tokens(L"<\U0001D504>"), V{L"<\U0001D504>"});  // not a letter: text
    EXPECT_EQ(Tokens(L"<a\U0001D504 \U0001D504=\U0001D504>"),
              V{L"<a\U0001D504 \U0001D504=\U0001D504>"});
    EXPECT_EQ(Tokens(L"<!--\U0001D504-->"), V{L"#\U0001D504"});
}

TEST(HtmlTokenizer, KeepsLoneSurrogatesAndReplacesImpossibleUnits) {
    const std::wstring lone = {
        L'a', static_cast<wchar_t>(0xD800), L'<', L'b',
        L' ', static_cast<wchar_t>(0xDC00), L'=', static_cast<wchar_t>(0xDBFF),
        L'>', static_cast<wchar_t>(0xDFFF)};
    const std::wstring high(1, static_cast<wchar_t>(0xD800));
    const std::wstring low(1, static_cast<wchar_t>(0xDC00));
    EXPECT_EQ(
        Tokens(lone),
        (V{L"a" + high, L"<b " + low + L"=" + std::wstring(1, static_cast<wchar_t>(0xDBFF)) + L">",
           std::wstring(1, static_cast<wchar_t>(0xDFFF))}));
    EXPECT_EQ(Tokens(high + L"&amp;"), V{high + L"&"});
    if constexpr (sizeof(wchar_t) == 4) {
        // Not a code point at all: read as U+FFFD, in bulk text and everywhere else.
        const std::wstring bad = {L'x', static_cast<wchar_t>(0x110000), L'<',
                                  L'a', static_cast<wchar_t>(-1),       L'>'};
        EXPECT_EQ(Tokens(bad), (V{L"x\uFFFD", L"<a\uFFFD>"}));
    }
}

TEST(HtmlEntities, TableIsSortedWithoutRepeats) {
    const auto refs = NamedReferences();
    ASSERT_EQ(refs.size(), 2231u);
    for (std::size_t i = 1; i < refs.size(); ++i) ASSERT_LT(refs[i - 1].name, refs[i].name) << i;
}

TEST(HtmlEntities, LongestNameIsMatched) {
    const auto match = [](std::wstring_view text) -> std::string {
        const NamedReference* r = LongestNamedReference(text);
        return r ? std::string(r->name) : "none";
    };
    EXPECT_EQ(match(L"notin;x"), "notin;");
    EXPECT_EQ(match(L"notinx"), "not");
    EXPECT_EQ(match(L"not"), "not");
    EXPECT_EQ(match(L"no"), "none");
    EXPECT_EQ(match(L""), "none");
    EXPECT_EQ(match(L"AMP;"), "AMP;");
    EXPECT_EQ(match(L"amp\u00E9"), "amp");
    EXPECT_EQ(match(std::wstring_view(L"amp\0;", 5)), "amp");
    // Every name is found by itself, also with more text after it.
    for (const NamedReference& r : NamedReferences()) {
        const std::wstring name(r.name.begin(), r.name.end());
        ASSERT_EQ(LongestNamedReference(name), &r) << r.name;
        ASSERT_EQ(LongestNamedReference(name + L"#"), &r) << r.name;
    }
}

// Random markup-heavy input in every starting state: always ends, never two character tokens
// in a row, never an empty one, and at most one token per input unit.
TEST(HtmlTokenizer, RandomInputAlwaysEndsCleanly) {
    const std::wstring pieces[] = {
        L"<",
        L">",
        L"/",
        L"!",
        L"?",
        L"-",
        L"--",
        L"=",
        L"\"",
        L"'",
        L"&",
        L"#",
        L"x",
        L";",
        L"a",
        L"Z",
        L"9",
        L" ",
        L"\r",
        L"\n",
        L"]]",
        L"[CDATA[",
        L"DOCTYPE",
        L"PUBLIC",
        L"script",
        L"amp",
        L"not",
        L"\u00A0",
        L"\U0001F600",
        std::wstring(1, static_cast<wchar_t>(0xD800)),
        std::wstring(1, static_cast<wchar_t>(0xDC00)),
        std::wstring(1, L'\0'),
    };
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 60);
    const TokenizerState states[] = {TokenizerState::Data,      TokenizerState::Rcdata,
                                     TokenizerState::Rawtext,   TokenizerState::ScriptData,
                                     TokenizerState::Plaintext, TokenizerState::CdataSection};
    for (int round = 0; round < 3000; ++round) {
        std::wstring input;
        for (int n = length(random); n > 0; --n) input += pieces[pick(random)];
        for (TokenizerState state : states) {
            Tokenizer tokenizer(input);
            tokenizer.SetState(state);
            tokenizer.SetLastStartTag(L"script");
            std::size_t count = 0;
            bool lastWasText = false;
            for (const Token* t = &tokenizer.Next(); t->type != TokenType::EndOfFile;
                 t = &tokenizer.Next()) {
                ASSERT_LE(++count, input.size()) << "runaway on round " << round;
                const bool text = t->type == TokenType::Character;
                ASSERT_FALSE(text && t->data.empty());
                ASSERT_FALSE(text && lastWasText);
                lastWasText = text;
            }
            ASSERT_EQ(tokenizer.Next().type, TokenType::EndOfFile);
        }
    }
}

}  // namespace
}  // namespace quorvanel::html
