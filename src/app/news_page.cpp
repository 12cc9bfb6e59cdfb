#include "app/news_page.h"

#include "bot/html_reader.h"
#include "bot/html_tokenizer.h"

namespace quorvanel {
namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

class TextBuilder {
public:
    void Text(std::wstring_view text) {
        for (wchar_t c : text) {
            if (IsSpace(c)) {
                pendingSpace_ = true;
                continue;
            }
            if (pendingSpace_ && !result_.text.empty() && result_.text.back() != L'\n') {
                result_.text += L' ';
            }
            pendingSpace_ = false;
            result_.text += c;
        }
    }
    void LineBreak() {
        pendingSpace_ = false;
        result_.text += L'\n';
    }
    void BlockBreak() {
        pendingSpace_ = false;
        if (!result_.text.empty() && result_.text.back() != L'\n') result_.text += L'\n';
    }
    void OpenLink(std::wstring href) {
        linkStart_ = result_.text.size();
        href_ = std::move(href);
        inLink_ = true;
    }
    void CloseLink() {
        if (!inLink_) return;
        inLink_ = false;
        // A leading space written inside the link belongs to the text before it.
        std::size_t start = linkStart_;
        while (start < result_.text.size() && result_.text[start] == L' ') ++start;
        if (result_.text.size() > start && !href_.empty()) {
            result_.links.push_back({start, result_.text.size() - start, href_});
        }
    }
    NewsText Finish() {
        CloseLink();
        while (!result_.text.empty() && IsSpace(result_.text.back())) result_.text.pop_back();
        return std::move(result_);
    }

private:
    NewsText result_;
    bool pendingSpace_ = false;
    bool inLink_ = false;
    std::size_t linkStart_ = 0;
    std::wstring href_;
};

}  // namespace

bool CarriesNewsMarker(std::wstring_view bodyMarkup) {
    return bodyMarkup.find(kNewsMarker) != std::wstring_view::npos;
}

NewsText ReadNewsText(std::wstring_view page) {
    const std::wstring body = html::BodyInnerHtml(page);
    html::Tokenizer tokenizer(body);
    TextBuilder text;
    bool skipping = false;  // inside a script or style element
    while (true) {
        const html::Token& token = tokenizer.Next();
        if (token.type == html::TokenType::EndOfFile) break;
        switch (token.type) {
            case html::TokenType::Character:
                if (!skipping) text.Text(token.data);
                break;
            case html::TokenType::StartTag:
                if (token.name == L"script" || token.name == L"style") {
                    skipping = true;
                    tokenizer.SetState(token.name == L"script" ? html::TokenizerState::ScriptData
                                                               : html::TokenizerState::Rawtext);
                    tokenizer.SetLastStartTag(token.name);
                } else if (token.name == L"br") {
                    text.LineBreak();
                } else if (token.name == L"a") {
                    const std::wstring* href = token.Find(L"href");
                    text.OpenLink(href != nullptr ? *href : std::wstring());
                } else if (html::IsBlockElement(token.name)) {
                    text.BlockBreak();
                }
                break;
            case html::TokenType::EndTag:
                if (token.name == L"script" || token.name == L"style") {
                    skipping = false;
                } else if (token.name == L"a") {
                    text.CloseLink();
                } else if (html::IsBlockElement(token.name)) {
                    text.BlockBreak();
                }
                break;
            default:
                break;
        }
    }
    return text.Finish();
}

}  // namespace quorvanel
