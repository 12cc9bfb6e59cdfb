// The Options dialog on the real user32 and comctl32. It runs modally on the test thread while a
// second thread acts on it as a user or another program would: through its controls found by
// ID, the keyboard and the mouse (SendInput). The settings are the profile file in the Wine
// prefix's Windows directory, or an in-memory store where the file adds nothing.
#include "settings/options_dialog_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "win32/settings_file_win32.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include "win32/threads_win32.h"
#include <vector>

#include "fakes/fake_settings.h"
#include "settings/options_dialog_ids.h"
#include "settings/settings.h"
#include "settings/settings_store_win32.h"
#include "win32/child_process_win32.h"

namespace quorvanel {
namespace {

using namespace std::chrono_literals;
using testing::FakeSettings;
using testing::WaitUntil;

constexpr auto kPatience = 10s;

// --- What can be seen of the dialog from outside ---

HWND Control(HWND dialog, int id) {
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring Text(HWND window) {
    std::vector<wchar_t> buffer(1024, L'\0');
    GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

bool Checked(HWND dialog, int id) {
    return SendMessageW(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Which of the buttons are checked, as "1010".
std::string Checks(HWND dialog, std::initializer_list<int> ids) {
    std::string checks;
    for (int id : ids) checks += Checked(dialog, id) ? '1' : '0';
    return checks;
}
std::string Speeds(HWND dialog) { return Checks(dialog, {kIdSlow, kIdMedium, kIdFast, kIdInstant}); }
std::string Styles(HWND dialog) { return Checks(dialog, {kIdMessy, kIdPerfect}); }

int SelectedTab(HWND dialog) {
    return static_cast<int>(SendMessageW(Control(dialog, kIdOptionsTabs), TCM_GETCURSEL, 0, 0));
}

RECT PlacedIn(HWND window, HWND parent) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int Dpi(int index) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return dpi;
}
int TwipsX(int twips) { return MulDiv(twips, Dpi(LOGPIXELSX), 1440); }
int TwipsY(int twips) { return MulDiv(twips, Dpi(LOGPIXELSY), 1440); }

HWND Focus(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

// The page that is shown sits 210 twips from the left and takes input; the other waits far off
// to the left, disabled.
void ExpectPageShown(HWND dialog, int shown) {
    const int pages[] = {kIdBehaviourPage, kIdConnectionPage};
    for (int i = 0; i < 2; ++i) {
        HWND page = Control(dialog, pages[i]);
        const bool isShown = i == shown;
        EXPECT_EQ(PlacedIn(page, dialog).left, TwipsX(isShown ? 210 : -20000)) << "page " << i;
        EXPECT_EQ(IsWindowEnabled(page) != FALSE, isShown) << "page " << i;
    }
    EXPECT_EQ(SelectedTab(dialog), shown);
}

// As the dialog opens: first tab, its page where it was built, the keyboard on the tab strip.
void ExpectAsOpened(HWND dialog) {
    EXPECT_EQ(SelectedTab(dialog), 0);
    HWND behaviour = Control(dialog, kIdBehaviourPage);
    HWND connection = Control(dialog, kIdConnectionPage);
    EXPECT_EQ(PlacedIn(behaviour, dialog).left, TwipsX(240));
    EXPECT_TRUE(IsWindowEnabled(behaviour));
    EXPECT_EQ(PlacedIn(connection, dialog).left, TwipsX(-20000));
    EXPECT_FALSE(IsWindowEnabled(connection));
    EXPECT_EQ(Focus(dialog), Control(dialog, kIdOptionsTabs));
}

template <typename Filter>
HWND ThreadWindow(HWND dialog, Filter filter) {
    struct Search {
        Filter* filter;
        HWND found;
    } search{&filter, nullptr};
    EnumThreadWindows(
        GetWindowThreadProcessId(dialog, nullptr),
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (!(*s->filter)(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool HasClass(HWND window, const char* className) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return lstrcmpiA(name, className) == 0;
}

HWND MessageBoxOf(HWND dialog) {
    return ThreadWindow(dialog, [&](HWND w) {
        return HasClass(w, "#32770") && GetWindow(w, GW_OWNER) == dialog && IsWindowVisible(w);
    });
}

HWND VisibleToolTip(HWND dialog) {
    return ThreadWindow(dialog,
                        [](HWND w) { return HasClass(w, TOOLTIPS_CLASSA) && IsWindowVisible(w); });
}

// --- Acting on it ---

void Click(HWND dialog, int id) { PostMessageW(Control(dialog, id), BM_CLICK, 0, 0); }

void SetText(HWND dialog, int id, const std::wstring& text) {
    SetWindowTextW(Control(dialog, id), text.c_str());
}

bool WaitClosed(HWND dialog) {
    return WaitUntil([&] { return !IsWindow(dialog); }, kPatience);
}

INPUT Key(WORD key, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    return input;
}

// Presses the keys in order and lets them go in reverse order, as real keystrokes.
void Press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) inputs.push_back(Key(key, 0));
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        inputs.push_back(Key(*key, KEYEVENTF_KEYUP));
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Under Wine a moved pointer may still be reported where it was (the X pointer follows later):
// it is placed first, then moved as input so that the windows under it hear of it.
void MouseTo(POINT screen) {
    SetCursorPos(screen.x, screen.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(input));
}

POINT Centre(RECT r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
POINT Centre(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return Centre(r);
}

// Each event carries the position, for the same reason.
void MouseClick(POINT screen) {
    MouseTo(screen);
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
}

POINT TabCentre(HWND dialog, int tab) {
    HWND tabs = Control(dialog, kIdOptionsTabs);
    RECT r{};
    SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return Centre(r);
}

// Opens the dialog on this thread, owned by a window of the test, while `user` acts on it from a
// second thread; returns what ShowModal returned. Whatever the user leaves open is closed after
// it, so that a failed step cannot hang the test.
int RunDialog(SettingsStore& settings, const std::function<void(HWND dialog)>& user) {
    HWND owner = CreateWindowExA(0, "STATIC", "Options test owner",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                 nullptr, nullptr, nullptr);
    EXPECT_NE(owner, nullptr);
    OptionsDialog dialog(settings);
    testing::Thread script([&] {
        HWND window = nullptr;
        const bool opened = WaitUntil(
            [&] {
                window = FindWindowA(kOptionsDialogClassName, nullptr);
                return window != nullptr && IsWindowVisible(window);
            },
            kPatience);
        EXPECT_TRUE(opened) << "the dialog did not open";
        if (!opened) return;
        user(window);
        if (IsWindow(window)) {
            if (HWND box = MessageBoxOf(window)) PostMessageW(box, WM_COMMAND, IDOK, 0);
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    });
    const int result = dialog.ShowModal(owner);
    script.join();
    DestroyWindow(owner);
    return result;
}

// Every test starts and ends without a settings file, and with no key held down.
class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override {
        Remove();
        for (WORD key : {VK_CONTROL, VK_SHIFT, VK_MENU}) {
            if (GetAsyncKeyState(key) < 0) {
                INPUT up = Key(key, KEYEVENTF_KEYUP);
                SendInput(1, &up, sizeof(up));
            }
        }
    }

    static std::wstring Path() { return SettingsFilePath(); }
    static bool Exists() { return testing::SettingsFileExists(); }
    static void Remove() { testing::RemoveSettingsFile(); }
    static void WriteRaw(const std::string& bytes) { ASSERT_TRUE(testing::WriteSettingsFileBytes(bytes)); }
    static std::string ReadRaw() { return testing::ReadSettingsFileBytes(); }
    // Real input goes to the foreground window.
    static bool WaitForeground(HWND dialog) {
        return WaitUntil([&] { return GetForegroundWindow() == dialog; }, kPatience);
    }

    ProfileSettingsStore profile;
    FakeSettings fake;
};

// --- Window, controls and layout ---

TEST_F(OptionsDialogTest, IsAFixedDialogOfTheDesignedSizeCentredOverADisabledOwner) {
    RunDialog(fake, [&](HWND dialog) {
        EXPECT_EQ(Text(dialog), L"Options");
        const LONG style = GetWindowLongW(dialog, GWL_STYLE);
        const LONG exStyle = GetWindowLongW(dialog, GWL_EXSTYLE);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
        EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
        EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);  // owned: not in the task bar
        HWND owner = GetWindow(dialog, GW_OWNER);
        ASSERT_NE(owner, nullptr);
        EXPECT_FALSE(IsWindowEnabled(owner));

        RECT client{};
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, TwipsX(6150));
        EXPECT_EQ(client.bottom, TwipsY(3465));
        RECT outer{};
        GetWindowRect(dialog, &outer);
        EXPECT_NEAR(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2, 1);
        EXPECT_NEAR(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2, 1);

        // Placement in twips, each relative to its own parent.
        struct Expected {
            int id, parent, left, top, width, height;
        };
        const Expected placements[] = {
            {kIdOptionsTabs, 0, 120, 120, 5895, 2565},
            {kIdOptionsOK, 0, 3675, 2895, 1095, 375},
            {kIdOptionsCancel, 0, 4905, 2895, 1095, 375},
            {kIdBehaviourPage, 0, 240, 510, 5685, 1980},
            {kIdConnectionPage, 0, -20000, 480, 5685, 2145},
            {kIdFrame1, kIdBehaviourPage, 120, 240, 5415, 615},
            {kIdSlow, kIdBehaviourPage, 480, 480, 1215, 255},
            {kIdMedium, kIdBehaviourPage, 1680, 480, 1260, 270},
            {kIdFast, kIdBehaviourPage, 3000, 480, 1215, 255},
            {kIdInstant, kIdBehaviourPage, 4320, 480, 975, 255},
            {kIdFrame2, kIdBehaviourPage, 120, 1080, 5415, 615},
            {kIdMessy, kIdFrame2, 360, 240, 2415, 255},
            {kIdPerfect, kIdFrame2, 3120, 240, 2175, 255},
            {kIdLabel1, kIdConnectionPage, 120, 120, 1695, 255},
            {kIdBotServer, kIdConnectionPage, 1920, 120, 3615, 285},
            {kIdLbl2, kIdConnectionPage, 120, 630, 1575, 255},
            {kIdBotID, kIdConnectionPage, 1920, 630, 3615, 300},
            {kIdLabel2, kIdConnectionPage, 120, 990, 1455, 255},
            {kIdBotName, kIdConnectionPage, 1920, 990, 3615, 300},
            {kIdLabel4, kIdConnectionPage, 120, 1380, 5535, 690},
        };
        const HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        for (const Expected& e : placements) {
            HWND control = Control(dialog, e.id);
            ASSERT_NE(control, nullptr) << e.id;
            HWND parent = e.parent == 0 ? dialog : Control(dialog, e.parent);
            EXPECT_EQ(GetParent(control), parent) << e.id;
            const RECT r = PlacedIn(control, parent);
            EXPECT_EQ(r.left, TwipsX(e.left)) << e.id;
            EXPECT_EQ(r.top, TwipsY(e.top)) << e.id;
            EXPECT_EQ(r.right - r.left, TwipsX(e.width)) << e.id;
            if (e.id == kIdLabel4) {
                // The note may grow down the page when the font wraps it into more lines.
                EXPECT_GE(r.bottom - r.top, TwipsY(e.height));
            } else {
                EXPECT_EQ(r.bottom - r.top, TwipsY(e.height)) << e.id;
            }
            if (e.id != kIdBehaviourPage && e.id != kIdConnectionPage) {
                EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), guiFont)
                    << e.id;
            }
        }

        const std::pair<int, const wchar_t*> captions[] = {
            {kIdOptionsOK, L"OK"},
            {kIdOptionsCancel, L"Cancel"},
            {kIdFrame1, L"Typing Speed"},
            {kIdSlow, L"Slow"},
            {kIdMedium, L"Medium"},
            {kIdFast, L"Fast"},
            {kIdInstant, L"Instant"},
            {kIdFrame2, L"Neatness"},
            {kIdMessy, L"no capitals or punctuation"},
            {kIdPerfect, L"Perfect presentation."},
            {kIdLabel1, L"Bot Server:"},
            {kIdLbl2, L"Bot ID Number:"},
            {kIdLabel2, L"Bot Name:"},
            {kIdLabel4, L"Note: The Bot Name MUST match with the Bot ID you specify. You can't "
                        L"just change the bot name without registering a bot and specifying "
                        L"your new ID."},
        };
        for (const auto& [id, caption] : captions) EXPECT_EQ(Text(Control(dialog, id)), caption);

        // The note shows whole, inside its page.
        HWND note = Control(dialog, kIdLabel4);
        const std::wstring noteText = Text(note);
        RECT noteRect{};
        GetClientRect(note, &noteRect);
        RECT needed{0, 0, noteRect.right, 0};
        HDC dc = GetDC(note);
        const HGDIOBJ oldFont = SelectObject(dc, guiFont);
        DrawTextW(dc, noteText.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK);
        SelectObject(dc, oldFont);
        ReleaseDC(note, dc);
        EXPECT_GE(noteRect.bottom, needed.bottom);
        RECT pageRect{};
        GetClientRect(Control(dialog, kIdConnectionPage), &pageRect);
        EXPECT_LE(PlacedIn(note, Control(dialog, kIdConnectionPage)).bottom, pageRect.bottom);

        HWND tabs = Control(dialog, kIdOptionsTabs);
        ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
        const wchar_t* tabCaptions[] = {L"Bot Behaviour", L"Connection Settings"};
        for (int i = 0; i < 2; ++i) {
            wchar_t buffer[64] = {};
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = buffer;
            item.cchTextMax = 64;
            SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            EXPECT_STREQ(buffer, tabCaptions[i]);
        }
        // The pages lie above the tab strip, or it would paint over them.
        for (int page : {kIdBehaviourPage, kIdConnectionPage}) {
            bool pageFirst = false;
            for (HWND w = GetWindow(dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
                if (w == tabs) break;
                if (w == Control(dialog, page)) pageFirst = true;
            }
            EXPECT_TRUE(pageFirst) << page;
        }
        // The pages are panels: the keyboard passes through them, they never take it.
        HWND page = Control(dialog, kIdBehaviourPage);
        EXPECT_TRUE(HasClass(page, kOptionsPageClassName));
        EXPECT_TRUE(GetWindowLongW(page, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
        EXPECT_FALSE(GetWindowLongW(page, GWL_STYLE) & WS_TABSTOP);
        // Values of 255 characters and more fit.
        for (int id : {kIdBotServer, kIdBotID, kIdBotName}) {
            EXPECT_GE(SendMessageW(Control(dialog, id), EM_GETLIMITTEXT, 0, 0), 255) << id;
            EXPECT_FALSE(GetWindowLongW(Control(dialog, id), GWL_STYLE) & ES_MULTILINE) << id;
        }
        Click(dialog, kIdOptionsCancel);
        EXPECT_TRUE(WaitClosed(dialog));
    });
}

TEST_F(OptionsDialogTest, TheTwoOptionGroupsAreIndependentAndOkWritesAllFiveInOrder) {
    const int result = RunDialog(fake, [&](HWND dialog) {
        EXPECT_EQ(Speeds(dialog), "0100");
        EXPECT_EQ(Styles(dialog), "01");
        Click(dialog, kIdFast);
        EXPECT_TRUE(WaitUntil([&] { return Speeds(dialog) == "0010"; }, kPatience)) << Speeds(dialog);
        EXPECT_EQ(Styles(dialog), "01");
        Click(dialog, kIdMessy);
        EXPECT_TRUE(WaitUntil([&] { return Styles(dialog) == "10"; }, kPatience)) << Styles(dialog);
        EXPECT_EQ(Speeds(dialog), "0010");
        Click(dialog, kIdSlow);  // the button past the frame belongs to the speeds all the same
        EXPECT_TRUE(WaitUntil([&] { return Speeds(dialog) == "1000"; }, kPatience)) << Speeds(dialog);
        EXPECT_EQ(Styles(dialog), "10");
        Click(dialog, kIdInstant);
        EXPECT_TRUE(WaitUntil([&] { return Speeds(dialog) == "0001"; }, kPatience)) << Speeds(dialog);
        Click(dialog, kIdPerfect);
        EXPECT_TRUE(WaitUntil([&] { return Styles(dialog) == "01"; }, kPatience)) << Styles(dialog);
        EXPECT_EQ(Speeds(dialog), "0001");
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDOK);
    const std::vector<FakeSettings::Access> expected = {
        {L"BotBehaviour", L"TypeSpeed", L"instant"},
        {L"BotBehaviour", L"TypeStyle", L"perfect"},
        {L"ConnectionSettings", L"BotServer", L"www.pandorabots.com"},
        {L"ConnectionSettings", L"BotID", L"5e0a7c31d94b2f68"},
        {L"ConnectionSettings", L"BotName", L"Kestro"},
    };
    EXPECT_EQ(fake.writes, expected);
}

TEST_F(OptionsDialogTest, TabToolTipsNameWhatEachPageSets) {
    RunDialog(fake, [&](HWND dialog) {
        ASSERT_TRUE(GetWindowLongW(Control(dialog, kIdOptionsTabs), GWL_STYLE) & TCS_TOOLTIPS);
        ASSERT_TRUE(WaitForeground(dialog));
        std::wstring shown;
        auto tipOver = [&](int tab, const std::wstring& expected) {
            MouseTo(Centre(Control(dialog, kIdOptionsOK)));  // off the tabs first
            MouseTo(TabCentre(dialog, tab));
            return WaitUntil(
                [&] {
                    HWND tip = VisibleToolTip(dialog);
                    shown = tip != nullptr ? Text(tip) : L"";
                    return shown == expected;
                },
                kPatience);
        };
        EXPECT_TRUE(tipOver(1, L"Set Options for Connection Settings"))
            << std::string(shown.begin(), shown.end());
        EXPECT_TRUE(tipOver(0, L"Set Options for Bot Behaviour"))
            << std::string(shown.begin(), shown.end());
        MouseTo(Centre(Control(dialog, kIdOptionsOK)));
    });
}

// --- Reading the settings ---

TEST_F(OptionsDialogTest, WithoutAFileShowsTheDefaultsCancelCreatesNoneOkWritesAllFive) {
    int result = RunDialog(profile, [&](HWND dialog) {
        EXPECT_EQ(Text(Control(dialog, kIdBotServer)), L"www.pandorabots.com");
        EXPECT_EQ(Text(Control(dialog, kIdBotID)), L"5e0a7c31d94b2f68");
        EXPECT_EQ(Text(Control(dialog, kIdBotName)), L"Kestro");
        EXPECT_EQ(Speeds(dialog), "0100");
        EXPECT_EQ(Styles(dialog), "01");
        ExpectAsOpened(dialog);
        Click(dialog, kIdOptionsCancel);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(Exists());

    result = RunDialog(profile, [&](HWND dialog) {
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDOK);
    const std::string file = ReadRaw();
    const std::size_t behaviour = file.find("[BotBehaviour]");
    const std::size_t connection = file.find("[ConnectionSettings]");
    ASSERT_NE(behaviour, std::string::npos) << file;
    ASSERT_NE(connection, std::string::npos) << file;
    EXPECT_LT(behaviour, file.find("TypeSpeed=medium")) << file;
    EXPECT_LT(file.find("TypeSpeed=medium"), file.find("TypeStyle=perfect")) << file;
    EXPECT_LT(file.find("TypeStyle=perfect"), connection) << file;
    EXPECT_LT(connection, file.find("BotServer=www.pandorabots.com")) << file;
    EXPECT_LT(file.find("BotServer="), file.find("BotID=5e0a7c31d94b2f68")) << file;
    EXPECT_LT(file.find("BotID="), file.find("BotName=Kestro")) << file;
    EXPECT_EQ(file.find("BotName=Kestro"), file.rfind("BotName=")) << file;
}

TEST_F(OptionsDialogTest, AnUnrecognisedSpeedShowsMediumOkWritesMediumCancelKeepsIt) {
    const std::string stored = "[BotBehaviour]\r\nTypeSpeed=Fast\r\nTypeStyle=Messy\r\n";
    WriteRaw(stored);
    int result = RunDialog(profile, [&](HWND dialog) {
        EXPECT_EQ(Speeds(dialog), "0100");  // not Fast: the match is exact
        EXPECT_EQ(Styles(dialog), "01");
        Click(dialog, kIdOptionsCancel);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(ReadRaw(), stored);

    result = RunDialog(profile, [&](HWND dialog) {
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadSetting(profile, kTypeSpeed), L"medium");
    EXPECT_EQ(ReadSetting(profile, kTypeStyle), L"perfect");

    // The profile functions drop blanks around a value; a store that keeps them is matched
    // exactly as well.
    for (const wchar_t* speed : {L"medium ", L" slow", L"INSTANT", L""}) {
        FakeSettings blanks;
        blanks.Set(L"BotBehaviour", L"TypeSpeed", speed);
        blanks.Set(L"BotBehaviour", L"TypeStyle", L"messy ");
        RunDialog(blanks, [&](HWND dialog) {
            EXPECT_EQ(Speeds(dialog), "0100") << "\"" << std::string(speed, speed + wcslen(speed)) << "\"";
            EXPECT_EQ(Styles(dialog), "01");
            Click(dialog, kIdOptionsOK);
            EXPECT_TRUE(WaitClosed(dialog));
        });
        EXPECT_EQ(blanks.Get(L"BotBehaviour", L"TypeSpeed"), L"medium");
    }
}

TEST_F(OptionsDialogTest, StoredInstantAndMessyAreTheOnlyButtonsSelected) {
    ASSERT_TRUE(WriteSetting(profile, kTypeSpeed, L"instant"));
    ASSERT_TRUE(WriteSetting(profile, kTypeStyle, L"messy"));
    RunDialog(profile, [&](HWND dialog) {
        EXPECT_EQ(Speeds(dialog), "0001");
        EXPECT_EQ(Styles(dialog), "10");
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(ReadSetting(profile, kTypeSpeed), L"instant");
    EXPECT_EQ(ReadSetting(profile, kTypeStyle), L"messy");

    for (const wchar_t* speed : {L"slow", L"fast"}) {
        ASSERT_TRUE(WriteSetting(profile, kTypeSpeed, speed));
        RunDialog(profile, [&](HWND dialog) {
            EXPECT_EQ(Speeds(dialog), speed == std::wstring(L"slow") ? "1000" : "0010");
        });
    }
}

// --- Values ---

TEST_F(OptionsDialogTest, LongBlankAndAccentedValuesShowAndSaveUnchanged) {
    const std::wstring server(254, L's');
    const std::wstring id = L"caf\u00E9 au lait \u00E9\u00FF";
    const std::wstring name = L"R\u00E9my  Two";
    ASSERT_TRUE(WriteSetting(profile, kBotServer, server));
    ASSERT_TRUE(WriteSetting(profile, kBotID, id));
    ASSERT_TRUE(WriteSetting(profile, kBotName, name));
    const std::wstring typedServer = std::wstring(200, L'x') + L" \u00E9 " + std::wstring(51, L'y');
    ASSERT_EQ(typedServer.size(), 254u);
    RunDialog(profile, [&](HWND dialog) {
        EXPECT_EQ(Text(Control(dialog, kIdBotServer)), server);
        EXPECT_EQ(Text(Control(dialog, kIdBotID)), id);
        EXPECT_EQ(Text(Control(dialog, kIdBotName)), name);
        SetText(dialog, kIdBotServer, typedServer);
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(ReadSetting(profile, kBotServer), typedServer);
    EXPECT_EQ(ReadSetting(profile, kBotID), id);
    EXPECT_EQ(ReadSetting(profile, kBotName), name);
    EXPECT_NE(ReadRaw().find("BotName=R\xE9my  Two"), std::string::npos);  // ANSI in the file

    // Blanks around a value are written as typed (the profile functions drop them on reading).
    RunDialog(fake, [&](HWND dialog) {
        SetText(dialog, kIdBotName, L"  Kestro  ");
        SetText(dialog, kIdBotID, L"");
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(fake.Get(L"ConnectionSettings", L"BotName"), L"  Kestro  ");
    EXPECT_EQ(fake.Get(L"ConnectionSettings", L"BotID"), L"");
}

TEST_F(OptionsDialogTest, ACancelledEditIsNotShownAtTheNextOpening) {
    RunDialog(profile, [&](HWND dialog) {
        SetText(dialog, kIdBotName, L"Changed");
        SetText(dialog, kIdBotServer, L"example.org");
        Click(dialog, kIdFast);
        Click(dialog, kIdMessy);
        EXPECT_TRUE(WaitUntil([&] { return Styles(dialog) == "10"; }, kPatience));
        Click(dialog, kIdOptionsCancel);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_FALSE(Exists());
    RunDialog(profile, [&](HWND dialog) {
        EXPECT_EQ(Text(Control(dialog, kIdBotName)), L"Kestro");
        EXPECT_EQ(Text(Control(dialog, kIdBotServer)), L"www.pandorabots.com");
        EXPECT_EQ(Speeds(dialog), "0100");
        EXPECT_EQ(Styles(dialog), "01");
        ExpectAsOpened(dialog);
    });
}

// --- A file that cannot be written ---

TEST_F(OptionsDialogTest, ARefusedSaveGoesToThePerUserCopyAndOnlyBothRefusedSaysWhere) {
    // A directory where the file should be: every write of it fails.
    ASSERT_TRUE(CreateDirectoryW(Path().c_str(), nullptr));
    int result = RunDialog(profile, [&](HWND dialog) {
        SetWindowTextW(Control(dialog, kIdBotName), L"Quill");
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDOK);
    ProfileSettingsStore restarted;
    EXPECT_EQ(ReadSetting(restarted, kBotName), L"Quill");

    // The per-user copy refused too.
    const std::wstring user = UserSettingsFilePath();
    ASSERT_TRUE(DeleteFileW(user.c_str()));
    ASSERT_TRUE(CreateDirectoryW(user.c_str(), nullptr));
    result = RunDialog(profile, [&](HWND dialog) {
        Click(dialog, kIdOptionsOK);
        HWND box = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(dialog)) != nullptr; }, kPatience));
        EXPECT_EQ(Text(box), L"Quorvanel");
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        EXPECT_NE(std::wstring(text).find(Path()), std::wstring::npos) << Path();
        EXPECT_NE(std::wstring(text).find(L"could not be saved"), std::wstring::npos);
        EXPECT_FALSE(IsWindowEnabled(dialog));  // modal to the dialog
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return MessageBoxOf(dialog) == nullptr; }, kPatience));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }, kPatience));
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, kIdOptionsCancel);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);

    // The first failure ends the save.
    fake.failWrites = true;
    RunDialog(fake, [&](HWND dialog) {
        Click(dialog, kIdOptionsOK);
        HWND box = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(dialog)) != nullptr; }, kPatience));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return MessageBoxOf(dialog) == nullptr; }, kPatience));
        EXPECT_TRUE(IsWindow(dialog));
    });
    EXPECT_EQ(fake.writes.size(), 1u);
}

// --- Keyboard and mouse ---

TEST_F(OptionsDialogTest, CtrlTabGoesToTheNextPageAndWrapsAround) {
    RunDialog(fake, [&](HWND dialog) {
        ASSERT_TRUE(WaitForeground(dialog));
        Press({VK_CONTROL, VK_TAB});
        ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == 1; }, kPatience));
        ExpectPageShown(dialog, 1);
        Press({VK_CONTROL, VK_TAB});
        ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == 0; }, kPatience));
        ExpectPageShown(dialog, 0);

        // A click on a tab switches the same way; Ctrl+Tab works from inside a page too, and
        // the keyboard does not stay on the page that goes.
        MouseClick(TabCentre(dialog, 1));
        ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == 1; }, kPatience));
        ExpectPageShown(dialog, 1);
        HWND name = Control(dialog, kIdBotName);
        MouseClick(Centre(name));
        ASSERT_TRUE(WaitUntil([&] { return Focus(dialog) == name; }, kPatience));
        Press({VK_CONTROL, VK_TAB});
        ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == 0; }, kPatience));
        ExpectPageShown(dialog, 0);
        EXPECT_EQ(Focus(dialog), Control(dialog, kIdOptionsTabs));
        EXPECT_EQ(Text(name), L"Kestro");
    });
}

