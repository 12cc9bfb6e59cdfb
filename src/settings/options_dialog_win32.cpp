#include "settings/options_dialog_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system_win32.h"
#include "settings/options_dialog_ids.h"
#include "settings/rules.h"
#include "settings/settings.h"
#include "settings/settings_store_win32.h"

namespace quorvanel {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

// Client area and controls as designed, in twips.
constexpr int kClientWidthTwips = 6150;
constexpr int kClientHeightTwips = 4425;

struct Placement {
    int left, top, width, height;
};
constexpr Placement kTbsOptions{120, 120, 5895, 3525};
constexpr Placement kCmdOK{3675, 3855, 1095, 375};
constexpr Placement kCmdCancel{4905, 3855, 1095, 375};
constexpr Placement kBehaviourPage{240, 510, 5685, 1980};
// Where the page of the selected tab goes, and where the others wait: each a page's width
// further out than the one before, so that hidden pages do not lie over each other.
constexpr int kShownPageLeftTwips = 210;
constexpr int HiddenPageLeftTwips(int page) {
    return -20000 - page * 6000;
}
constexpr Placement kConnectionPage{HiddenPageLeftTwips(1), 480, 5685, 3105};
constexpr Placement kRulesPage{HiddenPageLeftTwips(2), 480, 5685, 3105};

constexpr Placement kFrame1{120, 240, 5415, 615};
constexpr Placement kOptSlow{480, 480, 1215, 255};
constexpr Placement kOptMedium{1680, 480, 1260, 270};
constexpr Placement kOptFast{3000, 480, 1215, 255};
constexpr Placement kOptInstant{4320, 480, 975, 255};
constexpr Placement kFrame2{120, 1080, 5415, 615};
constexpr Placement kOptMessy{360, 240, 2415, 255};  // in Frame2
// Wide enough for its text in Tahoma and wider faces, up to the frame's inner edge.
constexpr Placement kOptPerfect{3120, 240, 2175, 255};

constexpr Placement kOptBuiltInBot{120, 90, 5415, 255};
constexpr Placement kAimlFolderLabel{360, 420, 1455, 255};
constexpr Placement kTxtAimlFolder{1920, 390, 3615, 285};
constexpr Placement kAimlFolderNote{1920, 705, 3615, 225};
constexpr Placement kOptBotServer{120, 990, 5415, 255};
constexpr Placement kLabel1{360, 1320, 1455, 255};
constexpr Placement kTxtBotServer{1920, 1290, 3615, 285};
constexpr Placement kLbl2{360, 1650, 1455, 255};
constexpr Placement kTxtBotID{1920, 1620, 3615, 300};
constexpr Placement kLabel2{360, 1980, 1455, 255};
constexpr Placement kTxtBotName{1920, 1950, 3615, 300};
// Up under the bot name, with room for its three lines at 96, 120 and 144 dpi.
constexpr Placement kLabel4{120, 2340, 5535, 690};

// The Rules page reads as sentences with boxes in them. A line is laid out left to right in the
// font at hand, each text as wide as it is written, so that the sentence holds together in a
// wider or a narrower face; only the lines' starts are placed in twips. Each box follows the
// label that names it, whose access key therefore reaches the box.
enum class PieceKind { Label, FirstOption, Option, Number, Time };
struct Piece {
    PieceKind kind;
    int id;  // 0 ends the line
    const wchar_t* text;
};
struct Line {
    int left, top;
    Piece pieces[5];
};
constexpr Line kRuleLines[] = {
    {120, 90, {{PieceKind::Label, kIdStepBackLabel, L"Step back when I &write:"},
               {PieceKind::Number, kIdStepBack, nullptr},
               {PieceKind::Label, kIdStepBackUnit, L"minutes (0 = never)"}}},
    {240, 750, {{PieceKind::FirstOption, kIdAnswerAlways, L"A&lways"}}},
    {240, 1080, {{PieceKind::Option, kIdAnswerAway, L"Only when I have been &away"},
                 {PieceKind::Label, kIdAwayLabel, L"&for"},
                 {PieceKind::Number, kIdAwayMinutes, nullptr},
                 {PieceKind::Label, kIdAwayUnit, L"minutes"}}},
    {240, 1410, {{PieceKind::Option, kIdAnswerHours, L"&Only"},
                 {PieceKind::Label, kIdHoursFromLabel, L"&between"},
                 {PieceKind::Time, kIdHoursFrom, nullptr},
                 {PieceKind::Label, kIdHoursToLabel, L"a&nd"},
                 {PieceKind::Time, kIdHoursTo, nullptr}}},
    // On two lines: on one it would reach past the page in the wider faces.
    {120, 2010, {{PieceKind::Label, kIdCapAnswersLabel, L"Never more &than"},
                 {PieceKind::Number, kIdCapAnswers, nullptr},
                 {PieceKind::Label, kIdCapAnswersUnit, L"answers to one contact"}}},
    {120, 2340, {{PieceKind::Label, kIdCapMinutesLabel, L"wit&hin"},
                 {PieceKind::Number, kIdCapMinutes, nullptr},
                 {PieceKind::Label, kIdCapMinutesUnit, L"minutes"}}},
};
constexpr Placement kAnswerFrame{120, 510, 5415, 1320};
constexpr int kRuleLineHeightTwips = 285;
constexpr int kRuleGapTwips = 60;
constexpr int kNumberBoxTwips = 540;
constexpr int kTimeBoxTwips = 660;
constexpr int kNumberDigits = 4;  // enough for every rule's largest value
constexpr int kTimeChars = 5;     // HH:MM

struct Tab {
    const wchar_t* caption;
    const wchar_t* toolTip;
};
// The tabs keyed Group1 and Group2, in that order.
constexpr Tab kTabs[] = {
    {L"Bot Behaviour", L"Set Options for Bot Behaviour"},
    {L"Connection Settings", L"Set Options for Connection Settings"},
    {L"Rules", L"Set the Rules for Answering"},
};

std::wstring Text(HWND control) { return sys::WindowText(control); }

bool IsChecked(HWND button) { return sys::Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

HWND MakeControl(HWND parent, DWORD exStyle, const char* className, const wchar_t* text,
                 DWORD style, const RECT& place, int id, HFONT font) {
    HWND control = sys::CreateControl(exStyle, className, text, WS_CHILD | WS_VISIBLE | style,
                                      place, parent, id);
    sys::Send(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

// The width of one line of text, its access key's ampersand left out.
int TextWidth(HDC dc, std::wstring_view text) {
    RECT needed{};
    sys::MeasureText(dc, text, needed, DT_SINGLELINE);
    return needed.right;
}

// Fonts differ between systems: a wrapped label grows down its parent rather than lose its last
// line.
void FitHeightToText(HWND label) {
    HWND parent = GetParent(label);
    RECT at{};
    GetWindowRect(label, &at);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&at), 2);
    RECT room{};
    GetClientRect(parent, &room);

    const std::wstring text = Text(label);
    RECT needed{0, 0, at.right - at.left, 0};
    HDC dc = GetDC(label);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(sys::Send(label, WM_GETFONT, 0, 0)));
    sys::MeasureText(dc, text, needed, DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(label, dc);

    const int height = std::min(needed.bottom, room.bottom - at.top);
    if (height > at.bottom - at.top) {
        SetWindowPos(label, nullptr, 0, 0, at.right - at.left, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// A page hands its controls' notifications to the dialog.
LRESULT CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) return SendMessageA(GetParent(page), message, wParam, lParam);
    return DefWindowProcA(page, message, wParam, lParam);
}

bool IsWithin(HWND window, HWND ancestor) {
    return window != nullptr && (window == ancestor || IsChild(ancestor, window));
}

}  // namespace

HWND OptionsDialog::Create(HWND owner) {
    // The main program loads only the list view's classes (and the standard ones, where comctl32
    // knows them): the tab strip and its tool tips are loaded here, without which there is no
    // dialog to show.
    if (!sys::LoadCommonControls(ICC_TAB_CLASSES)) return nullptr;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterModalClass(instance, kOptionsDialogClassName)) return nullptr;
    WNDCLASSEXA page{};
    page.cbSize = sizeof(page);
    page.lpfnWndProc = PageProc;
    page.hInstance = instance;
    page.hCursor = LoadCursor(nullptr, IDC_ARROW);
    page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    page.lpszClassName = kOptionsPageClassName;
    if (!sys::RegisterClassOnce(page)) return nullptr;

    if (!CreateFixedWindow(owner, kOptionsDialogClassName, kOptionsCaption, kStyle, kExStyle, kClientWidthTwips,
                           kClientHeightTwips)) {
        return nullptr;
    }
    CreateControls();
    Form_Load();
    focus_ = tbsOptions_;
    return hwnd_;
}

void OptionsDialog::CreateControls() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto make = [&](HWND parent, DWORD exStyle, const char* className, const wchar_t* text,
                    DWORD style, const Placement& at, int id) {
        const RECT place{twips_.X(at.left), twips_.Y(at.top), twips_.X(at.left) + twips_.X(at.width),
                         twips_.Y(at.top) + twips_.Y(at.height)};
        return MakeControl(parent, exStyle, className, text, style, place, id, font);
    };
    // Group boxes leave their inside to be painted by the page: it does not clip its children.
    auto makePage = [&](const Placement& at, int id, DWORD style) {
        return CreateWindowExA(WS_EX_CONTROLPARENT, kOptionsPageClassName, "",
                               WS_CHILD | WS_VISIBLE | style, twips_.X(at.left),
                               twips_.Y(at.top), twips_.X(at.width), twips_.Y(at.height), hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                               nullptr);
    };

