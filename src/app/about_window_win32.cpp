#include "app/about_window_win32.h"

#include "platform/resource_ids.h"
#include "platform/system_win32.h"

namespace quorvanel {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;

// Client area and controls as designed, in twips.
constexpr int kClientWidthTwips = 5730;
constexpr int kClientHeightTwips = 2055;
// The data file's line below the rest, when there is one.
constexpr int kDataFileHeightTwips = 330;

struct Placement {
    int left, top, width, height;
};
constexpr Placement kCmdOK{4320, 1560, 1260, 345};
constexpr Placement kPicIcon{240, 240, 480, 480};
constexpr Placement kLblDescription{1050, 720, 3885, 330};
// Three lines of text at 96, 120 and 144 dpi (a font's lines grow faster than the dpi).
constexpr Placement kLblDisclaimer{240, 1260, 3225, 690};
constexpr Placement kLblTitle{1050, 240, 3885, 240};
constexpr Placement kLblVersion{1050, 480, 3885, 225};
constexpr Placement kLblDataFile{240, 2025, 840, 240};
constexpr Placement kTxtDataFile{1080, 2010, 4410, 270};

// The etched rule between the texts and the thanks.
constexpr int kRuleLeftTwips = 120;
constexpr int kRuleRightTwips = 5520;
constexpr int kRuleTopTwips = 1080;

constexpr char kTitle[] = "\"Quorvanel\" MSN Messenger Bot v1.11";
constexpr char kVersion[] = "(c) 2026 the Quorvanel developers";
constexpr char kDescription[] = "Email: quorvanel@example.com";
constexpr char kDisclaimer[] =
    "Quorvanel may be passed on freely. Thanks to Pandorabots, the ALICE project and our beta "
    "tester.";

}  // namespace

HWND AboutWindow::Create(HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterModalClass(instance, kAboutClassName)) return nullptr;
    cmdOK_ = nullptr;
    focus_ = nullptr;

    const int height = kClientHeightTwips + (dataFile_.empty() ? 0 : kDataFileHeightTwips);
    if (!CreateFixedWindow(owner, kAboutClassName, kAboutCaption, kStyle, kExStyle,
                           kClientWidthTwips, height)) {
        return nullptr;
    }
    CreateControls();
    Form_Load();
    return hwnd_;
}

void AboutWindow::CreateControls() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto make = [&](const char* className, const char* text, DWORD style, const Placement& at,
                    int id) {
        HWND control =
            CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, twips_.X(at.left),
                            twips_.Y(at.top), twips_.X(at.width), twips_.Y(at.height), hwnd_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };

    // Created in tab order.
    cmdOK_ = make("BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, kCmdOK, kIdAboutOK);
    HWND picIcon = make("STATIC", "", SS_ICON, kPicIcon, kIdAboutIcon);
    make("STATIC", kDescription, SS_LEFT | SS_NOPREFIX, kLblDescription, kIdAboutDescription);
    make("STATIC", kDisclaimer, SS_LEFT | SS_NOPREFIX, kLblDisclaimer, kIdAboutDisclaimer);
    make("STATIC", kTitle, SS_LEFT | SS_NOPREFIX, kLblTitle, kIdAboutTitle);
    make("STATIC", kVersion, SS_LEFT | SS_NOPREFIX, kLblVersion, kIdAboutVersion);
    if (!dataFile_.empty()) {
        // A read-only box, so that a path of any length can be read to its end and copied; wide
        // on NT, where a profile folder's name may lie outside the ANSI code page.
        make("STATIC", "Memory:", SS_LEFT | SS_NOPREFIX, kLblDataFile, kIdAboutDataFileLabel);
        const RECT at{twips_.X(kTxtDataFile.left), twips_.Y(kTxtDataFile.top),
                      twips_.X(kTxtDataFile.left + kTxtDataFile.width),
                      twips_.Y(kTxtDataFile.top + kTxtDataFile.height)};
        HWND box = sys::CreateControl(
            0, "EDIT", dataFile_, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL,
            at, hwnd_, kIdAboutDataFile);
        SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }

    // The program's own icon at its designed 32 x 32; a program built without it shows the
    // system's application icon rather than nothing.
    icon_ = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_QUORVANEL), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    ownsIcon_ = icon_ != nullptr;
    if (icon_ == nullptr) icon_ = LoadIcon(nullptr, IDI_APPLICATION);
    SendMessageA(picIcon, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
}

void AboutWindow::Form_Load() {
    CentreOnScreen(hwnd_);
}

void AboutWindow::cmdOK_Click() {
    EndModal(IDOK);
}

void AboutWindow::PaintRule(HDC dc) const {
    const int left = twips_.X(kRuleLeftTwips);
    const int right = twips_.X(kRuleRightTwips);
    const int top = twips_.Y(kRuleTopTwips);
    // A white two-pixel line with a grey one-pixel line over its top edge reads as a groove.
    const RECT white{left, top, right, top + 2};
    const RECT grey{left, top, right, top + 1};
    const HBRUSH whiteBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    const HBRUSH greyBrush = CreateSolidBrush(RGB(128, 128, 128));
    FillRect(dc, &white, whiteBrush);
    if (greyBrush != nullptr) {
        FillRect(dc, &grey, greyBrush);
        DeleteObject(greyBrush);
    }
}

LRESULT AboutWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Enter and Esc arrive as IDOK and IDCANCEL: OK is both the default and the cancel
            // button.
            if (HIWORD(wParam) == BN_CLICKED &&
                (LOWORD(wParam) == kIdAboutOK || LOWORD(wParam) == IDCANCEL)) {
                cmdOK_Click();
                return 0;
            }
            break;
        case DM_GETDEFID:
            return MAKELRESULT(kIdAboutOK, DC_HASDEFID);
        case WM_ACTIVATE:
            // Not a dialog: the focus is given to a control by hand, and kept across
            // deactivation.
            KeepFocus(wParam, cmdOK_);
            return 0;
        case WM_CTLCOLORSTATIC: {
            const LRESULT brush = DefWindowProcA(hwnd_, message, wParam, lParam);
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id == kIdAboutTitle || id == kIdAboutDescription || id == kIdAboutDisclaimer) {
                SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
            }
            return brush;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd_, &paint);
            if (dc != nullptr) {
                PaintRule(dc);
                EndPaint(hwnd_, &paint);
            }
            return 0;
        }
        case WM_DESTROY:
            if (ownsIcon_) DestroyIcon(icon_);
            icon_ = nullptr;
            ownsIcon_ = false;
            break;
        default:
            break;
    }
    return ModalWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace quorvanel
