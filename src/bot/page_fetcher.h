#pragma once

#include <memory>

#include "bot/http_client.h"
#include "platform/scheduler.h"
#include "bot/transport.h"

namespace quorvanel {

inline constexpr std::int64_t kRequestLimitMs = 20'000;
inline constexpr std::int64_t kSettleMs = 500;
inline constexpr char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded\r\n";

// Said when a timer cannot be armed (Windows has run out of them), and the request it was for
// has ended unanswered.
inline constexpr wchar_t kNoTimerMessage[] =
    L"Windows could not set a timer, so a request to the bot server was given up and answered "
    L"with the connection error. Closing some programs may help.";

// The transport: starts the request, lets it run up to the request limit while the window goes
// on working, then always lets the page settle for half a second, and reads the body markup. It
// waits only on the scheduler's timers and a completion posted back, never in a loop.
class PageFetcher final : public Transport {
public:
    // `trouble` is told when a timer cannot be armed.
    PageFetcher(HttpClient& client, TextCodec& codec, Scheduler& scheduler,
                std::function<void(const std::wstring&)> trouble = {});

    void FetchPage(const std::wstring& url, const std::wstring& body,
                   std::function<void(std::wstring)> done) override;
    std::optional<std::wstring> FirstFormFieldValue(const std::wstring& name) override;

private:
    struct Fetch;
    void Arrived(const std::shared_ptr<Fetch>& fetch, bool inTime);
    // The request ends unanswered at once, and the user is told why.
    void NoTimer(const std::shared_ptr<Fetch>& fetch);
    std::wstring Read(const HttpResponse& response);

    HttpClient& client_;
    TextCodec& codec_;
    Scheduler& scheduler_;
    std::function<void(const std::wstring&)> trouble_;
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
