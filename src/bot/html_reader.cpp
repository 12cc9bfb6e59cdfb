#include "bot/html_reader.h"

#include <algorithm>

#include "bot/html_tokenizer.h"

namespace quorvanel::html {
namespace {

using namespace std::string_view_literals;

// What the reader needs to know of a tag name.
enum TagFlags : unsigned {
    kVoid = 1,        // no content, no end tag
    kRcdata = 2,      // escapable raw text
    kRawtext = 4,     // raw text
    kScript = 8,      // script data
    kPlaintext = 16,  // raw text to the end
    kHeadOnly = 32,   // belongs in the head: skipped before the body
    kHeadText = 64,   // skipped with its text before the body
    kDocument = 128,  // body or html: opened once
    kControl = 256,   // a form control with a value
};

struct TagInfo {
    std::wstring_view name;
    unsigned flags;
};

// Literals with their lengths known at compile time: a lookup is mostly length compares.
constexpr TagInfo kTags[] = {
    {L"area"sv, kVoid},
    {L"base"sv, kVoid | kHeadOnly},
    {L"basefont"sv, kVoid | kHeadOnly},
    {L"bgsound"sv, kVoid | kHeadOnly},
    {L"body"sv, kDocument},
    {L"br"sv, kVoid},
    {L"button"sv, kControl},
    {L"col"sv, kVoid},
    {L"embed"sv, kVoid},
    {L"frame"sv, kVoid},
    {L"head"sv, kHeadOnly},
    {L"hr"sv, kVoid},
    {L"html"sv, kDocument | kHeadOnly},
    {L"iframe"sv, kRawtext},
    {L"img"sv, kVoid},
    {L"input"sv, kVoid | kControl},
    {L"keygen"sv, kVoid},
    {L"link"sv, kVoid | kHeadOnly},
    {L"meta"sv, kVoid | kHeadOnly},
    {L"noembed"sv, kRawtext},
    {L"noframes"sv, kRawtext | kHeadText},
    {L"noscript"sv, kHeadText},
    {L"param"sv, kVoid},
    {L"plaintext"sv, kPlaintext},
    {L"script"sv, kScript | kHeadText},
    {L"source"sv, kVoid},
    {L"style"sv, kRawtext | kHeadText},
    {L"textarea"sv, kRcdata | kControl},
    {L"title"sv, kRcdata | kHeadText},
    {L"track"sv, kVoid},
    {L"wbr"sv, kVoid},
    {L"xmp"sv, kRawtext},
};

unsigned FlagsOf(std::wstring_view tag) {
    for (const TagInfo& t : kTags) {
        if (t.name == tag) return t.flags;
    }
    return 0;
}

// What a browser's tree builder switches the tokenizer to after such a start tag.
TokenizerState ContentState(unsigned flags) {
    if (flags & kRcdata) return TokenizerState::Rcdata;
    if (flags & kRawtext) return TokenizerState::Rawtext;
    if (flags & kScript) return TokenizerState::ScriptData;
    if (flags & kPlaintext) return TokenizerState::Plaintext;
    return TokenizerState::Data;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\f' || c == L'\r';
}

void AppendUpper(std::wstring& out, std::wstring_view name) {
    for (wchar_t c : name) out.push_back(c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c);
}

void AppendText(std::wstring& out, std::wstring_view text) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::wstring_view entity;
        switch (text[i]) {
            case L'&':
                entity = L"&amp;"sv;
                break;
            case L'<':
                entity = L"&lt;"sv;
                break;
            case L'>':
                entity = L"&gt;"sv;
                break;
            case L'\u00A0':
                entity = L"&nbsp;"sv;
                break;
            case L'\0':
                break;  // dropped by browsers' tree builders; only the data state lets one through
            default:
                continue;
        }
        out.append(text.substr(from, i - from)).append(entity);
        from = i + 1;
    }
    out.append(text.substr(from));
}

void AppendAttributeValue(std::wstring& out, std::wstring_view value) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != L'&' && value[i] != L'"') continue;
        out.append(value.substr(from, i - from))
            .append(value[i] == L'&' ? L"&amp;"sv : L"&quot;"sv);
        from = i + 1;
    }
    out.append(value.substr(from));
}

// Serializes the body's tokens and tells the tokenizer what a tree builder would.
class BodyWriter {
public:
    BodyWriter(Tokenizer& tokenizer, std::wstring& out) : tokenizer_(tokenizer), out_(out) {}

    // False once the body has ended.
    bool Write(const Token& token) {
        const bool raw = raw_;
        raw_ = false;
        switch (token.type) {
            case TokenType::Character:
                if (raw) {
                    out_.append(token.data);
                } else {
                    AppendText(out_, token.data);
                }
                raw_ = raw;
                return true;
            case TokenType::StartTag:
                WriteStartTag(token);
                return true;
            case TokenType::EndTag: {
                const unsigned flags = FlagsOf(token.name);
                if (flags & kDocument) return false;
                if (token.name == L"br"sv) {
                    out_.append(L"<BR>"sv);  // browsers read </br> as <br>
                } else if (!(flags & kVoid)) {
                    out_.append(L"</");
                    AppendUpper(out_, token.name);
                    out_.push_back(L'>');
                }
                return true;
            }
            case TokenType::Comment:
                out_.append(L"<!--"sv).append(token.data).append(L"-->"sv);
                return true;
            case TokenType::Doctype:
                return true;
            case TokenType::EndOfFile:
                return false;
        }
        return false;
    }

private:
    void WriteStartTag(const Token& token) {
        const unsigned flags = FlagsOf(token.name);
        if (flags & kDocument) return;  // merged into the open ones
        out_.push_back(L'<');
        AppendUpper(out_, token.name);
        for (const Attribute& a : token.attributes) {
            out_.push_back(L' ');
            out_.append(a.name).append(L"=\""sv);
            AppendAttributeValue(out_, a.value);
            out_.push_back(L'"');
        }
        out_.push_back(L'>');
        const TokenizerState state = ContentState(flags);
        tokenizer_.SetState(state);
        // Script, style and the like are written as they came; RCDATA text is escaped again.
        raw_ = state != TokenizerState::Data && state != TokenizerState::Rcdata;
    }