    // Created in tab order: each new window goes below its siblings.
    tbsOptions_ = make(hwnd_, 0, WC_TABCONTROLA, L"",
                       WS_TABSTOP | WS_CLIPSIBLINGS | TCS_TOOLTIPS, kTbsOptions, kIdOptionsTabs);
    for (int i = 0; i < kPageCount; ++i) sys::InsertTab(tbsOptions_, i, kTabs[i].caption);
    AddTabToolTips();
    cmdOK_ = make(hwnd_, 0, "BUTTON", L"OK", WS_TABSTOP | BS_PUSHBUTTON, kCmdOK, kIdOptionsOK);
    cmdCancel_ = make(hwnd_, 0, "BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, kCmdCancel,
                      kIdOptionsCancel);
    picOptions_[0] = makePage(kBehaviourPage, kIdBehaviourPage, 0);
    picOptions_[1] = makePage(kConnectionPage, kIdConnectionPage, WS_DISABLED);
    picOptions_[kRulesPageIndex] = makePage(kRulesPage, kIdRulesPage, WS_DISABLED);

    // Bot Behaviour. Checking a radio button makes it the tab stop of its group.
    HWND behaviour = picOptions_[0];
    optMedium_ = make(behaviour, 0, "BUTTON", L"Medium", WS_GROUP | BS_AUTORADIOBUTTON,
                      kOptMedium, kIdMedium);
    optFast_ = make(behaviour, 0, "BUTTON", L"Fast", BS_AUTORADIOBUTTON, kOptFast, kIdFast);
    optInstant_ = make(behaviour, 0, "BUTTON", L"Instant", BS_AUTORADIOBUTTON, kOptInstant,
                       kIdInstant);
    Frame1_ = make(behaviour, 0, "BUTTON", L"Typing Speed", WS_CLIPSIBLINGS | BS_GROUPBOX,
                   kFrame1, kIdFrame1);
    optSlow_ = make(behaviour, 0, "BUTTON", L"Slow", BS_AUTORADIOBUTTON, kOptSlow, kIdSlow);
    Frame2_ = make(behaviour, WS_EX_CONTROLPARENT, "BUTTON", L"Neatness",
                   WS_GROUP | BS_GROUPBOX, kFrame2, kIdFrame2);
    optMessy_ = make(Frame2_, 0, "BUTTON", L"no capitals or punctuation",
                     WS_GROUP | BS_AUTORADIOBUTTON, kOptMessy, kIdMessy);
    optPerfect_ = make(Frame2_, 0, "BUTTON", L"Perfect presentation.", BS_AUTORADIOBUTTON,
                       kOptPerfect, kIdPerfect);
    sys::Send(optMedium_, BM_SETCHECK, BST_CHECKED, 0);
    sys::Send(optPerfect_, BM_SETCHECK, BST_CHECKED, 0);

