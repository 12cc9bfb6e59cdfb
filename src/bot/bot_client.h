#pragma once

#include <functional>
#include <optional>
#include <string>

#include "present/random_source.h"

namespace quorvanel {

// Answers a chat message the way the bot would; never fails (trouble gives a fixed answer).
class BotClient {
public:
    virtual ~BotClient() = default;
    // The answer to `message` from the conversation of `contact` (its list entry), handed to
    // `done`: at once where the bot is in the program, later from the program's message loop
    // where it is asked over the network.
    virtual void Ask(const std::wstring& message, const std::wstring& contact,
                     std::function<void(std::wstring)> done) = 0;
};

inline constexpr wchar_t kCannedLine1[] = L"Check this: http://www.example.com/quorvanel/";
inline constexpr wchar_t kCannedLine2[] = L"Check this: http://www.example.org/chatbots/";

// About one message in a hundred is answered with a canned line instead of the bot's answer: one
// draw per message, r * 200 held in single precision and rounded half to even, 2 and 3 being
// 1 in 200 each.
std::optional<std::wstring> DrawCannedLine(RandomSource& random);

}  // namespace quorvanel
