// The WinINet transport against the bot server on the loopback: the wire format, the waits and
// what comes back.
#include "bot/http_client_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "bot/page_fetcher.h"
#include "platform/ansi_text_win32.h"
#include "platform/window_scheduler_win32.h"
#include "win32/talk_server_win32.h"

namespace quorvanel {
namespace {

// The scheduler on a message-only window of the test thread, as the main window carries it.
LRESULT CALLBACK SchedulerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* scheduler = reinterpret_cast<WindowScheduler*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (scheduler != nullptr && ((message == WM_TIMER && scheduler->OnTimer(wParam)) ||
                                 (message == WindowScheduler::kRunMessage && scheduler->OnRun(wParam)))) {
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class WinInetTransport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start("--token tk"));
        const WNDCLASSA wc{0, SchedulerWindowProc, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr, "QvSchedulerTest"};
        RegisterClassA(&wc);
        window = CreateWindowA("QvSchedulerTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&scheduler));
        scheduler.SetWindow(window);
    }
    void TearDown() override { DestroyWindow(window); }  // the scheduler leaves it, no work pending
    // The page, this thread's messages handled until it has come.
    std::wstring Fetch(const std::wstring& url, const std::wstring& body = L"") {
        bool came = false;
        std::wstring page;
        fetcher.FetchPage(url, body, [&](std::wstring got) {
            page = std::move(got);
            came = true;
        });
        MSG message;
        while (!came && GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        EXPECT_EQ(scheduler.Pending(), 0u) << "work left scheduled after the request ended";
        return page;
    }
    // The talk page, or with a body the answer page.
    std::wstring Talk(const std::wstring& body = L"") {
        return Fetch(L"http://" + server.Host() + L"/pandora/talk?botid=abc", body);
    }

    testing::TalkServer server;
    WinInetHttpClient client;
    AnsiCodec codec;
    HWND window = nullptr;
    WindowScheduler scheduler;
    PageFetcher fetcher{client, codec, scheduler};
};

TEST_F(WinInetTransport, GetAndPostCarryTheFormHeaderAndExactBody) {
    EXPECT_NE(Talk().find(L"Kestro"), std::wstring::npos);
    EXPECT_EQ(fetcher.FirstFormFieldValue(L"botcust2"), L"tk");
    EXPECT_NE(Talk(L"botcust2=tk&message=caf%E9\u00E9").find(L"Kestro:"), std::wstring::npos);

    const auto requests = server.Log();
    ASSERT_EQ(requests.size(), 2u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].method, i == 0 ? "GET" : "POST");
        EXPECT_EQ(requests[i].target, "/pandora/talk?botid=abc");
        EXPECT_EQ(requests[i].contentType, "application/x-www-form-urlencoded");
    }
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[1].body, "botcust2=tk&message=caf%E9\xE9");
}

TEST_F(WinInetTransport, ErrorStatusesAndRefusedConnectionsGiveNoPage) {
    const std::wstring unused = std::to_wstring(testing::UnusedPort());
    for (const std::wstring& url : {L"http://" + server.Host() + L"/missing",
                                   L"http://127.0.0.1:" + unused + L"/", std::wstring(L"not a url")}) {
        EXPECT_EQ(Fetch(url), L"") << std::string(url.begin(), url.end());
    }
}

TEST_F(WinInetTransport, ALargePageIsCutAtFourMebibytes) {
    ASSERT_TRUE(server.Control("scope=talk-get&fault=huge"));
    EXPECT_EQ(Talk().size(), 4u * 1024 * 1024 - 12);  // what fits after "<html><body>"
}

// A page naming ISO-8859-1 decodes in it (as windows-1252), whatever the system's ANSI code page;
// the test is also run in a prefix whose ANSI code page is 1251 (QV_EXPECT_ANSI_CODE_PAGE says
// which). The answer page repeats the message it was sent.
TEST_F(WinInetTransport, SingleBytePagesDecodeInTheCharsetTheyName) {
    if (const char* expected = std::getenv("QV_EXPECT_ANSI_CODE_PAGE")) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    const std::wstring page = Talk(L"botcust2=tk&message=caf%E9+%80+na%EFve");
    EXPECT_NE(page.find(L"caf\u00E9 \u20AC na\u00EFve"), std::wstring::npos)
        << std::string(page.begin(), page.end());
}

}  // namespace
}  // namespace quorvanel
