// The main window and its conversation list controls, in this process, on the real user32 and
// comctl32.
#include "app/main_form_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/main_form_ids.h"
#include "relay/conversation_list_win32.h"
#include "settings/options_dialog_ids.h"
#include "win32/child_process_win32.h"
#include "win32/layout_win32.h"
#include "win32/loopback_server_win32.h"
#include "win32/talk_server_win32.h"
#include "win32/threads_win32.h"

#include <atomic>
#include <memory>
#include <vector>

namespace quorvanel {
namespace {

using testing::WaitUntil;

std::string Text(HWND hwnd) {
    char buffer[256] = {};
    GetWindowTextA(hwnd, buffer, sizeof(buffer));
    return buffer;
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr,
                                 nullptr, nullptr, nullptr);
        list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 200, 100, parent,
                               nullptr, nullptr, nullptr);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = 150;
        SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        check = CreateWindowExW(0, L"BUTTON", L"x", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10, parent,
                                nullptr, nullptr, nullptr);
        label = CreateWindowExW(0, L"STATIC", L"Initialising...", WS_CHILD, 0, 0, 10, 10, parent,
                                nullptr, nullptr, nullptr);
    }
    void TearDown() override { DestroyWindow(parent); }

    HWND parent = nullptr, list = nullptr, check = nullptr, label = nullptr;
};

TEST_F(ControlsTest, ListViewEntriesKeepTextHandleAndTick) {
    ConversationListControls view(list, check, label);
    EXPECT_EQ(view.EntryCount(), 0);
    EXPECT_EQ(view.AppendEntry(L"Ann", 0x10042), 0);
    EXPECT_EQ(view.AppendEntry(L"Bj\u00F6rn", -5), 1);  // handles are signed 32-bit values
    EXPECT_EQ(view.AppendEntry(L"Ann", 0x7FFFFFFE), 2);
    EXPECT_EQ(view.EntryCount(), 3);
    EXPECT_EQ(view.EntryText(1), L"Bj\u00F6rn");
    EXPECT_EQ(view.EntryData(1), -5);
    EXPECT_EQ(view.EntryData(2), 0x7FFFFFFE);
    EXPECT_FALSE(view.IsEntryTicked(0));
    view.TickEntry(2);
    EXPECT_TRUE(view.IsEntryTicked(2));
    EXPECT_FALSE(view.IsEntryTicked(1));

    view.RemoveEntry(0);
    EXPECT_EQ(view.EntryCount(), 2);
    EXPECT_EQ(view.EntryData(0), -5);
    EXPECT_TRUE(view.IsEntryTicked(1));  // ticks move with their entries

    EXPECT_FALSE(view.IsEnableDefaultTicked());
    SendMessageW(check, BM_CLICK, 0, 0);
    EXPECT_TRUE(view.IsEnableDefaultTicked());
    view.SetStatusText(L"2 chat window(s) open");
    EXPECT_EQ(Text(label), "2 chat window(s) open");
}

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
        ClearSettingsFile();
        ASSERT_TRUE(server.Start());
        // The bot server is the stand-in one; so is the news site.
        WritePrivateProfileStringA("ConnectionSettings", "BotServer",
                                   ("127.0.0.1:" + std::to_string(server.Port())).c_str(),
                                   "quorvanel11.ini");
        HDC screen = GetDC(nullptr);
        dpiY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    void TearDown() override {
        form.reset();
        ClearSettingsFile();
    }
    static void ClearSettingsFile() {
        char directory[MAX_PATH] = {};
        GetWindowsDirectoryA(directory, MAX_PATH);
        DeleteFileA((std::string(directory) + "\\quorvanel11.ini").c_str());
    }
    HWND Start(const std::string& newsFault = "none") {
        EXPECT_TRUE(server.Control("scope=news&fault=" + newsFault));
        return StartWithNewsFrom(server.Port());
    }
    // Creates and shows the form, with its news page asked of the loopback port given.
    HWND StartWithNewsFrom(int newsPort) {
        MainFormOptions options;
        options.newsHost = L"127.0.0.1:" + std::to_wstring(newsPort);
        options.notifyIcon = RecordTrayCall;
        form = std::make_unique<MainForm>(options);
        HINSTANCE instance = GetModuleHandleA(nullptr);
        EXPECT_TRUE(MainForm::RegisterWindowClass(instance));
        EXPECT_TRUE(form->Create(instance, SW_SHOWNORMAL));
        return form->Handle();
    }
    int OuterHeight() const {
        RECT r{};
        GetWindowRect(form->Handle(), &r);
        return r.bottom - r.top;
    }
    // Lets the news page come and settle.
    void Pump(std::chrono::milliseconds time) {
        WaitUntil([] { return false; }, time);
    }

    testing::TalkServer server;
    std::unique_ptr<MainForm> form;
    int dpiY = 96;
};

