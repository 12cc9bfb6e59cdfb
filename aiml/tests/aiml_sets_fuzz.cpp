// libFuzzer: any bytes as a set or map file, in each of its forms (the first byte picks one),
// must load or be reported; a 2.0 bot that uses them then answers without crashing or hanging.
#include <cstddef>
#include <cstdint>
#include <string>

#include "qvbot/bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char* const kPaths[] = {"b/sets/s.txt", "b/sets/s.json", "b/s.set",
                                         "b/maps/s.txt", "b/maps/s.json", "b/s.map"};
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    qvbot::Bot bot({{"name", "Fuzz"}});
    qvbot::LoadReport report;
    bot.LoadSetOrMap(kPaths[data[0] % std::size(kPaths)], bytes, report);
    bot.LoadText("fuzz.aiml",
                 "<aiml version=\"2.0\"><category><pattern># <set>s</set> ^</pattern><template>"
                 "<map name=\"s\"><star/></map>|<star index=\"2\"/></template></category></aiml>",
                 report);
    qvbot::Conversation conversation;
    bot.Respond(conversation, bytes.substr(0, 200));
    bot.Respond(conversation, "a b c");
    return 0;
}
