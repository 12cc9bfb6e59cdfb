// The main window in this process, on the real user32 and comctl32, with the bot server on the
// loopback as its bot server and news site.
#include "app/main_form_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/help_window_win32.h"
#include "app/main_form_ids.h"
#include "settings/options_dialog_ids.h"
#include "win32/modal_window_test_win32.h"
#include "win32/settings_file_win32.h"
#include "win32/talk_server_win32.h"

#include <atomic>
#include <memory>
#include <vector>

namespace quorvanel {
namespace {

using testing::Text;
using testing::WaitUntil;

// The tray calls the form makes, recorded instead of reaching the notification area.
struct TrayCall {
    DWORD message;
    NOTIFYICONDATAA data;
};
std::vector<TrayCall>& TrayCalls() {
    static std::vector<TrayCall> calls;
    return calls;
}
BOOL WINAPI RecordTrayCall(DWORD message, PNOTIFYICONDATAA data) {
    TrayCalls().push_back({message, *data});
    return TRUE;
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
        TrayCalls().clear();
        testing::RemoveSettingsFile();
        ASSERT_TRUE(server.Start());
        WritePrivateProfileStringA("ConnectionSettings", "BotServer",
                                   ("127.0.0.1:" + std::to_string(server.Port())).c_str(),
                                   "quorvanel11.ini");
    }
    void TearDown() override {
        form.reset();
        testing::RemoveSettingsFile();
    }
    // Creates the form, with the news page shaped by the fault given, and waits until its load
    // step has ended and it shows (this thread's messages handled meanwhile, as the program's
    // loop would).
    HWND Start(const std::string& newsFault, bool waitShown = true) {
        EXPECT_TRUE(server.Control("scope=news&fault=" + newsFault));
        MainFormOptions options;
        options.newsHost = server.Host();
        options.notifyIcon = RecordTrayCall;
        form = std::make_unique<MainForm>(options);
        HINSTANCE instance = GetModuleHandleA(nullptr);
        EXPECT_TRUE(MainForm::RegisterWindowClass(instance));
        EXPECT_TRUE(form->Create(instance, SW_SHOWNORMAL));
        if (waitShown) {
            EXPECT_TRUE(WaitUntil([&] { return form->Handle() != nullptr && IsWindowVisible(form->Handle()); },
                                  std::chrono::seconds(30)));
        }
        return form->Handle();
    }
    int OuterHeight() const {
        RECT r{};
        GetWindowRect(form->Handle(), &r);
        return r.bottom - r.top;
    }
    std::vector<testing::TalkServer::Logged> NewsRequests() {
        std::vector<testing::TalkServer::Logged> news;
        for (const auto& entry : server.Log()) {
            if (entry.target.rfind("/public/quorvanel/", 0) == 0) news.push_back(entry);
        }
        return news;
    }

    // The form beside test-messenger with one conversation, Ann's, answered at once.
    HWND StartTalking(const std::string& newsFault) {
        WritePrivateProfileStringA("BotBehaviour", "TypeSpeed", "instant", "quorvanel11.ini");
        EXPECT_TRUE(messenger.Start("test-messenger.exe"));
        HWND main = Start(newsFault);
        SendDlgItemMessageA(main, kIdEnableDefault, BM_CLICK, 0, 0);
        EXPECT_EQ(messenger.Command("open a Ann").rfind("ok ", 0), 0u);
        return main;
    }

    testing::TalkServer server;
    testing::ChildProcess messenger;
    std::unique_ptr<MainForm> form;
};

TEST_F(MainFormTest, StartsTheConversationTicksEverySecondAndExitEndsTheLoop) {
    // A slow talk page: the window waits for it unseen, while the ticks already run; it shows once
    // the conversation has started.
    ASSERT_TRUE(server.Control("scope=talk-get&fault=delay:8000"));
    HWND main = Start("nomarker", false);
    HWND status = GetDlgItem(main, kIdNumChatWindows);
    EXPECT_TRUE(WaitUntil([&] { return Text(status).find(L"chat window(s) open") != std::wstring::npos; },
                          std::chrono::seconds(10)))
        << Text(status);
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, std::chrono::seconds(30)));
    testing::ExpectLaidOut(main, "main window");  // at the screen's dpi, as the others
    // The family of functions chosen for this Windows: the news panel is a wide rich edit window
    // on NT, an ANSI one on 9x (a Wine prefix imitating 98 runs this test too).
    const bool windows9x = (GetVersion() & 0x80000000u) != 0;
    EXPECT_EQ(IsWindowUnicode(GetDlgItem(main, kIdAdvert)) != FALSE, !windows9x);

    // The talk page was asked for at load.
    const auto log = server.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].method, "GET");

    // Exit closes the window and ends the message loop.
    SendMessageA(main, WM_COMMAND, kIdMenuExit, 0);
    EXPECT_FALSE(IsWindow(main));
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// Minimising hides the window behind a tray icon, a mouse event on the icon brings it back, and
// closing the window while in the tray deletes the icon.
TEST_F(MainFormTest, MinimisingGoesToTheTrayAndAMouseMoveComesBack) {
    for (UINT closing : {WM_CLOSE, WM_ENDSESSION}) {
        TrayCalls().clear();
        HWND main = Start("nomarker");
        ShowWindow(main, SW_MINIMIZE);
        EXPECT_FALSE(IsWindowVisible(main));
        ASSERT_EQ(TrayCalls().size(), 1u);
        const UINT id = TrayCalls()[0].data.uID;
        // The tray's callback is the mouse-move message: any mouse event on the icon restores.
        SendMessageA(main, 512, id, WM_MOUSEMOVE);
        EXPECT_TRUE(IsWindowVisible(main));
        EXPECT_FALSE(IsIconic(main));
        // A mouse move over the normal window does nothing, nor does Explorer's restart; minimising
        // again adds the icon again, and so does Explorer's restart while the icon is there.
        const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
        SendMessageA(main, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        SendMessageA(main, taskbarCreated, 0, 0);
        ShowWindow(main, SW_MINIMIZE);
        SendMessageA(main, taskbarCreated, 0, 0);
        PostMessageA(main, closing, TRUE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(main); }, std::chrono::seconds(5))) << closing;
        std::vector<DWORD> messages;
        for (const TrayCall& call : TrayCalls()) {
            messages.push_back(call.message);
            EXPECT_EQ(call.data.hWnd, main);
            EXPECT_EQ(call.data.uID, id);
            EXPECT_TRUE(call.message != NIM_ADD || call.data.hIcon != nullptr) << "an icon added without its image";
        }
        EXPECT_EQ(messages, (std::vector<DWORD>{NIM_ADD, NIM_DELETE, NIM_ADD, NIM_ADD, NIM_DELETE})) << closing;
        form.reset();
    }
}