TEST_F(OptionsDialogTest, CtrlShiftTabAndCtrlAltTabLeaveThePagesAlone) {
    RunDialog(fake, [&](HWND dialog) {
        ASSERT_TRUE(WaitForeground(dialog));
        // Each combination is followed by a click on a speed button: when the button shows
        // checked, the keys before it have been handled too.
        Press({VK_CONTROL, VK_SHIFT, VK_TAB});
        MouseClick(Centre(Control(dialog, kIdFast)));
        ASSERT_TRUE(WaitUntil([&] { return Speeds(dialog) == "0010"; }, kPatience));
        EXPECT_EQ(SelectedTab(dialog), 0);
        EXPECT_EQ(PlacedIn(Control(dialog, kIdBehaviourPage), dialog).left, TwipsX(240));
        EXPECT_FALSE(IsWindowEnabled(Control(dialog, kIdConnectionPage)));

        Press({VK_CONTROL, VK_MENU, VK_TAB});
        MouseClick(Centre(Control(dialog, kIdInstant)));
        ASSERT_TRUE(WaitUntil([&] { return Speeds(dialog) == "0001"; }, kPatience));
        EXPECT_EQ(SelectedTab(dialog), 0);
        EXPECT_EQ(PlacedIn(Control(dialog, kIdBehaviourPage), dialog).left, TwipsX(240));
        EXPECT_FALSE(IsWindowEnabled(Control(dialog, kIdConnectionPage)));

        // Ctrl alone still switches afterwards: no key was left held.
        Press({VK_CONTROL, VK_TAB});
        ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == 1; }, kPatience));
        ExpectPageShown(dialog, 1);
    });
}

