// The conversations of all tokens, at most `capacity` of them: the least recently used one goes
// when a new one needs room. Each conversation is worked on by one request at a time.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include "sync.h"
#include <string>
#include <string_view>
#include <unordered_map>

#include "bot.h"

namespace qvbot {

// Tokens longer than this are cut, so a client cannot make the store hold megabytes of keys.
constexpr std::size_t kMaxTokenChars = 64;
constexpr std::size_t kMaxConversations = 10000;

class Conversations {
  public:
    explicit Conversations(std::size_t capacity = kMaxConversations, std::uint64_t seed = 0)
        : capacity_(capacity), seed_(seed) {}

    // Calls f(Conversation&) for the token's conversation, new when it has none.
    template <typename F>
    auto With(std::string_view token, F f) {
        const std::shared_ptr<Slot> slot = Find(token);
        const std::lock_guard lock(slot->mutex);
        return f(slot->conversation);
    }

    std::size_t Size() {
        const std::lock_guard lock(mutex_);
        return index_.size();
    }

  private:
    struct Slot {
        sync::Mutex mutex;
        Conversation conversation;
    };
    using Entry = std::pair<std::string, std::shared_ptr<Slot>>;
    std::shared_ptr<Slot> Find(std::string_view token);

    const std::size_t capacity_;
    const std::uint64_t seed_;
    sync::Mutex mutex_;
    std::list<Entry> recent_;  // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

}  // namespace qvbot
