#include "bot/reply_text.h"

#include "bot/html_reader.h"
#include "bot/html_tokenizer.h"

// A single pass over the markup that reads tags, comments and character references as the HTML
// tokenizer does in text content, but copies runs of plain text whole: answers are mostly text,
// and a page of the largest size read must convert in a few milliseconds.
namespace quorvanel {
namespace {

constexpr std::size_t kNone = std::wstring_view::npos;

bool IsTagSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f';
}
bool IsBlank(wchar_t c) {
    return IsTagSpace(c) || c == L'\u00A0';
}
bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}
// Characters that need a closer look; anything else is copied as it is.
bool MayBeSpecial(wchar_t c) {
    return c <= L'&' || c == L'<' || c == L'\u00A0';
}

// A tag's name in lower case, as far as it matters: no name the program knows is this long.
class TagName {
  public:
    explicit TagName(std::wstring_view name) {
        if (name.size() > kMax) return;
        for (wchar_t c : name)
            buffer_[length_++] = (c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c;
    }
    std::wstring_view View() const { return {buffer_, length_}; }

  private:
    static constexpr std::size_t kMax = 16;
    wchar_t buffer_[kMax] = {};
    std::size_t length_ = 0;
};

// What starts with '<' at `at`: a start or end tag (with its name), a comment or other markup that
// shows nothing, or a plain '<' (end == at).
struct Markup {
    std::size_t end = 0;  // just past it
    std::wstring_view name;
    bool isTag = false;
    bool isEndTag = false;
};

std::size_t PastClosingBracket(std::wstring_view in, std::size_t from) {
    const std::size_t close = in.find(L'>', from);
    return close == kNone ? in.size() : close + 1;
}

// Ends at "-->", "--!>" or, right at the start, ">" and "->"; a comment left open runs to the end.
std::size_t PastComment(std::wstring_view in, std::size_t from) {
    if (in.substr(from, 1) == L">") return from + 1;
    if (in.substr(from, 2) == L"->") return from + 2;
    for (std::size_t dashes = in.find(L"--", from); dashes != kNone;
         dashes = in.find(L"--", dashes + 1)) {
        std::size_t after = dashes + 2;
        while (after < in.size() && in[after] == L'-') ++after;
        if (in.substr(after, 1) == L">") return after + 1;
        if (in.substr(after, 2) == L"!>") return after + 2;
        dashes = after - 1;
    }
    return in.size();
}

// The attributes up to the tag's '>' (quoted values may hold one); kNone when the text ends first.
std::size_t PastAttributes(std::wstring_view in, std::size_t at) {
    const std::size_t n = in.size();
    auto endsName = [](wchar_t c) { return IsTagSpace(c) || c == L'/' || c == L'>' || c == L'='; };
    while (at < n) {
        if (in[at] == L'>') return at + 1;
        if (IsTagSpace(in[at]) || in[at] == L'/') {
            ++at;
            continue;
        }
        ++at;  // an attribute's name may start with any character, '=' too
        while (at < n && !endsName(in[at])) ++at;
        while (at < n && IsTagSpace(in[at])) ++at;
        if (at >= n || in[at] != L'=') continue;
        ++at;
        while (at < n && IsTagSpace(in[at])) ++at;
        if (at < n && (in[at] == L'"' || in[at] == L'\'')) {
            const std::size_t close = in.find(in[at], at + 1);
            if (close == kNone) return kNone;
            at = close + 1;
        } else {
            while (at < n && !IsTagSpace(in[at]) && in[at] != L'>') ++at;
        }
    }
    return kNone;
}

Markup ReadMarkup(std::wstring_view in, std::size_t at) {
    const std::size_t n = in.size();
    Markup markup;
    markup.end = at;  // a plain '<' unless found otherwise
    std::size_t p = at + 1;
    if (p >= n) return markup;
    if (in[p] == L'!') {
        markup.end =
            in.substr(p + 1, 2) == L"--" ? PastComment(in, p + 3) : PastClosingBracket(in, p);
        return markup;
    }
    if (in[p] == L'?') {
        markup.end = PastClosingBracket(in, p);
        return markup;
    }
    if (in[p] == L'/') {
        ++p;
        if (p >= n) return markup;  // "</" at the very end is text
        if (in[p] == L'>') {
            markup.end = p + 1;
            return markup;
        }
        if (!IsAsciiLetter(in[p])) {
            markup.end = PastClosingBracket(in, p);
            return markup;
        }
        markup.isEndTag = true;
    } else if (!IsAsciiLetter(in[p])) {
        return markup;
    }
    std::size_t nameEnd = p;
    while (nameEnd < n && !IsTagSpace(in[nameEnd]) && in[nameEnd] != L'/' && in[nameEnd] != L'>') {
        ++nameEnd;
    }
    const std::size_t end = PastAttributes(in, nameEnd);
    markup.end = end == kNone ? n : end;
    markup.isTag = end != kNone;  // a tag the text ends inside is dropped, and does nothing
    markup.name = in.substr(p, nameEnd - p);
    return markup;
}

// Where the raw text of a script or style element ends: at its end tag, or at the end of the text.
std::size_t RawTextEnd(std::wstring_view in, std::size_t from, std::wstring_view lowerName) {
    for (std::size_t open = in.find(L"</", from); open != kNone; open = in.find(L"</", open + 2)) {
        const std::size_t after = open + 2 + lowerName.size();
        if (after > in.size() ||
            TagName(in.substr(open + 2, lowerName.size())).View() != lowerName) {
            continue;
        }
        if (after == in.size() || IsTagSpace(in[after]) || in[after] == L'/' || in[after] == L'>') {
            return open;
        }
    }
    return in.size();
}

// The references the body markup is written with, read without a search of the whole table.
constexpr struct {
    std::wstring_view name;
    wchar_t character;
} kEscapes[] = {
    {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&nbsp;", L'\u00A0'}, {L"&quot;", L'"'}};

// The address a link's start tag names: its href attribute as the tokenizer reads it (character
// references decoded), less the control characters and spaces a browser strips from either end
// before it parses an address; empty when there is none.
std::wstring HrefOf(std::wstring_view tag) {
    html::Tokenizer tokenizer(tag);
    const html::Token& token = tokenizer.Next();
    const std::wstring* href =
        token.type == html::TokenType::StartTag ? token.Find(L"href") : nullptr;
    if (href == nullptr) return {};
    std::wstring_view address = *href;
    while (!address.empty() && address.front() <= L' ') address.remove_prefix(1);
    while (!address.empty() && address.back() <= L' ') address.remove_suffix(1);
    return std::wstring(address);
}

// Addresses a contact can follow from a chat message.
bool IsFollowable(std::wstring_view href) {
    const std::wstring scheme(TagName(href.substr(0, href.find(L':') == kNone ? 0 : href.find(L':') + 1)).View());
    return scheme == L"http:" || scheme == L"https:" || scheme == L"ftp:" || scheme == L"mailto:";
}

// Tags at which a browser starts a new line or cell.
bool Separates(std::wstring_view name) {
    using namespace std::string_view_literals;
    return name == L"br"sv || name == L"td"sv || name == L"th"sv || html::IsBlockElement(name);
}

}  // namespace

std::wstring ReplyFragmentToText(std::wstring_view fragment) {
    std::wstring text;
    text.reserve(fragment.size());
    bool blankDue = false;  // a blank goes before the next visible character
    auto visible = [&] {
        if (blankDue && !text.empty()) text.push_back(L' ');
        blankDue = false;
    };
    auto put = [&](wchar_t c) {
        if (IsBlank(c)) {
            blankDue = true;
        } else if (c != L'\0') {  // a NUL shows nothing, and would cut the text short
            visible();
            text.push_back(c);
        }
    };
    std::wstring reference;
    // A link being read: its address and where its text starts. When the text shows something
    // other than the address, the address follows it in brackets, so the contact can follow it.
    std::wstring link;
    std::size_t linkText = 0;
    auto endLink = [&] {
        if (link.empty()) return;
        std::wstring_view shown = std::wstring_view(text).substr(std::min(linkText, text.size()));
        while (!shown.empty() && shown.front() == L' ') shown.remove_prefix(1);
        if (shown != link) {
            visible();
            if (!text.empty() && text.back() != L' ') text.push_back(L' ');
            text += L"(" + link + L")";
        }
        link.clear();
    };
    const std::size_t n = fragment.size();
    std::size_t at = 0;
    while (at < n) {
        // A run of plain text, single spaces between its words included, is copied whole.
        const std::size_t run = at;
        while (at < n &&
               (!MayBeSpecial(fragment[at]) || (fragment[at] == L' ' && at > run && at + 1 < n &&
                                                !MayBeSpecial(fragment[at + 1])))) {
            ++at;
        }
        if (at > run) {
            visible();
            text.append(fragment.substr(run, at - run));
            if (at == n) break;
        }
        const wchar_t c = fragment[at];
        if (c == L'&') {
            const std::wstring_view rest = fragment.substr(at);
            const wchar_t next = rest.size() > 1 ? rest[1] : L'\0';
            if (!IsAsciiLetter(next) && !(next >= L'0' && next <= L'9') && next != L'#') {
                put(L'&');  // starts no reference
                ++at;
                continue;
            }
            bool known = false;
            for (const auto& escape : kEscapes) {
                if (rest.size() < 2 || rest[1] != escape.name[1]) continue;
                if (rest.starts_with(escape.name)) {
                    put(escape.character);
                    at += escape.name.size();
                    known = true;
                    break;
                }
            }
            if (known) continue;
            reference.clear();
            at += html::AppendCharacterReference(rest, reference);
            for (wchar_t r : reference) put(r);
        } else if (c == L'<') {
            const Markup markup = ReadMarkup(fragment, at);
            if (markup.end == at) {
                put(L'<');
                ++at;
                continue;
            }
            const std::wstring_view tag = fragment.substr(at, markup.end - at);
            at = markup.end;
            if (!markup.isTag) continue;
            const TagName name(markup.name);
            if (name.View() == L"a") {
                endLink();
                std::wstring href = markup.isEndTag ? std::wstring() : HrefOf(tag);
                if (IsFollowable(href)) {
                    link = std::move(href);
                    linkText = text.size();
                }
            }
            if (!markup.isEndTag && (name.View() == L"script" || name.View() == L"style")) {
                at = RawTextEnd(fragment, at, name.View());
            } else if (Separates(name.View())) {
                blankDue = true;
            }
        } else {
            put(c);
            ++at;
        }
    }
    endLink();
    return text;
}

}  // namespace quorvanel