    // Connection Settings: the two options first, one group and one tab stop, then the boxes.
    HWND connection = picOptions_[1];
    optBuiltInBot_ = make(connection, 0, "BUTTON", L"Built-in bot (answers on this computer)",
                          WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, kOptBuiltInBot, kIdBuiltInBot);
    optBotServer_ = make(connection, 0, "BUTTON", L"Bot server", BS_AUTORADIOBUTTON, kOptBotServer,
                         kIdUseBotServer);
    const DWORD edit = WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
    make(connection, 0, "STATIC", L"AIML folder:", SS_LEFT, kAimlFolderLabel, kIdAimlFolderLabel);
    txtAimlFolder_ = make(connection, WS_EX_CLIENTEDGE, "EDIT", L"", edit, kTxtAimlFolder,
                          kIdAimlFolder);
    make(connection, 0, "STATIC", L"Leave it empty for the starter bot, Kestro.", SS_LEFT,
         kAimlFolderNote, kIdAimlFolderNote);
    txtBotServer_ = make(connection, WS_EX_CLIENTEDGE, "EDIT", L"", edit, kTxtBotServer,
                         kIdBotServer);
    make(connection, 0, "STATIC", L"Bot Server:", SS_LEFT, kLabel1, kIdLabel1);
    make(connection, 0, "STATIC", L"Bot ID Number:", SS_LEFT, kLbl2, kIdLbl2);
    txtBotID_ = make(connection, WS_EX_CLIENTEDGE, "EDIT", L"", edit, kTxtBotID, kIdBotID);
    make(connection, 0, "STATIC", L"Bot Name:", SS_LEFT, kLabel2, kIdLabel2);
    txtBotName_ = make(connection, WS_EX_CLIENTEDGE, "EDIT", L"", edit, kTxtBotName, kIdBotName);
    HWND note = make(connection, 0, "STATIC",
                     L"Note: The Bot Name MUST match with the Bot ID you specify. You can't just "
                     L"change the bot name without registering a bot and specifying your new ID.",
                     SS_LEFT, kLabel4, kIdLabel4);
    FitHeightToText(note);

