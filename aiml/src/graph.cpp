#include "qvbot/graph.h"

namespace qvbot {
namespace {

constexpr std::uint32_t kUnknownWord = 0;  // never on an edge: only wildcards take it
constexpr std::uint32_t kThat = 1;         // the part markers; no input word can be either
constexpr std::uint32_t kTopic = 2;

std::uint64_t EdgeKey(std::uint32_t node, std::uint32_t word) {
    return (static_cast<std::uint64_t>(node) << 32) | word;
}

}  // namespace

struct WordGraph::Search {
    std::vector<std::uint32_t> path;
    std::vector<const std::string*> shown;  // the word each position returns (null: a marker)
    std::vector<std::pair<std::size_t, std::size_t>> captures;  // [from, to) per wildcard
    std::unordered_set<std::uint64_t> failed;                   // (node, pos) known to fail
    int leaf = -1;
};

WordGraph::WordGraph() : nodes_(1) {}

std::size_t WordGraph::MemoryBytes() const {
    // Each word sits in a hash node of its own beside the bucket array.
    std::size_t bytes = nodes_.capacity() * sizeof(Node) +
                        edges_.slots_.capacity() * sizeof(EdgeTable::Slot) +
                        words_.bucket_count() * sizeof(void*);
    for (const auto& [word, id] : words_)
        bytes += sizeof(void*) + sizeof(word) + sizeof(id) + word.capacity();
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
    const auto step = [&](std::uint32_t word, const std::string* text) {
        std::uint32_t next = 0;
        if (text && *text == "*") {
            next = nodes_[node].star;
        } else if (text && *text == "_") {
            next = nodes_[node].underscore;
        } else {
            next = Child(node, word);
        }
        if (next == 0) {
            next = static_cast<std::uint32_t>(nodes_.size());
            nodes_.emplace_back();
            if (text && *text == "*") {
                nodes_[node].star = next;
            } else if (text && *text == "_") {
                nodes_[node].underscore = next;
            } else {
                edges_.Insert(EdgeKey(node, word), next);
            }
        }
        node = next;
    };
    const auto part = [&](const std::vector<std::string>& words) {
        static const std::string star = "*";
        if (words.empty()) step(0, &star);  // an empty part matches like `*`
        for (const std::string& word : words) {
            step(word == "*" || word == "_" ? 0 : WordId(word), &word);
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
    if (pos == end) {
        if (nodes_[node].leaf < 0) return false;
        search.leaf = nodes_[node].leaf;
        return true;
    }
    // Whether a match from here succeeds does not depend on how the search got here, so a
    // failure is remembered: wildcards over long inputs stay polynomial.
    const std::uint64_t key = EdgeKey(node, static_cast<std::uint32_t>(pos));
    if (search.failed.contains(key)) return false;

    const auto wildcard = [&](std::uint32_t child) {
        if (child == 0) return false;
        // A wildcard takes one word or more, never a part marker.
        for (std::size_t to = pos + 1; to <= end && search.shown[to - 1]; ++to) {
            search.captures.emplace_back(pos, to);
            if (Walk(search, child, to)) return true;
            search.captures.pop_back();
        }
        return false;
    };
    if (wildcard(nodes_[node].underscore)) return true;
    if (const std::uint32_t child = Child(node, search.path[pos]);
        child != 0 && search.path[pos] != kUnknownWord && Walk(search, child, pos + 1)) {
        return true;
    }
    if (wildcard(nodes_[node].star)) return true;
    search.failed.insert(key);
    return false;
}

int WordGraph::Match(const Input& input, const Input& that, const Input& topic,
                     Stars& stars) const {
    Search search;
    static const std::string star = "*";
    const auto part = [&](const Input& in) {
        // An empty part is the one word "*", which only a wildcard takes.
        if (in.keys.empty()) {
            search.path.push_back(kUnknownWord);
            search.shown.push_back(&star);
        }
        for (std::size_t i = 0; i < in.keys.size(); ++i) {
            search.path.push_back(FindWord(in.keys[i]));
            search.shown.push_back(i < in.words.size() ? &in.words[i] : &in.keys[i]);
        }
    };
    part(input);
    const std::size_t that_at = search.path.size();
    search.path.push_back(kThat);
    search.shown.push_back(nullptr);
    part(that);
    const std::size_t topic_at = search.path.size();
    search.path.push_back(kTopic);
    search.shown.push_back(nullptr);
    part(topic);

    if (!Walk(search, 0, 0)) return -1;
    stars = {};
    for (const auto& [from, to] : search.captures) {
        std::string text;
        for (std::size_t i = from; i < to; ++i) {
            if (!text.empty()) text += ' ';
            text += *search.shown[i];
        }
        (from < that_at ? stars.pattern : from < topic_at ? stars.that : stars.topic)
            .push_back(std::move(text));
    }
    return search.leaf;
}

}  // namespace qvbot

