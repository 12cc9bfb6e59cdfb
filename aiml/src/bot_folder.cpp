// Loading a bot from a folder through the C++ library's file system: for programs that have it
// (the bot server, the tests). The program beside the messenger reads folders its own way.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "bot.h"
#include "text.h"

namespace qvbot {

LoadReport Bot::LoadFolder(const std::filesystem::path& folder) {
    LoadReport report;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(folder, error)) {
        report.errors.push_back(folder.string() + ": no such folder");
        return report;
    }
    for (std::filesystem::recursive_directory_iterator it(folder, error), end;
         !error && it != end; it.increment(error)) {
        const std::string extension = Lower(it->path().extension().string());
        if (extension == ".aiml" && it->is_regular_file(error)) files.push_back(it->path());
    }
    if (error) report.errors.push_back(folder.string() + ": " + error.message());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        if (!in && !in.eof()) {
            report.errors.push_back(file.string() + ": cannot be read");
            continue;
        }
        LoadText(file.string(), bytes, report);
    }
    return report;
}

}  // namespace qvbot
