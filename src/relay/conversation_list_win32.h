#pragma once

#include <windows.h>

#include "relay/conversation_list_view.h"

namespace quorvanel {

// The conversation list as the main window shows it: a list view with a check box per item
// (item data = window handle) and a column for notes, the "Enable on newly opened windows" check
// box and the label.
class ConversationListControls final : public ConversationListView {
public:
    ConversationListControls(HWND list, HWND enableDefault, HWND status);

    int EntryCount() const override;
    WindowHandle EntryData(int index) const override;
    std::wstring EntryText(int index) const override;
    bool IsEntryTicked(int index) const override;
    int AppendEntry(const std::wstring& text, WindowHandle data) override;
    void TickEntry(int index) override;
    void UntickEntry(int index) override;
    // In a second column, which takes the width its longest note needs (none without notes).
    void SetEntryNote(int index, const std::wstring& note) override;
    void RemoveEntry(int index) override;
    bool IsEnableDefaultTicked() const override;
    void SetStatusText(const std::wstring& text) override;

private:
    void FitColumns();

    HWND list_;
    HWND enableDefault_;
    HWND status_;
};

}  // namespace quorvanel
