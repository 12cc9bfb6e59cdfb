#include "bot/html_entities.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

namespace quorvanel::html {
namespace {

constexpr NamedReference kReferences[] = {
#include "bot/html_entities.inc"
};

static_assert(std::ranges::is_sorted(kReferences, {}, &NamedReference::name),
              "the prefix search needs the names sorted");

static_assert(std::size(kReferences) < 0xFFFF, "indexes are 16 bits");

struct Range {
    std::uint16_t begin = 0;
    std::uint16_t end = 0;
};

// Where the names of each first letter lie, so that a search starts in a few dozen names.
constexpr std::array<Range, 128> IndexByFirstCharacter() {
    std::array<Range, 128> index{};
    for (std::size_t i = 0; i < std::size(kReferences); ++i) {
        Range& r = index[static_cast<unsigned char>(kReferences[i].name[0]) & 0x7F];
        if (r.end == 0) r.begin = static_cast<std::uint16_t>(i);
        r.end = static_cast<std::uint16_t>(i + 1);
    }
    return index;
}

constexpr std::array<Range, 128> kByFirstCharacter = IndexByFirstCharacter();

}  // namespace

std::span<const NamedReference> NamedReferences() {
    return kReferences;
}

const NamedReference* LongestNamedReference(std::wstring_view text) {
    // [lo, hi) holds the names that start with the characters read so far; the shortest of
    // them, if any equals those characters exactly, sorts first.
    if (text.empty() || static_cast<std::uint32_t>(text[0]) > 0x7F) return nullptr;
    const Range first = kByFirstCharacter[static_cast<std::size_t>(text[0])];
    const NamedReference* lo = std::begin(kReferences) + first.begin;
    const NamedReference* hi = std::begin(kReferences) + first.end;
    const NamedReference* best = lo != hi && lo->name.size() == 1 ? lo : nullptr;
    for (std::size_t k = 1; k < text.size() && lo != hi; ++k) {
        const auto unit = static_cast<std::uint32_t>(text[k]);
        if (unit > 0x7F) break;  // names are ASCII
        const char c = static_cast<char>(unit);
        // Names of length k (equal to the prefix) order before every longer one.
        const auto below = [k](const NamedReference& r, char ch) {
            return r.name.size() <= k || r.name[k] < ch;
        };
        const auto above = [k](char ch, const NamedReference& r) {
            return r.name.size() > k && ch < r.name[k];
        };
        lo = std::lower_bound(lo, hi, c, below);
        hi = std::upper_bound(lo, hi, c, above);
        if (lo != hi && lo->name.size() == k + 1) best = lo;
    }
    return best;
}

}  // namespace quorvanel::html
