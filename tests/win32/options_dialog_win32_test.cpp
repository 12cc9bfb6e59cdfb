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

// Presses OK, which is to answer with a message box and keep the dialog open; the box's text.
std::wstring RefusedOk(HWND dialog) {
    Click(dialog, kIdOptionsOK);
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = MessageBoxOf(dialog)) != nullptr; }, kPatience)) return L"";
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return MessageBoxOf(dialog) == nullptr; }, kPatience));
    EXPECT_TRUE(IsWindowVisible(dialog));
    return text;
}

// What OK writes shows which buttons the stored values checked, and what the boxes held: the six
// settings in their order, then the rules, one not understood as its default.
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
        for (auto [key, value] : {std::pair{L"StepBackMinutes", L"5"}, {L"AnswerWhen", L"hours"}, {L"AwayMinutes", L"0"},
                                  {L"HoursFrom", L"7:05"}, {L"CapAnswers", L"1000"}, {L"CapMinutes", L"15"}}) {
            settings.Set(L"Rules", key, value);
        }
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
            {L"Rules", L"StepBackMinutes", L"5"}, {L"Rules", L"AnswerWhen", L"hours"},
            {L"Rules", L"AwayMinutes", L"10"}, {L"Rules", L"HoursFrom", L"07:05"},
            {L"Rules", L"HoursTo", L"08:00"}, {L"Rules", L"CapAnswers", L"1000"},
            {L"Rules", L"CapMinutes", L"15"},
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

// Cancel, Esc and the close box leave the store as it was; OK saves the choices and edits, a
// rule's box beside an option not chosen too.
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
                      Click(dialog, kIdAnswerAway);
                      EXPECT_TRUE(WaitUntil([&] { return IsChecked(dialog, kIdFast) && IsChecked(dialog, kIdMessy) && IsChecked(dialog, kIdAnswerAway); }, kPatience));
                      SetWindowTextW(Control(dialog, kIdBotName), L"Other");
                      SetWindowTextW(Control(dialog, kIdHoursTo), L"23:59");
                      close(dialog);
                      EXPECT_TRUE(WaitClosed(dialog));
                  }),
                  ok ? IDOK : IDCANCEL);
        EXPECT_EQ(settings.writes.empty(), !ok);
    }
    EXPECT_EQ(settings.Get(L"BotBehaviour", L"TypeSpeed"), L"fast");
    EXPECT_EQ(settings.Get(L"BotBehaviour", L"TypeStyle"), L"messy");
    EXPECT_EQ(settings.Get(L"ConnectionSettings", L"BotName"), L"Other");
    EXPECT_EQ(settings.Get(L"Rules", L"AnswerWhen"), L"away");
    EXPECT_EQ(settings.Get(L"Rules", L"HoursTo"), L"23:59");
}

// OK keeps the dialog open. On a rule it cannot take it writes nothing, names the box and turns
// to the Rules page, the box in focus with its text selected; on a failed write it says where.
TEST(OptionsDialogTest, RefusedOkKeepsTheDialogOpen) {
    const struct {
        int box;
        const wchar_t *typed, *named;
    } cases[] = {{kIdStepBack, L"1441", L"\"Step back when I write\""}, {kIdAwayMinutes, L"0", L"away for\""},
                 {kIdHoursTo, L"24:00", L"\"and\""}, {kIdCapAnswers, L"x", L"\"Never more than\""}};
    FakeSettings settings;
    for (const auto& c : cases) {
        RunDialog(settings, [&](HWND dialog) {
            HWND box = Control(dialog, c.box);
            SetWindowTextW(box, c.typed);
            EXPECT_NE(RefusedOk(dialog).find(c.named), std::wstring::npos) << c.named;
            EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == box; }, kPatience)) << c.named;
            EXPECT_EQ(SendMessageW(Control(dialog, kIdOptionsTabs), TCM_GETCURSEL, 0, 0), 2);
            EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELRESULT(0, lstrlenW(c.typed)));
        });
    }
    EXPECT_TRUE(settings.writes.empty());
    FakeSettings failing;
    failing.failWrites = true;
    RunDialog(failing, [&](HWND dialog) {
        EXPECT_NE(RefusedOk(dialog).find(SettingsFilePath()), std::wstring::npos);
    });
    EXPECT_EQ(failing.writes.size(), 1u);
}

// Each page in turn, the others disabled; on the Rules page a label's access key reaches the box
// after it.
TEST(OptionsDialogTest, CtrlTabTurnsThePages) {
    FakeSettings settings;
    RunDialog(settings, [&](HWND dialog) {
        HWND pages[] = {Control(dialog, kIdBehaviourPage), Control(dialog, kIdConnectionPage),
                        Control(dialog, kIdRulesPage)};
        ASSERT_TRUE(BringToFront(dialog));
        for (int shown : {1, 2, 0}) {
            Press({VK_CONTROL, VK_TAB});
            ASSERT_TRUE(WaitUntil([&] {
                return SendMessageW(Control(dialog, kIdOptionsTabs), TCM_GETCURSEL, 0, 0) == shown;
            }, kPatience));
            for (int i = 0; i < 3; ++i) EXPECT_EQ(IsWindowEnabled(pages[i]) != FALSE, i == shown);
            if (shown != 2) continue;
            Press({VK_MENU, 'H'});
            EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == Control(dialog, kIdCapMinutes); }, kPatience));
        }
    });
}

}  // namespace
}  // namespace quorvanel
