#include "relay/relay_engine.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "relay/message_detection.h"
#include "relay/messenger_window.h"

namespace quorvanel {
namespace {

constexpr std::size_t kTitleSuffixLength = 15;  // " - Conversation"

}  // namespace

RelayEngine::RelayEngine(WindowSystem& windows, ConversationListView& list,
                         ConversationTable& conversations, ReplyStages* replies)
    : windows_(windows), list_(list), conversations_(conversations), replies_(replies) {}

void RelayEngine::Timer1_Timer() {
    ++ticks_;
    RefreshConversationList();
    if (replies_ == nullptr) return;
    // The upper index is read once: slots appended by a nested tick wait for the next tick.
    const int upper = static_cast<int>(conversations_.size()) - 1;
    for (int i = 1; i <= upper; ++i) {
        if (conversations_[i].hWnd != 0) replies_->AdvanceReply(i);
    }
}

void RelayEngine::RefreshConversationList() {
    std::vector<WindowHandle> handles;
    try {
        handles = ListConversationWindows(windows_);
    } catch (const std::exception&) {
        // Without a listing nothing can be told to have vanished; leave everything for next tick.
        return;
    }

    list_.SetStatusText(std::to_wstring(handles.size()) + L" chat window(s) open");

    std::vector<WindowHandle> open = handles;
    std::sort(open.begin(), open.end());
    for (int i = list_.EntryCount() - 1; i >= 0; --i) {
        const WindowHandle window = list_.EntryData(i);
        if (std::binary_search(open.begin(), open.end(), window)) continue;
        const int slot = FindSlot(window);
        if (slot != 0) {
            conversations_[slot].LastMessage.clear();
            conversations_[slot].hWnd = 0;
        }
        list_.RemoveEntry(i);
    }

    for (WindowHandle window : handles) {
        try {
            CheckConversation(window);
        } catch (const std::exception&) {
            // Abandon this window's check for this tick; the next window is checked as usual.
        }
    }
}

void RelayEngine::CheckConversation(WindowHandle window) {
    AddConversationIfNew(window);
    const int entry = FindEntry(window);
    if (entry < 0 || !list_.IsEntryTicked(entry)) return;

    const std::wstring message = GetNewMessage(window);
    if (message.empty() || message.back() == kOwnLineMarker) return;
    if (replies_ == nullptr) return;

    // The delay is computed before the slot is looked up: computing it may show a message box,
    // during which other ticks run.
    const int delay = replies_->GetDelayTicks();
    const int slot = FindSlot(window);
    if (slot != 0) conversations_[slot].DelayTicks = delay;
}

void RelayEngine::AddConversationIfNew(WindowHandle window) {
    if (HasEntry(window)) return;
    const std::wstring title = GetConversationTitle(windows_, window);
    // A title too short to hold the suffix is not listed yet; it is tried again every tick.
    if (title.size() < kTitleSuffixLength) return;
    std::wstring contact = title.substr(0, title.size() - kTitleSuffixLength);
    const int entry = list_.AppendEntry(contact, window);
    if (list_.IsEnableDefaultTicked()) list_.TickEntry(entry);
    ConversationSlot slot;
    slot.hWnd = window;
    slot.Contact = std::move(contact);
    conversations_.push_back(std::move(slot));
}

int RelayEngine::FindSlot(WindowHandle window) const {
    for (std::size_t i = 1; i < conversations_.size(); ++i) {
        if (conversations_[i].hWnd == window) return static_cast<int>(i);
    }
    return 0;
}

int RelayEngine::FindEntry(WindowHandle window) const {
    const int count = list_.EntryCount();
    for (int i = 0; i < count; ++i) {
        if (list_.EntryData(i) == window) return i;
    }
    return -1;
}

int RelayEngine::FindListIndex(WindowHandle window) const { return std::max(FindEntry(window), 0); }

bool RelayEngine::HasEntry(WindowHandle window) const { return FindEntry(window) >= 0; }

std::wstring RelayEngine::GetNewMessage(WindowHandle window) {
    // A history that has not changed since its last full read gives the block it gave then, which
    // LastMessage already holds; its control, found then, is asked directly. Slots take turns at
    // the checks of the start and at the full read that is due all the same. Stamps are copied,
    // not referred to, across the queries: those may dispatch messages sent to this thread.
    const int slot = FindSlot(window);
    if (slot != 0) {
        const unsigned turn = ticks_ + static_cast<unsigned>(slot);
        const HistoryStamp stamp = conversations_[slot].History;
        if (turn % kFullReadEveryTicks != 0 &&
            LooksUnchanged(windows_, stamp, turn % kHeadCheckEveryTicks == 0)) {
            return {};
        }
    }
    const WindowHandle history = FindHistoryBox(windows_, window);
    if (history == 0) return {};
    std::wstring text;
    if (slot != 0) {
        HistoryStamp stamp = StampHistory(windows_, history);
        text = ReadStampedHistory(windows_, stamp);
        conversations_[slot].History = std::move(stamp);
    } else {
        text = GetControlText(windows_, history);
    }
    const std::wstring name = list_.EntryText(FindListIndex(window));
    std::optional<std::wstring> block = ExtractLatestBlock(text, name);
    if (!block) return {};

    if (slot == 0 || *block == conversations_[slot].LastMessage) return {};
    conversations_[slot].LastMessage = *block;
    return std::move(*block);
}

}  // namespace quorvanel
