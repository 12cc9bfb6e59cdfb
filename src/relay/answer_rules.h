#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "relay/conversations.h"
#include "settings/rules.h"
#include "settings/settings_store.h"

namespace quorvanel {

// A human answers no sooner than it takes to type the line at 60 words (of five characters) a
// minute. An answer to one of our replies that came sooner was not typed by a person; when most
// of the last answers did, the other party is a machine, and the exchange would never end.
inline constexpr std::int64_t kHumanMsPerChar = 200;
inline constexpr int kTurnsWatched = 10;
inline constexpr int kMachineTurns = 8;  // of the last kTurnsWatched
// A stopped exchange starts again once the other party has been quiet this long.
inline constexpr std::int64_t kQuietMs = 10 * 60 * 1000;
// A rule changed by hand in the settings file holds within this many ticks.
inline constexpr int kRereadEveryTicks = 10;

// Decides, by the user's rules, whether a new message may be answered, and says why not: the
// step back after the user writes, the hours or the user's absence, another machine at the other
// end, and the cap on answers to one contact. Rules are read once a tick (Refresh); what the rules
// learn of each contact (answers sent, how fast they were answered) is kept per contact name for
// as long as the exchange goes on.
class AnswerRules {
public:
    AnswerRules(SettingsStore& settings, Clock& clock) : settings_(settings), clock_(clock) {}

    // Takes the time, and reads the rules every kRereadEveryTicks calls (reading seven values of
    // the settings file each second would cost more than the rest of a tick); at each tick.
    void Refresh();
    // The rules are read again at the next Refresh (the user has just changed them).
    void Reread() { sinceRead_ = 0; }
    const ReplyRules& Rules() const { return rules_; }

    // The contact's own rule, from the settings file.
    ContactRule RuleFor(std::wstring_view contact) { return ReadContactRule(settings_, contact); }
    bool SetRule(std::wstring_view contact, ContactRule rule) {
        return WriteContactRule(settings_, contact, rule);
    }

    // What the user has written since the other party's latest block, as the history shows it
    // now. True when it is new writing and the conversation steps back because of it.
    bool UserWrote(ConversationSlot& slot, std::wstring writing);
    // The other party said something new: whether it may be answered.
    bool Heard(const ConversationSlot& slot, std::wstring_view message);
    // A reply went to the contact.
    void Answered(const std::wstring& contact);
    // Why a listed conversation is not being answered, for the user; empty when nothing holds it.
    std::wstring Reason(const ConversationSlot& slot, bool ticked);

private:
    struct Exchange {
        std::deque<std::int64_t> sent;  // our answers within the cap's span, oldest first
        std::int64_t lastSentMs = 0;
        std::int64_t lastHeardMs = 0;
        bool awaiting = false;      // an answer went out; the next message is the reply to it
        std::uint32_t turns = 0;    // one bit per turn, newest lowest: 1 = faster than a person
        int turnCount = 0;
        bool machine = false;
    };

    // The contact's exchange with quiet spells and old answers forgotten; null when none.
    Exchange* Find(const std::wstring& contact);
    bool CapReached(const Exchange& exchange) const;
    // A time this far ahead as the local clock will show it.
    std::wstring ClockIn(std::int64_t ms) const;

    SettingsStore& settings_;
    Clock& clock_;
    ReplyRules rules_;
    int sinceRead_ = 0;
    std::int64_t now_ = 0;
    int secondOfDay_ = 0;
    std::wstring whenHolds_;  // the hours or the user's presence: why nothing is answered now
    std::map<std::wstring, Exchange> exchanges_;
};

}  // namespace quorvanel
