#include "app/main_form_win32.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstring>
#include <ctime>

#include "app/about_window_win32.h"
#include "app/help_window_win32.h"
#include "app/main_form_ids.h"
#include "app/record_window_win32.h"
#include "platform/resource_ids.h"
#include "platform/system_win32.h"
#include "bot/html_reader.h"
#include "qvbot/text.h"
#include "settings/options_dialog_win32.h"
#include "settings/record_settings.h"

namespace quorvanel {
namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 1000;
constexpr UINT kWmNewsComplete = kNewsCompleteMessage;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Client area as designed, in twips, with the news panel showing.
constexpr int kClientWidthTwips = 3510;
constexpr int kClientHeightTwips = 3150;

struct ControlPlacement {
    int left, top, width, height;
};
constexpr ControlPlacement kWbAdvert{-30, 2220, 3570, 960};
constexpr ControlPlacement kChkEnableDefault{120, 1830, 3420, 255};
constexpr ControlPlacement kLstConversations{120, 510, 3300, 1185};
constexpr ControlPlacement kTxtNumChatWindows{120, 165, 4395, 225};

constexpr char kTrayTip[] = "Quorvanel MSN Chat Bot";
constexpr std::size_t kTrayTipBytes = 64;

HMENU BuildMenu() {
    HMENU commands = CreatePopupMenu();
    AppendMenuA(commands, MF_STRING, kIdMenuOptions, "&Options");
    AppendMenuA(commands, MF_STRING, kIdMenuRecord, "&Record");
    AppendMenuA(commands, MF_STRING, kIdMenuExit, "&Exit");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, kIdMenuHelp, "&Help\tF1");
    AppendMenuA(help, MF_STRING, kIdMenuAboutQuorvanel, "&About Quorvanel");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(commands), "&Commands");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    return bar;
}

}  // namespace

MainForm::MainForm(MainFormOptions options) : options_(std::move(options)) {}

MainForm::~MainForm() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (shortcuts_ != nullptr) DestroyAcceleratorTable(shortcuts_);
    // Icons loaded from resources are shared and need no release; a scaled copy does.
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

bool MainForm::RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainFormClassName;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUORVANEL));
    if (wc.hIcon == nullptr) wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    return sys::RegisterClassOnce(wc);
}

bool MainForm::Create(HINSTANCE instance, int showCommand) {
    HDC screen = GetDC(nullptr);
    if (screen != nullptr) {
        dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    icon_ = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUORVANEL));
    if (icon_ == nullptr) icon_ = LoadIcon(nullptr, IDI_APPLICATION);
    smallIcon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_QUORVANEL), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    ACCEL f1{FVIRTKEY, VK_F1, static_cast<WORD>(kIdMenuHelp)};
    shortcuts_ = CreateAcceleratorTableA(&f1, 1);

    HMENU menu = BuildMenu();
    RECT frame{0, 0, Twips(kClientWidthTwips, true), Twips(kClientHeightTwips, false)};
    AdjustWindowRect(&frame, kStyle, TRUE);
    if (CreateWindowExA(0, kMainFormClassName, kMainFormCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, menu, instance,
                        this) == nullptr) {
        DestroyMenu(menu);
        return false;
    }
    if (smallIcon_ != nullptr) SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    showCommand_ = showCommand;
    Form_Load();
    return true;
}