TEST_F(OptionsDialogTest, TabRunsThroughTheControlsInOrderAndEnterPressesOnlyAFocusedButton) {
    const int result = RunDialog(fake, [&](HWND dialog) {
        ASSERT_TRUE(WaitForeground(dialog));
        auto tabTo = [&](int id) {
            Press({VK_TAB});
            HWND expected = Control(dialog, id);
            EXPECT_TRUE(WaitUntil([&] { return Focus(dialog) == expected; }, kPatience))
                << "expected " << id << ", focus on " << GetDlgCtrlID(Focus(dialog));
        };
        ASSERT_EQ(Focus(dialog), Control(dialog, kIdOptionsTabs));
        // The checked button stands for its group.
        for (int id : {kIdOptionsOK, kIdOptionsCancel, kIdMedium, kIdPerfect, kIdOptionsTabs}) {
            tabTo(id);
        }
        Press({VK_CONTROL, VK_TAB});
        ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == 1; }, kPatience));
        for (int id : {kIdOptionsOK, kIdOptionsCancel, kIdBotServer, kIdBotID, kIdBotName,
                       kIdOptionsTabs, kIdOptionsOK}) {
            tabTo(id);
        }
        EXPECT_TRUE(fake.writes.empty());
        Press({VK_RETURN});
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(fake.writes.size(), 5u);
}

