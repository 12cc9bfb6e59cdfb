#include "conversations.h"

namespace qvbot {

std::shared_ptr<Conversations::Slot> Conversations::Find(std::string_view token) {
    const std::string key(token.substr(0, kMaxTokenChars));
    const auto now = clock_();
    const std::lock_guard lock(mutex_);
    if (const auto found = slots_.Find(key)) {
        (*found)->used = now;
        return *found;
    }
    auto slot = std::make_shared<Slot>();
    slot->conversation.id = key;
    slot->conversation.random = seed_ ^ std::hash<std::string>{}(key);
    slot->used = now;
    // Without room, the new token is answered but not kept. A request still working on a
    // conversation that goes keeps it alive until done.
    slots_.Insert(key, slot,
                  [&](const std::shared_ptr<Slot>& oldest) { return now - oldest->used >= kLiveFor; });
    return slot;
}

}  // namespace qvbot
