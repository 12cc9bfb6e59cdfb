#include "store.h"

namespace qvbot {

std::optional<std::string> MemoryStore::Answer(const std::string& botid, const std::string& token,
                                               const Respond& respond) {
    Conversations* conversations = nullptr;
    {
        const std::lock_guard lock(mutex_);
        auto& slot = bots_[botid];
        if (!slot) slot = std::make_unique<Conversations>(kMaxConversations, seed_);
        conversations = slot.get();  // stores are never removed, so it outlives the lock
    }
    return conversations->With(token, respond);
}

}  // namespace qvbot
