#include "bot/html_tokenizer.h"

#include <algorithm>

#include "bot/html_entities.h"

namespace quorvanel::html {

enum class Tokenizer::State : std::uint8_t {
    Data,
    Rcdata,
    Rawtext,
    ScriptData,
    Plaintext,
    TagOpen,
    EndTagOpen,
    TagName,
    RcdataLessThan,
    RcdataEndTagOpen,
    RcdataEndTagName,
    RawtextLessThan,
    RawtextEndTagOpen,
    RawtextEndTagName,
    ScriptLessThan,
    ScriptEndTagOpen,
    ScriptEndTagName,
    ScriptEscapeStart,
    ScriptEscapeStartDash,
    ScriptEscaped,
    ScriptEscapedDash,
    ScriptEscapedDashDash,
    ScriptEscapedLessThan,
    ScriptEscapedEndTagOpen,
    ScriptEscapedEndTagName,
    ScriptDoubleEscapeStart,
    ScriptDoubleEscaped,
    ScriptDoubleEscapedDash,
    ScriptDoubleEscapedDashDash,
    ScriptDoubleEscapedLessThan,
    ScriptDoubleEscapeEnd,
    BeforeAttributeName,
    AttributeName,
    AfterAttributeName,
    BeforeAttributeValue,
    AttributeValueDouble,
    AttributeValueSingle,
    AttributeValueUnquoted,
    AfterAttributeValueQuoted,
    SelfClosingStartTag,
    BogusComment,
    MarkupDeclarationOpen,
    CommentStart,
    CommentStartDash,
    Comment,
    CommentLessThan,
    CommentLessThanBang,
    CommentLessThanBangDash,
    CommentLessThanBangDashDash,
    CommentEndDash,
    CommentEnd,
    CommentEndBang,
    Doctype,
    BeforeDoctypeName,
    DoctypeName,
    AfterDoctypeName,
    AfterDoctypePublicKeyword,
    BeforeDoctypePublicId,
    DoctypePublicIdDouble,
    DoctypePublicIdSingle,
    AfterDoctypePublicId,
    BetweenDoctypeIds,
    AfterDoctypeSystemKeyword,
    BeforeDoctypeSystemId,
    DoctypeSystemIdDouble,
    DoctypeSystemIdSingle,
    AfterDoctypeSystemId,
    BogusDoctype,
    CdataSection,
    CdataSectionBracket,
    CdataSectionEnd,
    CharacterReference,
    NamedCharacterReference,
    AmbiguousAmpersand,
    NumericCharacterReference,
    HexReferenceStart,
    DecimalReferenceStart,
    HexReference,
    DecimalReference,
};

namespace {

constexpr char32_t kEnd = 0xFFFFFFFF;
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool IsUpper(char32_t c) {
    return c >= 'A' && c <= 'Z';
}
bool IsLower(char32_t c) {
    return c >= 'a' && c <= 'z';
}
bool IsAlpha(char32_t c) {
    return IsUpper(c) || IsLower(c);
}
bool IsDigit(char32_t c) {
    return c >= '0' && c <= '9';
}
bool IsAlnum(char32_t c) {
    return IsAlpha(c) || IsDigit(c);
}
bool IsHexDigit(char32_t c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char32_t ToLower(char32_t c) {
    return IsUpper(c) ? c + ('a' - 'A') : c;
}
// CR never gets here: the input reader turns it into LF.
bool IsSpace(char32_t c) {
    return c == '\t' || c == '\n' || c == '\f' || c == ' ';
}

std::uint32_t HexValue(char32_t c) {
    if (IsDigit(c)) return c - '0';
    return ToLower(c) - 'a' + 10;
}

// What browsers show for numeric references to the C1 controls: the windows-1252 characters.
char32_t C1Replacement(char32_t c) {
    static constexpr char16_t kTable[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    return kTable[c - 0x80];
}

// The character a numeric reference to `code` stands for.
char32_t NumericReferenceCharacter(char32_t code) {
    if (code == 0 || code > kMaxCodePoint || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
    if (code >= 0x80 && code <= 0x9F) return C1Replacement(code);
    return code;
}

std::uint32_t Unit(wchar_t unit) {
    return static_cast<std::uint32_t>(unit);
}

}  // namespace

void AppendCodePoint(std::wstring& out, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c > 0xFFFF) {
            c -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(c));
}

std::size_t AppendCharacterReference(std::wstring_view text, std::wstring& out) {
    if (text.size() >= 2 && IsAlnum(text[1])) {
        const NamedReference* ref = LongestNamedReference(text.substr(1));
        if (ref == nullptr) {
            out.push_back(L'&');
            return 1;
        }
        AppendCodePoint(out, ref->first);
        if (ref->second != 0) AppendCodePoint(out, ref->second);
        return 1 + ref->name.size();
    }
    if (text.size() < 3 || text[1] != L'#') {
        out.push_back(L'&');
        return 1;
    }
    const bool hex = text[2] == L'x' || text[2] == L'X';
    const std::size_t digits = hex ? 3 : 2;
    std::size_t end = digits;
    char32_t code = 0;
    for (; end < text.size() && (hex ? IsHexDigit(text[end]) : IsDigit(text[end])); ++end) {
        const std::uint32_t digit = hex ? HexValue(text[end]) : text[end] - L'0';
        code = std::min<char32_t>(code * (hex ? 16 : 10) + digit, kMaxCodePoint + 1);
    }
    if (end == digits) {  // "&#" or "&#x" without digits stands for itself
        out.append(text.substr(0, digits));
        return digits;
    }
    if (end < text.size() && text[end] == L';') ++end;
    AppendCodePoint(out, NumericReferenceCharacter(code));
    return end;
}

const std::wstring* Token::Find(std::wstring_view attributeName) const {
    for (const Attribute& a : attributes) {
        if (a.name == attributeName) return &a.value;
    }
    return nullptr;
}

Tokenizer::Tokenizer(std::wstring_view input)
    : input_(input), state_(State::Data), returnState_(State::Data) {}

void Tokenizer::SetState(TokenizerState state) {
    switch (state) {
        case TokenizerState::Data:
            state_ = State::Data;
            break;
        case TokenizerState::Rcdata:
            state_ = State::Rcdata;
            break;
        case TokenizerState::Rawtext:
            state_ = State::Rawtext;
            break;
        case TokenizerState::ScriptData:
            state_ = State::ScriptData;
            break;
        case TokenizerState::Plaintext:
            state_ = State::Plaintext;
            break;
        case TokenizerState::CdataSection:
            state_ = State::CdataSection;
            break;
    }
}

void Tokenizer::SetLastStartTag(std::wstring_view name) {
    lastStartTag_.assign(name);
    hasLastStartTag_ = true;
}

const Token& Tokenizer::Next() {
    if (textReturned_) {
        // The characters went out first; what stopped them is still to come.
        text_.data.clear();
        textReturned_ = false;
    } else {
        while (!markupReady_ && !atEnd_) Step();
        if (!text_.data.empty()) {
            text_.type = TokenType::Character;
            textReturned_ = true;
            return text_;
        }
    }
    if (markupReady_) {
        markupReady_ = false;
        return markup_;
    }
    StartTag(TokenType::EndOfFile);
    return markup_;
}

Tokenizer::Char Tokenizer::Peek() const {
    if (pos_ >= input_.size()) return {kEnd, 0};
    const std::uint32_t u = Unit(input_[pos_]);
    if (u < 0xD800 && u != '\r') return {u, 1};
    const bool more = pos_ + 1 < input_.size();
    if (u == '\r') return {'\n', more && input_[pos_ + 1] == L'\n' ? 2u : 1u};
    if constexpr (sizeof(wchar_t) == 2) {
        if (u >= 0xD800 && u <= 0xDBFF && more) {
            const std::uint32_t low = Unit(input_[pos_ + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF)
                return {0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), 2};
        }
    } else if (u > kMaxCodePoint) {
        return {kReplacement, 1};
    }
    return {u, 1};
}

Tokenizer::Char Tokenizer::Consume() {
    const Char ch = Peek();
    pos_ += ch.length;
    return ch;
}

// The longest run of code units that need no decision: copied as they are, surrogates included.
template <class IsStop>
std::wstring_view Tokenizer::TakeRun(IsStop isStop) {
    const std::size_t start = pos_;
    while (pos_ < input_.size()) {
        const std::uint32_t u = Unit(input_[pos_]);
        if (u == 0 || u == '\r' || u > kMaxCodePoint || isStop(u)) break;
        ++pos_;
    }
    return input_.substr(start, pos_ - start);
}

bool Tokenizer::LookingAt(std::string_view word, bool ignoreCase) const {
    if (input_.size() - pos_ < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        std::uint32_t u = Unit(input_[pos_ + i]);
        if (ignoreCase) u = ToLower(u);
        if (u != static_cast<unsigned char>(word[i])) return false;
    }
    return true;
}

void Tokenizer::Emit(char32_t c) {
    AppendCodePoint(text_.data, c);
}

void Tokenizer::EmitText(std::wstring_view text) {
    text_.data.append(text);
}

void Tokenizer::StartTag(TokenType type) {
    markup_.type = type;
    markup_.name.clear();
    markup_.data.clear();
    markup_.attributes.clear();
    markup_.selfClosing = false;
    markup_.doctypeName.reset();
    markup_.publicId.reset();
    markup_.systemId.reset();
    markup_.forceQuirks = false;
    attributeIsDuplicate_ = false;
    if (namesIndexed_ > 0) {
        // Not clear(): that costs the bucket count of the biggest tag so far, on every tag.
        attributeNames_ = {};
        namesIndexed_ = 0;
    }
}

void Tokenizer::StartComment(std::wstring_view data) {
    StartTag(TokenType::Comment);
    markup_.data.assign(data);
}

void Tokenizer::StartDoctype() {
    StartTag(TokenType::Doctype);
}

void Tokenizer::StartAttribute() {
    DropDuplicateAttribute();
    markup_.attributes.emplace_back();
}

void Tokenizer::EndAttributeName() {
    attributeIsDuplicate_ = NameSeenBefore();
}

bool Tokenizer::NameSeenBefore() {
    const std::vector<Attribute>& attributes = markup_.attributes;
    const std::size_t earlier = attributes.size() - 1;  // all distinct
    const std::wstring& name = attributes.back().name;
    // A hash set only once a tag has many attributes, so that thousands stay linear.
    constexpr std::size_t kLinearLimit = 32;
    if (earlier <= kLinearLimit) {
        return std::any_of(attributes.begin(), attributes.end() - 1,
                           [&](const Attribute& a) { return a.name == name; });
    }
    while (namesIndexed_ < earlier) attributeNames_.insert(attributes[namesIndexed_++].name);
    return attributeNames_.contains(name);
}

void Tokenizer::DropDuplicateAttribute() {
    if (attributeIsDuplicate_) markup_.attributes.pop_back();
    attributeIsDuplicate_ = false;
}

void Tokenizer::AppendToAttribute(char32_t c) {
    AppendCodePoint(markup_.attributes.back().value, c);
}

void Tokenizer::AppendToName(char32_t c) {
    AppendCodePoint(markup_.name, ToLower(c));
}

void Tokenizer::FinishToken() {
    if (markup_.type == TokenType::StartTag) {
        DropDuplicateAttribute();
        SetLastStartTag(markup_.name);
    } else if (markup_.type == TokenType::EndTag) {
        // Browsers ignore what an end tag carries beyond its name.
        markup_.attributes.clear();
        markup_.selfClosing = false;
    }
    markupReady_ = true;
}

void Tokenizer::FinishAtEnd(bool withToken) {
    if (withToken) FinishToken();
    atEnd_ = true;
}

bool Tokenizer::AppropriateEndTag() const {
    return hasLastStartTag_ && markup_.name == lastStartTag_;
}

bool Tokenizer::ReturnsToAttribute() const {
    return returnState_ == State::AttributeValueDouble ||
           returnState_ == State::AttributeValueSingle ||
           returnState_ == State::AttributeValueUnquoted;
}

void Tokenizer::FlushCharacterReference() {
    if (ReturnsToAttribute()) {
        markup_.attributes.back().value.append(buffer_);
    } else {
        text_.data.append(buffer_);
    }
}

void Tokenizer::EndNumericReference() {
    buffer_.clear();
    AppendCodePoint(buffer_, NumericReferenceCharacter(referenceCode_));
    FlushCharacterReference();
    state_ = returnState_;
}

// The end tag name states of RCDATA, RAWTEXT and script data: only the end tag of the element
// that switched the tokenizer closes the text; anything else goes back out as characters.
void Tokenizer::EndTagNameStep(const Char& ch, State text) {
    const char32_t c = ch.c;
    if (IsSpace(c) && AppropriateEndTag()) {
        state_ = State::BeforeAttributeName;
    } else if (c == '/' && AppropriateEndTag()) {
        state_ = State::SelfClosingStartTag;
    } else if (c == '>' && AppropriateEndTag()) {
        state_ = State::Data;
        FinishToken();
    } else if (IsAlpha(c)) {
        AppendToName(c);
        buffer_.push_back(static_cast<wchar_t>(c));
    } else {
        EmitText(L"</");
        EmitText(buffer_);
        Reconsume(ch);
        state_ = text;
    }
}

void Tokenizer::Step() {
    switch (state_) {
        case State::Data: {
            EmitText(TakeRun([](std::uint32_t u) { return u == '&' || u == '<'; }));
            const Char ch = Consume();
            switch (ch.c) {
                case '&':
                    returnState_ = State::Data;
                    state_ = State::CharacterReference;
                    break;
                case '<':
                    state_ = State::TagOpen;
                    break;
                case kEnd:
                    FinishAtEnd(false);
                    break;
                default:
                    Emit(ch.c);
                    break;  // NUL included: the tree builder decides
            }
            break;
        }
        case State::Rcdata: {
            EmitText(TakeRun([](std::uint32_t u) { return u == '&' || u == '<'; }));
            const Char ch = Consume();
            switch (ch.c) {
                case '&':
                    returnState_ = State::Rcdata;
                    state_ = State::CharacterReference;
                    break;
                case '<':
                    state_ = State::RcdataLessThan;
                    break;
                case 0:
                    Emit(kReplacement);
                    break;
                case kEnd:
                    FinishAtEnd(false);
                    break;
                default:
                    Emit(ch.c);
                    break;
            }
            break;
        }
        case State::Rawtext:
        case State::ScriptData: {
            EmitText(TakeRun([](std::uint32_t u) { return u == '<'; }));
            const Char ch = Consume();
            switch (ch.c) {
                case '<':
                    state_ =
                        state_ == State::Rawtext ? State::RawtextLessThan : State::ScriptLessThan;
                    break;
                case 0:
                    Emit(kReplacement);
                    break;
                case kEnd:
                    FinishAtEnd(false);
                    break;
                default:
                    Emit(ch.c);
                    break;
            }
            break;
        }
        case State::Plaintext: {
            EmitText(TakeRun([](std::uint32_t) { return false; }));
            const Char ch = Consume();
            switch (ch.c) {
                case 0:
                    Emit(kReplacement);
                    break;
                case kEnd:
                    FinishAtEnd(false);
                    break;
                default:
                    Emit(ch.c);
                    break;
            }
            break;
        }
        case State::TagOpen: {
            const Char ch = Consume();
            if (ch.c == '!') {
                state_ = State::MarkupDeclarationOpen;
            } else if (ch.c == '/') {
                state_ = State::EndTagOpen;
            } else if (IsAlpha(ch.c)) {
                StartTag(TokenType::StartTag);
                Reconsume(ch);
                state_ = State::TagName;
            } else if (ch.c == '?') {
                StartComment(L"");
                Reconsume(ch);
                state_ = State::BogusComment;
            } else {
                Emit('<');
                Reconsume(ch);
                state_ = State::Data;
            }
            break;
        }
        case State::EndTagOpen: {
            const Char ch = Consume();
            if (IsAlpha(ch.c)) {
                StartTag(TokenType::EndTag);
                Reconsume(ch);
                state_ = State::TagName;
            } else if (ch.c == '>') {
                state_ = State::Data;
            } else if (ch.c == kEnd) {
                EmitText(L"</");
                FinishAtEnd(false);
            } else {
                StartComment(L"");
                Reconsume(ch);
                state_ = State::BogusComment;
            }
            break;
        }
        case State::TagName: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) {
                state_ = State::BeforeAttributeName;
            } else if (ch.c == '/') {
                state_ = State::SelfClosingStartTag;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == 0) {
                AppendCodePoint(markup_.name, kReplacement);
            } else if (ch.c == kEnd) {
                FinishAtEnd(false);
            } else {
                AppendToName(ch.c);
            }
            break;
        }
        case State::RcdataLessThan:
        case State::RawtextLessThan: {
            const bool rcdata = state_ == State::RcdataLessThan;
            const Char ch = Consume();
            if (ch.c == '/') {
                buffer_.clear();
                state_ = rcdata ? State::RcdataEndTagOpen : State::RawtextEndTagOpen;
            } else {
                Emit('<');
                Reconsume(ch);
                state_ = rcdata ? State::Rcdata : State::Rawtext;
            }
            break;
        }
        case State::RcdataEndTagOpen:
        case State::RawtextEndTagOpen:
        case State::ScriptEndTagOpen:
        case State::ScriptEscapedEndTagOpen: {
            const State from = state_;
            const Char ch = Consume();
            Reconsume(ch);
            if (IsAlpha(ch.c)) {
                StartTag(TokenType::EndTag);
                state_ = from == State::RcdataEndTagOpen    ? State::RcdataEndTagName
                         : from == State::RawtextEndTagOpen ? State::RawtextEndTagName
                         : from == State::ScriptEndTagOpen  ? State::ScriptEndTagName
                                                            : State::ScriptEscapedEndTagName;
            } else {
                EmitText(L"</");
                state_ = from == State::RcdataEndTagOpen    ? State::Rcdata
                         : from == State::RawtextEndTagOpen ? State::Rawtext
                         : from == State::ScriptEndTagOpen  ? State::ScriptData
                                                            : State::ScriptEscaped;
            }
            break;
        }
        case State::RcdataEndTagName:
            EndTagNameStep(Consume(), State::Rcdata);
            break;
        case State::RawtextEndTagName:
            EndTagNameStep(Consume(), State::Rawtext);
            break;
        case State::ScriptEndTagName:
            EndTagNameStep(Consume(), State::ScriptData);
            break;
        case State::ScriptEscapedEndTagName:
            EndTagNameStep(Consume(), State::ScriptEscaped);
            break;
        case State::ScriptLessThan: {
            const Char ch = Consume();
            if (ch.c == '/') {
                buffer_.clear();
                state_ = State::ScriptEndTagOpen;
            } else if (ch.c == '!') {
                state_ = State::ScriptEscapeStart;
                EmitText(L"<!");
            } else {
                Emit('<');
                Reconsume(ch);
                state_ = State::ScriptData;
            }
            break;
        }
        case State::ScriptEscapeStart:
        case State::ScriptEscapeStartDash: {
            const Char ch = Consume();
            if (ch.c == '-') {
                state_ = state_ == State::ScriptEscapeStart ? State::ScriptEscapeStartDash
                                                            : State::ScriptEscapedDashDash;
                Emit('-');
            } else {
                Reconsume(ch);
                state_ = State::ScriptData;
            }
            break;
        }
        case State::ScriptEscaped:
        case State::ScriptDoubleEscaped: {
            const bool twice = state_ == State::ScriptDoubleEscaped;
            EmitText(TakeRun([](std::uint32_t u) { return u == '-' || u == '<'; }));
            const Char ch = Consume();
            switch (ch.c) {
                case '-':
                    state_ = twice ? State::ScriptDoubleEscapedDash : State::ScriptEscapedDash;
                    Emit('-');
                    break;
                case '<':
                    state_ =
                        twice ? State::ScriptDoubleEscapedLessThan : State::ScriptEscapedLessThan;
                    if (twice) Emit('<');
                    break;
                case 0:
                    Emit(kReplacement);
                    break;
                case kEnd:
                    FinishAtEnd(false);
                    break;
                default:
                    Emit(ch.c);
                    break;
            }
            break;
        }
        case State::ScriptEscapedDash:
        case State::ScriptEscapedDashDash:
        case State::ScriptDoubleEscapedDash:
        case State::ScriptDoubleEscapedDashDash: {
            const bool twice = state_ == State::ScriptDoubleEscapedDash ||
                               state_ == State::ScriptDoubleEscapedDashDash;
            const bool dashDash = state_ == State::ScriptEscapedDashDash ||
                                  state_ == State::ScriptDoubleEscapedDashDash;
            const State inside = twice ? State::ScriptDoubleEscaped : State::ScriptEscaped;
            const Char ch = Consume();
            switch (ch.c) {
                case '-':
                    state_ =
                        twice ? State::ScriptDoubleEscapedDashDash : State::ScriptEscapedDashDash;
                    Emit('-');
                    break;
                case '<':
                    state_ =
                        twice ? State::ScriptDoubleEscapedLessThan : State::ScriptEscapedLessThan;
                    if (twice) Emit('<');
                    break;
                case '>':
                    if (dashDash) {
                        state_ = State::ScriptData;
                    } else {
                        state_ = inside;
                    }
                    Emit('>');
                    break;
                case 0:
                    state_ = inside;
                    Emit(kReplacement);
                    break;
                case kEnd:
                    FinishAtEnd(false);
                    break;
                default:
                    state_ = inside;
                    Emit(ch.c);
                    break;
            }
            break;
        }
        case State::ScriptEscapedLessThan: {
            const Char ch = Consume();
            if (ch.c == '/') {
                buffer_.clear();
                state_ = State::ScriptEscapedEndTagOpen;
            } else if (IsAlpha(ch.c)) {
                buffer_.clear();
                Emit('<');
                Reconsume(ch);
                state_ = State::ScriptDoubleEscapeStart;
            } else {
                Emit('<');
                Reconsume(ch);
                state_ = State::ScriptEscaped;
            }
            break;
        }
        case State::ScriptDoubleEscapeStart:
        case State::ScriptDoubleEscapeEnd: {
            // Inside an escaped script, "<script" starts and "</script" ends a nested one.
            const bool start = state_ == State::ScriptDoubleEscapeStart;
            const Char ch = Consume();
            if (IsSpace(ch.c) || ch.c == '/' || ch.c == '>') {
                const bool script = buffer_ == L"script";
                state_ = script == start ? State::ScriptDoubleEscaped : State::ScriptEscaped;
                Emit(ch.c);
            } else if (IsAlpha(ch.c)) {
                buffer_.push_back(static_cast<wchar_t>(ToLower(ch.c)));
                Emit(ch.c);
            } else {
                Reconsume(ch);
                state_ = start ? State::ScriptEscaped : State::ScriptDoubleEscaped;
            }
            break;
        }
        case State::ScriptDoubleEscapedLessThan: {
            const Char ch = Consume();
            if (ch.c == '/') {
                buffer_.clear();
                state_ = State::ScriptDoubleEscapeEnd;
                Emit('/');
            } else {
                Reconsume(ch);
                state_ = State::ScriptDoubleEscaped;
            }
            break;
        }
        case State::BeforeAttributeName: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) break;
            if (ch.c == '/' || ch.c == '>' || ch.c == kEnd) {
                Reconsume(ch);
                state_ = State::AfterAttributeName;
            } else if (ch.c == '=') {
                StartAttribute();
                markup_.attributes.back().name.push_back(L'=');
                state_ = State::AttributeName;
            } else {
                StartAttribute();
                Reconsume(ch);
                state_ = State::AttributeName;
            }
            break;
        }
        case State::AttributeName: {
            const Char ch = Consume();
            if (IsSpace(ch.c) || ch.c == '/' || ch.c == '>' || ch.c == kEnd) {
                EndAttributeName();
                Reconsume(ch);
                state_ = State::AfterAttributeName;
            } else if (ch.c == '=') {
                EndAttributeName();
                state_ = State::BeforeAttributeValue;
            } else {
                AppendCodePoint(markup_.attributes.back().name,
                                ch.c == 0 ? kReplacement : ToLower(ch.c));
            }
            break;
        }
        case State::AfterAttributeName: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) break;
            if (ch.c == '/') {
                state_ = State::SelfClosingStartTag;
            } else if (ch.c == '=') {
                state_ = State::BeforeAttributeValue;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                FinishAtEnd(false);
            } else {
                StartAttribute();
                Reconsume(ch);
                state_ = State::AttributeName;
            }
            break;
        }
        case State::BeforeAttributeValue: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) break;
            if (ch.c == '"') {
                state_ = State::AttributeValueDouble;
            } else if (ch.c == '\'') {
                state_ = State::AttributeValueSingle;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else {
                Reconsume(ch);
                state_ = State::AttributeValueUnquoted;
            }
            break;
        }
        case State::AttributeValueDouble:
        case State::AttributeValueSingle: {
            const std::uint32_t quote = state_ == State::AttributeValueDouble ? '"' : '\'';
            markup_.attributes.back().value.append(
                TakeRun([quote](std::uint32_t u) { return u == quote || u == '&'; }));
            const Char ch = Consume();
            if (ch.c == quote) {
                state_ = State::AfterAttributeValueQuoted;
            } else if (ch.c == '&') {
                returnState_ = state_;
                state_ = State::CharacterReference;
            } else if (ch.c == kEnd) {
                FinishAtEnd(false);
            } else {
                AppendToAttribute(ch.c == 0 ? kReplacement : ch.c);
            }
            break;
        }
        case State::AttributeValueUnquoted: {
            markup_.attributes.back().value.append(TakeRun([](std::uint32_t u) {
                return u == '&' || u == '>' || u == '\t' || u == '\n' || u == '\f' || u == ' ';
            }));
            const Char ch = Consume();
            if (IsSpace(ch.c)) {
                state_ = State::BeforeAttributeName;
            } else if (ch.c == '&') {
                returnState_ = state_;
                state_ = State::CharacterReference;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                FinishAtEnd(false);
            } else {
                AppendToAttribute(ch.c == 0 ? kReplacement : ch.c);
            }
            break;
        }
        case State::AfterAttributeValueQuoted:
        case State::SelfClosingStartTag: {
            const bool afterValue = state_ == State::AfterAttributeValueQuoted;
            const Char ch = Consume();
            if (afterValue && IsSpace(ch.c)) {
                state_ = State::BeforeAttributeName;
            } else if (afterValue && ch.c == '/') {
                state_ = State::SelfClosingStartTag;
            } else if (ch.c == '>') {
                markup_.selfClosing = !afterValue;
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                FinishAtEnd(false);
            } else {
                Reconsume(ch);
                state_ = State::BeforeAttributeName;
            }
            break;
        }
        case State::BogusComment: {
            markup_.data.append(TakeRun([](std::uint32_t u) { return u == '>'; }));
            const Char ch = Consume();
            if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                FinishAtEnd(true);
            } else {
                AppendCodePoint(markup_.data, ch.c == 0 ? kReplacement : ch.c);
            }
            break;
        }
        case State::MarkupDeclarationOpen: {
            if (LookingAt("--", false)) {
                pos_ += 2;
                StartComment(L"");
                state_ = State::CommentStart;
            } else if (LookingAt("doctype", true)) {
                pos_ += 7;
                state_ = State::Doctype;
            } else if (LookingAt("[CDATA[", false)) {
                pos_ += 7;
                if (cdataAllowed_) {
                    state_ = State::CdataSection;
                } else {
                    StartComment(L"[CDATA[");
                    state_ = State::BogusComment;
                }
            } else {
                StartComment(L"");
                state_ = State::BogusComment;
            }
            break;
        }
        case State::CommentStart: {
            const Char ch = Consume();
            if (ch.c == '-') {
                state_ = State::CommentStartDash;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else {
                Reconsume(ch);
                state_ = State::Comment;
            }
            break;
        }
        case State::CommentStartDash:
        case State::CommentEndDash: {
            const Char ch = Consume();
            if (ch.c == '-') {
                state_ = State::CommentEnd;
            } else if (ch.c == '>' && state_ == State::CommentStartDash) {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                FinishAtEnd(true);
            } else {
                markup_.data.push_back(L'-');
                Reconsume(ch);
                state_ = State::Comment;
            }
            break;
        }
        case State::Comment: {
            markup_.data.append(TakeRun([](std::uint32_t u) { return u == '<' || u == '-'; }));
            const Char ch = Consume();
            switch (ch.c) {
                case '<':
                    markup_.data.push_back(L'<');
                    state_ = State::CommentLessThan;
                    break;
                case '-':
                    state_ = State::CommentEndDash;
                    break;
                case kEnd:
                    FinishAtEnd(true);
                    break;
                default:
                    AppendCodePoint(markup_.data, ch.c == 0 ? kReplacement : ch.c);
                    break;
            }
            break;
        }
        case State::CommentLessThan: {
            const Char ch = Consume();
            if (ch.c == '!') {
                markup_.data.push_back(L'!');
                state_ = State::CommentLessThanBang;
            } else if (ch.c == '<') {
                markup_.data.push_back(L'<');
            } else {
                Reconsume(ch);
                state_ = State::Comment;
            }
            break;
        }
        case State::CommentLessThanBang:
        case State::CommentLessThanBangDash: {
            const bool bang = state_ == State::CommentLessThanBang;
            const Char ch = Consume();
            if (ch.c == '-') {
                state_ = bang ? State::CommentLessThanBangDash : State::CommentLessThanBangDashDash;
            } else {
                Reconsume(ch);
                state_ = bang ? State::Comment : State::CommentEndDash;
            }
            break;
        }
        case State::CommentLessThanBangDashDash:
            // "<!--" nested in a comment: an error, but the comment can still end right here.
            state_ = State::CommentEnd;
            break;
        case State::CommentEnd: {
            const Char ch = Consume();
            if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == '!') {
                state_ = State::CommentEndBang;
            } else if (ch.c == '-') {
                markup_.data.push_back(L'-');
            } else if (ch.c == kEnd) {
                FinishAtEnd(true);
            } else {
                markup_.data.append(L"--");
                Reconsume(ch);
                state_ = State::Comment;
            }
            break;
        }
        case State::CommentEndBang: {
            const Char ch = Consume();
            if (ch.c == '-') {
                markup_.data.append(L"--!");
                state_ = State::CommentEndDash;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                FinishAtEnd(true);
            } else {
                markup_.data.append(L"--!");
                Reconsume(ch);
                state_ = State::Comment;
            }
            break;
        }
        case State::Doctype: {
            const Char ch = Consume();
            if (ch.c == kEnd) {
                StartDoctype();
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                if (!IsSpace(ch.c)) Reconsume(ch);
                state_ = State::BeforeDoctypeName;
            }
            break;
        }
        case State::BeforeDoctypeName: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) break;
            StartDoctype();
            if (ch.c == '>') {
                markup_.forceQuirks = true;
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                markup_.doctypeName.emplace();
                AppendCodePoint(*markup_.doctypeName, ch.c == 0 ? kReplacement : ToLower(ch.c));
                state_ = State::DoctypeName;
            }
            break;
        }
        case State::DoctypeName: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) {
                state_ = State::AfterDoctypeName;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                AppendCodePoint(*markup_.doctypeName, ch.c == 0 ? kReplacement : ToLower(ch.c));
            }
            break;
        }
        case State::AfterDoctypeName: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) break;
            if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                Reconsume(ch);
                if (LookingAt("public", true)) {
                    pos_ += 6;
                    state_ = State::AfterDoctypePublicKeyword;
                } else if (LookingAt("system", true)) {
                    pos_ += 6;
                    state_ = State::AfterDoctypeSystemKeyword;
                } else {
                    markup_.forceQuirks = true;
                    state_ = State::BogusDoctype;
                }
            }
            break;
        }
        case State::AfterDoctypePublicKeyword:
        case State::BeforeDoctypePublicId:
        case State::AfterDoctypeSystemKeyword:
        case State::BeforeDoctypeSystemId: {
            const bool isPublic = state_ == State::AfterDoctypePublicKeyword ||
                                  state_ == State::BeforeDoctypePublicId;
            const bool afterKeyword = state_ == State::AfterDoctypePublicKeyword ||
                                      state_ == State::AfterDoctypeSystemKeyword;
            const Char ch = Consume();
            if (IsSpace(ch.c)) {
                if (afterKeyword) {
                    state_ = isPublic ? State::BeforeDoctypePublicId : State::BeforeDoctypeSystemId;
                }
            } else if (ch.c == '"' || ch.c == '\'') {
                (isPublic ? markup_.publicId : markup_.systemId).emplace();
                const bool dq = ch.c == '"';
                state_ = isPublic
                             ? (dq ? State::DoctypePublicIdDouble : State::DoctypePublicIdSingle)
                             : (dq ? State::DoctypeSystemIdDouble : State::DoctypeSystemIdSingle);
            } else if (ch.c == '>') {
                markup_.forceQuirks = true;
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                markup_.forceQuirks = true;
                Reconsume(ch);
                state_ = State::BogusDoctype;
            }
            break;
        }
        case State::DoctypePublicIdDouble:
        case State::DoctypePublicIdSingle:
        case State::DoctypeSystemIdDouble:
        case State::DoctypeSystemIdSingle: {
            const bool isPublic =
                state_ == State::DoctypePublicIdDouble || state_ == State::DoctypePublicIdSingle;
            const char32_t quote =
                state_ == State::DoctypePublicIdDouble || state_ == State::DoctypeSystemIdDouble
                    ? '"'
                    : '\'';
            std::wstring& id = *(isPublic ? markup_.publicId : markup_.systemId);
            const Char ch = Consume();
            if (ch.c == quote) {
                state_ = isPublic ? State::AfterDoctypePublicId : State::AfterDoctypeSystemId;
            } else if (ch.c == '>') {
                markup_.forceQuirks = true;
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                AppendCodePoint(id, ch.c == 0 ? kReplacement : ch.c);
            }
            break;
        }
        case State::AfterDoctypePublicId:
        case State::BetweenDoctypeIds: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) {
                state_ = State::BetweenDoctypeIds;
            } else if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == '"' || ch.c == '\'') {
                markup_.systemId.emplace();
                state_ = ch.c == '"' ? State::DoctypeSystemIdDouble : State::DoctypeSystemIdSingle;
            } else if (ch.c == kEnd) {
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                markup_.forceQuirks = true;
                Reconsume(ch);
                state_ = State::BogusDoctype;
            }
            break;
        }
        case State::AfterDoctypeSystemId: {
            const Char ch = Consume();
            if (IsSpace(ch.c)) break;
            if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                markup_.forceQuirks = true;
                FinishAtEnd(true);
            } else {
                // Trailing junk is an error, but the identifiers stand.
                Reconsume(ch);
                state_ = State::BogusDoctype;
            }
            break;
        }
        case State::BogusDoctype: {
            TakeRun([](std::uint32_t u) { return u == '>'; });
            const Char ch = Consume();
            if (ch.c == '>') {
                state_ = State::Data;
                FinishToken();
            } else if (ch.c == kEnd) {
                FinishAtEnd(true);
            }
            break;
        }
        case State::CdataSection: {
            EmitText(TakeRun([](std::uint32_t u) { return u == ']'; }));
            const Char ch = Consume();
            if (ch.c == ']') {
                state_ = State::CdataSectionBracket;
            } else if (ch.c == kEnd) {
                FinishAtEnd(false);
            } else {
                Emit(ch.c);
            }
            break;
        }
        case State::CdataSectionBracket: {
            const Char ch = Consume();
            if (ch.c == ']') {
                state_ = State::CdataSectionEnd;
            } else {
                Emit(']');
                Reconsume(ch);
                state_ = State::CdataSection;
            }
            break;
        }
        case State::CdataSectionEnd: {
            const Char ch = Consume();
            if (ch.c == ']') {
                Emit(']');
            } else if (ch.c == '>') {
                state_ = State::Data;
            } else {
                EmitText(L"]]");
                Reconsume(ch);
                state_ = State::CdataSection;
            }
            break;
        }
        case State::CharacterReference: {
            buffer_.assign(L"&");
            const Char ch = Consume();
            Reconsume(ch);
            if (IsAlnum(ch.c)) {
                state_ = State::NamedCharacterReference;
            } else if (ch.c == '#') {
                ++pos_;
                buffer_.push_back(L'#');
                state_ = State::NumericCharacterReference;
            } else {
                FlushCharacterReference();
                state_ = returnState_;
            }
            break;
        }
        case State::NamedCharacterReference: {
            const NamedReference* ref = LongestNamedReference(input_.substr(pos_));
            if (ref == nullptr) {
                FlushCharacterReference();
                state_ = State::AmbiguousAmpersand;
                break;
            }
            buffer_.append(input_.substr(pos_, ref->name.size()));
            pos_ += ref->name.size();
            const char32_t next = Peek().c;
            // In an attribute, "&copy=" or "&copyx" without ';' is most likely part of a URL.
            if (ref->name.back() != ';' && ReturnsToAttribute() && (next == '=' || IsAlnum(next))) {
                FlushCharacterReference();
            } else {
                buffer_.clear();
                AppendCodePoint(buffer_, ref->first);
                if (ref->second != 0) AppendCodePoint(buffer_, ref->second);
                FlushCharacterReference();
            }
            state_ = returnState_;
            break;
        }
        case State::AmbiguousAmpersand: {
            const Char ch = Consume();
            if (IsAlnum(ch.c)) {
                if (ReturnsToAttribute()) {
                    AppendToAttribute(ch.c);
                } else {
                    Emit(ch.c);
                }
            } else {
                Reconsume(ch);
                state_ = returnState_;
            }
            break;
        }
        case State::NumericCharacterReference: {
            referenceCode_ = 0;
            const Char ch = Consume();
            if (ch.c == 'x' || ch.c == 'X') {
                buffer_.push_back(static_cast<wchar_t>(ch.c));
                state_ = State::HexReferenceStart;
            } else {
                Reconsume(ch);
                state_ = State::DecimalReferenceStart;
            }
            break;
        }
        case State::HexReferenceStart:
        case State::DecimalReferenceStart: {
            const bool hex = state_ == State::HexReferenceStart;
            const Char ch = Consume();
            Reconsume(ch);
            if (hex ? IsHexDigit(ch.c) : IsDigit(ch.c)) {
                state_ = hex ? State::HexReference : State::DecimalReference;
            } else {
                FlushCharacterReference();
                state_ = returnState_;
            }
            break;
        }
        case State::HexReference:
        case State::DecimalReference: {
            const bool hex = state_ == State::HexReference;
            const Char ch = Consume();
            if (hex ? IsHexDigit(ch.c) : IsDigit(ch.c)) {
                // Saturate: any value past U+10FFFF ends up as U+FFFD, and nothing overflows.
                const std::uint32_t digit = hex ? HexValue(ch.c) : ch.c - '0';
                referenceCode_ =
                    std::min<char32_t>(referenceCode_ * (hex ? 16 : 10) + digit, kMaxCodePoint + 1);
            } else {
                if (ch.c != ';') Reconsume(ch);
                EndNumericReference();
            }
            break;
        }
    }
}

}  // namespace quorvanel::html