    Tokenizer& tokenizer_;
    std::wstring& out_;
    bool raw_ = false;
};

// Reads up to the first token that belongs in the body: what comes before (DOCTYPE, html and
// head tags, head elements and their text, blanks, comments) is skipped. Returns that token, with
// leading blanks trimmed off when it is text.
const Token* SkipToBody(Tokenizer& tokenizer, bool& explicitBody) {
    bool inHeadText = false;  // inside title, style, script and the like in the head
    for (;;) {
        const Token& token = tokenizer.Next();
        const bool wasInHeadText = inHeadText;
        inHeadText = false;
        switch (token.type) {
            case TokenType::EndOfFile:
                return nullptr;
            case TokenType::Doctype:
            case TokenType::Comment:
                break;
            case TokenType::Character:
                if (wasInHeadText || std::all_of(token.data.begin(), token.data.end(), IsBlank)) {
                    inHeadText = wasInHeadText;
                    break;
                }
                return &token;
            case TokenType::EndTag:
                // Stray end tags before the body are ignored by browsers, except </br>.
                if (token.name == L"br"sv) return &token;
                break;
            case TokenType::StartTag: {
                const unsigned flags = FlagsOf(token.name);
                if (token.name == L"body"sv) {
                    explicitBody = true;
                    return nullptr;
                }
                if (flags & kHeadOnly) break;
                if (flags & kHeadText) {
                    // A browser runs scripts, so a noscript in the head holds raw text.
                    tokenizer.SetState(token.name == L"noscript"sv ? TokenizerState::Rawtext
                                                                   : ContentState(flags));
                    inHeadText = true;
                    break;
                }
                return &token;
            }
        }
    }
}

}  // namespace

std::wstring BodyInnerHtml(std::wstring_view document) {
    std::wstring out;
    Tokenizer tokenizer(document);
    BodyWriter writer(tokenizer, out);
    bool explicitBody = false;
    const Token* first = SkipToBody(tokenizer, explicitBody);
    if (first == nullptr && !explicitBody) return out;
    out.reserve(document.size() + document.size() / 8);  // room for escapes: one allocation
    if (first != nullptr) {
        if (first->type == TokenType::Character) {
            const std::wstring_view text = first->data;
            const auto start = std::find_if_not(text.begin(), text.end(), IsBlank);
            AppendText(out, text.substr(static_cast<std::size_t>(start - text.begin())));
        } else if (!writer.Write(*first)) {
            return out;
        }
    }
    while (writer.Write(tokenizer.Next())) {
    }
    return out;
}

std::optional<std::wstring> FirstFormControlValue(std::wstring_view document,
                                                  std::wstring_view controlName) {
    Tokenizer tokenizer(document);
    bool inForm = false;
    for (;;) {
        const Token& token = tokenizer.Next();
        if (token.type == TokenType::EndOfFile) return std::nullopt;
        if (token.type == TokenType::EndTag && inForm && token.name == L"form"sv)
            return std::nullopt;
        if (token.type != TokenType::StartTag) continue;
        const unsigned flags = FlagsOf(token.name);
        tokenizer.SetState(ContentState(flags));
        if (!inForm) {
            inForm = token.name == L"form"sv;
            continue;
        }
        if (!(flags & kControl)) continue;
        const std::wstring* name = token.Find(L"name"sv);
        if (name == nullptr || *name != controlName) continue;
        if (token.name != L"textarea"sv) {
            const std::wstring* value = token.Find(L"value"sv);
            return value != nullptr ? *value : std::wstring();
        }
        std::wstring text;
        for (const Token* t = &tokenizer.Next(); t->type == TokenType::Character;
             t = &tokenizer.Next()) {
            text.append(t->data);
        }
        // As in browsers, a newline right after <textarea> is not part of the value.
        if (!text.empty() && text.front() == L'\n') text.erase(0, 1);
        return text;
    }
}

bool IsBlockElement(std::wstring_view tagName) {
    // Looked up for every tag of a long text: sorted out by the first letter.
    if (tagName.empty()) return false;
    switch (tagName[0]) {
        case L'b': return tagName == L"blockquote"sv;
        case L'c': return tagName == L"center"sv;
        case L'd': return tagName == L"div"sv || tagName == L"dl"sv || tagName == L"dt"sv || tagName == L"dd"sv;
        case L'h':
            return tagName == L"hr"sv ||
                   (tagName.size() == 2 && tagName[1] >= L'1' && tagName[1] <= L'6');
        case L'l': return tagName == L"li"sv;
        case L'o': return tagName == L"ol"sv;
        case L'p': return tagName == L"p"sv || tagName == L"pre"sv;
        case L't': return tagName == L"table"sv || tagName == L"tr"sv;
        case L'u': return tagName == L"ul"sv;
        default: return false;
    }
}

}  // namespace quorvanel::html
