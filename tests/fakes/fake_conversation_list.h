#pragma once

#include <string>
#include <vector>

#include "relay/conversation_list_view.h"

namespace quorvanel::testing {

// The main window's conversation list, tick box and label as plain data.
class FakeConversationList : public ConversationListView {
public:
    struct Entry {
        std::wstring text;
        WindowHandle data;
        bool ticked;
        std::wstring note = {};
        bool operator==(const Entry&) const = default;
    };

    std::vector<Entry> entries;
    bool enableDefault = false;
    std::wstring status = L"Initialising...";

    int EntryCount() const override { return static_cast<int>(entries.size()); }
    WindowHandle EntryData(int index) const override { return entries.at(index).data; }
    std::wstring EntryText(int index) const override { return entries.at(index).text; }
    bool IsEntryTicked(int index) const override { return entries.at(index).ticked; }
    int AppendEntry(const std::wstring& text, WindowHandle data) override {
        entries.push_back({text, data, false});
        return EntryCount() - 1;
    }
    void TickEntry(int index) override { entries.at(index).ticked = true; }
    void UntickEntry(int index) override { entries.at(index).ticked = false; }
    void SetEntryNote(int index, const std::wstring& note) override { entries.at(index).note = note; }
    void RemoveEntry(int index) override { entries.erase(entries.begin() + index); }
    bool IsEnableDefaultTicked() const override { return enableDefault; }
    void SetStatusText(const std::wstring& text) override { status = text; }
};

}  // namespace quorvanel::testing
