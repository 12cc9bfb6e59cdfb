// The About and Help windows on the real user32, shown modally while a second thread acts on them
// from outside: what they show, and which keys close them.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>

#include "app/about_window_win32.h"
#include "app/help_window_win32.h"
#include "app/record_window_win32.h"
#include "fakes/fake_settings.h"
#include "platform/system_win32.h"
#include "settings/options_dialog_ids.h"
#include "settings/options_dialog_win32.h"
#include "win32/modal_window_test_win32.h"

namespace quorvanel {
namespace {

using namespace testing;

struct Window {
    const char* className;
    std::function<std::unique_ptr<ModalWindow>()> make;
    int focused, ok;
    bool keysClose;  // Enter and Esc close it from the focused control
    std::function<void(HWND)> shows;
};
const Window kWindows[] = {
    {kAboutClassName, [] { return std::make_unique<AboutWindow>(); }, kIdAboutOK, kIdAboutOK, true,
     [](HWND window) { EXPECT_NE(SendMessageW(Control(window, kIdAboutIcon), STM_GETICON, 0, 0), 0); }},
    {kHelpClassName, [] { return std::make_unique<HelpWindow>(); }, kIdHelpText, kIdHelpOK, false,
     [](HWND window) {
         HWND text = Control(window, kIdHelpText);
         // 46 lines ended by CR LF, none wrapped, none typed over.
         EXPECT_EQ(SendMessageW(text, EM_GETLINECOUNT, 0, 0), 47);
         const std::wstring shown = Text(text);
         SendMessageW(text, WM_CHAR, 'y', 0);
         SendMessageW(text, WM_PASTE, 0, 0);
         EXPECT_EQ(Text(text), shown);
     }},
};

// A file of this test program's own in the temporary folder, named in the ANSI code page (the
// wide functions std::filesystem takes are 9x's stubs).
std::string TempFile(const std::string& name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return folder + ("qv-" + std::to_string(GetCurrentProcessId()) + "-" + name);
}

bool IsCentred(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return std::abs(r.left - (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2) <= 1 &&
           std::abs(r.top - (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2) <= 1;
}

// Each opening is centred, also after the last was moved, over a disabled owner, with the focus
// on its control. Enter and Esc close About but not Help, where OK always closes.
TEST(AboutAndHelp, OpenCentredEachTimeAndCloseByTheirKeys) {
    for (const Window& w : kWindows) {
        const auto modal = w.make();
        for (WORD key : {VK_RETURN, VK_ESCAPE}) {
            EXPECT_EQ(ShowWhile(*modal, w.className, [&](HWND window, HWND owner) {
                EXPECT_TRUE(IsCentred(window)) << w.className << " key " << key;
                EXPECT_FALSE(IsWindowEnabled(owner));
                EXPECT_EQ(FocusOf(window), Control(window, w.focused)) << w.className;
                w.shows(window);
                SetWindowPos(window, nullptr, 3, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
                EXPECT_TRUE(BringToFront(window));
                Press({key});
                if (!w.keysClose) {
                    // Tab comes after the key: once OK has the focus, the key has been handled.
                    Press({VK_TAB});
                    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window) || FocusOf(window) == Control(window, w.ok); }, kPatience));
                    EXPECT_TRUE(IsWindow(window)) << w.className << " closed on key " << key;
                    Press({VK_RETURN});
                }
                EXPECT_TRUE(WaitClosed(window)) << w.className << " key " << key;
            }), IDOK);
        }
    }
}

// The record, the contact heard from last first, reached by the keyboard alone: saved as text
// through the Save As dialog, and cleared only when the user agrees.
TEST(RecordWindow, IsSavedAsTextAndClearedOnlyWhenTheUserAgrees) {
    const std::string file = TempFile("record"), saved = TempFile("saved.txt");
    {
        SqliteStore store(file, {.writeAheadLog = !sys::IsWindows9x()});
        store.Record({std::time(nullptr), "Ann", "hello", "Hello there.", ReplyOutcome::Sent, "Kestro"}, {});
        store.Record({std::time(nullptr), "Bob", "hi", "", ReplyOutcome::UserWriting, "Kestro"}, {});
        store.Flush();
        RecordWindow record(store);
        ShowWhile(record, kRecordClassName, [&](HWND window, HWND) {
            const HWND contacts = Control(window, kIdRecordContacts);
            EXPECT_EQ(SendMessageW(contacts, LVM_GETITEMCOUNT, 0, 0), 2);
            EXPECT_NE(Text(Control(window, kIdRecordExchanges)).find(L"Bob: hi\r\n  Nothing sent"), std::wstring::npos);
            ASSERT_TRUE(BringToFront(window));
            Press({VK_MENU, 'T'});
            const HWND dialog = WaitForWindow("#32770", nullptr, kPatience, [&](HWND w) { return GetWindow(w, GW_OWNER) == window; });
            ASSERT_NE(dialog, nullptr);
            HWND name = GetDlgItem(dialog, 0x47C);  // the file name's combo box; an edit box in older dialogs
            if (name == nullptr) name = GetDlgItem(dialog, 0x480);
            SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(saved.c_str()));
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(WaitUntil([&] { return GetFileAttributesA(saved.c_str()) != INVALID_FILE_ATTRIBUTES && !IsWindow(dialog); }, kPatience));
            for (const int answer : {IDNO, IDYES}) {
                ASSERT_TRUE(BringToFront(window));
                Press({VK_MENU, 'L'});
                HWND box = nullptr;
                ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(window)) != nullptr; }, kPatience));
                PostMessageW(box, WM_COMMAND, answer, 0);
                EXPECT_TRUE(WaitClosed(box));
                EXPECT_TRUE(WaitUntil([&] { return SendMessageW(contacts, LVM_GETITEMCOUNT, 0, 0) == (answer == IDNO ? 2 : 0); }, kPatience));
            }
        });
    }
    std::string text;
    std::getline(std::ifstream(saved, std::ios::binary), text, '\0');
    EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF")) << text;
    EXPECT_NE(text.find("Ann: hello\r\n  Sent: Hello there.\r\n"), std::string::npos) << text;
    for (const std::string& name : {file, file + "-wal", file + "-shm", saved}) DeleteFileA(name.c_str());
}

