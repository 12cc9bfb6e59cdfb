#include "bot/page_fetcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_http.h"

namespace quorvanel {
namespace {

using testing::FakeClock;
using testing::Latin1Codec;
using testing::ScriptedHttp;

class Fetching : public ::testing::Test {
protected:
    FakeClock clock;
    ScriptedHttp http{clock};
    testing::FakeScheduler scheduler{clock};
    Latin1Codec codec;
    std::vector<std::wstring> trouble;
    PageFetcher fetcher{http, codec, scheduler, [this](const std::wstring& text) { trouble.push_back(text); }};

    std::wstring Fetch(const std::wstring& url, const std::wstring& body = L"") {
        return testing::FetchNow(fetcher, clock, url, body);
    }
};

TEST_F(Fetching, APagePostsItsBodyAsAnsiAndReturnsItsBodyMarkupAfterTheSettleDelay) {
    http.Answer("<html><body><b>Kestro:</b> Hi. <br><form><input name=botcust2 value=tok></form></body></html>");
    EXPECT_EQ(Fetch(L"HTTP://h/p", L"botcust2=t\u00E9&message=a%20b"),
              L"<B>Kestro:</B> Hi. <BR><FORM><INPUT name=\"botcust2\" value=\"tok\"></FORM>");
    EXPECT_EQ(clock.now, 600);  // 100 ms of loading, then always 500 ms of settling
    EXPECT_EQ(fetcher.FirstFormFieldValue(L"botcust2"), L"tok");
}

// Nothing waits: the page comes through timers, and a request that never answers ends at the
// limit. Each ends only by its own answer or its own limit, and leaves no work scheduled behind.
TEST_F(Fetching, RequestsEndByTheirOwnAnswerOrLimitAndLeaveNothingScheduled) {
    http.Answer("<body>one</body>");
    std::vector<std::pair<std::int64_t, std::wstring>> got;
    const auto keep = [&](std::wstring page) { got.emplace_back(clock.now, std::move(page)); };
    fetcher.FetchPage(L"http://h/", L"", keep);
    fetcher.FetchPage(L"http://h/", L"b=1", keep);  // nothing scripted: never answered
    EXPECT_TRUE(got.empty());
    clock.RunUntil(700);
    EXPECT_EQ(scheduler.Pending(), 2u);  // the second request's limit and waker, nothing of the first
    clock.RunUntil(30'000);
    EXPECT_EQ(got, (std::vector<std::pair<std::int64_t, std::wstring>>{{600, L"one"}, {20'500, L""}}));
    EXPECT_EQ(scheduler.Pending(), 0u);
    EXPECT_TRUE(trouble.empty());
}

// A timer Windows refuses, for the limit or for the settle: the request ends at once, unanswered,
// and the user is told; the next request works again.
TEST_F(Fetching, ATimerThatCannotBeArmedEndsTheRequestAndIsReported) {
    scheduler.refuseTimers = 1;  // the limit's: no request goes
    EXPECT_EQ(Fetch(L"http://h/"), L"");
    http.Answer("<body>lost</body>");
    std::optional<std::wstring> page;
    fetcher.FetchPage(L"http://h/", L"", [&](std::wstring got) { page = std::move(got); });
    scheduler.refuseTimers = 1;  // the settle's, once the page has come
    clock.RunUntil(clock.now + 100);
    EXPECT_EQ(page, L"");
    EXPECT_EQ(http.started.size(), 1u);
    EXPECT_EQ(scheduler.Pending(), 0u);
    EXPECT_EQ(trouble, (std::vector<std::wstring>{kNoTimerMessage, kNoTimerMessage}));
    http.Answer("<body>two</body>");
    EXPECT_EQ(Fetch(L"http://h/"), L"two");  // the next request works again
}

TEST_F(Fetching, ErrorStatusesGiveNoPageAndNoForm) {
    http.Answer("<body><form><input name=botcust2 value=tok></form></body>");
    Fetch(L"http://h/");
    for (int status : {500, 302, 199}) http.Answer("<body><form><input name=botcust2></form></body>", status);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Fetch(L"http://h/"), L"") << i;
        EXPECT_FALSE(fetcher.FirstFormFieldValue(L"botcust2").has_value()) << i;
    }
    EXPECT_EQ(clock.now, 4 * (100 + 500));  // every request settles, failed or not
}

TEST_F(Fetching, PagesAreDecodedByTheirCharset) {
    const std::tuple<const char*, const char*, const wchar_t*> pages[] = {
        {"<body>caf\xC3\xA9</body>", "text/html; charset=UTF-8", L"caf\u00E9"},
        {"<head><meta charset=\"utf-8\"></head><body>caf\xC3\xA9</body>", "text/html", L"caf\u00E9"},
        {"<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head><body>\xE2\x82\xAC</body>",
         "text/html", L"\u20AC"},
        {"<body>caf\xE9</body>", "text/html; charset=ISO-8859-1", L"caf\u00E9"},
        {"\xEF\xBB\xBF<body>caf\xC3\xA9</body>", "text/html", L"caf\u00E9"},  // the byte-order mark
    };
    for (const auto& [body, type, text] : pages) {
        http.Answer(body, 200, type);
        EXPECT_EQ(Fetch(L"http://h/"), text) << body;
    }
    // The header wins over a meta tag; a meta tag names a single-byte code page too.
    codec.codePages.clear();
    http.Answer("<head><meta charset=koi8-r></head><body>x</body>", 200, "text/html; charset=latin1");
    Fetch(L"http://h/");
    http.Answer("<head><meta charset='Windows-1251'></head><body>x</body>", 200, "text/html");
    Fetch(L"http://h/");
    EXPECT_THAT(codec.codePages, ::testing::ElementsAre(1252u, 1251u));
}

TEST(CharsetCodePage, NamesTheWindowsCodePage) {
    const struct {
        const char* charset;
        unsigned codePage;
    } cases[] = {
        {"utf-8", 65001},      {"UTF8", 65001},        {"ISO-8859-1", 1252},  {"iso_8859-1", 1252},
        {"cp1250", 1250},      {"windows-1258", 1258}, {"windows-1259", 0},   {"windows-125", 0},
        {"iso-8859-2", 28592}, {"ISO-8859-15", 28605}, {"iso-8859-11", 874},  {"iso-8859-12", 0},
        {"iso-8859-16", 0},    {"iso-8859-", 0},       {"iso-8859-1x", 0},    {"KOI8-R", 20866},
        {"", 0},               {"iso-8859-10", 0},     {"ISO-8859-14", 0},    {"iso-8859-13", 28603},
        {"windows-874", 874},  {"TIS-620", 874},
    };
    for (const auto& c : cases) EXPECT_EQ(CharsetCodePage(c.charset), c.codePage) << c.charset;
}

}  // namespace
}  // namespace quorvanel
