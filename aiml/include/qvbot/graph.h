// The word graph: every category is one path "PATTERN <THAT> THAT <TOPIC> TOPIC" of words. At
// each node a match tries, in this order, a `$`-marked word, `#`, `_`, the exact word, the sets
// named there, `^`, then `*`, backtracking on failure; `#` and `^` take zero words or more, `_`
// and `*` one or more. A failure at a node and position is remembered, so its cost follows the
// input's words and not the number of categories, however many wildcards a path has.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qvbot {

// The words each wildcard or set took, per part of the path, in order of appearance.
struct Stars {
    std::vector<std::string> pattern, that, topic;
};

// Named sets of phrases that patterns match by name (`<set>NAME</set>`). Entries are kept as
// their upper-case words joined by single blanks.
class WordSets {
  public:
    // Adds an entry (words already upper case) to the set `name`, creating it.
    void Add(std::string_view name, const std::vector<std::string>& words);
    bool Has(std::string_view name) const { return sets_.find(name) != sets_.end(); }
    // About the bytes the entries hold.
    std::size_t MemoryBytes() const;

    struct Set {
        std::unordered_set<std::string> entries;
        std::size_t longest = 0;  // words in the longest entry
    };
    const Set* Find(std::string_view name) const;

  private:
    std::map<std::string, Set, std::less<>> sets_;
};

// How a match went, step by step: comparing two of these tells which of two graphs' matches the
// priority order prefers (the smaller), as if their paths were in one graph.
using MatchOrder = std::vector<std::uint32_t>;

class WordGraph {
  public:
    WordGraph();

    // Adds a path (pattern, that and topic words; wildcards as "*", "_", "#" and "^", a priority
    // word as "$WORD", a set as "<set>NAME"). Returns the id a category with this path had
    // before, or -1; the path now leads to `id`.
    int Add(const std::vector<std::string>& pattern, const std::vector<std::string>& that,
            const std::vector<std::string>& topic, int id);

    // The id of the best match, or -1. `words` hold what the stars return for each key (the same
    // count as `keys`, per part).
    struct Input {
        const std::vector<std::string>& keys;
        const std::vector<std::string>& words;
    };
    int Match(const Input& input, const Input& that, const Input& topic, Stars& stars,
              const WordSets* sets = nullptr, MatchOrder* order = nullptr) const;

    std::size_t NodeCount() const { return nodes_.size(); }
    // About the bytes the graph holds: its arrays and its words.
    std::size_t MemoryBytes() const;

  private:
    struct Node {
        std::uint32_t star = 0;        // child through `*` (0: none; the root is never a child)
        std::uint32_t underscore = 0;  // child through `_`
        std::uint32_t hash = 0;        // child through `#`
        std::uint32_t caret = 0;       // child through `^`
        std::uint32_t sets = 0;        // index in set_edges_ (0: none)
        std::int32_t leaf = -1;
    };
    struct Search;

    std::uint32_t WordId(std::string_view word);
    std::uint32_t FindWord(std::string_view word) const;
    std::uint32_t Child(std::uint32_t node, std::uint32_t word) const;
    bool Walk(Search& search, std::uint32_t node, std::size_t pos) const;

    // (node << 32 | word) -> child, open addressing: one flat array, no allocation per edge.
    class EdgeTable {
      public:
        std::uint32_t Find(std::uint64_t key) const;
        void Insert(std::uint64_t key, std::uint32_t child);

      private:
        struct Slot {
            std::uint64_t key = ~0ull;  // ~0: empty (no node has 2^32 - 1 children keys)
            std::uint32_t child = 0;
        };
        std::size_t Home(std::uint64_t key) const;
        friend class WordGraph;
        std::vector<Slot> slots_ = std::vector<Slot>(1024);
        std::size_t used_ = 0;
    };

    std::vector<Node> nodes_;
    EdgeTable edges_;
    // Per node that has any: the sets named there, in the order they were added, and the child.
    std::vector<std::vector<std::pair<std::string, std::uint32_t>>> set_edges_{1};
    std::unordered_map<std::string, std::uint32_t> words_;    // word -> id from 2 up
};

}  // namespace qvbot
