// The bot's properties file: "name = value" lines, '#' comments, UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qvbot/bot.h"

namespace qvbot {

// The properties a bot has when its file does not say otherwise.
Properties DefaultProperties();

// Reads `text` over `properties`; a line that is not "name = value" is reported as
// "file:line: what is wrong" and skipped.
void ReadProperties(std::string_view name, std::string_view text, Properties& properties,
                    std::vector<std::string>& errors);

}  // namespace qvbot
