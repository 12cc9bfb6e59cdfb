#include "qvbot/properties.h"

#include "qvbot/text.h"

namespace qvbot {

Properties DefaultProperties() {
    return {{"name", "Kestro"},  {"botid", "5e0a7c31d94b2f68"},
            {"gender", "male"},  {"master", "the Quorvanel project"},
            {"age", "two"},      {"location", "a small server"},
            {"species", "robot"}, {"birthday", "the day its first line was written"}};
}

void ReadProperties(std::string_view name, std::string_view text, Properties& properties,
                    std::vector<std::string>& errors) {
    if (!IsValidUtf8(text)) {
        errors.push_back(std::string(name) + ":1: not UTF-8 text");
        return;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::string trimmed = CollapseSpace(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        const std::size_t eq = trimmed.find('=');
        const std::string key = eq == std::string::npos ? "" : CollapseSpace(trimmed.substr(0, eq));
        if (key.empty() || key.find(' ') != std::string::npos) {
            errors.push_back(std::string(name) + ":" + std::to_string(number) +
                             ": expected \"name = value\"");
            continue;
        }
        properties[key] = CollapseSpace(trimmed.substr(eq + 1));
    }
}

}  // namespace qvbot
