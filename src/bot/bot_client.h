#pragma once

#include <string>

namespace quorvanel {

// Answers a chat message the way the bot would; never fails (trouble gives a fixed answer).
class BotClient {
public:
    virtual ~BotClient() = default;
    virtual std::wstring GetBotReply(const std::wstring& message) = 0;
};

}  // namespace quorvanel
