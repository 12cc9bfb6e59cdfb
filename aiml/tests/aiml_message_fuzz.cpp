// libFuzzer: any bytes as messages to the starter bot, one conversation per input: the first
// byte splits the input into two messages, so that and the predicates are exercised too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "qvbot/bot.h"
#include "qvbot/folder.h"
#include "qvbot/properties.h"
#include "qvbot/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qvbot::Bot* bot = [] {
        auto* loaded = new qvbot::Bot(qvbot::DefaultProperties());
        loaded->LoadFolder(qvbot::DiskFolder(QVBOT_STARTER));
        return loaded;
    }();
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t split = data[0] % (text.size() + 1);
    qvbot::Conversation conversation;
    bot->Respond(conversation, qvbot::ClientTextToUtf8(text.substr(0, split)));
    bot->Respond(conversation, qvbot::ClientTextToUtf8(text.substr(split)));
    return 0;
}
