#include "relay/answer_rules.h"

#include <bit>

namespace quorvanel {
namespace {

constexpr std::int64_t kMinuteMs = 60 * 1000;

}  // namespace

void AnswerRules::Refresh() {
    if (sinceRead_ == 0) rules_ = ReadReplyRules(settings_);
    sinceRead_ = (sinceRead_ + 1) % kRereadEveryTicks;
    now_ = clock_.NowMs();
    secondOfDay_ = clock_.SecondOfDay();
    whenHolds_.clear();
    if (rules_.when == AnswerWhen::Hours &&
        !WithinHours(secondOfDay_ / 60, rules_.hoursFrom, rules_.hoursTo)) {
        whenHolds_ = L"outside the hours";
    } else if (rules_.when == AnswerWhen::Away && clock_.IdleMs() < rules_.awayMinutes * kMinuteMs) {
        whenHolds_ = L"not while you are here";
    }
    // Exchanges that have ended are forgotten, so that the table holds only the current ones.
    for (auto it = exchanges_.begin(); it != exchanges_.end();) {
        Exchange* exchange = Find(it->first);
        const bool over = exchange->sent.empty() && now_ - exchange->lastHeardMs >= kQuietMs &&
                          now_ - exchange->lastSentMs >= kQuietMs;
        it = over ? exchanges_.erase(it) : std::next(it);
    }
}

AnswerRules::Exchange* AnswerRules::Find(const std::wstring& contact) {
    auto it = exchanges_.find(contact);
    if (it == exchanges_.end()) return nullptr;
    Exchange& exchange = it->second;
    const std::int64_t span = rules_.capMinutes * kMinuteMs;
    while (!exchange.sent.empty() && now_ - exchange.sent.front() >= span) exchange.sent.pop_front();
    if (now_ - exchange.lastHeardMs >= kQuietMs && now_ - exchange.lastSentMs >= kQuietMs) {
        exchange.machine = false;
        exchange.turns = 0;
        exchange.turnCount = 0;
        exchange.awaiting = false;
    }
    return &exchange;
}

bool AnswerRules::CapReached(const Exchange& exchange) const {
    return exchange.sent.size() >= static_cast<std::size_t>(rules_.capAnswers);
}

bool AnswerRules::UserWrote(ConversationSlot& slot, std::wstring writing) {
    if (writing == slot.UserWriting) return false;
    slot.UserWriting = std::move(writing);
    if (slot.UserWriting.empty() || rules_.stepBackMinutes == 0) return false;
    slot.StepBackUntilMs = now_ + rules_.stepBackMinutes * kMinuteMs;
    return true;
}

bool AnswerRules::Heard(const ConversationSlot& slot, std::wstring_view message) {
    Exchange* exchange = Find(slot.Contact);
    if (exchange == nullptr) exchange = &exchanges_[slot.Contact];
    if (exchange->awaiting) {
        exchange->awaiting = false;
        const bool fast = now_ - exchange->lastSentMs <
                          static_cast<std::int64_t>(message.size()) * kHumanMsPerChar;
        exchange->turns = (exchange->turns << 1 | (fast ? 1u : 0u)) & ((1u << kTurnsWatched) - 1);
        if (exchange->turnCount < kTurnsWatched) ++exchange->turnCount;
        if (std::popcount(exchange->turns) >= kMachineTurns) exchange->machine = true;
    }
    exchange->lastHeardMs = now_;

    if (exchange->machine || CapReached(*exchange)) return false;
    if (now_ < slot.StepBackUntilMs) return false;
    return whenHolds_.empty();
}

void AnswerRules::Answered(const std::wstring& contact) {
    Exchange* exchange = Find(contact);
    if (exchange == nullptr) exchange = &exchanges_[contact];
    exchange->sent.push_back(now_);
    exchange->lastSentMs = now_;
    exchange->awaiting = true;
}

std::wstring AnswerRules::Reason(const ConversationSlot& slot, bool ticked) {
    if (!ticked) return slot.Rule == ContactRule::Never ? L"never" : L"";
    if (const Exchange* exchange = Find(slot.Contact)) {
        if (exchange->machine) return L"another robot";
        if (CapReached(*exchange)) {
            return L"limit reached until " +
                   ClockIn(exchange->sent.front() + rules_.capMinutes * kMinuteMs - now_);
        }
    }
    if (now_ < slot.StepBackUntilMs) return L"stepped back until " + ClockIn(slot.StepBackUntilMs - now_);
    return whenHolds_;
}

std::wstring AnswerRules::ClockIn(std::int64_t ms) const {
    // Rounded up to the minute, so that the time shown has always passed when the hold ends.
    const std::int64_t seconds = secondOfDay_ + (ms + 999) / 1000;
    return FormatClockTime(static_cast<int>((seconds + 59) / 60 % kMinutesPerDay));
}

}  // namespace quorvanel