TEST_F(MainFormTest, StartsTheConversationTicksEverySecondAndExitEndsTheLoop) {
    HWND main = Start("nomarker");
    EXPECT_EQ(SendDlgItemMessageA(main, kIdEnableDefault, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(SendDlgItemMessageA(main, kIdConversations, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
                LVS_EX_CHECKBOXES);
    EXPECT_FALSE(form->AdvertShown());
    HWND status = GetDlgItem(main, kIdNumChatWindows);
    EXPECT_TRUE(WaitUntil([&] { return Text(status).find("chat window(s) open") != std::string::npos; },
                          std::chrono::seconds(10)))
        << Text(status);
    testing::ExpectLaidOut(main, "main window");  // at the screen's dpi, as the others

    // The talk page was asked for at load, with the form header and no body.
    const auto log = server.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "/pandora/talk?botid=5e0a7c31d94b2f68");

    // Exit closes the window and ends the message loop.
    SendMessageA(main, WM_COMMAND, kIdMenuExit, 0);
    EXPECT_FALSE(IsWindow(main));
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(MainFormTest, MinimisingGoesToTheTrayAndAMouseMoveComesBack) {
    HWND main = Start("nomarker");
    ShowWindow(main, SW_MINIMIZE);
    EXPECT_FALSE(IsWindowVisible(main));
    ASSERT_EQ(TrayCalls().size(), 1u);
    const TrayCall& add = TrayCalls()[0];
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.data.hWnd, main);
    EXPECT_NE(add.data.hIcon, nullptr);
    // The tray's callback is the mouse-move message: any mouse event on the icon restores.
    SendMessageA(main, 512, 1, WM_MOUSEMOVE);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(IsIconic(main));
    ASSERT_EQ(TrayCalls().size(), 2u);
    EXPECT_EQ(TrayCalls()[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(TrayCalls()[1].data.uID, 1u);

    // A mouse move over the normal window does nothing; minimising again adds the icon again.
    SendMessageA(main, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(TrayCalls().size(), 2u);
    ShowWindow(main, SW_MINIMIZE);
    ASSERT_EQ(TrayCalls().size(), 3u);
    EXPECT_EQ(TrayCalls()[2].message, static_cast<DWORD>(NIM_ADD));
}

TEST_F(MainFormTest, ANewsPageWithTheMarkerRevealsThePanelOnce) {
    HWND main = Start("none");
    const int collapsed = OuterHeight();
    EXPECT_TRUE(WaitUntil([&] { return form->AdvertShown(); }, std::chrono::seconds(10)));
    EXPECT_EQ(OuterHeight(), collapsed + MulDiv(960, dpiY, 1440));
    // A second completion (another frame, say) grows nothing.
    PostMessageA(main, kNewsCompleteMessage, 0, 0);
    Pump(std::chrono::milliseconds(800));
    EXPECT_EQ(OuterHeight(), collapsed + MulDiv(960, dpiY, 1440));
    char text[256] = {};
    GetWindowTextA(GetDlgItem(main, kIdAdvert), text, sizeof(text));
    EXPECT_NE(std::string(text), "");
    // The page was asked for once, as a plain GET carrying the program's version.
    int newsRequests = 0;
    for (const auto& entry : server.Log()) {
        if (entry.target == "/public/quorvanel/index.php?progversion=1.11") {
            ++newsRequests;
            EXPECT_EQ(entry.method, "GET");
            EXPECT_EQ(entry.contentType, "");
        }
    }
    EXPECT_EQ(newsRequests, 1);
}

TEST_F(MainFormTest, NewsPagesWithoutTheMarkerInTheirBodyLeaveThePanelCollapsed) {
    const std::vector<std::string> pages = {
        "<html><body><p>No marker here.</p></body></html>",
        "<html><head><!-- Quorvanel_Data --></head><body><p>Marker in the head only.</p></body></html>",
        "<html><body><!-- quorvanel_data --><p>Marker in another case.</p></body></html>",
        "\x01\xFF\xFE binary \x00\x80<!-- Quorvanel_Data",
    };
    for (const std::string& page : pages) {
        testing::LoopbackServer news([&](const testing::LoopbackServer::Request&) {
            return testing::LoopbackServer::Answer{200, "text/html", page};
        });
        ASSERT_NE(StartWithNewsFrom(news.Port()), nullptr);
        const int collapsed = OuterHeight();
        ASSERT_TRUE(WaitUntil([&] { return !news.Requests().empty(); }, std::chrono::seconds(10)));
        // Completions, also repeated, over more than the settle delay.
        Pump(std::chrono::milliseconds(1500));
        PostMessageA(form->Handle(), kNewsCompleteMessage, 0, 0);
        Pump(std::chrono::milliseconds(800));
        EXPECT_FALSE(form->AdvertShown()) << page.substr(0, 60);
        EXPECT_EQ(OuterHeight(), collapsed) << page.substr(0, 60);
        form.reset();
    }
}

TEST_F(MainFormTest, ANewsPageThatNeverComesLeavesTheProgramResponsive) {
    testing::LoopbackServer news([](const testing::LoopbackServer::Request&) {
        testing::LoopbackServer::Answer answer;
        answer.hang = true;
        return answer;
    });
    ASSERT_NE(StartWithNewsFrom(news.Port()), nullptr);
    HWND status = GetDlgItem(form->Handle(), kIdNumChatWindows);
    // Ticks go on while the page hangs.
    EXPECT_TRUE(WaitUntil([&] { return Text(status).find("chat window(s) open") != std::string::npos; },
                          std::chrono::seconds(10)));
    EXPECT_FALSE(form->AdvertShown());
    form.reset();
}

TEST_F(MainFormTest, ANewsPageCompletingDuringABotRequestDoesNotCutItShort) {
    // The news page comes 2.5 s after start-up, while a question that takes 4 s is waiting.
    testing::LoopbackServer news([](const testing::LoopbackServer::Request&) {
        return testing::LoopbackServer::Answer{
            200, "text/html", "<html><body><!-- Quorvanel_Data --><p>News</p></body></html>", 2500};
    });
    ASSERT_TRUE(server.Control("scope=talk-post&fault=delay:4000"));
    WritePrivateProfileStringA("BotBehaviour", "TypeSpeed", "instant", "quorvanel11.ini");
    testing::ChildProcess messenger;
    ASSERT_TRUE(messenger.Start("test-messenger.exe"));

    ASSERT_NE(StartWithNewsFrom(news.Port()), nullptr);
    SendDlgItemMessageA(form->Handle(), kIdEnableDefault, BM_CLICK, 0, 0);
    ASSERT_EQ(messenger.Command("open a Ann").rfind("ok ", 0), 0u);
    messenger.Command("say a hello");

    auto history = [&] { return messenger.Command("dump a"); };
    EXPECT_TRUE(WaitUntil([&] { return history().find("Me says:") != std::string::npos; },
                          std::chrono::seconds(15)));
    EXPECT_NE(history().find("Me says:\\r\\n  Hello there.\\xA0"), std::string::npos) << history();
    EXPECT_TRUE(form->AdvertShown());
    messenger.Command("quit");
}

TEST_F(MainFormTest, ClosingTheWindowWhileInTheTrayDeletesItsIcon) {
    for (UINT closing : {WM_CLOSE, WM_ENDSESSION}) {
        TrayCalls().clear();
        HWND main = Start("nomarker");
        ShowWindow(main, SW_MINIMIZE);
        PostMessageA(main, closing, TRUE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(main); }, std::chrono::seconds(5))) << closing;
        ASSERT_EQ(TrayCalls().size(), 2u) << closing;
        EXPECT_EQ(TrayCalls()[1].message, static_cast<DWORD>(NIM_DELETE));
        EXPECT_EQ(TrayCalls()[1].data.hWnd, main);
        form.reset();
    }
}

// Polls from a thread other than the program's, where sleeping is harmless.
template <typename Condition>
bool Within(std::chrono::milliseconds time, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

// Options is opened before a bot request starts, so the request's wait runs inside the dialog's
// loop; the request hangs. The dialog's keys and the main window's F1 must still work.
TEST_F(MainFormTest, WindowsAnswerTheirKeysWhileABotRequestWaits) {
    WritePrivateProfileStringA("BotBehaviour", "TypeSpeed", "instant", "quorvanel11.ini");
    testing::ChildProcess messenger;
    ASSERT_TRUE(messenger.Start("test-messenger.exe"));
    HWND main = Start("nomarker");
    SendDlgItemMessageA(main, kIdEnableDefault, BM_CLICK, 0, 0);
    ASSERT_EQ(messenger.Command("open a Ann").rfind("ok ", 0), 0u);
    auto focus = [ui = GetCurrentThreadId()] {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(ui, &info) ? info.hwndFocus : nullptr;
    };
    auto posts = [&] {
        int count = 0;
        for (const auto& entry : server.Log()) count += entry.method == "POST";
        return count;
    };
    // The user acts from a thread of its own: this one runs the program's loops.
    bool tabMoved = false, helpOpened = false;
    std::vector<bool> closedAtOnce;
    std::atomic<bool> done{false};
    testing::Thread user([&] {
        for (int round = 0; round < 2; ++round) {
            server.Control("scope=talk-post&fault=hang");
            PostMessageA(main, WM_COMMAND, kIdMenuOptions, 0);
            HWND options = nullptr;
            Within(std::chrono::seconds(5), [&] {
                return (options = FindWindowA(kOptionsDialogClassName, nullptr)) != nullptr;
            });
            const int asked = posts();
            messenger.Command("say a hello " + std::to_string(round));
            Within(std::chrono::seconds(5), [&] { return posts() > asked; });
            const HWND from = focus() != nullptr ? focus() : options;
            if (round == 0) {
                PostMessageA(from, WM_KEYDOWN, VK_TAB, 0);
                tabMoved = Within(std::chrono::seconds(2), [&] { return focus() != from; });
                PostMessageA(focus() != nullptr ? focus() : options, WM_KEYDOWN, VK_ESCAPE, 0);
            } else {
                PostMessageA(options, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
            }
            closedAtOnce.push_back(Within(std::chrono::milliseconds(500), [&] {
                return !IsWindowVisible(options) && IsWindowEnabled(main);
            }));
            if (round == 1) {
                PostMessageA(main, WM_KEYDOWN, VK_F1, 0);
                HWND help = nullptr;
                helpOpened = Within(std::chrono::seconds(3), [&] {
                    return (help = FindWindowA(nullptr, "Help")) != nullptr && IsWindowVisible(help);
                });
                PostMessageA(help, WM_CLOSE, 0, 0);
            }
            // The request is answered and the dialog's loop returns; a window that a failed step
            // left open is closed, so that the test cannot hang.
            server.Control("scope=talk-post&fault=none");
            if (!Within(std::chrono::seconds(5), [&] { return !IsWindow(options); })) {
                PostMessageA(options, WM_CLOSE, 0, 0);
            }
        }
        done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, std::chrono::seconds(60)));
    user.join();
    EXPECT_TRUE(tabMoved);
    EXPECT_EQ(closedAtOnce, (std::vector<bool>{true, true}));  // Esc, then the close box
    EXPECT_TRUE(helpOpened);
    messenger.Command("quit");
}

}  // namespace
}  // namespace quorvanel