    CreateRulesControls(font);

    // The pages lie on the tab strip, which clips itself against siblings above it only: it goes
    // to the bottom. Tab order is a cycle, so it still runs strip, OK, Cancel, pages.
    SetWindowPos(tbsOptions_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // Likewise the Typing Speed frame under its buttons; it takes no focus, and below them it
    // no longer stops the arrow keys inside the speed group.
    SetWindowPos(Frame1_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void OptionsDialog::CreateRulesControls(HFONT font) {
    HWND rules = picOptions_[kRulesPageIndex];
    HWND frame = MakeControl(rules, 0, "BUTTON", L"Answer", WS_CLIPSIBLINGS | BS_GROUPBOX,
                             {twips_.X(kAnswerFrame.left), twips_.Y(kAnswerFrame.top),
                              twips_.X(kAnswerFrame.left + kAnswerFrame.width),
                              twips_.Y(kAnswerFrame.top + kAnswerFrame.height)},
                             kIdAnswerFrame, font);
    HDC dc = GetDC(rules);
    const HGDIOBJ old = SelectObject(dc, font);
    const DWORD box = WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
    const int gap = twips_.X(kRuleGapTwips);
    const int mark = GetSystemMetrics(SM_CXMENUCHECK) + gap;
    for (const Line& line : kRuleLines) {
        int left = twips_.X(line.left);
        const int top = twips_.Y(line.top);
        auto next = [&](int width) {
            const RECT place{left, top, left + width, top + twips_.Y(kRuleLineHeightTwips)};
            left += width + gap;
            return place;
        };
        for (const Piece& piece : line.pieces) {
            if (piece.id == 0) break;
            const bool number = piece.kind == PieceKind::Number;
            if (number || piece.kind == PieceKind::Time) {
                HWND edit = MakeControl(
                    rules, WS_EX_CLIENTEDGE, "EDIT", L"", box | (number ? ES_NUMBER : 0),
                    next(twips_.X(number ? kNumberBoxTwips : kTimeBoxTwips)), piece.id, font);
                sys::Send(edit, EM_LIMITTEXT, number ? kNumberDigits : kTimeChars, 0);
                continue;
            }
            // A pixel to spare, as a text may be drawn a little wider than it was measured.
            const int written = TextWidth(dc, piece.text) + 1;
            if (piece.kind == PieceKind::Label) {
                MakeControl(rules, 0, "STATIC", piece.text, WS_GROUP | SS_LEFT | SS_CENTERIMAGE,
                            next(written), piece.id, font);
            } else {
                const DWORD first = piece.kind == PieceKind::FirstOption ? WS_GROUP : 0;
                MakeControl(rules, 0, "BUTTON", piece.text, first | BS_AUTORADIOBUTTON,
                            next(mark + written), piece.id, font);
            }
        }
    }
    SelectObject(dc, old);
    ReleaseDC(rules, dc);

    auto find = [&](int id) { return GetDlgItem(rules, id); };
    txtStepBack_ = find(kIdStepBack);
    optAlways_ = find(kIdAnswerAlways);
    optAway_ = find(kIdAnswerAway);
    optHours_ = find(kIdAnswerHours);
    txtAwayMinutes_ = find(kIdAwayMinutes);
    txtHoursFrom_ = find(kIdHoursFrom);
    txtHoursTo_ = find(kIdHoursTo);
    txtCapAnswers_ = find(kIdCapAnswers);
    txtCapMinutes_ = find(kIdCapMinutes);
    // The options are one group, which runs to the next control marked WS_GROUP: they go
    // together in the tab order, the boxes of their lines after them.
    constexpr UINT kOrderOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    SetWindowPos(optAway_, optAlways_, 0, 0, 0, 0, kOrderOnly);
    SetWindowPos(optHours_, optAway_, 0, 0, 0, 0, kOrderOnly);
    // The frame clips itself against what lies on it, all above it.
    SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, kOrderOnly);
}

void OptionsDialog::AddTabToolTips() {
    HWND tips = reinterpret_cast<HWND>(sys::Send(tbsOptions_, TCM_GETTOOLTIPS, 0, 0));
    // comctl32 of Windows registers a tool per tab itself, Wine's does not. The texts come from
    // TTN_GETDISPINFO either way.
    if (tips == nullptr || sys::Send(tips, TTM_GETTOOLCOUNT, 0, 0) != 0) return;
    for (int i = 0; i < kPageCount; ++i) {
        RECT rect{};
        sys::Send(tbsOptions_, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rect));
        sys::AddToolTip(tips, tbsOptions_, static_cast<UINT_PTR>(i), rect);
    }
}

void OptionsDialog::Form_Load() {
    CentreOnScreen(hwnd_);

    const std::wstring server = ReadSetting(settings_, kBotServer);
    sys::SetText(txtBotServer_, server);
    sys::SetText(txtBotID_, ReadSetting(settings_, kBotID));
    sys::SetText(txtBotName_, ReadSetting(settings_, kBotName));
    sys::SetText(txtAimlFolder_, ReadSetting(settings_, kAimlFolder));
    sys::Send(server.empty() ? optBuiltInBot_ : optBotServer_, BM_SETCHECK, BST_CHECKED, 0);
    optBot_Click();

    // Only an exact value selects a button; anything else leaves the one checked when built.
    const std::wstring speed = ReadSetting(settings_, kTypeSpeed);
    for (const Choice& choice : SpeedChoices()) {
        if (speed == choice.value) {
            CheckRadioButton(picOptions_[0], kIdSlow, kIdInstant, GetDlgCtrlID(choice.button));
        }
    }
    const std::wstring style = ReadSetting(settings_, kTypeStyle);
    for (const Choice& choice : StyleChoices()) {
        if (style == choice.value) {
            CheckRadioButton(Frame2_, kIdMessy, kIdPerfect, GetDlgCtrlID(choice.button));
        }
    }

    const ReplyRules rules = ReadReplyRules(settings_);
    sys::SetText(txtStepBack_, std::to_wstring(rules.stepBackMinutes));
    sys::SetText(txtAwayMinutes_, std::to_wstring(rules.awayMinutes));
    sys::SetText(txtHoursFrom_, FormatClockTime(rules.hoursFrom));
    sys::SetText(txtHoursTo_, FormatClockTime(rules.hoursTo));
    sys::SetText(txtCapAnswers_, std::to_wstring(rules.capAnswers));
    sys::SetText(txtCapMinutes_, std::to_wstring(rules.capMinutes));
    HWND when = rules.when == AnswerWhen::Away    ? optAway_
                : rules.when == AnswerWhen::Hours ? optHours_
                                                  : optAlways_;
    sys::Send(when, BM_SETCHECK, BST_CHECKED, 0);
}

bool OptionsDialog::PreTranslate(MSG& message) { return Form_KeyDown(message); }

bool OptionsDialog::Form_KeyDown(const MSG& message) {
    // Ctrl+Alt+key comes as WM_KEYDOWN, not WM_SYSKEYDOWN: Alt is checked as well.
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
    if (!IsWithin(message.hwnd, hwnd_)) return false;
    if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) {
        return false;
    }
    const LRESULT count = sys::Send(tbsOptions_, TCM_GETITEMCOUNT, 0, 0);
    if (count <= 0) return false;
    const LRESULT selected = sys::Send(tbsOptions_, TCM_GETCURSEL, 0, 0);
    ShowPage(static_cast<int>((selected + 1) % count));
    return true;
}

