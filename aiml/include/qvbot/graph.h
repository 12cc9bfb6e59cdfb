// The word graph: every category is one path "PATTERN <THAT> THAT <TOPIC> TOPIC" of words. At
// each node a match tries `_`, then the exact word, then `*`, backtracking on failure, so its cost
// follows the input's words and not the number of categories.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qvbot {

// The words each wildcard took, per part of the path, in order of appearance.
struct Stars {
    std::vector<std::string> pattern, that, topic;
};

class WordGraph {
  public:
    WordGraph();

    // Adds a path (pattern, that and topic words, wildcards as "*" and "_"). Returns the id a
    // category with this path had before, or -1; the path now leads to `id`.
    int Add(const std::vector<std::string>& pattern, const std::vector<std::string>& that,
            const std::vector<std::string>& topic, int id);

    // The id of the best match, or -1. `words` hold what the stars return for each key (the same
    // count as `keys`, per part).
    struct Input {
        const std::vector<std::string>& keys;
        const std::vector<std::string>& words;
    };
    int Match(const Input& input, const Input& that, const Input& topic, Stars& stars) const;

    std::size_t NodeCount() const { return nodes_.size(); }
    // About the bytes the graph holds: its arrays and its words.
    std::size_t MemoryBytes() const;

  private:
    struct Node {
        std::uint32_t star = 0;        // child through `*` (0: none; the root is never a child)
        std::uint32_t underscore = 0;  // child through `_`
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
    std::unordered_map<std::string, std::uint32_t> words_;    // word -> id from 2 up
};

}  // namespace qvbot
