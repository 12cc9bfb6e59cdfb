#pragma once

#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>

#include "platform/clock_win32.h"
#include "platform/message_pump_win32.h"
#include "app/news_panel_win32.h"
#include "platform/window_scheduler_win32.h"
#include "bot/bot_files_win32.h"
#include "bot/bot_server.h"
#include "bot/built_in_bot.h"
#include "bot/http_client_win32.h"
#include "bot/page_fetcher.h"
#include "present/dialogs_win32.h"
#include "present/random_source.h"
#include "present/simulated_typing.h"
#include "platform/ansi_text_win32.h"
#include "relay/conversation_list_win32.h"
#include "relay/answer_rules.h"
#include "relay/conversations.h"
#include "relay/relay_engine.h"
#include "relay/reply_pipeline.h"
#include "relay/window_system_win32.h"
#include "settings/settings_store_win32.h"
#include "store/store_file_win32.h"

namespace quorvanel {

using NotifyIconFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);

// What the program fixes and tests may vary.
struct MainFormOptions {
    std::wstring newsHost = kNewsHost;
    NotifyIconFunction notifyIcon = Shell_NotifyIconA;
};

// The program's main window. It owns all run-time state: the conversation table, the token, the
// news panel's flag and the tray icon record, and every part of the program that works on them.
class MainForm {
public:
    explicit MainForm(MainFormOptions options = {});
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;
    ~MainForm();

    static bool RegisterWindowClass(HINSTANCE instance);
    // Creates the window and its controls and runs the load step. The window is shown when the
    // load step has ended: at once with the built-in bot, once the bot server's conversation has
    // started (answered, failed or timed out) otherwise; ticks run meanwhile.
    bool Create(HINSTANCE instance, int showCommand);
    HWND Handle() const { return hwnd_; }
    // What every loop does with a message before dispatching it: the open modal window's keys,
    // the main window's shortcut (F1) and dialog keys. True when the message was handled.
    bool PreTranslate(MSG& message) { return pump_.PreTranslate(message); }

    bool AdvertShown() const { return AdvertShown_; }
    const NOTIFYICONDATAA& TrayIconData() const { return TrayIconData_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void Form_Load();
    // The load step's rest once the bot is ready, and the window shown.
    void Form_Loaded();
    void Form_Resize(WPARAM sizeType);
    void Form_MouseMove();
    void Taskbar_Created();
    void Timer1_Timer();
    // Keeps what became of a message in the record, with the time and the bot that answered.
    void Record(const HandledMessage& handled);
    void mnuOptions_Click();
    void mnuRecord_Click();
    void mnuExit_Click();
    void Help_Click();
    void mnuAboutQuorvanel_Click();
    // The list's context menu, at the screen point `at`, or from the keyboard at the selected
    // entry.
    void lstConversations_ContextMenu(LPARAM at);
    void ShowAdvert();
    void HideAdvert();
    void wbAdvert_DocumentComplete();
    void ShowAdvertIfMarked();
    // A line from the transport the user must hear of (a timer Windows refused).
    void ReportTrouble(const std::wstring& text);
    int Twips(int twips, bool horizontal) const;

    MainFormOptions options_;
    HWND hwnd_ = nullptr;
    HWND lstConversations_ = nullptr;
    HWND chkEnableDefault_ = nullptr;
    HWND txtNumChatWindows_ = nullptr;
    NewsPanel wbAdvert_;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HACCEL shortcuts_ = nullptr;
    MessagePump pump_;
    int showCommand_ = SW_SHOWNORMAL;
    int dpiX_ = 96;
    int dpiY_ = 96;

    // Run-time state.
    ConversationTable Conversations_ = NewConversationTable();
    std::wstring ConversationToken_;
    bool AdvertShown_ = false;
    NOTIFYICONDATAA TrayIconData_{};
    bool inTray_ = false;  // the icon stands for the hidden window
    UINT taskbarCreated_ = 0;  // Explorer's broadcast when it (re)starts
    std::unique_ptr<HttpRequest> newsRequest_;
    bool newsPageRead_ = false;
    std::wstring newsPage_;

    // The platform as the core reaches it.
    ProfileSettingsStore settings_;
    FixedStateRandom random_;
    Win32Dialogs dialogs_;
    SimulatedTyping typing_{settings_, random_, dialogs_};
    WinInetHttpClient http_;
    AnsiCodec codec_;
    WindowScheduler scheduler_;
    PageFetcher transport_{http_, codec_, scheduler_, [this](const std::wstring& text) { ReportTrouble(text); }};
    Win32BotFiles botFiles_{GetModuleHandleA(nullptr)};
    std::unique_ptr<SqliteStore> store_ = OpenStoreFile();
    BuiltInBotClient builtInBot_{botFiles_, settings_, random_, dialogs_, store_.get(), &http_,
                                 &scheduler_};
    BotServerClient serverBot_{transport_, settings_, random_, codec_, ConversationToken_};
    ChosenBotClient bot_{builtInBot_, serverBot_, settings_};
    User32WindowSystem windows_;
    ReplyPipeline replies_{windows_, Conversations_, bot_, typing_, settings_, dialogs_};
    Win32Clock clock_;
    AnswerRules rules_{settings_, clock_};
    std::unique_ptr<ConversationListControls> list_;
    std::unique_ptr<RelayEngine> relay_;
};

}  // namespace quorvanel
