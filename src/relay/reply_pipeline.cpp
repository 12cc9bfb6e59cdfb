#include "relay/reply_pipeline.h"

#include <memory>

#include "bot/bot_server.h"
#include "present/restyle.h"
#include "relay/messenger_window.h"
#include "relay/typing_notice.h"

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
        if (conversations_[slot].DelayTicks == 1 && RequestOutstanding()) {
            // Another request is waiting for the bot: ask on the first tick after it.
        } else if (--conversations_[slot].DelayTicks == 0) {
            AskBot(slot);
            // The window may have closed while the bot was asked.
            if (!Live(slot)) return;
        }
    }

    Type(slot);
}

void ReplyPipeline::Type(int slot) {
    // Typing. A window that does not answer keeps its reply for a later tick: the tick it
    // missed is not counted. The last tick always shows the notice, so whether the window
    // answers now is known before the reply's own messages go: a message that timed out may
    // still be handled later, so once they have gone, they never go again.
    const int typing = conversations_[slot].TypingTicks;
    if (typing < 1) return;
    bool boxFree = true;
    try {
        if (typing % 5 != 0) boxFree = ShowTypingNotice(windows_, conversations_[slot].hWnd);
    } catch (const WindowNotAnswering&) {
        return;
    }
    // Index again: sending dispatches the messages other programs send to this one.
    if (!Live(slot) || conversations_[slot].TypingTicks != typing) return;
    if (!boxFree) {
        // The user is writing there: this reply is dropped, their text left as it is.
        conversations_[slot].TypingTicks = 0;
        Report(slot, conversations_[slot].Asked, ReplyOutcome::UserWriting);
        return;
    }
    if (--conversations_[slot].TypingTicks > 0) return;
    SendResult result = SendResult::Sent;
    try {
        result = SendReply(windows_, conversations_[slot].hWnd, conversations_[slot].ReplyText);
    } catch (const WindowNotAnswering&) {
        // It stopped answering just now: what was queued is handled when it wakes.
        return;
    }
    if (result != SendResult::UserWriting && sent_) sent_(slot);
    Report(slot, conversations_[slot].Asked,
           result == SendResult::UserWriting    ? ReplyOutcome::UserWriting
           : result == SendResult::NoEntryBox   ? ReplyOutcome::NoEntryBox
           : result == SendResult::NoSendButton ? ReplyOutcome::NoSendButton
                                                : conversations_[slot].ReplyKind);
}

void ReplyPipeline::Report(int slot, const std::wstring& heard, ReplyOutcome outcome) {
    if (!handled_) return;
    handled_({conversations_[slot].Contact, heard, conversations_[slot].ReplyText, outcome});
}

void ReplyPipeline::DropReply(int slot) {
    if (!Live(slot)) return;
    // A question already asked: its answer, when it comes, is not typed.
    const bool asking = outstanding_ != 0 && askingSlot_ == slot;
    if (asking) dropped_ = outstanding_;
    const bool reading = conversations_[slot].DelayTicks > 0;
    conversations_[slot].DelayTicks = 0;
    if (conversations_[slot].TypingTicks < 1) {
        // Not answered yet: what was dropped is the latest message, with no reply.
        if (reading || asking) {
            conversations_[slot].ReplyText.clear();
            Report(slot, conversations_[slot].LastMessage, ReplyOutcome::UserWriting);
        }
        return;
    }
    conversations_[slot].TypingTicks = 0;
    Report(slot, conversations_[slot].Asked, ReplyOutcome::UserWriting);
    TakeBackNotice(slot);
}

void ReplyPipeline::TakeBackNotice(int slot) {
    try {
        ClearTypingNotice(windows_, conversations_[slot].hWnd);
    } catch (const WindowNotAnswering&) {
        // A hung messenger keeps its notice; nothing may wait for it.
    }
}

void ReplyPipeline::AskBot(int slot) {
    const std::wstring question = conversations_[slot].LastMessage;
    const std::wstring contact = conversations_[slot].Contact;
    const RequestId id = outstanding_ = ++lastRequest_;
    askingSlot_ = slot;
    // The answer may come at once or from a later message; either way the slot is reached by its
    // index then, and the next question may be asked.
    // An answer that comes within this call is typed by the tick that asked; one that comes later
    // starts its typing at once, as it would have in the tick.
    auto asking = std::make_shared<bool>(true);
    try {
        bot_.Ask(question, contact, [this, slot, id, asking, question](std::wstring answer) {
            End(id);
            if (id == dropped_ || !Live(slot)) return;
            conversations_[slot].Asked = question;
            Deliver(slot, std::move(answer));
            if (!*asking && Live(slot)) Type(slot);
        });
    } catch (...) {
        *asking = false;
        End(id);
        throw;
    }
    *asking = false;
}

void ReplyPipeline::Deliver(int slot, std::wstring answer) {
    const ReplyOutcome kind = answer == kCannedLine1 || answer == kCannedLine2
                                  ? ReplyOutcome::CannedLine
                              : answer == kNoPageAnswer ? ReplyOutcome::ErrorLine
                                                        : ReplyOutcome::Sent;
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
    conversations_[slot].ReplyKind = kind;
    conversations_[slot].TypingTicks = ticks;
    if (ticks == 0) {
        Report(slot, conversations_[slot].Asked,
               conversations_[slot].ReplyText.empty() ? ReplyOutcome::EmptyAnswer
                                                      : ReplyOutcome::InvalidSpeed);
    }
    if (dropsTypedReply) TakeBackNotice(slot);
}

void ReplyPipeline::Stop() {
    stopped_ = true;
    for (std::size_t slot = 1; slot < conversations_.size(); ++slot) {
        if (conversations_[slot].TypingTicks < 1) continue;
        conversations_[slot].TypingTicks = 0;
        TakeBackNotice(static_cast<int>(slot));
    }
}

}  // namespace quorvanel
