#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "relay/handled_message.h"
#include "relay/history_watch.h"
#include "relay/window_system.h"
#include "settings/rules.h"

namespace quorvanel {

// Appended to every reply the program sends (the no-break space); an incoming message that ends
// in it is never answered, so two copies of the program do not answer each other.
inline constexpr wchar_t kOwnLineMarker = L'\u00A0';

// One record per conversation window seen during the run, with its pending reply.
struct ConversationSlot {
    WindowHandle hWnd = 0;  // 0: retired (window gone) or never used
    std::wstring Contact;   // the list entry's text: whom the bot is talking to
    std::wstring LastMessage;
    std::wstring ReplyText;
    std::wstring Asked;  // the message ReplyText answers, for the record
    // Whether ReplyText is the bot's answer, a canned line or the error line.
    ReplyOutcome ReplyKind = ReplyOutcome::Sent;
    std::int32_t DelayTicks = 0;
    std::int32_t TypingTicks = 0;
    HistoryStamp History;  // what the last full read of the history saw
    ContactRule Rule = ContactRule::Default;  // the contact's own rule when the window was listed
    std::wstring UserWriting;  // the user's own lines after the other party's, at the last read
    std::int64_t StepBackUntilMs = 0;  // the robot keeps out of the conversation until then
};

// Indexed from 0; slot 0 is a spare that no window is ever given. Slots are only ever appended,
// so an index stays valid for the whole run (callers reach slots by index, never by reference,
// across anything that can dispatch window messages).
using ConversationTable = std::vector<ConversationSlot>;

// The table as it is at start-up: the single spare slot 0.
inline ConversationTable NewConversationTable() { return ConversationTable(1); }

}  // namespace quorvanel
