// The About and Help windows, shown modally in this process on the real user32: a second thread
// plays the user, finding the window from outside and typing, clicking and reading what it shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include "win32/threads_win32.h"
#include <vector>

#include "app/about_window_win32.h"
#include "app/help_window_win32.h"
#include "app/resource_ids.h"
#include "fakes/fake_settings.h"
#include "settings/options_dialog_ids.h"
#include "settings/options_dialog_win32.h"
#include "win32/layout_win32.h"

namespace quorvanel {
namespace {

using Clock = std::chrono::steady_clock;

// Polls a condition from the user's thread (never the window's), up to a timeout.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

std::string Text(HWND hwnd) {
    std::vector<char> buffer(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    const int length = GetWindowTextA(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string EditText(HWND edit) {
    const LRESULT length = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT got =
        SendMessageA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

HWND FocusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

struct Dpi {
    int x = 96, y = 96;
};
Dpi ScreenDpi() {
    Dpi dpi;
    HDC screen = GetDC(nullptr);
    dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// A control's rectangle in its parent's client coordinates.
RECT Placed(HWND parent, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(parent, id), &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool IsCentred(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    const int wantLeft = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    const int wantTop = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    return std::abs(r.left - wantLeft) <= 1 && std::abs(r.top - wantTop) <= 1;
}

void SendKeys(std::initializer_list<std::pair<WORD, bool>> keys) {
    std::vector<INPUT> inputs;
    for (const auto& [vk, up] : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}
void Press(WORD vk) {
    SendKeys({{vk, false}, {vk, true}});
}
void PressWith(WORD modifier, WORD vk) {
    SendKeys({{modifier, false}, {vk, false}, {vk, true}, {modifier, true}});
}

// Waits until the window's thread has handled what was posted to it so far, or the window has
// gone. A marker key shows that earlier keys were handled, but under Wine messages posted while
// handling them (a WM_CLOSE, typed characters) may still wait behind it; a posted marker comes
// after them.
bool PostedHandled(HWND window, HWND edit) {
    const LRESULT next = SendMessageA(edit, EM_GETLIMITTEXT, 0, 0) + 1;
    PostMessageA(edit, EM_SETLIMITTEXT, static_cast<WPARAM>(next), 0);
    return Eventually([&] {
               return !IsWindow(window) || SendMessageA(edit, EM_GETLIMITTEXT, 0, 0) == next;
           }) &&
           IsWindow(window);
}

// A real mouse click in the middle of a control.
void Click(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    // Absolute coordinates run from 0 to 65535 across the primary screen.
    const LONG x = MulDiv((r.left + r.right) / 2, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    const LONG y = MulDiv((r.top + r.bottom) / 2, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    INPUT inputs[3]{};
    const DWORD flags[3] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dx = x;
        inputs[i].mi.dy = y;
        inputs[i].mi.dwFlags = flags[i] | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    }
    SendInput(3, inputs, sizeof(INPUT));
}

// Pixels of a window's client area as the screen shows them, as 0x00BBGGRR (COLORREF).
class Capture {
public:
    explicit Capture(HWND window) : window_(window), dc_(GetDC(window)) {}
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    ~Capture() { ReleaseDC(window_, dc_); }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    HWND window_;
    HDC dc_;
};

// The program's icon drawn at 32 x 32 on a background colour, row by row.
std::vector<COLORREF> ProgramIconOn(COLORREF background) {
    std::vector<COLORREF> pixels;
    HICON icon =
        static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_QUORVANEL),
                                      IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    if (icon == nullptr) return pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 32;
    info.bmiHeader.biHeight = -32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    const RECT all{0, 0, 32, 32};
    FillRect(dc, &all, brush);
    DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const auto* p = static_cast<const DWORD*>(bits);
    for (int i = 0; i < 32 * 32; ++i) {
        pixels.push_back(RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF));
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteObject(brush);
    DeleteDC(dc);
    DestroyIcon(icon);
    return pixels;
}

// Shows a modal window on this thread while `user` acts on it from a second thread, once the
// window is on the screen with the focus in it. Returns what ShowModal returned.
template <typename User>
int ShowWhile(ModalWindow& window, HWND owner, const char* className, User user) {
    const DWORD uiThread = GetCurrentThreadId();
    testing::Thread player([&] {
        HWND shown = nullptr;
        const bool ready = Eventually([&] {
            shown = FindWindowA(className, nullptr);
            if (shown == nullptr || !IsWindowVisible(shown)) return false;
            HWND focus = FocusOf(uiThread);
            return focus != nullptr && IsChild(shown, focus) &&
                   !GetUpdateRect(shown, nullptr, FALSE);
        });
        if (!ready) {
            ADD_FAILURE() << className << " never came up with the focus in it";
        } else {
            user(shown, uiThread);
        }
        // A failed check must not leave the modal loop running.
        if (shown != nullptr && IsWindow(shown)) PostMessageA(shown, WM_CLOSE, 0, 0);
    });
    const int result = window.ShowModal(owner);
    player.join();
    return result;
}

class ModalTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 300,
                                200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
        SetForegroundWindow(owner);
    }
    void TearDown() override { DestroyWindow(owner); }

    // The frame the two windows share: a fixed tool window, off the task bar, owned by `owner`
    // and keeping it disabled while open.
    void ExpectToolWindowOwnedByOwner(HWND window) const {
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
        EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
        EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
        EXPECT_EQ(GetWindow(window, GW_OWNER), owner);
        EXPECT_FALSE(IsWindowEnabled(owner));
    }

    void ExpectClientTwips(HWND window, int width, int height) const {
        const Dpi dpi = ScreenDpi();
        RECT client{};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, MulDiv(width, dpi.x, 1440));
        EXPECT_EQ(client.bottom, MulDiv(height, dpi.y, 1440));
    }

    void ExpectPlacedAt(HWND window, int id, int left, int top, int width, int height) const {
        const Dpi dpi = ScreenDpi();
        const RECT r = Placed(window, id);
        EXPECT_EQ(r.left, MulDiv(left, dpi.x, 1440)) << "control " << id;
        EXPECT_EQ(r.top, MulDiv(top, dpi.y, 1440)) << "control " << id;
        EXPECT_EQ(r.right - r.left, MulDiv(width, dpi.x, 1440)) << "control " << id;
        EXPECT_EQ(r.bottom - r.top, MulDiv(height, dpi.y, 1440)) << "control " << id;
    }

    HWND owner = nullptr;
};

// Identifiers of a window's controls in tab (Z) order.
std::vector<int> TabOrder(HWND window) {
    std::vector<int> ids;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ids.push_back(GetDlgCtrlID(child));
    }
    return ids;
}

using AboutTest = ModalTest;

TEST_F(AboutTest, ShowsTitleIconTextsAndEtchedRuleInAFixedToolWindow) {
    AboutWindow about;
    ShowWhile(about, owner, kAboutClassName, [&](HWND window, DWORD) {
        EXPECT_EQ(Text(window), "About Quorvanel...");
        ExpectToolWindowOwnedByOwner(window);
        ExpectClientTwips(window, 5730, 2055);
        EXPECT_TRUE(IsCentred(window));

        EXPECT_EQ(Text(GetDlgItem(window, kIdAboutTitle)), "\"Quorvanel\" MSN Messenger Bot v1.11");
        EXPECT_EQ(Text(GetDlgItem(window, kIdAboutDescription)), "Email: quorvanel@example.com");
        const std::string version = Text(GetDlgItem(window, kIdAboutVersion));
        EXPECT_EQ(version.rfind("(c) 20", 0), 0u) << version;
        EXPECT_NE(version.find("the Quorvanel developers"), std::string::npos) << version;
        const std::string disclaimer = Text(GetDlgItem(window, kIdAboutDisclaimer));
        EXPECT_NE(disclaimer.find("freely"), std::string::npos) << disclaimer;
        EXPECT_NE(disclaimer.find("ALICE"), std::string::npos) << disclaimer;
        EXPECT_NE(disclaimer.find("beta tester"), std::string::npos) << disclaimer;

        ExpectPlacedAt(window, kIdAboutOK, 4320, 1560, 1260, 345);
        ExpectPlacedAt(window, kIdAboutTitle, 1050, 240, 3885, 240);
        ExpectPlacedAt(window, kIdAboutVersion, 1050, 480, 3885, 225);
        ExpectPlacedAt(window, kIdAboutDescription, 1050, 720, 3885, 330);
        ExpectPlacedAt(window, kIdAboutDisclaimer, 240, 1260, 3225, 690);
        const Dpi dpi = ScreenDpi();
        const RECT pic = Placed(window, kIdAboutIcon);
        EXPECT_EQ(pic.left, MulDiv(240, dpi.x, 1440));
        EXPECT_EQ(pic.top, MulDiv(240, dpi.y, 1440));
        EXPECT_EQ(Text(GetDlgItem(window, kIdAboutOK)), "OK");
        EXPECT_EQ(TabOrder(window),
                  (std::vector<int>{kIdAboutOK, kIdAboutIcon, kIdAboutDescription,
                                    kIdAboutDisclaimer, kIdAboutTitle, kIdAboutVersion}));

        // The icon on the screen is the program's own, at 32 x 32.
        HWND picIcon = GetDlgItem(window, kIdAboutIcon);
        EXPECT_NE(SendMessageA(picIcon, STM_GETICON, 0, 0), 0);
        const Capture shown(picIcon);
        const std::vector<COLORREF> expected = ProgramIconOn(shown.At(0, 0));
        ASSERT_EQ(expected.size(), 32u * 32u) << "the test program lacks the icon resource";
        int differing = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) differing += shown.At(x, y) != expected[y * 32 + x];
        }
        EXPECT_EQ(differing, 0);

        // The rule: grey over white, across the window at 1080 twips.
        const Capture face(window);
        const int ruleTop = MulDiv(1080, dpi.y, 1440);
        for (int twipsX : {120, 2000, 5500}) {
            const int x = MulDiv(twipsX, dpi.x, 1440);
            EXPECT_EQ(face.At(x, ruleTop), RGB(128, 128, 128)) << "at " << twipsX;
            EXPECT_EQ(face.At(x, ruleTop + 1), RGB(255, 255, 255)) << "at " << twipsX;
            EXPECT_EQ(face.At(x, ruleTop - 1), face.At(x, ruleTop + 3)) << "at " << twipsX;
            EXPECT_NE(face.At(x, ruleTop + 2), RGB(255, 255, 255)) << "at " << twipsX;
        }
        EXPECT_NE(face.At(MulDiv(5520, dpi.x, 1440) + 1, ruleTop), RGB(128, 128, 128));

        // The close box closes it.
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(Eventually([&] { return !IsWindow(window); }));
    });
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(FindWindowA(kAboutClassName, nullptr), nullptr);
}

class AboutKeyTest : public ModalTest, public ::testing::WithParamInterface<WORD> {};

TEST_P(AboutKeyTest, OkHasTheFocusAndTheKeyCloses) {
    AboutWindow about;
    bool closed = false;
    const int result = ShowWhile(about, owner, kAboutClassName, [&](HWND window, DWORD ui) {
        HWND ok = GetDlgItem(window, kIdAboutOK);
        EXPECT_EQ(FocusOf(ui), ok);
        EXPECT_EQ(GetWindowLongA(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_FALSE(IsWindowEnabled(owner));
        Press(GetParam());
        closed = Eventually([&] { return !IsWindow(window); });
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

INSTANTIATE_TEST_SUITE_P(About, AboutKeyTest, ::testing::Values(VK_RETURN, VK_ESCAPE),
                         [](const auto& info) {
                             return std::string(info.param == VK_RETURN ? "Enter" : "Esc");
                         });

TEST_F(AboutTest, CentredAtEveryOpeningEvenAfterBeingMoved) {
    AboutWindow about;
    for (int opening = 0; opening < 2; ++opening) {
        ShowWhile(about, owner, kAboutClassName, [&](HWND window, DWORD) {
            EXPECT_TRUE(IsCentred(window)) << "opening " << opening;
            ExpectClientTwips(window, 5730, 2055);
            SetWindowPos(window, nullptr, 3, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            RECT moved{};
            GetWindowRect(window, &moved);
            EXPECT_EQ(moved.left, 3);
            Click(GetDlgItem(window, kIdAboutOK));
            EXPECT_TRUE(Eventually([&] { return !IsWindow(window); }));
        });
    }
    // A new window object is centred as well.
    AboutWindow another;
    ShowWhile(another, owner, kAboutClassName, [&](HWND window, DWORD) {
        EXPECT_TRUE(IsCentred(window));
        PostMessageA(window, WM_CLOSE, 0, 0);
    });
}

// The help text as the user must see it, line by line.
const char* const kHelpLines[] = {
    "HOW TO USE",
    "----------",
    "",
    "The Quorvanel program shows a list of currently open ",
    "chat windows. Just select which ones you want it to ",
    "talk on and it will do the rest.",
    "",
    "If you select \"Enable on newly opened windows\", it ",
    "will automatically talk to anybody who starts a new ",
    "conversation with you.",
    "",
    "",
    "",
    "SETTINGS",
    "--------",
    "",
    "The \"Bot Behaviour\" options should be ",
    "self-explanatory.",
    "",
    "The \"Connection Settings\" should be left alone ",
    "unless you know what you're doing. Normally you",
    "won't want to change them.",
    "",
    "",
    "",
    "REQUIREMENTS",
    "------------",
    "",
    "It's supposed to work on Windows 98, 2000 and XP, ",
    "with MSN Messenger 4.5, 4.6, 4.7 or 5.0.",
    "",
    "",
    "",
    "CREDITS",
    "-------",
    "",
};

// Splits at CR LF; the text after the last CR LF is the final element.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

using HelpTest = ModalTest;

TEST_F(HelpTest, ShowsTheHelpTextExactlyInAReadOnlyBoxWithTheFocus) {
    HelpWindow help;
    ShowWhile(help, owner, kHelpClassName, [&](HWND window, DWORD ui) {
        EXPECT_EQ(Text(window), "Help");
        ExpectToolWindowOwnedByOwner(window);
        ExpectClientTwips(window, 6120, 2760);
        EXPECT_TRUE(IsCentred(window));
        ExpectPlacedAt(window, kIdHelpText, 120, 120, 5805, 1950);
        ExpectPlacedAt(window, kIdHelpOK, 4710, 2235, 1215, 330);
        EXPECT_EQ(Text(GetDlgItem(window, kIdHelpOK)), "OK");
        EXPECT_EQ(TabOrder(window), (std::vector<int>{kIdHelpText, kIdHelpOK}));
        EXPECT_EQ(GetWindowLongA(GetDlgItem(window, kIdHelpOK), GWL_STYLE) & BS_TYPEMASK,
                  BS_PUSHBUTTON);

        HWND text = GetDlgItem(window, kIdHelpText);
        const LONG style = GetWindowLongA(text, GWL_STYLE);
        EXPECT_TRUE(style & ES_MULTILINE);
        EXPECT_TRUE(style & ES_READONLY);
        EXPECT_TRUE(style & WS_VSCROLL);
        EXPECT_EQ(FocusOf(ui), text);
        // It opens at the top, with the caret at the start and nothing selected.
        DWORD start = 1, end = 1;
        SendMessageA(text, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 0u);
        EXPECT_EQ(SendMessageA(text, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
        EXPECT_EQ(SendMessageA(text, EM_GETLINECOUNT, 0, 0), 47) << "the box wraps a line";

        const std::string shown = EditText(text);
        const std::vector<std::string> lines = Lines(shown);
        ASSERT_EQ(lines.size(), 47u) << "46 lines, each ended by CR LF";
        EXPECT_EQ(lines.back(), "");
        for (std::size_t i = 0; i < std::size(kHelpLines); ++i) {
            EXPECT_EQ(lines[i], kHelpLines[i]) << "line " << i + 1;
        }
        EXPECT_EQ(shown.find('\n'), shown.find("\r\n") + 1);
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 46);
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\r'), 46);

        // The credits: the author and a web address, the tester, the address to write to, the
        // apology, and the thanks.
        EXPECT_NE(lines[36].find("Quorvanel developers (www.example.com/"), std::string::npos)
            << lines[36];
        EXPECT_EQ(lines[37], "Beta testing by:");
        EXPECT_NE(lines[38].find("(www.example.com/"), std::string::npos) << lines[38];
        EXPECT_EQ(lines[39], "");
        EXPECT_NE(lines[40].find("quorvanel@example.com"), std::string::npos) << lines[40];
        EXPECT_FALSE(lines[41].empty());
        EXPECT_FALSE(lines[42].empty());
        EXPECT_EQ(lines[43], "");
        EXPECT_NE((lines[44] + lines[45]).find("ALICE"), std::string::npos);
        EXPECT_NE((lines[44] + lines[45]).find("Pandorabots"), std::string::npos);
        // Web and mail addresses are all under the reserved example domain.
        for (const std::string& line : lines) {
            for (const char* mark : {"www.", "@"}) {
                for (std::size_t at = line.find(mark); at != std::string::npos;
                     at = line.find(mark, at + 1)) {
                    EXPECT_EQ(line.compare(at + std::strlen(mark), 11, "example.com"), 0) << line;
                }
            }
        }

        // Typing into it changes nothing: over a whole selection, deleting, cutting, pasting,
        // Enter. Ctrl+End is typed last; once the caret has moved there, every earlier key has
        // been handled.
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, 8);
            memcpy(GlobalLock(data), "pasted", 7);
            GlobalUnlock(data);
            SetClipboardData(CF_TEXT, data);
            CloseClipboard();
        }
        PressWith(VK_CONTROL, 'A');
        Press('X');
        Press(VK_BACK);
        Press(VK_DELETE);
        Press(VK_RETURN);
        PressWith(VK_CONTROL, 'X');
        PressWith(VK_CONTROL, 'V');
        PressWith(VK_SHIFT, VK_INSERT);
        PressWith(VK_CONTROL, VK_END);
        const DWORD length = static_cast<DWORD>(shown.size());
        const bool atEnd = Eventually([&] {
            SendMessageA(text, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            return start == length && end == length;
        });
        EXPECT_TRUE(atEnd) << "the caret is at " << start << ".." << end;
        EXPECT_TRUE(PostedHandled(window, text));
        EXPECT_EQ(EditText(text), shown);
        // Characters that reach the box by other ways are refused too.
        PostMessageA(text, WM_CHAR, 'y', 0);
        SendMessageA(text, WM_PASTE, 0, 0);
        EXPECT_TRUE(PostedHandled(window, text));
        EXPECT_EQ(EditText(text), shown);
        EXPECT_TRUE(IsWindow(window));

        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(Eventually([&] { return !IsWindow(window); }));
    });
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(HelpTest, EscAndEnterLeaveItOpenTabReachesOkAndEnterOnOkCloses) {
    HelpWindow help;
    bool closed = false;
    ShowWhile(help, owner, kHelpClassName, [&](HWND window, DWORD ui) {
        HWND text = GetDlgItem(window, kIdHelpText);
        HWND ok = GetDlgItem(window, kIdHelpOK);
        auto caretLine = [&] {
            DWORD start = 0, end = 0;
            SendMessageA(text, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            return SendMessageA(text, EM_LINEFROMCHAR, end, 0);
        };
        // Each key is followed by Down: once the caret has moved, the key has been handled.
        Press(VK_ESCAPE);
        Press(VK_DOWN);
        EXPECT_TRUE(Eventually([&] { return !IsWindow(window) || caretLine() == 1; }));
        EXPECT_TRUE(PostedHandled(window, text)) << "Esc closed the window";
        Press(VK_RETURN);
        Press(VK_DOWN);
        EXPECT_TRUE(Eventually([&] { return !IsWindow(window) || caretLine() == 2; }));
        EXPECT_TRUE(PostedHandled(window, text)) << "Enter closed the window";

        // On OK, Esc is followed by Shift+Tab back to the box.
        Press(VK_TAB);
        EXPECT_TRUE(Eventually([&] { return FocusOf(ui) == ok; }));
        Press(VK_ESCAPE);
        PressWith(VK_SHIFT, VK_TAB);
        EXPECT_TRUE(Eventually([&] { return !IsWindow(window) || FocusOf(ui) == text; }));
        EXPECT_EQ(caretLine(), 2) << "coming back by Tab keeps the caret where it was";
        EXPECT_TRUE(PostedHandled(window, text)) << "Esc on OK closed the window";
        EXPECT_FALSE(IsWindowEnabled(owner));

        // Enter presses OK once OK has the focus.
        Press(VK_TAB);
        EXPECT_TRUE(Eventually([&] { return FocusOf(ui) == ok; }));
        Press(VK_RETURN);
        closed = Eventually([&] { return !IsWindow(window); });
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(HelpTest, CentredAtEveryOpeningEvenAfterBeingMoved) {
    HelpWindow help;
    for (int opening = 0; opening < 2; ++opening) {
        ShowWhile(help, owner, kHelpClassName, [&](HWND window, DWORD ui) {
            EXPECT_TRUE(IsCentred(window)) << "opening " << opening;
            ExpectClientTwips(window, 6120, 2760);
            EXPECT_EQ(FocusOf(ui), GetDlgItem(window, kIdHelpText));
            SetWindowPos(window, nullptr, 7, 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            Click(GetDlgItem(window, kIdHelpOK));
            EXPECT_TRUE(Eventually([&] { return !IsWindow(window); }));
        });
    }
}

// The test command runs this in prefixes at 96, 120 and 144 dots per inch.
TEST_F(ModalTest, EveryWindowIsLaidOutAtTheScreensDpi) {
    if (const char* asked = std::getenv("QV_WINE_DPI")) {
        EXPECT_EQ(ScreenDpi().y, std::atoi(asked));  // the prefix has the dpi the run asked for
    }
    AboutWindow about;
    HelpWindow help;
    testing::FakeSettings settings;
    OptionsDialog options(settings);
    const std::pair<ModalWindow*, const char*> windows[] = {
        {&about, kAboutClassName}, {&help, kHelpClassName}, {&options, kOptionsDialogClassName}};
    for (const auto& [window, className] : windows) {
        ShowWhile(*window, owner, className,
                  [&](HWND shown, DWORD) { testing::ExpectLaidOut(shown, className); });
    }
}

}  // namespace
}  // namespace quorvanel