void OptionsDialog::ShowPage(int index) {
    sys::Send(tbsOptions_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    tbsOptions_Click();
}

void OptionsDialog::tbsOptions_Click() {
    const LRESULT selected = sys::Send(tbsOptions_, TCM_GETCURSEL, 0, 0);
    for (int i = 0; i < kPageCount; ++i) {
        HWND page = picOptions_[i];
        RECT at{};
        GetWindowRect(page, &at);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&at), 2);
        const bool shown = i == selected;
        // Disabling a window that holds the focus would leave the dialog without one.
        if (!shown && IsWithin(GetFocus(), page)) SetFocus(tbsOptions_);
        SetWindowPos(page, nullptr, twips_.X(shown ? kShownPageLeftTwips : HiddenPageLeftTwips(i)),
                     at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        EnableWindow(page, shown ? TRUE : FALSE);
    }
}

// Only the boxes of the chosen bot take input.
void OptionsDialog::optBot_Click() {
    const BOOL server = IsChecked(optBotServer_) ? TRUE : FALSE;
    EnableWindow(txtAimlFolder_, !server);
    for (HWND box : {txtBotServer_, txtBotID_, txtBotName_}) EnableWindow(box, server);
}

std::optional<ReplyRules> OptionsDialog::RulesOnPage() {
    ReplyRules rules;
    rules.when = IsChecked(optAway_)    ? AnswerWhen::Away
                 : IsChecked(optHours_) ? AnswerWhen::Hours
                                        : AnswerWhen::Always;
    // In the tab order, so that the box named is the first the user meets; each named by the
    // label before it. A box beside an option not chosen is checked too: it is saved as well.
    const struct {
        HWND box;
        int& value;
        const wchar_t* label;
        const wchar_t* unit;  // null: a time of day
        int lo, hi;
    } fields[] = {
        {txtStepBack_, rules.stepBackMinutes, L"Step back when I write", L"minutes", 0,
         kMaxRuleMinutes},
        {txtAwayMinutes_, rules.awayMinutes, L"Only when I have been away for", L"minutes", 1,
         kMaxRuleMinutes},
        {txtHoursFrom_, rules.hoursFrom, L"Only between", nullptr, 0, 0},
        {txtHoursTo_, rules.hoursTo, L"and", nullptr, 0, 0},
        {txtCapAnswers_, rules.capAnswers, L"Never more than", L"answers", 1, kMaxCapAnswers},
        {txtCapMinutes_, rules.capMinutes, L"within", L"minutes", 1, kMaxRuleMinutes},
    };
    for (const auto& field : fields) {
        const std::wstring text = Text(field.box);
        const std::optional<int> value =
            field.unit != nullptr ? ParseMinutes(text, field.lo, field.hi) : ParseClockTime(text);
        if (value) {
            field.value = *value;
            continue;
        }
        const std::wstring takes = field.unit != nullptr
                                       ? L"a whole number of " + std::wstring(field.unit) +
                                             L" from " + std::to_wstring(field.lo) + L" to " +
                                             std::to_wstring(field.hi)
                                       : L"a time of day written HH:MM, from 00:00 to 23:59";
        // The focus is the box's before the message takes it, so that it comes back there.
        ShowPage(kRulesPageIndex);
        SetFocus(field.box);
        sys::Send(field.box, EM_SETSEL, 0, -1);
        sys::ShowMessageBox(
            hwnd_, L"The box after \"" + std::wstring(field.label) + L"\" takes " + takes + L".",
            L"Quorvanel", MB_OK | MB_ICONEXCLAMATION);
        return std::nullopt;
    }
    return rules;
}

