// Loading a bot from a folder through the C++ library's file system: for programs that have it
// (the bot server, the tests). The program beside the messenger reads folders its own way.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "qvbot/bot.h"
#include "qvbot/text.h"

namespace qvbot {

namespace {

bool ReadAll(const std::filesystem::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

LoadReport Bot::LoadFolder(const std::filesystem::path& folder) {
    LoadReport report;
    std::error_code error;
    std::vector<std::string> files;  // relative to the folder, with forward slashes
    if (!std::filesystem::is_directory(folder, error)) {
        report.errors.push_back(folder.string() + ": no such folder");
        return report;
    }
    for (std::filesystem::recursive_directory_iterator it(folder, error), end;
         !error && it != end; it.increment(error)) {
        const std::string extension = Lower(it->path().extension().string());
        if (extension == ".aiml" && it->is_regular_file(error)) {
            files.push_back(it->path().lexically_relative(folder).generic_string());
        }
    }
    if (error) report.errors.push_back(folder.string() + ": " + error.message());
    // Substitution files beside the AIML, or in its config folder as some sets keep them.
    for (const char* name : kSubstitutionFiles) {
        for (const auto& place : {folder / name, folder / "config" / name}) {
            std::string text;
            if (std::filesystem::is_regular_file(place, error) && ReadAll(place, text)) {
                LoadSubstitutions(place.string(), text, report);
                break;
            }
        }
    }
    std::string order;
    ReadAll(folder / kLoadOrderFile, order);
    for (const auto& name : LoadOrder(std::move(files), order)) {
        const std::filesystem::path file = folder / name;
        std::string bytes;
        if (!ReadAll(file, bytes)) {
            report.errors.push_back(file.string() + ": cannot be read");
            continue;
        }
        LoadText(file.string(), bytes, report);
    }
    return report;
}

}  // namespace qvbot
