#pragma once

#include <memory>

#include "bot/http_client.h"
#include "platform/scheduler.h"
#include "bot/transport.h"

namespace quorvanel {

inline constexpr std::int64_t kRequestLimitMs = 20'000;
inline constexpr std::int64_t kSettleMs = 500;
inline constexpr char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded\r\n";

// The transport: starts the request, waits up to the request limit while the window goes on
// working, then always lets the page settle for half a second, and reads the body markup.
class PageFetcher final : public Transport {
public:
    // With a scheduler, FetchPageAsync waits on timers and a posted completion, not in a loop.
    PageFetcher(HttpClient& client, Waiter& waiter, TextCodec& codec, Scheduler* scheduler = nullptr);

    std::wstring FetchPage(const std::wstring& url, const std::wstring& body) override;
    void FetchPageAsync(const std::wstring& url, const std::wstring& body,
                        std::function<void(std::wstring)> done) override;
    std::optional<std::wstring> FirstFormFieldValue(const std::wstring& name) override;

private:
    struct Fetch;
    void Arrived(const std::shared_ptr<Fetch>& fetch, bool inTime);
    std::wstring Read(const HttpResponse& response);

    HttpClient& client_;
    Waiter& waiter_;
    TextCodec& codec_;
    Scheduler* scheduler_;
    std::wstring lastDocument_;  // the whole page last fetched, "" when none came
};

inline constexpr unsigned kUtf8CodePage = 65001;

// The Windows code page of a charset name (any case): UTF-8; windows-1252 for ISO-8859-1, Latin-1,
// US-ASCII and their aliases; windows-1250 to 1258, ISO-8859-2 to -15 and KOI8-R as themselves;
// 0 for any other name (the ANSI code page then).
unsigned CharsetCodePage(std::string_view charset);

// A page's text in the charset its Content-Type or else a meta tag names; without a known one, in
// the ANSI code page.
std::wstring DecodePage(const HttpResponse& response, TextCodec& codec);

}  // namespace quorvanel
