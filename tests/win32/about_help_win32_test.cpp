// The About and Help windows on the real user32, shown modally while a second thread acts on them
// from outside: what they show, and which keys close them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
    const auto file = std::filesystem::temp_directory_path() /
                      ("qv-record-" + std::to_string(GetCurrentProcessId()));
    std::optional<SqliteStore> store(std::in_place, file.string(), StoreOptions{});
    store->Record({0, "Ann", "hi", "Hello.", ReplyOutcome::Sent, "Kestro (built in)"}, {});
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
    for (const char* journal : {"", "-wal", "-shm"})
        std::filesystem::remove(file.string() + journal);
}

}  // namespace
}  // namespace quorvanel
