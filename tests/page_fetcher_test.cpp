#include "bot/page_fetcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_http.h"

namespace quorvanel {
namespace {

using testing::FakeClock;
using testing::FakeWaiter;
using testing::Latin1Codec;
using testing::ScriptedHttp;

class Fetching : public ::testing::Test {
protected:
    FakeClock clock;
    ScriptedHttp http{clock};
    FakeWaiter waiter{clock};
    Latin1Codec codec;
    PageFetcher fetcher{http, waiter, codec};
};

TEST_F(Fetching, APagePostsItsBodyAsAnsiAndReturnsItsBodyMarkupAfterTheSettleDelay) {
    http.Answer("<html><body><b>Kestro:</b> Hi. <br><form><input name=botcust2 value=tok></form></body></html>");
    EXPECT_EQ(fetcher.FetchPage(L"HTTP://h/p", L"botcust2=t\u00E9&message=a%20b"),
              L"<B>Kestro:</B> Hi. <BR><FORM><INPUT name=\"botcust2\" value=\"tok\"></FORM>");
    EXPECT_EQ(clock.now, 600);  // 100 ms of loading, then always 500 ms of settling
    EXPECT_EQ(fetcher.FirstFormFieldValue(L"botcust2"), L"tok");
}

// With a scheduler nothing waits: the page comes through timers, settled as a waited one is, and a
// request that never answers ends at the limit.
TEST_F(Fetching, AnAsynchronousFetchSettlesOnTimersWithoutWaiting) {
    testing::FakeScheduler scheduler{clock};
    PageFetcher async{http, waiter, codec, &scheduler};
    http.Answer("<body>one</body>");
    std::vector<std::pair<std::int64_t, std::wstring>> got;
    const auto keep = [&](std::wstring page) { got.emplace_back(clock.now, std::move(page)); };
    async.FetchPageAsync(L"http://h/", L"", keep);
    async.FetchPageAsync(L"http://h/", L"b=1", keep);  // nothing scripted: never answered
    EXPECT_TRUE(got.empty());
    clock.RunUntil(30'000);
    EXPECT_EQ(got, (std::vector<std::pair<std::int64_t, std::wstring>>{{600, L"one"}, {20'500, L""}}));
}

TEST_F(Fetching, ErrorStatusesGiveNoPageAndNoForm) {
    http.Answer("<body><form><input name=botcust2 value=tok></form></body>");
    fetcher.FetchPage(L"http://h/", L"");
    for (int status : {500, 302, 199}) http.Answer("<body><form><input name=botcust2></form></body>", status);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"") << i;
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
        {"<body>\xC0\xAF\xED\xA0\x80x\xE2(\xF0\x9F\x98\x80\xE2\x82</body>", "text/html; charset=utf-8",
         L"\uFFFD\uFFFD\uFFFDx\uFFFD(\U0001F600\uFFFD"},
    };
    for (const auto& [body, type, text] : pages) {
        http.Answer(body, 200, type);
        EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), text) << body;
    }
    // The header wins over a meta tag; a meta tag names a single-byte code page too.
    codec.codePages.clear();
    http.Answer("<head><meta charset=koi8-r></head><body>x</body>", 200, "text/html; charset=latin1");
    fetcher.FetchPage(L"http://h/", L"");
    http.Answer("<head><meta charset='Windows-1251'></head><body>x</body>", 200, "text/html");
    fetcher.FetchPage(L"http://h/", L"");
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
