// One bot folder that every way of reading folders must load alike: AIML in a subfolder under a
// name in another case and script, and 8 folders down (9 is too deep), a load order that puts
// the subfolder first, the same category in two files, substitutions in config/, properties,
// and a file too large to be read.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "qvbot/folder.h"

namespace quorvanel::testing {

inline void WriteSampleBotFolder(const std::filesystem::path& root) {
    const auto category = [](const std::string& pattern, const std::string& answer) {
        return "<category><pattern>" + pattern + "</pattern><template>" + answer +
               "</template></category>";
    };
    const std::pair<std::filesystem::path, std::string> files[] = {
        {"a.aiml", "<aiml>" + category("HELLO", "From a, <bot name=\"name\"/>.") + "</aiml>"},
        {u8"sub/\u00E9t\u00E9.AIML",
         "<aiml>" + category("HELLO", "From sub.") + category("SUB", "Sub.") + "</aiml>"},
        {qvbot::kLoadOrderFile, "# the subfolder first\r\nsub\\\xC3\xA9t\xC3\xA9.AIML\r\n"},
        {"1/2/3/4/5/6/7/8/deep.aiml", "<aiml>" + category("DEEP", "Deep.") + "</aiml>"},
        {"1/2/3/4/5/6/7/8/9/deeper.aiml", "<aiml>" + category("DEEPER", "Deeper.") + "</aiml>"},
        {"config/normal.txt", "\"howdy\",\"hello\"\n"},
        {qvbot::kPropertiesFile, "name = Sample\n"},
        {"big.aiml", ""}};
    for (const auto& [file, text] : files) {
        std::filesystem::create_directories((root / file).parent_path());
        std::ofstream(root / file, std::ios::binary) << text;
    }
    std::filesystem::resize_file(root / "big.aiml", qvbot::kMaxBotFileBytes + 1);
}

inline void ExpectSampleBotFolderLoads(const qvbot::FolderReader& folder) {
    qvbot::LoadReport report;
    const auto bot = qvbot::LoadBot(folder, "", report);
    EXPECT_EQ(report.errors,
              std::vector<std::string>{"big.aiml: cannot be read, or is larger than 32 MiB"});
    qvbot::Conversation conversation;
    const std::pair<const char*, const char*> talk[] = {
        {"howdy", "From a, Sample."}, {"sub", "Sub."}, {"deep", "Deep."}, {"deeper", ""}};
    for (const auto& [say, answer] : talk) {
        EXPECT_EQ(bot->Respond(conversation, say), answer) << say;
    }
}

}  // namespace quorvanel::testing
