// libFuzzer target: a conversation history and the other party's name, both any UTF-8 bytes (the
// first byte gives the name's length), through message detection. The result is compared with a
// plain line-by-line reading of the same history.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bot/http_client.h"
#include "relay/message_detection.h"

namespace {

std::optional<std::wstring> ReadLineByLine(std::wstring_view history, std::wstring_view name) {
    std::vector<std::wstring_view> lines;
    for (std::size_t start = 0;;) {
        const std::size_t brk = history.find(L"\r\n", start);
        lines.push_back(history.substr(start, brk == std::wstring_view::npos ? brk : brk - start));
        if (brk == std::wstring_view::npos) break;
        start = brk + 2;
    }
    if (lines.size() < 2) return std::nullopt;
    const std::wstring speaker = std::wstring(name) + L" says:";
    std::size_t first = 1;
    for (std::size_t i = lines.size(); i-- > 1;) {
        if (lines[i] == speaker) {
            first = i + 1;
            break;
        }
    }
    std::wstring block;
    for (std::size_t i = first; i < lines.size() && !lines[i].ends_with(L" says:"); ++i) {
        block.append(lines[i]).push_back(L' ');
    }
    block.resize(std::min(block.size(), block.find(L'\0')));
    const std::size_t from = block.find_first_not_of(L' ');
    if (from == std::wstring::npos) return std::wstring();
    return block.substr(from, block.find_last_not_of(L' ') - from + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nameBytes = std::min<std::size_t>(data[0] % 32, bytes.size());
    const std::wstring name = quorvanel::DecodeUtf8(bytes.substr(0, nameBytes));
    const std::wstring history = quorvanel::DecodeUtf8(bytes.substr(nameBytes));

    if (quorvanel::ExtractLatestBlock(history, name) != ReadLineByLine(history, name)) {
        __builtin_trap();
    }
    return 0;
}
