#pragma once

#include <cstdint>
#include <functional>

#include "bot/bot_client.h"
#include "present/dialogs.h"
#include "present/simulated_typing.h"
#include "relay/conversations.h"
#include "relay/handled_message.h"
#include "relay/relay_engine.h"
#include "relay/window_system.h"
#include "settings/settings_store.h"

namespace quorvanel {

// Carries each noticed message through to a sent reply, one poll tick at a time: the reading
// delay, the bot's answer, restyling, the typing time with its notice, and sending.
//
// A bot request's answer comes later, from the message loop, and anything the pipeline calls may
// dispatch messages, so ticks run inside it. Slots are therefore reached by index only, and at
// most one request is outstanding: a slot whose reading delay would end while another request
// waits stays at its last tick and asks once that request has ended. Each request has an id, and
// only its own end lets the next one go.
class ReplyPipeline final : public ReplyStages {
public:
    ReplyPipeline(WindowSystem& windows, ConversationTable& conversations, BotClient& bot,
                  SimulatedTyping& typing, SettingsStore& settings, Dialogs& dialogs);

    int GetDelayTicks() override;
    void AdvanceReply(int slot) override;
    void DropReply(int slot) override;
    // Told of every reply that went into a conversation.
    void OnSent(std::function<void(int slot)> sent) { sent_ = std::move(sent); }
    // Told what became of each message taken up: sent, or why not.
    void OnHandled(std::function<void(const HandledMessage&)> handled) {
        handled_ = std::move(handled);
    }

    using RequestId = std::uint64_t;
    bool RequestOutstanding() const { return outstanding_ != 0; }
    // Holds every question back while something else asks the bot server (the start of the
    // conversation at start-up), as one of the pipeline's own requests would, until
    // ReleaseQuestions is given the id returned here.
    RequestId HoldQuestions() { return outstanding_ = ++lastRequest_; }
    void ReleaseQuestions(RequestId id) { End(id); }
    // Ends the pipeline for good (the program is closing): pending replies are dropped, each
    // conversation still showing the typing notice gets an empty entry box, and later ticks,
    // including one still unwinding from a message box, show and send nothing.
    void Stop();

private:
    bool Live(int slot) const;
    void AskBot(int slot);
    // The request ends, if it is the one outstanding.
    void End(RequestId id) {
        if (outstanding_ == id) outstanding_ = 0;
    }
    // The answer to a slot's question, whenever it comes: restyled and set to be typed.
    void Deliver(int slot, std::wstring answer);
    void TakeBackNotice(int slot);
    // One tick of a reply's typing: the notice, and the reply when its time has come.
    void Type(int slot);
    void Report(int slot, const std::wstring& heard, ReplyOutcome outcome);

    WindowSystem& windows_;
    ConversationTable& conversations_;
    BotClient& bot_;
    SimulatedTyping& typing_;
    SettingsStore& settings_;
    Dialogs& dialogs_;
    RequestId outstanding_ = 0;  // the request under way, 0 when none
    RequestId lastRequest_ = 0;
    int askingSlot_ = 0;        // whose question the request under way is
    RequestId dropped_ = 0;     // a request whose answer is not to be typed
    bool stopped_ = false;
    std::function<void(int)> sent_;
    std::function<void(const HandledMessage&)> handled_;
};

}  // namespace quorvanel
