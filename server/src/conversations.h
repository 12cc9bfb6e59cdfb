// The conversations of all tokens, at most `capacity` of them. When a new token needs room, the
// least recently used conversation goes, but only if it has rested for 30 minutes: a flood of
// new tokens cannot push live conversations out. Without room, a new token's message is answered
// without memory. Each conversation is worked on by one request at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "qvbot/bot.h"
#include "qvbot/lru_map.h"
#include "sync.h"

namespace qvbot {

// Tokens longer than this are cut, so a client cannot make the store hold megabytes of keys.
constexpr std::size_t kMaxTokenChars = 64;
constexpr std::size_t kMaxConversations = 10000;
// A conversation used more recently than this is never dropped to make room.
constexpr std::chrono::minutes kLiveFor{30};

class Conversations {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit Conversations(std::size_t capacity = kMaxConversations, std::uint64_t seed = 0,
                           Clock clock = std::chrono::steady_clock::now)
        : seed_(seed), clock_(std::move(clock)), slots_(capacity) {}

    // Calls f(Conversation&) for the token's conversation: its own, a new one, or (when every
    // place is taken by a live conversation) one that is forgotten afterwards.
    template <typename F>
    auto With(std::string_view token, F f) {
        const std::shared_ptr<Slot> slot = Find(token);
        const std::lock_guard lock(slot->mutex);
        return f(slot->conversation);
    }

    std::size_t Size() {
        const std::lock_guard lock(mutex_);
        return slots_.Size();
    }

  private:
    struct Slot {
        sync::Mutex mutex;
        Conversation conversation;
        std::chrono::steady_clock::time_point used;
    };
    std::shared_ptr<Slot> Find(std::string_view token);

    const std::uint64_t seed_;
    const Clock clock_;
    sync::Mutex mutex_;
    LruMap<std::string, std::shared_ptr<Slot>> slots_;
};

}  // namespace qvbot