LRESULT CALLBACK MainForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MainForm* form = nullptr;
    if (message == WM_NCCREATE) {
        form = static_cast<MainForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    } else {
        form = reinterpret_cast<MainForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (form == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    // No exception may unwind through user32; a failed handler leaves the message unhandled.
    try {
        return form->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
            scheduler_.SetWindow(hwnd_);
            dialogs_.SetOwner(hwnd_);
            pump_.SetMainWindow(hwnd_, shortcuts_);
            CreateControls();
            // Timer1 runs from the moment the window exists, through the load step.
            SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1) {
                Timer1_Timer();
                return 0;
            }
            if (scheduler_.OnTimer(wParam)) return 0;
            break;
        case WindowScheduler::kRunMessage:
            scheduler_.OnRun(wParam);
            return 0;
        case WM_SIZE:
            Form_Resize(wParam);
            return 0;
        case WM_MOUSEMOVE:  // also the tray icon's callback message
            Form_MouseMove();
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kIdMenuOptions: mnuOptions_Click(); return 0;
                case kIdMenuRecord: mnuRecord_Click(); return 0;
                case kIdMenuExit: mnuExit_Click(); return 0;
                case kIdMenuHelp: Help_Click(); return 0;
                case kIdMenuAboutQuorvanel: mnuAboutQuorvanel_Click(); return 0;
                default: break;
            }
            break;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) == lstConversations_) {
                lstConversations_ContextMenu(lParam);
                return 0;
            }
            break;
        case WM_NOTIFY: {
            // The menu key, which not every Windows (nor Wine) turns into WM_CONTEXTMENU; its
            // release goes to the menu's own loop. Shift+F10 comes as WM_CONTEXTMENU.
            const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
            if (header.hwndFrom == lstConversations_ && header.code == LVN_KEYDOWN &&
                reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_APPS) {
                lstConversations_ContextMenu(MAKELPARAM(-1, -1));
                return 0;
            }
            if (wbAdvert_.OnNotify(header)) return 0;
            break;
        }
        case kWmNewsComplete:
            wbAdvert_DocumentComplete();
            return 0;
        case WM_ENDSESSION:
            // Windows ends without destroying the window: clean up as if it were.
            if (wParam) DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            // The engine stays alive until the form is destroyed: a tick may still be unwinding
            // from a message box, during which this message was dispatched. The
            // pipeline is stopped instead, taking back the typing notices it left standing.
            KillTimer(hwnd_, kTimer1);
            // Work still scheduled is dropped, a request under way abandoned with it.
            scheduler_.SetWindow(nullptr);
            // However the window goes, its tray icon must not stay behind (a no-op when absent;
            // the record is filled in by the load step). First, before the messenger's windows
            // are asked anything, so that a hung messenger cannot keep it there.
            if (TrayIconData_.hWnd != nullptr) options_.notifyIcon(NIM_DELETE, &TrayIconData_);
            replies_.Stop();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            const HWND window = hwnd_;
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            pump_.SetMainWindow(nullptr, nullptr);
            return DefWindowProcA(window, message, wParam, lParam);
        }
        default:
            if (message != 0 && message == taskbarCreated_) {
                Taskbar_Created();
                return 0;
            }
            break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

int MainForm::Twips(int twips, bool horizontal) const {
    return MulDiv(twips, horizontal ? dpiX_ : dpiY_, 1440);
}

