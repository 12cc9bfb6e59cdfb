#include "relay/reply_pipeline.h"

#include "present/restyle.h"
#include "present/typing_notice.h"

namespace quorvanel {

ReplyPipeline::ReplyPipeline(WindowSystem& windows, ConversationTable& conversations,
                             BotClient& bot, SimulatedTyping& typing, SettingsStore& settings,
                             Dialogs& dialogs)
    : windows_(windows),
      conversations_(conversations),
      bot_(bot),
      typing_(typing),
      settings_(settings),
      dialogs_(dialogs) {}

int ReplyPipeline::GetDelayTicks() { return typing_.GetDelayTicks(); }

bool ReplyPipeline::Live(int slot) const {
    return !stopped_ && slot > 0 && static_cast<std::size_t>(slot) < conversations_.size() &&
           conversations_[slot].hWnd != 0;
}

void ReplyPipeline::AdvanceReply(int slot) {
    if (!Live(slot)) return;

    // Reading.
    if (conversations_[slot].DelayTicks > 0) {
        if (conversations_[slot].DelayTicks == 1 && requestOutstanding_) {
            // Another request is waiting for the bot: ask on the first tick after it.
        } else if (--conversations_[slot].DelayTicks == 0) {
            AskBot(slot);
            // The window may have closed while the bot was asked.
            if (!Live(slot)) return;
        }
    }

    // Typing.
    if (conversations_[slot].TypingTicks < 1) return;
    if (conversations_[slot].TypingTicks % 5 != 0) ShowTypingNotice(windows_, conversations_[slot].hWnd);
    if (--conversations_[slot].TypingTicks == 0) {
        SendReply(windows_, conversations_[slot].hWnd, conversations_[slot].ReplyText);
    }
}

void ReplyPipeline::AskBot(int slot) {
    const std::wstring question = conversations_[slot].LastMessage;
    const std::wstring contact = conversations_[slot].Contact;
    requestOutstanding_ = true;
    std::wstring answer;
    try {
        answer = bot_.GetBotReply(question, contact);
    } catch (...) {
        requestOutstanding_ = false;
        throw;
    }
    requestOutstanding_ = false;

    std::wstring reply = RestyleReply(answer, settings_, dialogs_);
    const TypingTime typing = typing_.ComputeTypingTicks(reply);
    int ticks = typing.ticks;
    // A reply too short to take a whole tick at a valid speed still goes out, in this tick; an
    // empty one never does (it would send the contact a lone marker).
    if (typing.validSpeed && ticks < 1 && !reply.empty()) ticks = 1;
    if (reply.empty()) ticks = 0;

    // Index again: the message box of an invalid speed dispatches messages too.
    // A reply still being typed that is replaced by none must not leave its notice behind.
    const bool dropsTypedReply = conversations_[slot].TypingTicks > 0 && ticks == 0;
    conversations_[slot].ReplyText = std::move(reply);
    conversations_[slot].TypingTicks = ticks;
    if (dropsTypedReply) ClearTypingNotice(windows_, conversations_[slot].hWnd);
}

void ReplyPipeline::Stop() {
    stopped_ = true;
    for (std::size_t slot = 1; slot < conversations_.size(); ++slot) {
        if (conversations_[slot].TypingTicks < 1) continue;
        conversations_[slot].TypingTicks = 0;
        ClearTypingNotice(windows_, conversations_[slot].hWnd);
    }
}

}  // namespace quorvanel
