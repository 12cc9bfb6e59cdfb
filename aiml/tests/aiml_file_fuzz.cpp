// libFuzzer: any bytes as an AIML file must load or be reported, and whatever loaded must answer
// a few messages without crashing or hanging.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qvbot/bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvbot::Bot bot({{"name", "Fuzz"}});
    qvbot::LoadReport report;
    bot.LoadText("fuzz.aiml", std::string_view(reinterpret_cast<const char*>(data), size), report);
    qvbot::Conversation conversation;
    for (const char* message : {"hello", "my name is ann. what is my name?", "a b c d e f", "yes"}) {
        bot.Respond(conversation, message);
    }
    return 0;
}
