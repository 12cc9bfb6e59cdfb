#include "qvbot/graph.h"

#include <algorithm>

namespace qvbot {
namespace {

constexpr std::uint32_t kUnknownWord = 0;  // never on an edge: only wildcards take it
constexpr std::uint32_t kThat = 1;         // the part markers; no input word can be either
constexpr std::uint32_t kTopic = 2;
// Marks the edge of a `$` word, tried before anything else at its node.
constexpr std::uint32_t kPriority = 0x80000000u;

// The ranks of the ways out of a node, in the order a match tries them; shorter wildcard
// matches come first, longer set entries first.
enum Rank : std::uint32_t { kPriorityWord, kHash, kUnderscore, kExact, kSet, kCaret, kStar };
std::uint32_t Step(Rank rank, std::size_t length) {
    return (static_cast<std::uint32_t>(rank) << 24) |
           static_cast<std::uint32_t>(std::min<std::size_t>(length, 0xFFFFFF));
}

std::uint64_t EdgeKey(std::uint32_t node, std::uint32_t word) {
    return (static_cast<std::uint64_t>(node) << 32) | word;
}

}  // namespace

struct WordGraph::Search {
    std::vector<std::uint32_t> path;
    std::vector<const std::string*> shown;  // the word each position returns (null: a marker)
    std::vector<const std::string*> keys;   // the same in upper case, as sets hold them
    const WordSets* sets = nullptr;
    MatchOrder order;
    std::vector<std::pair<std::size_t, std::size_t>> captures;  // [from, to) per wildcard
    std::unordered_set<std::uint64_t> failed;                   // (node, pos) known to fail
    std::vector<std::size_t> part_end;  // per position, where its part ends (the next marker)
    // Per node reached through a wildcard: the first position from which every later one has
    // been tried and failed. Later starts in the same part skip them, so a chain of wildcards
    // costs words times nodes, not words squared.
    std::unordered_map<std::uint32_t, std::size_t> failed_from;
    int leaf = -1;
};

void WordSets::Add(std::string_view name, const std::vector<std::string>& words) {
    if (words.empty()) return;
    auto it = sets_.find(name);
    if (it == sets_.end()) it = sets_.emplace(std::string(name), Set{}).first;
    std::string entry;
    for (const std::string& word : words) {
        if (!entry.empty()) entry += ' ';
        entry += word;
    }
    it->second.entries.insert(std::move(entry));
    it->second.longest = std::max(it->second.longest, words.size());
}

const WordSets::Set* WordSets::Find(std::string_view name) const {
    const auto it = sets_.find(name);
    return it == sets_.end() ? nullptr : &it->second;
}

std::size_t WordSets::MemoryBytes() const {
    std::size_t bytes = 0;
    for (const auto& [name, set] : sets_) {
        bytes += set.entries.bucket_count() * sizeof(void*);
        for (const auto& entry : set.entries)
            bytes += 2 * sizeof(void*) + sizeof(entry) + entry.capacity();
    }
    return bytes;
}

WordGraph::WordGraph() : nodes_(1) {}

std::size_t WordGraph::MemoryBytes() const {
    // Each word sits in a hash node of its own beside the bucket array.
    std::size_t bytes = nodes_.capacity() * sizeof(Node) +
                        edges_.slots_.capacity() * sizeof(EdgeTable::Slot) +
                        words_.bucket_count() * sizeof(void*);
    for (const auto& [word, id] : words_)
        bytes += sizeof(void*) + sizeof(word) + sizeof(id) + word.capacity();
    for (const auto& edges : set_edges_) {
        bytes += sizeof(edges) + edges.capacity() * sizeof(edges[0]);
        for (const auto& [name, child] : edges) bytes += name.capacity();
    }
    return bytes;
}

std::size_t WordGraph::EdgeTable::Home(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & (slots_.size() - 1);
}

std::uint32_t WordGraph::EdgeTable::Find(std::uint64_t key) const {
    for (std::size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i].key == key) return slots_[i].child;
        if (slots_[i].key == ~0ull) return 0;
    }
}

