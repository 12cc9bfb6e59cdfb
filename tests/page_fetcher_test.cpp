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

TEST_F(Fetching, GetCarriesTheFormHeaderAndReturnsAfterTheSettleDelay) {
    http.Answer("<html><body><b>Kestro:</b> Hi. <br></body></html>", 200, "text/html", 100);
    EXPECT_EQ(fetcher.FetchPage(L"http://bots.example/pandora/talk?botid=1", L""),
              L"<B>Kestro:</B> Hi. <BR>");
    ASSERT_EQ(http.started.size(), 1u);
    EXPECT_EQ(http.started[0].url, "http://bots.example/pandora/talk?botid=1");
    EXPECT_EQ(http.started[0].headers, "Content-Type: application/x-www-form-urlencoded\r\n");
    EXPECT_EQ(http.started[0].body, "");
    EXPECT_EQ(clock.now, 600);  // 100 ms of loading, then always 500 ms of settling
    ASSERT_EQ(waiter.waits.size(), 2u);
    EXPECT_EQ(waiter.waits[0].timeoutMs, 20'000);
    EXPECT_EQ(waiter.waits[1].timeoutMs, 500);
}

TEST_F(Fetching, PostSendsTheBodyAsAnsiBytes) {
    http.Answer("<body>ok</body>");
    fetcher.FetchPage(L"HTTP://h/p", L"botcust2=t\u00E9&message=a%20b");
    EXPECT_EQ(http.started[0].body, "botcust2=t\xE9&message=a%20b");
    EXPECT_EQ(http.started[0].headers, "Content-Type: application/x-www-form-urlencoded\r\n");
}

TEST_F(Fetching, AServerThatNeverAnswersTimesOutAfterTwentyAndAHalfSeconds) {
    http.NeverAnswer();
    int ticks = 0;
    clock.Every(1000, 30'000, [&] { ++ticks; });  // the poll timer keeps running meanwhile
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"");
    EXPECT_EQ(clock.now, 20'500);
    EXPECT_EQ(ticks, 20);
    EXPECT_EQ(http.abandoned, 1);
    EXPECT_FALSE(fetcher.FirstFormFieldValue(L"botcust2").has_value());

    // A later answer of the abandoned request cannot leak into the next one.
    http.Answer("<body><form><input name=botcust2 value=new></form></body>");
    fetcher.FetchPage(L"http://h/", L"");
    EXPECT_EQ(fetcher.FirstFormFieldValue(L"botcust2"), L"new");
}

TEST_F(Fetching, ErrorStatusesFailuresAndEmptyBodiesGiveNoPage) {
    http.Answer("<body>Internal error</body>", 500);
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"");
    http.Answer("<body>moved</body>", 302);
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"");
    http.FailConnection();
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"");
    http.Answer("<html><body></body></html>");
    std::wstring page = L"stale";
    EXPECT_FALSE(FetchServerPage(fetcher, L"h", L"", L"/x", page));
    EXPECT_EQ(page, L"");
    http.Answer("", 200);
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"");
    EXPECT_EQ(clock.now, 5 * 500 + 4 * 100 + 50);  // every request settles, failed or not
}

TEST_F(Fetching, FetchServerPageBuildsTheUpperCaseUrlUnchanged) {
    http.Answer("<body>x</body>");
    http.Answer("<body>y</body>");
    std::wstring page;
    EXPECT_TRUE(FetchServerPage(fetcher, L"bots.example:8080", L"a=b", L"/pandora/talk?botid=Z", page));
    EXPECT_EQ(page, L"x");
    EXPECT_TRUE(FetchServerPage(fetcher, L"http://bots.example", L"", L"/p", page));
    EXPECT_EQ(http.started[0].url, "HTTP://bots.example:8080/pandora/talk?botid=Z");
    EXPECT_EQ(http.started[1].url, "HTTP://http://bots.example/p");
}