void MainForm::CreateControls() {
    const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto place = [&](const ControlPlacement& at) {
        return RECT{Twips(at.left, true), Twips(at.top, false), Twips(at.left + at.width, true),
                    Twips(at.top + at.height, false)};
    };
    auto make = [&](DWORD exStyle, const char* className, const wchar_t* text, DWORD style,
                    const ControlPlacement& at, int id) {
        HWND control = sys::CreateControl(exStyle, className, text, WS_CHILD | WS_VISIBLE | style,
                                          place(at), hwnd_, id);
        sys::Send(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };

    // In the window's order; the label takes no focus.
    wbAdvert_.Create(hwnd_, kIdAdvert, place(kWbAdvert));
    if (wbAdvert_.Handle() != nullptr) {
        sys::Send(wbAdvert_.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    chkEnableDefault_ = make(0, "BUTTON", L"Enable on newly opened windows",
                             WS_TABSTOP | BS_AUTOCHECKBOX, kChkEnableDefault, kIdEnableDefault);
    lstConversations_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWA, L"",
                             WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                                 LVS_SHOWSELALWAYS,
                             kLstConversations, kIdConversations);
    txtNumChatWindows_ = make(0, "STATIC", L"Initialising...", SS_LEFT | SS_NOPREFIX,
                              kTxtNumChatWindows, kIdNumChatWindows);
    // Tab order: the list, then the check box.
    SetWindowPos(lstConversations_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    // Check boxes in a list view: comctl32 4.70 (Internet Explorer 3) and later.
    sys::Send(lstConversations_, LVM_SETEXTENDEDLISTVIEWSTYLE,
              LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(lstConversations_, &client);
    sys::InsertListColumn(lstConversations_, 0, client.right - GetSystemMetrics(SM_CXVSCROLL));
    // The notes: why the robot is not answering there. No width until there is one.
    sys::InsertListColumn(lstConversations_, 1, 0);

    list_ = std::make_unique<ConversationListControls>(lstConversations_, chkEnableDefault_,
                                                       txtNumChatWindows_);
    relay_ = std::make_unique<RelayEngine>(windows_, *list_, Conversations_, &replies_, &rules_);
    replies_.OnSent([this](int slot) { rules_.Answered(Conversations_[slot].Contact); });
    replies_.OnHandled([this](const HandledMessage& handled) { Record(handled); });
}

void MainForm::Record(const HandledMessage& handled) {
    // The settings are read at each exchange, so that a change by hand holds from the next one.
    const RecordSettings keep = ReadRecordSettings(settings_);
    if (!keep.keep) return;
    std::wstring bot;
    if (!UsesBuiltInBot(settings_)) {
        bot = L"the bot server " + ReadSetting(settings_, kBotServer) + L", bot " +
              ReadSetting(settings_, kBotID);
    } else {
        const std::wstring folder = ReadSetting(settings_, kAimlFolder);
        bot = builtInBot_.BotName() + (folder.empty() ? L" (built in)" : L" of " + folder);
    }
    store_->Record({static_cast<std::int64_t>(std::time(nullptr)),
                    qvbot::Utf8FromWide(handled.contact), qvbot::Utf8FromWide(handled.heard),
                    qvbot::Utf8FromWide(handled.reply), handled.outcome, qvbot::Utf8FromWide(bot)},
                   keep);
}

void MainForm::Form_Load() {
    // 1. Centre on the screen at the full design height, keeping the size.
    RECT window{};
    GetWindowRect(hwnd_, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    // 2. The conversation table: the spare slot 0 alone.
    Conversations_ = NewConversationTable();

    // 3. The tray icon record, in the size of the platform's first version, ANSI form.
    TrayIconData_ = {};
    TrayIconData_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    TrayIconData_.hIcon = smallIcon_ != nullptr ? smallIcon_ : icon_;
    TrayIconData_.hWnd = hwnd_;
    // The first version's tip field: 64 bytes, the tip and its NUL, then blanks.
    std::memset(TrayIconData_.szTip, ' ', kTrayTipBytes);
    std::memcpy(TrayIconData_.szTip, kTrayTip, sizeof(kTrayTip));
    TrayIconData_.uCallbackMessage = kTrayCallbackMessage;
    TrayIconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData_.uID = kTrayIconId;

    // 4. No fetching browser to move away: the transport has no window.

    // 5. The built-in bot is loaded (a broken AIML folder of the user's is reported here), or the
    // bot server's conversation started: the rest of the load step waits for the talk page, while
    // the window handles its messages and Timer1 ticks with an empty token.
    if (UsesBuiltInBot(settings_)) {
        builtInBot_.Prepare();
        return Form_Loaded();
    }
    // No question goes out before the conversation has started.
    const ReplyPipeline::RequestId hold = replies_.HoldQuestions();
    serverBot_.Start([this, hold] {
        replies_.ReleaseQuestions(hold);
        Form_Loaded();
    });
}

void MainForm::Form_Loaded() {
    if (hwnd_ == nullptr) return;

    // 6. Designed with the news panel showing; it starts cut off.
    AdvertShown_ = true;
    HideAdvert();

    // 7. Ask for the news page; its arrival is handled when it comes.
    const HWND window_handle = hwnd_;
    newsRequest_ = http_.Start(codec_.ToAnsi(L"http://" + options_.newsHost + kNewsPath), "", "",
                               [window_handle] { PostMessageA(window_handle, kWmNewsComplete, 0, 0); });

    ShowWindow(hwnd_, showCommand_);
    UpdateWindow(hwnd_);
    // Exchanges past their days go now, by the writer, rather than at the next answer.
    store_->KeepRecord(ReadRecordSettings(settings_));
    // A memory file that could not be used was moved aside: said once, from the message loop, so
    // that the program answers while the box is open.
    if (std::wstring moved = MovedAsideMessage(*store_); !moved.empty()) {
        scheduler_.After(0, [this, moved] { dialogs_.ShowMessage(moved, L"Quorvanel"); });
    }
}

void MainForm::Form_Resize(WPARAM sizeType) {
    if (sizeType != SIZE_MINIMIZED) return;
    // Whether the icon could be added or not, the window goes off the taskbar.
    options_.notifyIcon(NIM_ADD, &TrayIconData_);
    inTray_ = true;
    ShowWindow(hwnd_, SW_HIDE);
}

void MainForm::Form_MouseMove() {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(hwnd_, &placement);
    if (placement.showCmd != SW_SHOWMINIMIZED && IsWindowVisible(hwnd_) && !IsIconic(hwnd_)) return;
    ShowWindow(hwnd_, SW_RESTORE);
    options_.notifyIcon(NIM_DELETE, &TrayIconData_);
    inTray_ = false;
    ShowWindow(hwnd_, SW_SHOW);
}

// Explorer restarted: its new notification area knows no icons, so the hidden window's is added
// again, or the program could only be found in Task Manager.
void MainForm::Taskbar_Created() {
    if (inTray_) options_.notifyIcon(NIM_ADD, &TrayIconData_);
}

void MainForm::Timer1_Timer() {
    clock_.Watch();
    if (relay_) relay_->Timer1_Timer();
}

void MainForm::lstConversations_ContextMenu(LPARAM at) {
    if (!relay_) return;
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    int entry = -1;
    // From the keyboard both coordinates are -1 (the whole parameter only in 32 bits).
    if (point.x == -1 && point.y == -1) {
        entry = ListView_GetNextItem(lstConversations_, -1, LVNI_SELECTED);
        if (entry < 0) entry = ListView_GetNextItem(lstConversations_, -1, LVNI_FOCUSED);
        // Nothing chosen yet: the first entry, where the list shows its focus.
        if (entry < 0 && list_->EntryCount() > 0) entry = 0;
        RECT item{};
        if (entry >= 0 && ListView_GetItemRect(lstConversations_, entry, &item, LVIR_LABEL)) {
            point = {item.left, item.bottom};
        } else {
            point = {0, 0};
        }
        ClientToScreen(lstConversations_, &point);
    } else {
        LVHITTESTINFO hit{};
        hit.pt = point;
        ScreenToClient(lstConversations_, &hit.pt);
        entry = ListView_HitTest(lstConversations_, &hit);
        if (entry >= 0) {
            ListView_SetItemState(lstConversations_, entry, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    if (entry < 0) return;
    // Ticks go on while the menu is open and may remove entries: the window names the entry.
    const WindowHandle window = list_->EntryData(entry);

    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    AppendMenuA(menu, MF_STRING, kIdMenuAlwaysAnswer, "&Always answer");
    AppendMenuA(menu, MF_STRING, kIdMenuNeverAnswer, "&Never answer");
    AppendMenuA(menu, MF_STRING, kIdMenuDefaultRule, "As &ticked");
    const ContactRule current = relay_->ContactRuleOf(entry);
    const UINT checked = current == ContactRule::Always  ? kIdMenuAlwaysAnswer
                         : current == ContactRule::Never ? kIdMenuNeverAnswer
                                                         : kIdMenuDefaultRule;
    CheckMenuRadioItem(menu, kIdMenuAlwaysAnswer, kIdMenuDefaultRule, checked, MF_BYCOMMAND);
    const UINT command = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0,
        hwnd_, nullptr));
    DestroyMenu(menu);
    if (command == 0 || hwnd_ == nullptr || !relay_->HasEntry(window)) return;
    const ContactRule rule = command == kIdMenuAlwaysAnswer  ? ContactRule::Always
                             : command == kIdMenuNeverAnswer ? ContactRule::Never
                                                             : ContactRule::Default;
    if (!relay_->SetContactRule(relay_->FindListIndex(window), rule)) {
        dialogs_.ShowMessage(L"The rule could not be saved in " + settings_.FileWritten() + L".",
                             L"Quorvanel");
    }
}

void MainForm::mnuOptions_Click() {
    OptionsDialog options(settings_);
    if (options.ShowModal(hwnd_, &pump_) != IDOK || hwnd_ == nullptr) return;
    rules_.Reread();
    // A new AIML folder is loaded, or reported, at once rather than at the next question.
    if (UsesBuiltInBot(settings_)) builtInBot_.Prepare();
}

void MainForm::mnuRecord_Click() {
    RecordWindow record(*store_);
    record.ShowModal(hwnd_, &pump_);
}

void MainForm::mnuExit_Click() { SendMessageA(hwnd_, WM_CLOSE, 0, 0); }

void MainForm::Help_Click() {
    HelpWindow help;
    help.ShowModal(hwnd_, &pump_);
}

void MainForm::mnuAboutQuorvanel_Click() {
    AboutWindow about(store_->Ok() ? StoreFilePath() : std::wstring());
    about.ShowModal(hwnd_, &pump_);
}

void MainForm::HideAdvert() {
    if (!AdvertShown_) return;
    AdvertShown_ = false;
    RECT window{};
    GetWindowRect(hwnd_, &window);
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top - Twips(kWbAdvert.height, false),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainForm::ShowAdvert() {
    if (AdvertShown_) return;
    AdvertShown_ = true;
    RECT window{};
    GetWindowRect(hwnd_, &window);
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + Twips(kWbAdvert.height, false),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainForm::wbAdvert_DocumentComplete() {
    if (AdvertShown_ || !newsRequest_ || !newsRequest_->Done()) return;
    if (!newsPageRead_) {
        newsPageRead_ = true;
        const HttpResponse response = newsRequest_->TakeResponse();
        if (response.received && response.status >= 200 && response.status <= 299) {
            newsPage_ = DecodePage(response, codec_);
        }
    }
    // The page settles on a timer of its own: a bot request waiting meanwhile is not cut short. A
    // timer Windows refuses leaves the panel closed, as any other trouble with the page does.
    scheduler_.After(kSettleMs, [this] { ShowAdvertIfMarked(); });
}

void MainForm::ShowAdvertIfMarked() {
    if (hwnd_ == nullptr || AdvertShown_) return;
    if (!CarriesNewsMarker(html::BodyInnerHtml(newsPage_))) return;
    wbAdvert_.Show(ReadNewsText(newsPage_));
    ShowAdvert();
}

void MainForm::ReportTrouble(const std::wstring& text) {
    // Not once the window has gone: the program is ending, and the request with it.
    if (hwnd_ != nullptr) dialogs_.ShowMessage(text, L"Quorvanel");
}

}  // namespace quorvanel
