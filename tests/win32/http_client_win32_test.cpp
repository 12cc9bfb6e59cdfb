// The WinINet transport against a loopback server in this process: the wire format, the waits
// and what comes back.
#include "bot/http_client_win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "bot/page_fetcher.h"
#include "relay/ansi_text_win32.h"
#include "win32/loopback_server_win32.h"

namespace quorvanel {
namespace {

using Clock = std::chrono::steady_clock;
using testing::LoopbackServer;

std::int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class WinInetTransport : public ::testing::Test {
protected:
    WinInetHttpClient client;
    MessageLoopWaiter waiter;
    AnsiCodec codec;
    PageFetcher fetcher{client, waiter, codec};
};

TEST_F(WinInetTransport, GetAndPostCarryTheFormHeaderAndExactBody) {
    LoopbackServer server([](const LoopbackServer::Request& request) {
        LoopbackServer::Answer answer;
        answer.body = "<html><body><b>Kestro:</b> " + request.method + " ok. <br/>"
                      "<form><input name=botcust2 value=tk></form></body></html>";
        return answer;
    });
    EXPECT_EQ(fetcher.FetchPage(codec.FromAnsi(server.Url("/pandora/talk?botid=abc")), L""),
              L"<B>Kestro:</B> GET ok. <BR><FORM><INPUT name=\"botcust2\" value=\"tk\"></FORM>");
    EXPECT_EQ(fetcher.FirstFormFieldValue(L"botcust2"), L"tk");
    std::wstring page;
    const std::wstring server_name = L"127.0.0.1:" + std::to_wstring(server.Port());
    EXPECT_TRUE(FetchServerPage(fetcher, server_name, L"botcust2=tk&message=caf%E9\u00E9",
                                L"/pandora/talk?botid=abc", page));
    EXPECT_NE(page.find(L"POST ok."), std::wstring::npos);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].method, i == 0 ? "GET" : "POST");
        EXPECT_EQ(requests[i].target, "/pandora/talk?botid=abc");
        EXPECT_NE(requests[i].head.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
                  std::string::npos) << requests[i].head;
    }
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[1].body, "botcust2=tk&message=caf%E9\xE9");
}

TEST_F(WinInetTransport, APageIsReturnedOnlyAfterTheSettleDelayAndTimersRunMeanwhile) {
    LoopbackServer server([](const LoopbackServer::Request&) {
        return LoopbackServer::Answer{200, "text/html", "<body>late</body>", 1500, false};
    });
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    static int ticks = 0;
    ticks = 0;
    SetTimer(window, 1, 100, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
    const auto start = Clock::now();
    EXPECT_EQ(fetcher.FetchPage(codec.FromAnsi(server.Url("/")), L""), L"late");
    const std::int64_t elapsed = MsSince(start);
    KillTimer(window, 1);
    DestroyWindow(window);
    EXPECT_GE(elapsed, 1500 + 500 - 50);
    EXPECT_LT(elapsed, 6000);
    EXPECT_GE(ticks, 10);  // the window kept handling its timer during the waits
}

TEST_F(WinInetTransport, ErrorStatusesAndRefusedConnectionsGiveNoPage) {
    LoopbackServer server([](const LoopbackServer::Request& request) {
        if (request.target == "/500") return LoopbackServer::Answer{500, "text/html", "<body>boom</body>"};
        if (request.target == "/404") return LoopbackServer::Answer{404, "text/html", "<body>no</body>"};
        return LoopbackServer::Answer{200, "text/html", "<html><body></body></html>"};
    });
    EXPECT_EQ(fetcher.FetchPage(codec.FromAnsi(server.Url("/500")), L""), L"");
    EXPECT_EQ(fetcher.FetchPage(codec.FromAnsi(server.Url("/404")), L""), L"");
    EXPECT_EQ(fetcher.FetchPage(codec.FromAnsi(server.Url("/empty")), L""), L"");
    // Nothing listens on port 9 of the loopback.
    EXPECT_EQ(fetcher.FetchPage(L"http://127.0.0.1:9/", L""), L"");
    EXPECT_EQ(fetcher.FetchPage(L"not a url", L""), L"");
    std::wstring page;
    EXPECT_FALSE(FetchServerPage(fetcher, L"http://127.0.0.1:" + std::to_wstring(server.Port()),
                                 L"", L"/", page));  // two schemes: no usable URL
}

TEST_F(WinInetTransport, ALargePageIsCutAtFourMebibytes) {
    LoopbackServer server([](const LoopbackServer::Request&) {
        LoopbackServer::Answer answer;
        answer.body = "<body>" + std::string(5 * 1024 * 1024, 'x') + "</body>";
        return answer;
    });
    const std::wstring page = fetcher.FetchPage(codec.FromAnsi(server.Url("/big")), L"");
    EXPECT_EQ(page.size(), 4u * 1024 * 1024 - 6);  // what fits after "<body>"
}

TEST_F(WinInetTransport, AServerThatNeverAnswersTimesOutWithoutBurningTheProcessor) {
    LoopbackServer server([](const LoopbackServer::Request&) {
        LoopbackServer::Answer answer;
        answer.hang = true;
        return answer;
    });
    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelBefore, &userBefore);
    const auto start = Clock::now();
    EXPECT_EQ(fetcher.FetchPage(codec.FromAnsi(server.Url("/hang")), L""), L"");
    const std::int64_t elapsed = MsSince(start);
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelAfter, &userAfter);
    auto ms = [](const FILETIME& t) {
        return (static_cast<std::int64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10'000;
    };
    const std::int64_t busy = ms(kernelAfter) - ms(kernelBefore) + ms(userAfter) - ms(userBefore);
    EXPECT_GE(elapsed, 20'500 - 100);
    EXPECT_LT(elapsed, 25'000);
    EXPECT_LT(busy, 1000) << "the UI thread used " << busy << " ms of processor time";
}

// Pages naming a single-byte charset decode in it, whatever the system's ANSI code page; the test
// is also run in a prefix whose ANSI code page is 1251 (QV_EXPECT_ANSI_CODE_PAGE says which).
TEST_F(WinInetTransport, SingleBytePagesDecodeInTheCharsetTheyName) {
    if (const char* expected = std::getenv("QV_EXPECT_ANSI_CODE_PAGE")) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    const struct {
        const char* contentType;
        const char* body;
        const wchar_t* text;
    } pages[] = {
        {"text/html; charset=ISO-8859-1", "<body>caf\xE9 \x80 na\xEFve</body>", L"caf\u00E9 \u20AC na\u00EFve"},
        {"text/html", "<meta charset=latin1><body>\xC5se</body>", L"\u00C5se"},
        {"text/html; charset=windows-1251", "<body>\xCF\xF0\xE8\xE2\xE5\xF2</body>",
         L"\u041F\u0440\u0438\u0432\u0435\u0442"},
        {"text/html; charset=KOI8-R", "<body>\xF0\xD2\xC9\xD7\xC5\xD4</body>",
         L"\u041F\u0440\u0438\u0432\u0435\u0442"},
    };
    for (const auto& page : pages) {
        LoopbackServer server([&](const LoopbackServer::Request&) {
            return LoopbackServer::Answer{200, page.contentType, page.body};
        });
        EXPECT_EQ(fetcher.FetchPage(codec.FromAnsi(server.Url("/")), L""), page.text) << page.body;
    }
}

}  // namespace
}  // namespace quorvanel