void OptionsDialog::cmdOK_Click() {
    // Nothing is written while a rule cannot be taken as typed.
    const std::optional<ReplyRules> rules = RulesOnPage();
    if (!rules) return;
    // The first failed write ends the save: the file cannot be written, and the rest would fail
    // the same way.
    bool saved = true;
    auto save = [&](const SettingKey& setting, std::wstring_view value) {
        if (saved) saved = WriteSetting(settings_, setting, value);
    };
    for (const Choice& choice : SpeedChoices()) {
        if (IsChecked(choice.button)) save(kTypeSpeed, choice.value);
    }
    for (const Choice& choice : StyleChoices()) {
        if (IsChecked(choice.button)) save(kTypeStyle, choice.value);
    }
    // The built-in bot is what an empty bot server means.
    save(kBotServer, IsChecked(optBotServer_) ? Text(txtBotServer_) : L"");
    save(kBotID, Text(txtBotID_));
    save(kBotName, Text(txtBotName_));
    save(kAimlFolder, Text(txtAimlFolder_));
    if (saved) saved = WriteReplyRules(settings_, *rules);

    if (!saved) {
        const std::wstring failed = settings_.FileWritten();
        const std::wstring text = L"The settings could not be saved to " + (failed.empty() ? SettingsFilePath() : failed) +
                                  L".\n\nCheck that you may write to that folder, then try again.";
        sys::ShowMessageBox(hwnd_, text, L"Quorvanel", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    EndModal(IDOK);
}

void OptionsDialog::cmdCancel_Click() { EndModal(IDCANCEL); }

std::array<OptionsDialog::Choice, 4> OptionsDialog::SpeedChoices() const {
    return {{{optSlow_, L"slow"}, {optMedium_, L"medium"}, {optFast_, L"fast"},
             {optInstant_, L"instant"}}};
}

std::array<OptionsDialog::Choice, 2> OptionsDialog::StyleChoices() const {
    return {{{optMessy_, L"messy"}, {optPerfect_, L"perfect"}}};
}

LRESULT OptionsDialog::OnNotify(const NMHDR& header) {
    if (header.hwndFrom == tbsOptions_ && header.code == TCN_SELCHANGE) {
        tbsOptions_Click();
        return 0;
    }
    const HWND tips = reinterpret_cast<HWND>(sys::Send(tbsOptions_, TCM_GETTOOLTIPS, 0, 0));
    if (tips != nullptr && header.hwndFrom == tips && header.idFrom < kPageCount) {
        const wchar_t* tip = kTabs[header.idFrom].toolTip;
        if (header.code == TTN_GETDISPINFOW) {
            auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
            info.lpszText = const_cast<wchar_t*>(tip);
            info.hinst = nullptr;
        } else if (header.code == TTN_GETDISPINFOA) {
            auto& info = const_cast<NMTTDISPINFOA&>(reinterpret_cast<const NMTTDISPINFOA&>(header));
            WideCharToMultiByte(CP_ACP, 0, tip, -1, info.szText, sizeof(info.szText), nullptr,
                                nullptr);
            info.lpszText = info.szText;
            info.hinst = nullptr;
        }
    }
    return 0;
}

LRESULT OptionsDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kIdOptionsOK:
                    if (HIWORD(wParam) == BN_CLICKED) cmdOK_Click();
                    return 0;
                case kIdOptionsCancel:
                    if (HIWORD(wParam) == BN_CLICKED) cmdCancel_Click();
                    return 0;
                case kIdBuiltInBot:
                case kIdUseBotServer:
                    if (HIWORD(wParam) == BN_CLICKED) optBot_Click();
                    return 0;
                case IDOK:
                    // Enter. There is no default button: it presses only the button that has
                    // the focus, as Space does.
                    if (GetFocus() == cmdOK_) {
                        cmdOK_Click();
                    } else if (GetFocus() == cmdCancel_) {
                        cmdCancel_Click();
                    }
                    return 0;
                default:
                    break;
            }
            break;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_NEXTDLGCTL: {
            // The dialog manager asks this of the window for a label's access key: the focus to
            // the label, then on to the next control that takes it, as a dialog box does.
            HWND to = lParam != 0 ? reinterpret_cast<HWND>(wParam)
                                  : GetNextDlgTabItem(hwnd_, GetFocus(), wParam != 0);
            if (!IsWithin(to, hwnd_)) return 0;
            SetFocus(to);
            if (sys::Send(to, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                sys::Send(to, EM_SETSEL, 0, -1);
            return 0;
        }
        case WM_CLOSE:
            cmdCancel_Click();
            return 0;
        case WM_ACTIVATE:
            // As a dialog box does: the focus leaves with the window and comes back with it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                if (IsWithin(GetFocus(), hwnd_) && GetFocus() != hwnd_) focus_ = GetFocus();
            } else {
                RestoreFocus();
            }
            return 0;
        case WM_SETFOCUS:
            RestoreFocus();
            return 0;
        default:
            break;
    }
    return ModalWindow::HandleMessage(message, wParam, lParam);
}

void OptionsDialog::RestoreFocus() {
    // The control may sit on a page that was hidden and disabled meanwhile.
    bool usable = focus_ != nullptr && IsWithin(focus_, hwnd_) && focus_ != hwnd_;
    for (HWND w = focus_; usable && w != hwnd_; w = GetParent(w)) {
        usable = IsWindowEnabled(w) != FALSE;
    }
    SetFocus(usable ? focus_ : tbsOptions_);
}

}  // namespace quorvanel
