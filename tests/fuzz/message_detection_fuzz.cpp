// libFuzzer target: a conversation history and the other party's name, both any UTF-8 bytes (the
// first byte gives the name's length), through message detection. A block found is part of the
// history's text: never longer, without line breaks or NULs, and trimmed of spaces.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qvbot/text.h"
#include "relay/message_detection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nameBytes = std::min<std::size_t>(data[0] % 32, bytes.size());
    const std::wstring name = qvbot::WideFromUtf8(bytes.substr(0, nameBytes));
    const std::wstring history = qvbot::WideFromUtf8(bytes.substr(nameBytes));
    const auto block = quorvanel::ExtractLatestBlock(history, name);
    if (!block) return 0;
    if (block->size() > history.size() || block->find(L"\r\n") != std::wstring::npos ||
        block->find(L'\0') != std::wstring::npos ||
        (!block->empty() && (block->front() == L' ' || block->back() == L' '))) {
        __builtin_trap();
    }
    return 0;
}
