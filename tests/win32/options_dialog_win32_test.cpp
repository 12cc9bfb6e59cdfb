// The Options dialog on the real user32 and comctl32, run modally while a second thread acts on
// it through its controls and the keyboard. The settings are the profile file in the Wine
// prefix's Windows directory, or an in-memory store that logs every write.
#include "settings/options_dialog_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "fakes/fake_settings.h"
#include "settings/options_dialog_ids.h"
#include "settings/settings.h"
#include "settings/settings_store_win32.h"
#include "win32/modal_window_test_win32.h"
#include "win32/settings_file_win32.h"

namespace quorvanel {
namespace {

using namespace testing;

// Which of the buttons are checked, as "1010".
std::string Checks(HWND dialog, std::initializer_list<int> ids) {
    std::string checks;
    for (int id : ids) checks += SendMessageW(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED ? '1' : '0';
    return checks;
}
std::string Speeds(HWND dialog) { return Checks(dialog, {kIdSlow, kIdMedium, kIdFast, kIdInstant}); }
std::string Styles(HWND dialog) { return Checks(dialog, {kIdMessy, kIdPerfect}); }
int SelectedTab(HWND dialog) {
    return static_cast<int>(SendMessageW(Control(dialog, kIdOptionsTabs), TCM_GETCURSEL, 0, 0));
}
void Click(HWND dialog, int id) { PostMessageW(Control(dialog, id), BM_CLICK, 0, 0); }

int RunDialog(SettingsStore& settings, const std::function<void(HWND)>& user) {
    OptionsDialog dialog(settings);
    return ShowWhile(dialog, kOptionsDialogClassName, [&](HWND window, HWND) { user(window); });
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveSettingsFile(); }
    void TearDown() override { RemoveSettingsFile(); }
    ProfileSettingsStore profile;
};

TEST_F(OptionsDialogTest, StoredValuesShowAndOkWritesAllFiveInOrder) {
    struct Case {
        const wchar_t *speed, *style;  // stored; null: none
        const char *speeds, *styles;   // buttons checked
        const wchar_t *savedSpeed, *savedStyle;
    };
    const Case cases[] = {
        {nullptr, nullptr, "0100", "01", L"medium", L"perfect"},
        {L"instant", L"messy", "0001", "10", L"instant", L"messy"},
        {L"slow", L"perfect", "1000", "01", L"slow", L"perfect"},
        {L"fast", L"messy", "0010", "10", L"fast", L"messy"},
        {L"Fast", L"Messy ", "0100", "01", L"medium", L"perfect"},  // matched exactly
    };
    const std::wstring server(254, L's'), id = L"caf\u00E9 \u00FF", name = L"  R\u00E9my  ";
    for (const Case& c : cases) {
        FakeSettings settings;
        if (c.speed) settings.Set(L"BotBehaviour", L"TypeSpeed", c.speed);
        if (c.style) settings.Set(L"BotBehaviour", L"TypeStyle", c.style);
        settings.Set(L"ConnectionSettings", L"BotServer", server);
        settings.Set(L"ConnectionSettings", L"BotID", id);
        settings.Set(L"ConnectionSettings", L"BotName", name);
        const int result = RunDialog(settings, [&](HWND dialog) {
            EXPECT_EQ(Speeds(dialog), c.speeds);
            EXPECT_EQ(Styles(dialog), c.styles);
            EXPECT_EQ(Text(Control(dialog, kIdBotServer)), server);
            EXPECT_EQ(Text(Control(dialog, kIdBotID)), id);
            EXPECT_EQ(Text(Control(dialog, kIdBotName)), name);
            Click(dialog, kIdOptionsOK);
            EXPECT_TRUE(WaitClosed(dialog));
        });
        EXPECT_EQ(result, IDOK);
        const std::vector<FakeSettings::Access> written = {
            {L"BotBehaviour", L"TypeSpeed", c.savedSpeed},
            {L"BotBehaviour", L"TypeStyle", c.savedStyle},
            {L"ConnectionSettings", L"BotServer", server},
            {L"ConnectionSettings", L"BotID", id},
            {L"ConnectionSettings", L"BotName", name},
        };
        EXPECT_EQ(settings.writes, written);
    }
}

TEST_F(OptionsDialogTest, ChoicesAndEditsAreSavedByOkOnly) {
    FakeSettings settings;
    auto edit = [&](HWND dialog) {
        Click(dialog, kIdFast);
        Click(dialog, kIdMessy);
        EXPECT_TRUE(WaitUntil([&] { return Speeds(dialog) == "0010" && Styles(dialog) == "10"; }, kPatience));
        SetWindowTextW(Control(dialog, kIdBotName), L"Other");
    };
    // Cancel, Esc and the close box leave the store and the next opening as they were.
    using Act = std::function<void(HWND)>;
    for (const Act& cancel : {Act([](HWND d) { Click(d, kIdOptionsCancel); }),
                              Act([](HWND d) { SetForegroundWindow(d); Press({VK_ESCAPE}); }),
                              Act([](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); })}) {
        EXPECT_EQ(RunDialog(settings, [&](HWND dialog) {
                      edit(dialog);
                      cancel(dialog);
                      EXPECT_TRUE(WaitClosed(dialog));
                  }),
                  IDCANCEL);
        EXPECT_TRUE(settings.writes.empty());
    }
    RunDialog(settings, [&](HWND dialog) {
        EXPECT_EQ(Speeds(dialog) + Styles(dialog), "010001");
        EXPECT_EQ(Text(Control(dialog, kIdBotName)), L"Kestro");
        edit(dialog);
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(settings.Get(L"BotBehaviour", L"TypeSpeed"), L"fast");
    EXPECT_EQ(settings.Get(L"BotBehaviour", L"TypeStyle"), L"messy");
    EXPECT_EQ(settings.Get(L"ConnectionSettings", L"BotName"), L"Other");
}

TEST_F(OptionsDialogTest, ARefusedSaveGoesToThePerUserCopyAndOnlyBothRefusedSaysWhere) {
    // A directory where the file should be: every write of it fails.
    ASSERT_TRUE(CreateDirectoryW(SettingsFilePath().c_str(), nullptr));
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
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        EXPECT_NE(std::wstring(text).find(SettingsFilePath()), std::wstring::npos);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return MessageBoxOf(dialog) == nullptr; }, kPatience));
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, kIdOptionsCancel);
        EXPECT_TRUE(WaitClosed(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);

    // The first failure ends the save.
    FakeSettings failing;
    failing.failWrites = true;
    RunDialog(failing, [&](HWND dialog) {
        Click(dialog, kIdOptionsOK);
        EXPECT_TRUE(WaitUntil([&] { return MessageBoxOf(dialog) != nullptr; }, kPatience));
    });
    EXPECT_EQ(failing.writes.size(), 1u);
}

TEST_F(OptionsDialogTest, CtrlTabTurnsThePages) {
    FakeSettings settings;
    RunDialog(settings, [&](HWND dialog) {
        HWND pages[] = {Control(dialog, kIdBehaviourPage), Control(dialog, kIdConnectionPage)};
        ASSERT_TRUE(WaitUntil([&] { return SetForegroundWindow(dialog) && GetForegroundWindow() == dialog; }, kPatience));
        for (int shown : {1, 0, 1}) {
            Press({VK_CONTROL, VK_TAB});
            ASSERT_TRUE(WaitUntil([&] { return SelectedTab(dialog) == shown; }, kPatience));
            EXPECT_TRUE(IsWindowEnabled(pages[shown]));
            EXPECT_FALSE(IsWindowEnabled(pages[1 - shown]));
        }
    });
}

}  // namespace
}  // namespace quorvanel
