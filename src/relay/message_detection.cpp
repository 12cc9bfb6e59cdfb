#include "relay/message_detection.h"

#include <array>

#include "relay/messenger_window.h"

namespace quorvanel {
namespace {

constexpr std::wstring_view kLineBreak = L"\r\n";
constexpr std::wstring_view kSaysSuffix = L" says:";

// Offset just past the line break that ends the line starting at start, or npos for the last line.
std::size_t NextLineStart(std::wstring_view text, std::size_t start) {
    const std::size_t brk = text.find(kLineBreak, start);
    return brk == std::wstring_view::npos ? brk : brk + kLineBreak.size();
}

// Finds the last occurrence of a pattern, scanning backwards with Horspool's shifts keyed on the
// low byte of the character under the window's first position (characters sharing a low byte
// share the smaller shift, which keeps the search exact).
class ReverseSearcher {
public:
    explicit ReverseSearcher(std::wstring_view pattern) : pattern_(pattern) {
        shift_.fill(pattern.size());
        for (std::size_t k = pattern.size(); k-- > 1;) shift_[pattern[k] & 0xFF] = k;
    }

    // Last start position whose match ends at or before `end`, or npos.
    std::size_t FindLast(std::wstring_view text, std::size_t end) const {
        const std::size_t m = pattern_.size();
        if (m == 0 || end < m) return std::wstring_view::npos;
        std::size_t at = end - m;
        while (true) {
            if (text.substr(at, m) == pattern_) return at;
            const std::size_t shift = shift_[text[at] & 0xFF];
            if (at < shift) return std::wstring_view::npos;
            at -= shift;
        }
    }

private:
    std::wstring_view pattern_;
    std::array<std::size_t, 256> shift_{};
};

std::wstring TrimSpaces(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) return {};
    const std::size_t last = text.find_last_not_of(L' ');
    return std::wstring(text.substr(first, last - first + 1));
}

}  // namespace

std::optional<std::wstring> ExtractLatestBlock(std::wstring_view history, std::wstring_view name) {
    const std::size_t firstBreak = history.find(kLineBreak);
    if (firstBreak == std::wstring_view::npos) return std::nullopt;
    const std::size_t lineOneStart = firstBreak + kLineBreak.size();

    // Speaker search from the last line down to line 1: the last "<CR LF><name> says:" that is
    // followed by CR LF or by the end of the text. The CR LF in front keeps line 0 out. A CR LF
    // cannot overlap another, so the lines found this way are those of a split from the start.
    std::size_t blockStart = lineOneStart;  // no speaker line found: the block starts at line 1
    if (name.find(kLineBreak) == std::wstring_view::npos) {
        std::wstring pattern(kLineBreak);
        pattern += name;
        pattern += kSaysSuffix;
        const ReverseSearcher searcher(pattern);
        std::size_t before = history.size();
        while (true) {
            const std::size_t at = searcher.FindLast(history, before);
            if (at == std::wstring_view::npos) break;
            const std::size_t lineEnd = at + pattern.size();
            if (lineEnd == history.size()) {
                blockStart = std::wstring_view::npos;  // the speaker line is the last line
                break;
            }
            if (history.substr(lineEnd, kLineBreak.size()) == kLineBreak) {
                blockStart = lineEnd + kLineBreak.size();
                break;
            }
            before = at + pattern.size() - 1;  // look further back
        }
    }

    std::wstring block;
    for (std::size_t start = blockStart; start != std::wstring_view::npos;) {
        const std::size_t next = NextLineStart(history, start);
        const std::size_t end = next == std::wstring_view::npos ? history.size()
                                                                 : next - kLineBreak.size();
        const std::wstring_view line = history.substr(start, end - start);
        if (line.ends_with(kSaysSuffix)) break;
        block += line;
        block += L' ';
        start = next;
    }
    return TrimSpaces(CutAtNul(block));
}

}  // namespace quorvanel
