#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quorvanel::html {

// The states a tokenizer can be put in from outside: what a tree builder switches to after
// a start tag, and what a fragment parser starts in.
enum class TokenizerState : std::uint8_t {
    Data,
    Rcdata,
    Rawtext,
    ScriptData,
    Plaintext,
    CdataSection
};

enum class TokenType : std::uint8_t { Doctype, StartTag, EndTag, Comment, Character, EndOfFile };

struct Attribute {
    std::wstring name;  // ASCII letters lower-cased
    std::wstring value;
};

struct Token {
    TokenType type = TokenType::EndOfFile;
    std::wstring name;                  // tag name, ASCII letters lower-cased
    std::wstring data;                  // comment text or character data
    std::vector<Attribute> attributes;  // in source order, later duplicates dropped (start tags)
    bool selfClosing = false;
    // DOCTYPE only; a missing name or identifier is nullopt, not empty.
    std::optional<std::wstring> doctypeName;
    std::optional<std::wstring> publicId;
    std::optional<std::wstring> systemId;
    bool forceQuirks = false;

    // The first attribute named `attributeName`, or nullptr.
    const std::wstring* Find(std::wstring_view attributeName) const;
};

// Splits HTML text into tokens the way a browser does before tree building: newlines
// normalized, character references decoded, NULs replaced where browsers replace them.
// Characters between two other tokens come out as one Character token. A wchar_t of 16 bits is
// read as UTF-16 (a lone surrogate is kept as it is); one of 32 bits holds a code point, and a
// value beyond U+10FFFF reads as U+FFFD. Parse errors are not reported.
class Tokenizer {
public:
    // `input` must outlive the tokenizer.
    explicit Tokenizer(std::wstring_view input);

    // The next token; valid until the next call. After the end it keeps returning EndOfFile.
    const Token& Next();

    // What a tree builder does after certain start tags (title, script, plaintext...).
    void SetState(TokenizerState state);
    // The start tag that an end tag in RCDATA, RAWTEXT or script data must match to close it.
    void SetLastStartTag(std::wstring_view name);
    // On when the current node is SVG or MathML content: only there is <![CDATA[ a CDATA section.
    void SetCdataAllowed(bool allowed) { cdataAllowed_ = allowed; }

private:
    enum class State : std::uint8_t;
    struct Char {
        char32_t c;
        std::size_t length;  // in code units, 0 at the end
    };

    Char Peek() const;
    Char Consume();
    void Reconsume(const Char& ch) { pos_ -= ch.length; }
    void Step();  // runs the current state once
    bool LookingAt(std::string_view word, bool ignoreCase) const;
    template <class IsStop>
    std::wstring_view TakeRun(IsStop isStop);

    void Emit(char32_t c);
    void EmitText(std::wstring_view text);
    void StartTag(TokenType type);
    void StartAttribute();
    void EndAttributeName();
    void DropDuplicateAttribute();
    void AppendToAttribute(char32_t c);
    void StartComment(std::wstring_view data);
    void StartDoctype();
    bool NameSeenBefore();
    void FinishToken();  // the tag, comment or DOCTYPE being built is complete
    void FinishAtEnd(bool withToken);
    bool AppropriateEndTag() const;
    bool ReturnsToAttribute() const;
    void FlushCharacterReference();
    void EndNumericReference();
    void EndTagNameStep(const Char& ch, State text);
    void AppendToName(char32_t c);

    std::wstring_view input_;
    std::size_t pos_ = 0;
    State state_;
    State returnState_;
    bool cdataAllowed_ = false;
    bool atEnd_ = false;

    Token text_;    // pending characters
    Token markup_;  // the tag, comment or DOCTYPE being built, or the end
    bool markupReady_ = false;
    bool textReturned_ = false;

    std::wstring lastStartTag_;
    bool hasLastStartTag_ = false;
    std::wstring buffer_;  // the standard's temporary buffer
    char32_t referenceCode_ = 0;

    bool attributeIsDuplicate_ = false;
    std::unordered_set<std::wstring> attributeNames_;  // for tags with many attributes
    std::size_t namesIndexed_ = 0;
};

// Appends a code point: as a surrogate pair where wchar_t is 16 bits and it lies above U+FFFF.
void AppendCodePoint(std::wstring& out, char32_t c);

// Reads the character reference at the start of `text` (which starts with '&') as the tokenizer
// does in text content: appends what it stands for to `out` and returns how many characters it
// took. A '&' that starts no reference stands for itself (1 character).
std::size_t AppendCharacterReference(std::wstring_view text, std::wstring& out);

}  // namespace quorvanel::html
