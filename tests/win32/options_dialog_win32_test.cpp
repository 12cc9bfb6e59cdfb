// The Options dialog on the real user32 and comctl32, run modally while a second thread acts on
// it through its controls and the keyboard. The settings are an in-memory store that logs every
// write.
#include "settings/options_dialog_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "fakes/fake_settings.h"
#include "settings/options_dialog_ids.h"
#include "settings/settings_store_win32.h"
#include "win32/modal_window_test_win32.h"

namespace quorvanel {
namespace {

using namespace testing;

bool IsChecked(HWND dialog, int id) { return SendMessageW(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
void Click(HWND dialog, int id) { PostMessageW(Control(dialog, id), BM_CLICK, 0, 0); }

int RunDialog(SettingsStore& settings, const std::function<void(HWND)>& user) {
    OptionsDialog dialog(settings);
    return ShowWhile(dialog, kOptionsDialogClassName, [&](HWND window, HWND) { user(window); });
}

// What OK writes shows which buttons the stored values checked, and what the boxes held.
TEST(OptionsDialogTest, StoredValuesShowAndOkWritesAllSixInOrder) {
    const struct {
        const wchar_t *speed, *style;  // stored; null: none
        const wchar_t *savedSpeed, *savedStyle;
    } cases[] = {
        {nullptr, nullptr, L"medium", L"perfect"},
        {L"instant", L"messy", L"instant", L"messy"},
        {L"slow", L"perfect", L"slow", L"perfect"},
        {L"fast", L"messy", L"fast", L"messy"},
        {L"Fast", L"Messy ", L"medium", L"perfect"},  // matched exactly
    };
    const std::wstring server(254, L's'), id = L"caf\u00E9 \u00FF", name = L"  R\u00E9my  ";
    for (const auto& c : cases) {
        FakeSettings settings;
        if (c.speed) settings.Set(L"BotBehaviour", L"TypeSpeed", c.speed);
        if (c.style) settings.Set(L"BotBehaviour", L"TypeStyle", c.style);
        settings.Set(L"ConnectionSettings", L"BotServer", server);
        settings.Set(L"ConnectionSettings", L"BotID", id);
        settings.Set(L"ConnectionSettings", L"BotName", name);
        EXPECT_EQ(RunDialog(settings, [&](HWND dialog) {
                      Click(dialog, kIdOptionsOK);
                      EXPECT_TRUE(WaitClosed(dialog));
                  }),
                  IDOK);
        const std::vector<FakeSettings::Access> written = {
            {L"BotBehaviour", L"TypeSpeed", c.savedSpeed},
            {L"BotBehaviour", L"TypeStyle", c.savedStyle},
            {L"ConnectionSettings", L"BotServer", server},
            {L"ConnectionSettings", L"BotID", id},
            {L"ConnectionSettings", L"BotName", name},
            {L"ConnectionSettings", L"AIMLFolder", L""},
        };
        EXPECT_EQ(settings.writes, written);
    }
}

// No bot server stored: the built-in bot is chosen, and only the boxes of the chosen bot take
// input. OK with the built-in bot writes an empty bot server, whatever the host box holds.
TEST(OptionsDialogTest, TheBuiltInBotIsAnEmptyBotServer) {
    FakeSettings settings;
    settings.Set(L"ConnectionSettings", L"AIMLFolder", L"C:\\bots");
    EXPECT_EQ(RunDialog(settings, [&](HWND dialog) {
                  const auto open = [&](int id) { return IsWindowEnabled(Control(dialog, id)) != FALSE; };
                  EXPECT_TRUE(IsChecked(dialog, kIdBuiltInBot) && open(kIdAimlFolder) && !open(kIdBotServer));
                  Click(dialog, kIdUseBotServer);
                  EXPECT_TRUE(WaitUntil([&] { return open(kIdBotServer) && !open(kIdAimlFolder); }, kPatience));
                  SetWindowTextW(Control(dialog, kIdBotServer), L"bots.example.net");
                  Click(dialog, kIdBuiltInBot);
                  Click(dialog, kIdOptionsOK);
                  EXPECT_TRUE(WaitClosed(dialog));
              }), IDOK);
    EXPECT_EQ(settings.Get(L"ConnectionSettings", L"BotServer"), L"");
    EXPECT_EQ(settings.Get(L"ConnectionSettings", L"AIMLFolder"), L"C:\\bots");
}

// Cancel, Esc and the close box leave the store as it was; OK saves the choices and edits.
TEST(OptionsDialogTest, ChoicesAndEditsAreSavedByOkOnly) {
    using Act = std::function<void(HWND)>;
    const Act closes[] = {[](HWND d) { Click(d, kIdOptionsCancel); },
                          [](HWND d) { EXPECT_TRUE(BringToFront(d)); Press({VK_ESCAPE}); },
                          [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
                          [](HWND d) { Click(d, kIdOptionsOK); }};
    FakeSettings settings;
    for (const Act& close : closes) {
        const bool ok = &close == &closes[3];
        EXPECT_EQ(RunDialog(settings, [&](HWND dialog) {
                      Click(dialog, kIdFast);
                      Click(dialog, kIdMessy);
                      EXPECT_TRUE(WaitUntil([&] { return IsChecked(dialog, kIdFast) && IsChecked(dialog, kIdMessy); }, kPatience));
                      SetWindowTextW(Control(dialog, kIdBotName), L"Other");
                      close(dialog);
                      EXPECT_TRUE(WaitClosed(dialog));
                  }),
                  ok ? IDOK : IDCANCEL);
        EXPECT_EQ(settings.writes.empty(), !ok);
    }
    EXPECT_EQ(settings.Get(L"BotBehaviour", L"TypeSpeed"), L"fast");
    EXPECT_EQ(settings.Get(L"BotBehaviour", L"TypeStyle"), L"messy");
    EXPECT_EQ(settings.Get(L"ConnectionSettings", L"BotName"), L"Other");
}

// The first failed write ends the save; the message names the file, and the dialog stays open.
TEST(OptionsDialogTest, AFailedSaveSaysWhereAndKeepsTheDialogOpen) {
    FakeSettings failing;
    failing.failWrites = true;
    EXPECT_EQ(RunDialog(failing, [&](HWND dialog) {
        Click(dialog, kIdOptionsOK);
        HWND box = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (box = MessageBoxOf(dialog)) != nullptr; }, kPatience));
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        EXPECT_NE(std::wstring(text).find(SettingsFilePath()), std::wstring::npos);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return MessageBoxOf(dialog) == nullptr; }, kPatience));
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, kIdOptionsCancel);
        EXPECT_TRUE(WaitClosed(dialog));
    }), IDCANCEL);
    EXPECT_EQ(failing.writes.size(), 1u);
}

TEST(OptionsDialogTest, CtrlTabTurnsThePages) {
    FakeSettings settings;
    RunDialog(settings, [&](HWND dialog) {
        HWND pages[] = {Control(dialog, kIdBehaviourPage), Control(dialog, kIdConnectionPage)};
        ASSERT_TRUE(BringToFront(dialog));
        for (int shown : {1, 0, 1}) {
            Press({VK_CONTROL, VK_TAB});
            ASSERT_TRUE(WaitUntil([&] {
                return SendMessageW(Control(dialog, kIdOptionsTabs), TCM_GETCURSEL, 0, 0) == shown;
            }, kPatience));
            EXPECT_TRUE(IsWindowEnabled(pages[shown]));
            EXPECT_FALSE(IsWindowEnabled(pages[1 - shown]));
        }
    });
}

}  // namespace
}  // namespace quorvanel
