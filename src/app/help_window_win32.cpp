#include "app/help_window_win32.h"

namespace quorvanel {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;

// Client area and controls as designed, in twips.
constexpr int kClientWidthTwips = 6120;
constexpr int kClientHeightTwips = 2760;

struct Placement {
    int left, top, width, height;
};
constexpr Placement kText1{120, 120, 5805, 1950};
constexpr Placement kBtnOK{4710, 2235, 1215, 330};

// One string per line; trailing blanks inside the quotation marks belong to the text.
constexpr char kHelpText[] =
    "HOW TO USE\r\n"
    "----------\r\n"
    "\r\n"
    "The Quorvanel program shows a list of currently open \r\n"
    "chat windows. Just select which ones you want it to \r\n"
    "talk on and it will do the rest.\r\n"
    "\r\n"
    "If you select \"Enable on newly opened windows\", it \r\n"
    "will automatically talk to anybody who starts a new \r\n"
    "conversation with you.\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "SETTINGS\r\n"
    "--------\r\n"
    "\r\n"
    "The \"Bot Behaviour\" options should be \r\n"
    "self-explanatory.\r\n"
    "\r\n"
    "The \"Connection Settings\" should be left alone \r\n"
    "unless you know what you're doing. Normally you\r\n"
    "won't want to change them.\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "REQUIREMENTS\r\n"
    "------------\r\n"
    "\r\n"
    "It's supposed to work on Windows 98, 2000 and XP, \r\n"
    "with MSN Messenger 4.5, 4.6, 4.7 or 5.0.\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "CREDITS\r\n"
    "-------\r\n"
    "\r\n"
    "Written by the Quorvanel developers (www.example.com/quorvanel/)\r\n"
    "Beta testing by:\r\n"
    "our volunteer tester (www.example.com/testers/)\r\n"
    "\r\n"
    "Email: quorvanel@example.com\r\n"
    "Sorry if replies to e-mail are slow: there is a lot \r\n"
    "of it and not much time to answer it.\r\n"
    "\r\n"
    "Thanks to the ALICE project developers for the bot, and \r\n"
    "to the Pandorabots web site for hosting it.\r\n";

}  // namespace

HWND HelpWindow::Create(HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterModalClass(instance, kHelpClassName)) return nullptr;
    Text1_ = nullptr;
    btnOK_ = nullptr;
    focus_ = nullptr;

    if (!CreateFixedWindow(owner, kHelpClassName, kHelpCaption, kStyle, kExStyle, kClientWidthTwips,
                           kClientHeightTwips)) {
        return nullptr;
    }
    CreateControls();
    Form_Load();
    return hwnd_;
}

void HelpWindow::CreateControls() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto make = [&](DWORD exStyle, const char* className, const char* text, DWORD style,
                    const Placement& at, int id) {
        HWND control = CreateWindowExA(
            exStyle, className, text, WS_CHILD | WS_VISIBLE | style, twips_.X(at.left),
            twips_.Y(at.top), twips_.X(at.width), twips_.Y(at.height), hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };

    // Created in tab order. Without ES_AUTOHSCROLL the box wraps lines too long for it.
    Text1_ = make(WS_EX_CLIENTEDGE, "EDIT", kHelpText,
                  WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, kText1,
                  kIdHelpText);
    btnOK_ = make(0, "BUTTON", "OK", WS_TABSTOP | BS_PUSHBUTTON, kBtnOK, kIdHelpOK);
}

void HelpWindow::Form_Load() {
    CentreOnScreen(hwnd_);
}

void HelpWindow::btnOK_Click() {
    EndModal(IDOK);
}

bool HelpWindow::PreTranslate(MSG& message) {
    if (message.message != WM_KEYDOWN || (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd))) {
        return false;
    }
    switch (message.wParam) {
        case VK_ESCAPE:
            // Esc must not close this window: neither as the dialog keys' Cancel nor through
            // the multi-line box, which closes its parent on Esc when it sits in a dialog.
            return true;
        case VK_TAB: {
            // Tab is handled here because the dialog keys select the whole help text on the way
            // in; the box keeps the caret and selection the user left in it.
            const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
            HWND next = GetNextDlgTabItem(hwnd_, GetFocus(), back);
            if (next != nullptr) SetFocus(next);
            return true;
        }
        default:
            return false;
    }
}

LRESULT HelpWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            // Enter arrives as IDOK: it presses OK only when OK has the focus, as there is no
            // default button.
            if (LOWORD(wParam) == kIdHelpOK || (LOWORD(wParam) == IDOK && GetFocus() == btnOK_)) {
                btnOK_Click();
                return 0;
            }
            break;
        case WM_ACTIVATE:
            // Not a dialog: the focus is given to a control by hand, and kept across
            // deactivation. The box starts with the caret before the first line, nothing
            // selected.
            KeepFocus(wParam, Text1_);
            return 0;
        case WM_CTLCOLORSTATIC:
            // A read-only box would be grey; the help reads as a page, on the window colour.
            if (reinterpret_cast<HWND>(lParam) == Text1_) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        default:
            break;
    }
    return ModalWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace quorvanel
