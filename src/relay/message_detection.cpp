#include "relay/message_detection.h"

#include <array>

#include "relay/conversations.h"
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

// The other party's speaker line found last before `before` (the last "<CR LF><name> says:"
// ending there or earlier that is followed by CR LF or by the end of the text): where it starts,
// and where its block starts (npos when it is the history's last line). Without one, the block
// starts at line 1. The CR LF in front keeps line 0 out. A CR LF cannot overlap another, so the
// lines found this way are those of a split from the start.
struct SpeakerLine {
    std::size_t at = std::wstring_view::npos;
    std::size_t blockStart;
};
SpeakerLine FindSpeakerLine(std::wstring_view history, const std::wstring& pattern,
                            const ReverseSearcher& searcher, std::size_t lineOneStart,
                            std::size_t before) {
    if (pattern.find(kLineBreak, kLineBreak.size()) != std::wstring::npos) return {std::wstring_view::npos, lineOneStart};
    while (true) {
        const std::size_t at = searcher.FindLast(history, before);
        if (at == std::wstring_view::npos) return {std::wstring_view::npos, lineOneStart};
        const std::size_t lineEnd = at + pattern.size();
        if (lineEnd == history.size()) return {at, std::wstring_view::npos};
        if (history.substr(lineEnd, kLineBreak.size()) == kLineBreak) {
            return {at, lineEnd + kLineBreak.size()};
        }
        before = at + pattern.size() - 1;  // look further back
    }
}

// The lines from start up to the next speaker line, each followed by one space, cut at the first
// NUL and trimmed; `start` is left at that speaker line, or npos at the end.
std::wstring CollectBlock(std::wstring_view history, std::size_t& start) {
    std::wstring block;
    while (start != std::wstring_view::npos) {
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

}  // namespace

LatestLines ReadLatestLines(std::wstring_view history, std::wstring_view name) {
    LatestLines lines;
    const std::size_t firstBreak = history.find(kLineBreak);
    if (firstBreak == std::wstring_view::npos) return lines;
    const std::size_t lineOneStart = firstBreak + kLineBreak.size();
    std::wstring pattern(kLineBreak);
    pattern += name;
    pattern += kSaysSuffix;
    const ReverseSearcher searcher(pattern);
    const SpeakerLine latest = FindSpeakerLine(history, pattern, searcher, lineOneStart, history.size());
    std::size_t at = latest.blockStart;
    lines.block = CollectBlock(history, at);

    // The user's writing counts from the other party's block before the latest: a line the user
    // wrote just before the other party's latest one is still seen.
    at = latest.at == std::wstring_view::npos
             ? latest.blockStart
             : FindSpeakerLine(history, pattern, searcher, lineOneStart, latest.at + pattern.size() - 1).blockStart;
    CollectBlock(history, at);
    const std::wstring_view otherParty(pattern.data() + kLineBreak.size(), pattern.size() - kLineBreak.size());
    while (at != std::wstring_view::npos) {
        const std::size_t next = NextLineStart(history, at);
        const bool theirs = next != std::wstring_view::npos &&
                            history.substr(at, next - kLineBreak.size() - at) == otherParty;
        at = next;
        const std::wstring text = CollectBlock(history, at);
        if (!theirs && !text.empty() && text.back() != kOwnLineMarker) lines.userWriting = text;
    }
    return lines;
}

std::optional<std::wstring> ExtractLatestBlock(std::wstring_view history, std::wstring_view name) {
    return ReadLatestLines(history, name).block;
}

}  // namespace quorvanel
