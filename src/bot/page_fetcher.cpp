#include "bot/page_fetcher.h"

#include <algorithm>
#include <cctype>

#include "bot/html_reader.h"
#include "qvbot/text.h"

namespace quorvanel {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The charset named after "charset=" in a header value or a meta tag, lower case.
std::string CharsetIn(std::string_view lowerText) {
    const std::size_t at = lowerText.find("charset");
    if (at == std::string_view::npos) return {};
    std::size_t i = at + 7;
    while (i < lowerText.size() && (lowerText[i] == ' ' || lowerText[i] == '=' ||
                                    lowerText[i] == '"' || lowerText[i] == '\'')) {
        ++i;
    }
    std::size_t end = i;
    while (end < lowerText.size() && (std::isalnum(static_cast<unsigned char>(lowerText[end])) ||
                                      lowerText[end] == '-' || lowerText[end] == '_')) {
        ++end;
    }
    return std::string(lowerText.substr(i, end - i));
}

}  // namespace

unsigned CharsetCodePage(std::string_view charset) {
    // Compared without case, hyphens or underscores: "ISO_8859-1" is "iso88591".
    std::string name;
    for (char c : Lower(charset)) {
        if (c != '-' && c != '_') name += c;
    }
    if (name == "utf8") return kUtf8CodePage;
    for (std::string_view latin1 : {"iso88591", "latin1", "l1", "windows1252", "cp1252", "xcp1252",
                                    "usascii", "ascii", "cp819", "ibm819", "isoir100",
                                    "csisolatin1"}) {
        if (name == latin1) return 1252;
    }
    if (name == "koi8r") return 20866;
    for (std::string_view thai : {"windows874", "cp874", "xcp874", "tis620"}) {
        if (name == thai) return 874;
    }
    // windows-125N, cp125N: N from 0 to 8.
    for (std::string_view prefix : {"windows125", "cp125", "xcp125"}) {
        if (name.size() == prefix.size() + 1 && name.starts_with(prefix) && name.back() >= '0' &&
            name.back() <= '8') {
            return 1250 + static_cast<unsigned>(name.back() - '0');
        }
    }
    // iso-8859-N: N from 2 to 15, 12 never defined; Thai (11) is Windows' 874. Windows has no
    // code page for 10 (Nordic) or 14 (Celtic): those read as unknown, in the ANSI code page.
    if (name.starts_with("iso8859") && name.size() > 7 && name.size() <= 9) {
        unsigned part = 0;
        for (char c : name.substr(7)) {
            if (c < '0' || c > '9') return 0;
            part = part * 10 + static_cast<unsigned>(c - '0');
        }
        if (part == 11) return 874;
        if (part >= 2 && part <= 15 && part != 10 && part != 12 && part != 14) return 28590 + part;
    }
    return 0;
}

std::wstring DecodePage(const HttpResponse& response, TextCodec& codec) {
    // A byte-order mark says UTF-8 before any label does, as in a browser.
    if (std::string_view(response.body).starts_with("\xEF\xBB\xBF")) {
        return qvbot::WideFromUtf8(std::string_view(response.body).substr(3));
    }
    std::string charset = CharsetIn(Lower(response.contentType));
    if (charset.empty()) {
        // A meta charset must come early in the page; the first 4 KB are looked at.
        const std::string head = Lower(std::string_view(response.body).substr(0, 4096));
        for (std::size_t at = head.find("<meta"); at != std::string::npos && charset.empty();
             at = head.find("<meta", at + 5)) {
            const std::size_t end = head.find('>', at);
            charset = CharsetIn(std::string_view(head).substr(at, end == std::string::npos
                                                                       ? std::string::npos
                                                                       : end - at));
        }
    }
    const unsigned codePage = CharsetCodePage(charset);
    if (codePage == kUtf8CodePage) return qvbot::WideFromUtf8(response.body);
    if (codePage == 0) return codec.FromAnsi(response.body);
    return codec.FromCodePage(response.body, codePage);
}

PageFetcher::PageFetcher(HttpClient& client, TextCodec& codec, Scheduler& scheduler,
                         std::function<void(const std::wstring&)> trouble)
    : client_(client), codec_(codec), scheduler_(scheduler), trouble_(std::move(trouble)) {}

std::wstring PageFetcher::Read(const HttpResponse& response) {
    if (!response.received || response.status < 200 || response.status > 299) return {};
    lastDocument_ = DecodePage(response, codec_);
    return html::BodyInnerHtml(lastDocument_);
}

// One fetch under way: its request, the work scheduled for it, and whether it has been settled
// one way or the other. Only its own completion or its own limit can settle it.
struct PageFetcher::Fetch {
    std::unique_ptr<HttpRequest> request;
    std::function<void(std::wstring)> done;
    Scheduler::WorkId waker = 0;
    Scheduler::WorkId limit = 0;
    bool over = false;
};

void PageFetcher::FetchPage(const std::wstring& url, const std::wstring& body,
                            std::function<void(std::wstring)> done) {
    lastDocument_.clear();
    auto fetch = std::make_shared<Fetch>();
    fetch->done = std::move(done);
    // The limit first: a request that could never end must not start.
    fetch->limit = scheduler_.After(kRequestLimitMs, [this, fetch] { Arrived(fetch, false); });
    if (fetch->limit == 0) return NoTimer(fetch);
    // Whichever comes first, the answer or the request limit, settles it.
    Scheduler::Wake wake = scheduler_.Waker([this, fetch] { Arrived(fetch, true); });
    fetch->waker = wake.id;
    fetch->request = client_.Start(codec_.ToAnsi(url), kFormHeader, codec_.ToAnsi(body), std::move(wake.call));
    if (!fetch->request) Arrived(fetch, false);
}

void PageFetcher::Arrived(const std::shared_ptr<Fetch>& fetch, bool inTime) {
    if (fetch->over) return;
    fetch->over = true;
    // Whichever way it ended, the other way is no longer waited for.
    scheduler_.Cancel(inTime ? fetch->limit : fetch->waker);
    HttpResponse response;
    if (inTime && fetch->request && fetch->request->Done()) response = fetch->request->TakeResponse();
    // A request that ran out of time is abandoned; its late answer is never read.
    fetch->request.reset();
    // The settle wait always runs, also after a time-out.
    const auto settled = [this, fetch, response = std::move(response)] {
        auto done = std::move(fetch->done);
        done(Read(response));
    };
    if (scheduler_.After(kSettleMs, settled) == 0) NoTimer(fetch);
}

void PageFetcher::NoTimer(const std::shared_ptr<Fetch>& fetch) {
    fetch->over = true;
    scheduler_.Cancel(fetch->limit);
    scheduler_.Cancel(fetch->waker);
    fetch->request.reset();
    auto done = std::move(fetch->done);
    done(L"");
    if (trouble_) trouble_(kNoTimerMessage);
}

std::optional<std::wstring> PageFetcher::FirstFormFieldValue(const std::wstring& name) {
    if (lastDocument_.empty()) return std::nullopt;
    return html::FirstFormControlValue(lastDocument_, name);
}

}  // namespace quorvanel