void WordGraph::EdgeTable::Insert(std::uint64_t key, std::uint32_t child) {
    if (2 * (used_ + 1) > slots_.size()) {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        used_ = 0;
        for (const Slot& slot : old) {
            if (slot.key != ~0ull) Insert(slot.key, slot.child);
        }
    }
    std::size_t i = Home(key);
    while (slots_[i].key != ~0ull) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = {key, child};
    ++used_;
}

std::uint32_t WordGraph::WordId(std::string_view word) {
    const auto [it, added] =
        words_.try_emplace(std::string(word), static_cast<std::uint32_t>(words_.size() + 3));
    return it->second;
}

std::uint32_t WordGraph::FindWord(std::string_view word) const {
    const auto it = words_.find(std::string(word));
    return it == words_.end() ? kUnknownWord : it->second;
}

std::uint32_t WordGraph::Child(std::uint32_t node, std::uint32_t word) const {
    return edges_.Find(EdgeKey(node, word));
}

int WordGraph::Add(const std::vector<std::string>& pattern, const std::vector<std::string>& that,
                   const std::vector<std::string>& topic, int id) {
    std::uint32_t node = 0;
    // A wildcard's child is a field of its node; a word's or a set's is found by its key.
    const auto field = [&](const std::string& text) -> std::uint32_t* {
        if (text == "*") return &nodes_[node].star;
        if (text == "_") return &nodes_[node].underscore;
        if (text == "#") return &nodes_[node].hash;
        if (text == "^") return &nodes_[node].caret;
        return nullptr;
    };
    const auto make = [&] {
        nodes_.emplace_back();
        return static_cast<std::uint32_t>(nodes_.size() - 1);
    };
    const auto step = [&](std::uint32_t word, const std::string* text) {
        std::uint32_t next = 0;
        if (std::uint32_t* child = text ? field(*text) : nullptr) {
            if (*child == 0) {
                const std::uint32_t made = make();
                *field(*text) = made;  // the node may have moved as the vector grew
            }
            next = *field(*text);
        } else if (text && text->starts_with("<set>")) {
            const std::string name = text->substr(5);
            if (nodes_[node].sets == 0) {
                nodes_[node].sets = static_cast<std::uint32_t>(set_edges_.size());
                set_edges_.emplace_back();
            }
            for (const auto& [set, child] : set_edges_[nodes_[node].sets]) {
                if (set == name) next = child;
            }
            if (next == 0) {
                next = make();
                set_edges_[nodes_[node].sets].emplace_back(name, next);
            }
        } else {
            next = Child(node, word);
            if (next == 0) {
                next = make();
                edges_.Insert(EdgeKey(node, word), next);
            }
        }
        node = next;
    };
    const auto part = [&](const std::vector<std::string>& words) {
        static const std::string star = "*";
        if (words.empty()) step(0, &star);  // an empty part matches like `*`
        for (const std::string& word : words) {
            if (word.size() > 1 && word[0] == '$') {
                step(WordId(std::string_view(word).substr(1)) | kPriority, nullptr);
            } else {
                const bool wild = word == "*" || word == "_" || word == "#" || word == "^";
                step(wild || word.starts_with("<set>") ? 0 : WordId(word), &word);
            }
        }
    };
    part(pattern);
    step(kThat, nullptr);
    part(that);
    step(kTopic, nullptr);
    part(topic);
    const int before = nodes_[node].leaf;
    nodes_[node].leaf = id;
    return before;
}