// Counts the news completions the form has handled, and the timers it has handled after the
// first of them other than Timer1's (id 1): the page's settle, the only other work then.
struct NewsSeen { int completions = 0, settles = 0; };
LRESULT CALLBACK CountNewsCompletions(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR data) {
    const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    auto& seen = *reinterpret_cast<NewsSeen*>(data);
    if (message == kNewsCompleteMessage) ++seen.completions;
    if (message == WM_TIMER && wParam != 1 && seen.completions > 0) ++seen.settles;
    return result;
}

// The panel grows once for a page with the marker in its body, through completions, also
// repeated, over more than the settle delay. A page with the marker in its head only, and one
// that never comes, leave it collapsed while the ticks go on.
TEST_F(MainFormTest, OnlyANewsPageWithTheMarkerInItsBodyRevealsThePanelOnce) {
    for (const char* fault : {"none", "nomarker", "hang"}) {
        SCOPED_TRACE(fault);
        const bool shown = fault == std::string("none");
        const std::size_t before = NewsRequests().size();
        // Made at its full height, the panel showing, which the load step cuts off once the
        // conversation has started; the news page is asked for then, so its completion cannot
        // have been handled before this thread's loop runs.
        HWND main = Start(fault, false);
        const int full = OuterHeight();
        NewsSeen seen;
        ASSERT_TRUE(SetWindowSubclass(main, CountNewsCompletions, 0, reinterpret_cast<DWORD_PTR>(&seen)));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, std::chrono::seconds(30)));
        HWND status = GetDlgItem(main, kIdNumChatWindows);
        EXPECT_TRUE(WaitUntil([&] {
            return NewsRequests().size() > before && Text(status).find(L"chat window(s) open") != std::wstring::npos;
        }, std::chrono::seconds(10)));
        EXPECT_TRUE(fault == std::string("hang") || WaitUntil([&] { return seen.settles > 0; }, std::chrono::seconds(10)));
        SendMessageA(main, kNewsCompleteMessage, 0, 0);  // once more, after the settle
        RemoveWindowSubclass(main, CountNewsCompletions, 0);
        EXPECT_EQ(form->AdvertShown(), shown);
        EXPECT_EQ(OuterHeight() == full, shown);
        EXPECT_EQ(shown, !Text(GetDlgItem(main, kIdAdvert)).empty());
        form.reset();
    }
    // Each page was asked for once, as a plain GET carrying the program's version.
    const auto news = NewsRequests();
    ASSERT_EQ(news.size(), 3u);
    for (const auto& request : news) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.target, "/public/quorvanel/index.php?progversion=1.11");
        EXPECT_EQ(request.contentType, "");
    }
}

TEST_F(MainFormTest, ANewsPageCompletingDuringABotRequestDoesNotCutItShort) {
    // The news page comes 2.5 s after start-up, while a question that takes 4 s is waiting.
    ASSERT_TRUE(server.Control("scope=talk-post&fault=delay:4000"));
    ASSERT_NE(StartTalking("delay:2500"), nullptr);
    messenger.Command("say a hello");

    EXPECT_TRUE(WaitUntil([&] {
        return messenger.Command("dump a").find("Me says:\\r\\n  Hello there.\\xA0") != std::string::npos;
    }, std::chrono::seconds(15))) << messenger.Command("dump a");
    EXPECT_TRUE(WaitUntil([&] { return form->AdvertShown(); }, std::chrono::seconds(10)));
}

}  // namespace
}  // namespace quorvanel
