#include "relay/message_detection.h"

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

    std::wstring speaker(name);
    speaker += kSaysSuffix;

    // Speaker search from the last line down to line 1. A CR LF cannot overlap another, so
    // splitting from the end finds the same lines as splitting from the start.
    std::size_t blockStart = lineOneStart;  // no speaker line found: the block starts at line 1
    std::size_t lineEnd = history.size();
    while (true) {
        const std::size_t brk = history.substr(0, lineEnd).rfind(kLineBreak);
        const std::size_t lineStart = brk + kLineBreak.size();  // brk >= firstBreak here
        if (history.substr(lineStart, lineEnd - lineStart) == speaker) {
            blockStart = lineEnd == history.size() ? std::wstring_view::npos
                                                   : lineEnd + kLineBreak.size();
            break;
        }
        if (lineStart == lineOneStart) break;
        lineEnd = brk;
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
