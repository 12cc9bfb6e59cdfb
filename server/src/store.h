// Where the bot server keeps its conversations: in this process (the default, for one machine)
// or in Redis, shared by every instance. Either way a conversation is named by its bot's id and
// its token, and an answer works on it whole.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "conversations.h"
#include "qvbot/bot.h"
#include "sync.h"

namespace qvbot {

class ConversationStore {
  public:
    using Respond = std::function<std::string(Conversation&)>;
    virtual ~ConversationStore() = default;
    // Runs `respond` on the conversation of (botid, token) and keeps what it changed. nullopt
    // when the store cannot be reached in time; the caller answers that the service is busy.
    // `respond` may run more than once (on a newer state) when another answer came between.
    virtual std::optional<std::string> Answer(const std::string& botid, const std::string& token,
                                              const Respond& respond) = 0;
    // Whether answers can be kept now.
    virtual bool Healthy() = 0;
};

// The conversations in this process, a bounded store per bot.
class MemoryStore final : public ConversationStore {
  public:
    explicit MemoryStore(std::uint64_t seed) : seed_(seed) {}
    std::optional<std::string> Answer(const std::string& botid, const std::string& token,
                                      const Respond& respond) override;
    bool Healthy() override { return true; }

  private:
    const std::uint64_t seed_;
    sync::Mutex mutex_;
    std::map<std::string, std::unique_ptr<Conversations>, std::less<>> bots_;
};

}  // namespace qvbot