TEST_F(OptionsDialogTest, ArrowKeysRunThroughAllFourSpeedsAndNotIntoTheNeatness) {
    RunDialog(fake, [&](HWND dialog) {
        ASSERT_TRUE(WaitForeground(dialog));
        Press({VK_TAB});
        Press({VK_TAB});
        Press({VK_TAB});
        ASSERT_TRUE(WaitUntil([&] { return Focus(dialog) == Control(dialog, kIdMedium); }, kPatience));
        // In the order the buttons were made; Slow lies past the frame and Medium follows it.
        for (const char* speeds : {"0010", "0001", "1000", "0100"}) {
            Press({VK_DOWN});
            EXPECT_TRUE(WaitUntil([&] { return Speeds(dialog) == speeds; }, kPatience))
                << "expected " << speeds << ", got " << Speeds(dialog);
            EXPECT_EQ(Styles(dialog), "01");
        }
    });
}

TEST_F(OptionsDialogTest, EnterInATextBoxDoesNotSaveAndEscClosesWithoutWriting) {
    const int result = RunDialog(profile, [&](HWND dialog) {
        ASSERT_TRUE(WaitForeground(dialog));
        MouseClick(TabCentre(dialog, 1));
        ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == 1; }, kPatience));
        HWND server = Control(dialog, kIdBotServer);
        MouseClick(Centre(server));
        ASSERT_TRUE(WaitUntil([&] { return Focus(dialog) == server; }, kPatience));
        Press({VK_END});
        Press({VK_RETURN});
        // The letter typed after Enter shows that Enter has been handled.
        Press({'Q'});
        ASSERT_TRUE(WaitUntil([&] { return Text(server) == L"www.pandorabots.comq"; }, kPatience))
            << std::string(Text(server).begin(), Text(server).end());
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(Focus(dialog), server);
        EXPECT_FALSE(Exists());

        Press({VK_ESCAPE});
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(Exists());

    // The close box is a Cancel as well.
    WriteRaw("[ConnectionSettings]\r\nBotName=Zed\r\n");
    RunDialog(profile, [&](HWND dialog) {
        SetText(dialog, kIdBotName, L"Other");
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(ReadRaw(), "[ConnectionSettings]\r\nBotName=Zed\r\n");
}

}  // namespace
}  // namespace quorvanel
