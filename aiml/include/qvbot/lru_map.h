// A map of bounded size that forgets the entry used longest ago, for per-contact state that a
// stream of new names must not grow without end. Not locked: its owner guards it if it must.
#pragma once

#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>

namespace qvbot {

template <typename Key, typename Value>
class LruMap {
  public:
    explicit LruMap(std::size_t capacity) : capacity_(capacity) {}

    // The value of `key`, now the most recently used; null when there is none.
    Value* Find(const Key& key) {
        const auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        recent_.splice(recent_.begin(), recent_, it->second);
        return &it->second->second;
    }

    // Adds `key`, which must be absent, as the most recently used. When the map is full, the
    // least recently used entry goes, unless mayEvict(its value) is false: then nothing is
    // added, and the result is null.
    template <typename MayEvict>
    Value* Insert(const Key& key, Value value, MayEvict mayEvict) {
        if (recent_.size() >= capacity_) {
            if (recent_.empty() || !mayEvict(std::as_const(recent_.back().second))) return nullptr;
            index_.erase(recent_.back().first);
            recent_.pop_back();
        }
        recent_.emplace_front(key, std::move(value));
        index_.emplace(key, recent_.begin());
        return &recent_.front().second;
    }
    Value* Insert(const Key& key, Value value) {
        return Insert(key, std::move(value), [](const Value&) { return true; });
    }

    std::size_t Size() const { return recent_.size(); }
    void Clear() {
        index_.clear();
        recent_.clear();
    }

  private:
    using Entry = std::pair<Key, Value>;
    const std::size_t capacity_;
    std::list<Entry> recent_;  // most recently used first
    std::unordered_map<Key, typename std::list<Entry>::iterator> index_;
};

}  // namespace qvbot
