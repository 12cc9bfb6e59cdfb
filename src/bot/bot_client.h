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
    // `contact` is the list entry of the conversation that asks.
    virtual std::wstring GetBotReply(const std::wstring& message, const std::wstring& contact) = 0;
    // The same, the answer handed to `done`: at once here, later where the bot is asked over
    // the network.
    virtual void Ask(const std::wstring& message, const std::wstring& contact,
                     std::function<void(std::wstring)> done) {
        done(GetBotReply(message, contact));
    }
};

inline constexpr wchar_t kCannedLine1[] = L"Check this: http://www.example.com/quorvanel/";
inline constexpr wchar_t kCannedLine2[] = L"Check this: http://www.example.org/chatbots/";

// About one message in a hundred is answered with a canned line instead of the bot's answer: one
// draw per message, r * 200 held in single precision and rounded half to even, 2 and 3 being
// 1 in 200 each.
std::optional<std::wstring> DrawCannedLine(RandomSource& random);

}  // namespace quorvanel
