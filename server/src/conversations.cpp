#include "conversations.h"

namespace qvbot {

std::shared_ptr<Conversations::Slot> Conversations::Find(std::string_view token) {
    const std::string key(token.substr(0, kMaxTokenChars));
    const auto now = clock_();
    const std::lock_guard lock(mutex_);
    if (const auto it = index_.find(key); it != index_.end()) {
        recent_.splice(recent_.begin(), recent_, it->second);
        it->second->second->used = now;
        return it->second->second;
    }
    auto slot = std::make_shared<Slot>();
    slot->conversation.id = key;
    slot->conversation.random = seed_ ^ std::hash<std::string>{}(key);
    slot->used = now;
    if (index_.size() >= capacity_) {
        if (recent_.empty() || now - recent_.back().second->used < kLiveFor) {
            return slot;  // no room: answered, not kept
        }
        index_.erase(recent_.back().first);
        recent_.pop_back();  // a request still working on it keeps it alive until done
    }
    recent_.emplace_front(key, slot);
    index_.emplace(key, recent_.begin());
    return slot;
}

}  // namespace qvbot
