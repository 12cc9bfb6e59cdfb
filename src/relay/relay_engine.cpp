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
                         ConversationTable& conversations, ReplyStages* replies, AnswerRules* rules)
    : windows_(windows), list_(list), conversations_(conversations), replies_(replies), rules_(rules) {}

void RelayEngine::Timer1_Timer() {
    ++ticks_;
    if (rules_ != nullptr) rules_->Refresh();
    RefreshConversationList();
    if (rules_ != nullptr) ShowReasons();
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
    if (rules_ != nullptr) {
        const int heard = FindSlot(window);
        if (heard == 0 || !rules_->Heard(conversations_[heard], message)) return;
    }

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
    const ContactRule rule = rules_ != nullptr ? rules_->RuleFor(contact) : ContactRule::Default;
    const int entry = list_.AppendEntry(contact, window);
    if (rule == ContactRule::Always || (rule == ContactRule::Default && list_.IsEnableDefaultTicked())) {
        list_.TickEntry(entry);
    }
    ConversationSlot slot;
    slot.hWnd = window;
    slot.Rule = rule;
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

bool RelayEngine::SetContactRule(int entry, ContactRule rule) {
    if (rules_ == nullptr || entry < 0 || entry >= list_.EntryCount()) return false;
    const std::wstring contact = list_.EntryText(entry);
    if (!rules_->SetRule(contact, rule)) return false;
    for (std::size_t i = 1; i < conversations_.size(); ++i) {
        if (conversations_[i].Contact == contact) conversations_[i].Rule = rule;
    }
    for (int i = 0; i < list_.EntryCount(); ++i) {
        if (list_.EntryText(i) != contact) continue;
        if (rule == ContactRule::Always) list_.TickEntry(i);
        if (rule == ContactRule::Never) list_.UntickEntry(i);
    }
    ShowReasons();
    return true;
}

ContactRule RelayEngine::ContactRuleOf(int entry) const {
    const int slot = entry >= 0 && entry < list_.EntryCount() ? FindSlot(list_.EntryData(entry)) : 0;
    return slot != 0 ? conversations_[slot].Rule : ContactRule::Default;
}

void RelayEngine::ShowReasons() {
    if (rules_ == nullptr) return;
    const int count = list_.EntryCount();
    for (int i = 0; i < count; ++i) {
        const int slot = FindSlot(list_.EntryData(i));
        if (slot != 0) list_.SetEntryNote(i, rules_->Reason(conversations_[slot], list_.IsEntryTicked(i)));
    }
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
    LatestLines lines = ReadLatestLines(text, name);
    // The user's own writing steps the robot back, dropping what it was about to say.
    if (slot != 0 && rules_ != nullptr && rules_->UserWrote(conversations_[slot], std::move(lines.userWriting)) &&
        replies_ != nullptr) {
        replies_->DropReply(slot);
    }
    std::optional<std::wstring>& block = lines.block;
    if (!block) return {};

    if (slot == 0 || *block == conversations_[slot].LastMessage) return {};
    conversations_[slot].LastMessage = *block;
    return std::move(*block);
}

}  // namespace quorvanel
