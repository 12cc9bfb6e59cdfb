// A model's answer and a services file, as any bytes: a defined outcome, never a crash or a hang,
// and an answer is always valid UTF-8 within its limit.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qvbot/model.h"
#include "qvbot/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t limit = size == 0 ? 1 : 1 + data[0] % 64;
    if (const auto answer = qvbot::ChatAnswer(bytes, limit)) {
        if (answer->empty() || !qvbot::IsValidUtf8(*answer) ||
            qvbot::DecodeUtf8(*answer).size() > limit)
            std::abort();
    }
    std::vector<std::string> errors;
    qvbot::ReadServices("fuzz.json", bytes, errors);
    qvbot::ParseServiceUrl(bytes);
    return 0;
}