TEST_F(Fetching, PagesAreDecodedByTheirCharset) {
    http.Answer("<body>caf\xC3\xA9</body>", 200, "text/html; charset=UTF-8");
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"caf\u00E9");
    http.Answer("<head><meta charset=\"utf-8\"></head><body>caf\xC3\xA9</body>", 200, "text/html");
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"caf\u00E9");
    http.Answer("<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
                "</head><body>\xE2\x82\xAC</body>");
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"\u20AC");
    http.Answer("<body>caf\xE9</body>", 200, "text/html; charset=ISO-8859-1");
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"caf\u00E9");
    // The header wins over a meta tag; a meta tag names a single-byte code page too.
    http.Answer("<head><meta charset=koi8-r></head><body>x</body>", 200, "text/html; charset=latin1");
    fetcher.FetchPage(L"http://h/", L"");
    http.Answer("<head><meta charset='Windows-1251'></head><body>x</body>", 200, "text/html");
    fetcher.FetchPage(L"http://h/", L"");
    EXPECT_THAT(codec.codePages, ::testing::ElementsAre(1252u, 1252u, 1251u));
    http.Answer("<body>caf\xE9</body>", 200, "text/html; charset=utf-8");  // broken UTF-8
    EXPECT_EQ(fetcher.FetchPage(L"http://h/", L""), L"caf\uFFFD");
}

TEST(CharsetCodePage, NamesTheWindowsCodePage) {
    const struct {
        const char* charset;
        unsigned codePage;
    } cases[] = {
        {"utf-8", 65001},       {"UTF8", 65001},         {"ISO-8859-1", 1252},  {"iso_8859-1", 1252},
        {"latin1", 1252},       {"US-ASCII", 1252},      {"windows-1252", 1252}, {"cp1250", 1250},
        {"windows-1251", 1251}, {"windows-1258", 1258},  {"windows-1259", 0},    {"windows-125", 0},
        {"iso-8859-2", 28592},  {"ISO-8859-15", 28605},  {"iso-8859-11", 874},   {"iso-8859-12", 0},
        {"iso-8859-16", 0},     {"iso-8859-", 0},        {"iso-8859-1x", 0},     {"KOI8-R", 20866},
        {"shift_jis", 0},       {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CharsetCodePage(c.charset), c.codePage) << c.charset;
}

TEST(DecodeUtf8, ReplacesBrokenSequencesAndKeepsTheRest) {
    EXPECT_EQ(DecodeUtf8("a\xC3\xA9z"), L"a\u00E9z");
    EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80"), std::wstring(L"\U0001F600"));
    EXPECT_EQ(DecodeUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");          // overlong
    EXPECT_EQ(DecodeUtf8("\xED\xA0\x80x"), L"\uFFFDx");  // an encoded surrogate
    EXPECT_EQ(DecodeUtf8("\xE2\x82"), L"\uFFFD");                // cut short at the end
    EXPECT_EQ(DecodeUtf8("\xE2(x"), L"\uFFFD(x");
    EXPECT_EQ(DecodeUtf8(std::string("\0a", 2)), std::wstring(L"\0a", 2));
}

TEST_F(Fetching, FormFieldsComeFromTheWholePageLastFetched) {
    http.Answer("<html><head><title>t</title></head><body><form><input type=hidden "
                "name=botcust2 value=\"tok\"></form></body></html>");
    fetcher.FetchPage(L"http://h/", L"");
    EXPECT_EQ(fetcher.FirstFormFieldValue(L"botcust2"), L"tok");
    EXPECT_FALSE(fetcher.FirstFormFieldValue(L"other").has_value());
    http.Answer("<body>no form</body>", 404);
    fetcher.FetchPage(L"http://h/", L"");
    EXPECT_FALSE(fetcher.FirstFormFieldValue(L"botcust2").has_value());
}

}  // namespace
}  // namespace quorvanel
