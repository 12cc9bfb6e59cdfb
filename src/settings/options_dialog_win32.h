#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string_view>

#include "platform/modal_window_win32.h"
#include "settings/rules.h"
#include "settings/settings_store.h"

namespace quorvanel {

// The Options dialog: typing speed and neatness on one page; on the next the choice between the
// built-in bot (with its AIML folder) and a bot server (host, bot ID and name); on the third the
// user's answering rules (stepping back, when to answer, the cap on answers). It shows the stored
// settings when it opens. OK first checks the rules typed, naming the first box that holds what
// its rule cannot take and writing nothing; then it writes all six settings, an empty bot server
// standing for the built-in bot, and the rules. Nothing is kept in memory between openings.
// ShowModal returns IDOK when the settings were saved, IDCANCEL when the dialog was closed
// without saving.
class OptionsDialog final : public ModalWindow {
public:
    explicit OptionsDialog(SettingsStore& settings) : settings_(settings) {}

protected:
    HWND Create(HWND owner) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreTranslate(MSG& message) override;

private:
    static constexpr int kPageCount = 3;
    static constexpr int kRulesPageIndex = 2;

    // An option button and the value it stands for in the settings file.
    struct Choice {
        HWND button;
        std::wstring_view value;
    };

    void CreateControls();
    void CreateRulesControls(HFONT font);
    void Form_Load();
    bool Form_KeyDown(const MSG& message);
    void tbsOptions_Click();
    void ShowPage(int index);
    void optBot_Click();
    void cmdOK_Click();
    // The rules as the page holds them, or none when a box holds what its rule cannot take.
    std::optional<ReplyRules> RulesOnPage();
    void cmdCancel_Click();
    void AddTabToolTips();
    void RestoreFocus();
    LRESULT OnNotify(const NMHDR& header);
    std::array<Choice, 4> SpeedChoices() const;
    std::array<Choice, 2> StyleChoices() const;

    SettingsStore& settings_;

    HWND tbsOptions_ = nullptr;
    HWND cmdOK_ = nullptr;
    HWND cmdCancel_ = nullptr;
    HWND picOptions_[kPageCount] = {};
    HWND Frame1_ = nullptr;
    HWND optSlow_ = nullptr;
    HWND optMedium_ = nullptr;
    HWND optFast_ = nullptr;
    HWND optInstant_ = nullptr;
    HWND Frame2_ = nullptr;
    HWND optMessy_ = nullptr;
    HWND optPerfect_ = nullptr;
    HWND txtBotServer_ = nullptr;
    HWND txtBotID_ = nullptr;
    HWND txtBotName_ = nullptr;
    HWND optBuiltInBot_ = nullptr;
    HWND optBotServer_ = nullptr;
    HWND txtAimlFolder_ = nullptr;
    HWND txtStepBack_ = nullptr;
    HWND optAlways_ = nullptr;
    HWND optAway_ = nullptr;
    HWND optHours_ = nullptr;
    HWND txtAwayMinutes_ = nullptr;
    HWND txtHoursFrom_ = nullptr;
    HWND txtHoursTo_ = nullptr;
    HWND txtCapAnswers_ = nullptr;
    HWND txtCapMinutes_ = nullptr;
    // The control that had the focus when the dialog was last deactivated.
    HWND focus_ = nullptr;
};

}  // namespace quorvanel