bool WordGraph::Walk(Search& search, std::uint32_t node, std::size_t pos) const {
    const std::size_t end = search.path.size();
    if (pos == end && nodes_[node].leaf >= 0) {
        search.leaf = nodes_[node].leaf;
        return true;
    }
    // Whether a match from here succeeds does not depend on how the search got here, so a
    // failure is remembered: wildcards over long inputs stay polynomial.
    const std::uint64_t key = EdgeKey(node, static_cast<std::uint32_t>(pos));
    if (search.failed.contains(key)) return false;

    const auto take = [&](std::uint32_t child, std::size_t to, std::uint32_t step, bool capture) {
        if (capture) search.captures.emplace_back(pos, to);
        search.order.push_back(step);
        if (Walk(search, child, to)) return true;
        if (capture) search.captures.pop_back();
        search.order.pop_back();
        return false;
    };
    // Words up to the next part marker.
    const std::size_t words = pos < end ? search.part_end[pos] - pos : 0;
    const auto wildcard = [&](std::uint32_t child, std::size_t least, Rank rank) {
        if (child == 0) return false;
        const auto [known, added] = search.failed_from.try_emplace(child, pos + words + 1);
        const std::size_t stop = std::min(pos + words + 1, known->second);
        for (std::size_t to = pos + least; to < stop; ++to) {
            if (take(child, to, Step(rank, to - pos), true)) return true;
        }
        // Walks may have added entries: look the node up again.
        auto& from = search.failed_from[child];
        from = std::min(from, pos + least);
        return false;
    };
    const Node& here = nodes_[node];
    const std::uint32_t word = pos < end ? search.path[pos] : kUnknownWord;
    if (word != kUnknownWord && word != kThat && word != kTopic) {
        if (const std::uint32_t child = Child(node, word | kPriority);
            child != 0 && take(child, pos + 1, Step(kPriorityWord, 1), false)) {
            return true;
        }
    }
    if (wildcard(here.hash, 0, kHash) || wildcard(here.underscore, 1, kUnderscore)) return true;
    if (word != kUnknownWord) {
        if (const std::uint32_t child = Child(node, word);
            child != 0 && take(child, pos + 1, Step(kExact, 1), false)) {
            return true;
        }
    }
    if (here.sets != 0 && search.sets && words > 0) {
        for (const auto& [name, child] : set_edges_[here.sets]) {
            const WordSets::Set* set = search.sets->Find(name);
            if (!set) continue;
            // The phrase of every length at once; the longest entry that matches is tried first.
            const std::size_t most = std::min(words, set->longest);
            std::string phrase;
            std::vector<std::size_t> ends;
            for (std::size_t i = 0; i < most; ++i) {
                if (i > 0) phrase += ' ';
                phrase += *search.keys[pos + i];
                ends.push_back(phrase.size());
            }
            for (std::size_t length = most; length > 0; --length) {
                if (set->entries.contains(phrase.substr(0, ends[length - 1])) &&
                    take(child, pos + length, Step(kSet, 0xFFFFFF - length), true)) {
                    return true;
                }
            }
        }
    }
    if (wildcard(here.caret, 0, kCaret) || wildcard(here.star, 1, kStar)) return true;
    search.failed.insert(key);
    return false;
}

int WordGraph::Match(const Input& input, const Input& that, const Input& topic, Stars& stars,
                     const WordSets* sets, MatchOrder* order) const {
    Search search;
    search.sets = sets;
    static const std::string star = "*";
    const auto part = [&](const Input& in) {
        // An empty part is the one word "*", which only a wildcard takes.
        if (in.keys.empty()) {
            search.path.push_back(kUnknownWord);
            search.shown.push_back(&star);
            search.keys.push_back(&star);
        }
        for (std::size_t i = 0; i < in.keys.size(); ++i) {
            search.path.push_back(FindWord(in.keys[i]));
            search.shown.push_back(i < in.words.size() ? &in.words[i] : &in.keys[i]);
            search.keys.push_back(&in.keys[i]);
        }
    };
    part(input);
    const std::size_t that_at = search.path.size();
    search.path.push_back(kThat);
    search.shown.push_back(nullptr);
    search.keys.push_back(nullptr);
    part(that);
    const std::size_t topic_at = search.path.size();
    search.path.push_back(kTopic);
    search.shown.push_back(nullptr);
    search.keys.push_back(nullptr);
    part(topic);

    search.part_end.resize(search.path.size());
    for (std::size_t i = search.path.size(), next = search.path.size(); i-- > 0;) {
        if (!search.shown[i]) next = i;
        search.part_end[i] = next;
    }
    if (!Walk(search, 0, 0)) return -1;
    stars = {};
    for (const auto& [from, to] : search.captures) {
        std::string text;
        for (std::size_t i = from; i < to; ++i) {
            if (!text.empty()) text += ' ';
            text += *search.shown[i];
        }
        // A capture of no words sits at the marker after its part.
        (from <= that_at    ? stars.pattern
         : from <= topic_at ? stars.that
                            : stars.topic)
            .push_back(std::move(text));
    }
    if (order) *order = std::move(search.order);
    return search.leaf;
}

}  // namespace qvbot