// A window opened again finds its class registered by asking Windows: 9x's USER often leaves the
// last error unset when a registration fails for a class that exists.
TEST(AboutAndHelp, ClassesAreFoundAgainWithoutTheLastError) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuorvanelTwice";
    ASSERT_TRUE(sys::RegisterClassOnce(wc));
    SetLastError(0);
    EXPECT_TRUE(sys::RegisterClassOnce(wc));
    EXPECT_EQ(GetLastError(), 0u);
}

// The test command runs this in prefixes at 96, 120 and 144 dots per inch.
TEST(AboutAndHelp, EveryWindowIsLaidOutAtTheScreensDpi) {
    if (const char* asked = std::getenv("QV_WINE_DPI")) {
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), std::atoi(asked));
        ReleaseDC(nullptr, screen);  // the prefix has the dpi the run asked for
    }
    AboutWindow about(L"C:\\Documents and Settings\\Pawe\u0142 \u0416\\Application Data\\Quorvanel\\quorvanel.db");
    HelpWindow help;
    testing::FakeSettings settings;
    OptionsDialog options(settings);
    const std::string file = TempFile("layout");
    std::optional<SqliteStore> store(std::in_place, file, StoreOptions{.writeAheadLog = !sys::IsWindows9x()});
    store->Record({std::time(nullptr), "Ann", "hi", "Hello.", ReplyOutcome::Sent, "Kestro (built in)"}, {});
    store->Flush();
    RecordWindow record(*store);
    const std::pair<ModalWindow*, const char*> windows[] = {{&about, kAboutClassName},
                                                            {&help, kHelpClassName},
                                                            {&options, kOptionsDialogClassName},
                                                            {&record, kRecordClassName}};
    for (const auto& [window, className] : windows) {
        ShowWhile(*window, className, [&](HWND shown, HWND) { ExpectLaidOut(shown, className); });
    }
    store.reset();
    for (const char* journal : {"", "-wal", "-shm"}) DeleteFileA((file + journal).c_str());
}

}  // namespace
}  // namespace quorvanel
