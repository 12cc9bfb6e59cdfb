#pragma once

#include <string>

#include "relay/window_system.h"

namespace quorvanel {

// The main window's controls that the poll cycle keeps in step: the list of conversations with a
// tick box per entry (item data = window handle), the "Enable on newly opened windows" box and
// the status label. Win32 list view controls on Windows; a plain model in tests.
class ConversationListView {
public:
    virtual ~ConversationListView() = default;

    virtual int EntryCount() const = 0;
    virtual WindowHandle EntryData(int index) const = 0;
    virtual std::wstring EntryText(int index) const = 0;
    virtual bool IsEntryTicked(int index) const = 0;
    // Appends an unticked entry at the end; returns its index.
    virtual int AppendEntry(const std::wstring& text, WindowHandle data) = 0;
    virtual void TickEntry(int index) = 0;
    virtual void UntickEntry(int index) = 0;
    // A short text beside the entry's own (which stays as it is): why it is not answered.
    virtual void SetEntryNote(int index, const std::wstring& note) = 0;
    virtual void RemoveEntry(int index) = 0;

    virtual bool IsEnableDefaultTicked() const = 0;
    virtual void SetStatusText(const std::wstring& text) = 0;
};

}  // namespace quorvanel
