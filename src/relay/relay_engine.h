#pragma once

#include <string>

#include "relay/answer_rules.h"
#include "relay/conversation_list_view.h"
#include "relay/conversations.h"
#include "relay/window_system.h"

namespace quorvanel {

// The stages of a reply that the poll cycle drives: arming a conversation's reading delay when a
// new message is noticed, and moving every live slot one step on per tick.
class ReplyStages {
public:
    virtual ~ReplyStages() = default;
    // Reading delay in ticks for a new message; 0 leaves it unanswered.
    virtual int GetDelayTicks() = 0;
    virtual void AdvanceReply(int slot) = 0;
    // Drops the slot's pending reply, reading or typing, taking back its notice.
    virtual void DropReply(int slot) = 0;
};

// The poll cycle: once a second it finds the messenger's conversation windows, keeps the list and
// the conversation table in step with them, notices new messages in ticked conversations and
// moves pending replies on. The table is reached by index only, so a tick that runs while another
// one waits (for the bot server, or in a message box) may safely append slots.
class RelayEngine {
public:
    // replies may be null: messages are then noticed but nothing is armed or advanced. Without
    // rules every new message in a ticked conversation is answered.
    RelayEngine(WindowSystem& windows, ConversationListView& list, ConversationTable& conversations,
                ReplyStages* replies, AnswerRules* rules = nullptr);

    void Timer1_Timer();
    void RefreshConversationList();
    void CheckConversation(WindowHandle window);
    void AddConversationIfNew(WindowHandle window);
    // First slot from 1 up holding the window, or 0.
    int FindSlot(WindowHandle window) const;
    // First entry holding the window, or 0 when there is none (check HasEntry first).
    int FindListIndex(WindowHandle window) const;
    bool HasEntry(WindowHandle window) const;
    // The other party's latest message when it differs from the one seen last, else empty.
    std::wstring GetNewMessage(WindowHandle window);
    // Gives the contact of a list entry their own rule, kept in the settings, and applies it to
    // every entry of theirs now listed: "always" ticks them, "never" unticks them. False when the
    // rule could not be saved.
    bool SetContactRule(int entry, ContactRule rule);
    ContactRule ContactRuleOf(int entry) const;

private:
    int FindEntry(WindowHandle window) const;  // -1 when none
    // Each entry's note: why the robot is not answering there.
    void ShowReasons();

    WindowSystem& windows_;
    ConversationListView& list_;
    ConversationTable& conversations_;
    ReplyStages* replies_;
    AnswerRules* rules_;
    // Ticks so far; spreads the full reads of unchanged-looking histories over the ticks.
    unsigned ticks_ = 0;
};

}  // namespace quorvanel
