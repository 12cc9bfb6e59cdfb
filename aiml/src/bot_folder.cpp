// Finding, ordering and loading the files of a bot folder, whatever reads them.
#include <algorithm>
#include <optional>

#include "qvbot/bot.h"
#include "qvbot/folder.h"
#include "qvbot/properties.h"
#include "qvbot/text.h"

namespace qvbot {
namespace {

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string Join(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    const bool slash = folder.back() == '/' || folder.back() == '\\';
    return std::string(folder) + (slash ? "" : "/") + std::string(name);
}

// The file called `file` in the folder at `path`, named as listed: the folder may spell it in
// another case, which Windows reads as the same file and other systems do not.
std::optional<std::string> FindFile(const FolderReader& folder, const std::string& path,
                                    std::string_view file) {
    std::optional<std::string> found;
    folder.List(path, [&](const std::string& name, bool isFolder) {
        if (!found && !isFolder && AsciiLower(name) == file) found = Join(path, name);
    });
    return found;
}

// The AIML files in the folder at `path` and the folders below it, to kMaxFolderDepth, and the
// set and map files: *.set and *.map anywhere, *.txt and *.json in folders named sets or maps.
void FindAiml(const FolderReader& folder, const std::string& path, int depth,
              std::vector<std::string>& found, std::vector<std::string>& sets_and_maps) {
    const std::string here = AsciiLower(path.substr(path.find_last_of('/') + 1));
    folder.List(path, [&](const std::string& name, bool isFolder) {
        const std::string lower = AsciiLower(name);
        if (isFolder) {
            if (depth < kMaxFolderDepth)
                FindAiml(folder, Join(path, name), depth + 1, found, sets_and_maps);
        } else if (name.size() > 5 && lower.ends_with(".aiml")) {
            found.push_back(Join(path, name));
        } else if (lower.ends_with(".set") || lower.ends_with(".map") ||
                   ((here == "sets" || here == "maps") &&
                    (lower.ends_with(".txt") || lower.ends_with(".json")))) {
            sets_and_maps.push_back(Join(path, name));
        }
    });
}

// Reads a file the folder listed; one that cannot be read is reported.
bool ReadListed(const FolderReader& folder, std::string_view name, const std::string& path,
                std::string& bytes, std::vector<std::string>& errors) {
    if (folder.Read(path, bytes, kMaxBotFileBytes)) return true;
    errors.push_back(Join(name, path) + ": cannot be read, or is larger than 32 MiB");
    return false;
}

// AIML file names in the order they load: those the order file names, in its order, then the
// rest by name.
std::vector<std::string> LoadOrder(std::vector<std::string> names, std::string_view order) {
    std::sort(names.begin(), names.end());
    std::vector<std::string> ordered;
    std::vector<char> taken(names.size(), 0);
    while (!order.empty()) {
        const std::size_t end = order.find('\n');
        std::string_view line = order.substr(0, end);
        order = end == std::string_view::npos ? std::string_view() : order.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        if (line.empty() || line.front() == '#') continue;
        for (std::size_t i = 0; i < names.size(); ++i) {
            // Folders may be written with either slash.
            std::string name = names[i];
            std::replace(name.begin(), name.end(), '\\', '/');
            std::string wanted(line);
            std::replace(wanted.begin(), wanted.end(), '\\', '/');
            if (!taken[i] && name == wanted) {
                taken[i] = 1;
                ordered.push_back(names[i]);
            }
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!taken[i]) ordered.push_back(names[i]);
    }
    return ordered;
}

}  // namespace

std::optional<std::string> AddLearnedCategory(std::string_view file, std::string_view category) {
    constexpr std::string_view kEnd = "</aiml>\n";
    std::string out;
    if (file.empty()) {
        out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<aiml version=\"2.0\">\n";
    } else if (file.ends_with(kEnd)) {
        out = file.substr(0, file.size() - kEnd.size());
    } else {
        return std::nullopt;
    }
    out += std::string(category) + "\n" + std::string(kEnd);
    if (out.size() > kMaxLearnfBytes) return std::nullopt;
    return out;
}

std::unique_ptr<Bot> LoadBot(const FolderReader& folder, std::string_view name,
                             LoadReport& report) {
    Properties properties = DefaultProperties();
    std::string text;
    std::vector<std::string> errors;
    const auto path = FindFile(folder, "", kPropertiesFile);
    if (path && ReadListed(folder, name, *path, text, errors)) {
        ReadProperties(Join(name, *path), text, properties, errors);
    }
    auto bot = std::make_unique<Bot>(std::move(properties));
    report = bot->LoadFolder(folder, name);
    report.errors.insert(report.errors.begin(), errors.begin(), errors.end());
    return bot;
}

LoadReport Bot::LoadFolder(const FolderReader& folder, std::string_view name) {
    LoadReport report;
    if (!folder.List("", [](const std::string&, bool) {})) {
        report.errors.push_back(name.empty() ? "no such folder"
                                             : std::string(name) + ": no such folder");
        return report;
    }
    for (const char* file : kSubstitutionFiles) {
        for (const char* place : {"", "config"}) {
            std::string text;
            const auto path = FindFile(folder, place, file);
            if (path && ReadListed(folder, name, *path, text, report.errors)) {
                LoadSubstitutions(Join(name, *path), text, report);
                break;
            }
        }
    }
    std::vector<std::string> files, sets_and_maps;
    FindAiml(folder, "", 0, files, sets_and_maps);
    std::string order;
    if (const auto path = FindFile(folder, "", kLoadOrderFile)) {
        ReadListed(folder, name, *path, order, report.errors);
    }
    // Sets and maps first, so that what a file says of them is known as its categories load.
    for (const std::string& path : LoadOrder(std::move(sets_and_maps), order)) {
        std::string bytes;
        if (ReadListed(folder, name, path, bytes, report.errors))
            LoadSetOrMap(Join(name, path), bytes, report);
    }
    for (const std::string& path : LoadOrder(std::move(files), order)) {
        std::string bytes;
        if (ReadListed(folder, name, path, bytes, report.errors)) {
            LoadText(Join(name, path), bytes, report);
        }
    }
    return report;
}

}  // namespace qvbot
