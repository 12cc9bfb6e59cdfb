// Set and map files beside the AIML: plain text as people write them, and JSON as hosted
// services export them.
#include <nlohmann/json.hpp>

#include "qvbot/bot.h"
#include "qvbot/text.h"

namespace qvbot {
namespace {

// Calls f(line number, line) for each line that is not blank.
template <typename F>
void EachLine(std::string_view text, F f) {
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        const std::string line = CollapseSpace(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty()) f(number, line);
    }
}

// The text of a JSON value that should be a string or a list of strings (words).
std::optional<std::string> JsonText(const nlohmann::json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (!value.is_array()) return std::nullopt;
    std::string text;
    for (const auto& word : value) {
        if (!word.is_string()) return std::nullopt;
        if (!text.empty()) text += ' ';
        text += word.get_ref<const std::string&>();
    }
    return text;
}

}  // namespace

bool Bot::LoadSetOrMap(std::string_view path, std::string_view bytes, LoadReport& report) {
    const std::string lower = Lower(path);
    const std::size_t slash = lower.find_last_of("/\\");
    const std::string file = lower.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string folder = slash == std::string::npos ? "" : lower.substr(0, slash);
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    const std::string name = file.substr(0, dot), extension = file.substr(dot);
    const bool in_sets =
        folder == "sets" || folder.ends_with("/sets") || folder.ends_with("\\sets");
    const bool in_maps =
        folder == "maps" || folder.ends_with("/maps") || folder.ends_with("\\maps");
    const bool is_set =
        extension == ".set" || (in_sets && (extension == ".txt" || extension == ".json"));
    const bool is_map =
        extension == ".map" || (in_maps && (extension == ".txt" || extension == ".json"));
    if (!is_set && !is_map) return false;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    const std::string text = ClientTextToUtf8(bytes);  // UTF-8, or else Windows-1252
    const auto error = [&](int line, const std::string& what) {
        report.errors.push_back(std::string(path) + ":" + std::to_string(line) + ": " + what);
    };
    auto* map = is_map ? &maps_[name] : nullptr;
    const auto add = [&](std::string_view key, std::string_view value) {
        if (is_set) {
            sets_.Add(name, PatternWords(key));
        } else {
            (*map)[JoinWords(PatternWords(key))] = CollapseSpace(value);
        }
    };
    if (extension == ".txt") {
        EachLine(text, [&](int number, const std::string& line) {
            if (is_set) return add(line, "");
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos) return error(number, "expected \"key:value\"");
            add(line.substr(0, colon), line.substr(colon + 1));
        });
    } else {
        const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
        // A set: ["one", ["two", "words"]]; a map: [["key", "value"]] or {"key": "value"}.
        bool good = json.is_array() || (is_map && json.is_object());
        if (good && json.is_object()) {
            for (const auto& [key, value] : json.items()) {
                if (const auto v = JsonText(value)) add(key, *v);
            }
        } else if (good) {
            for (const auto& entry : json) {
                if (is_set) {
                    if (const auto words = JsonText(entry)) add(*words, "");
                } else if (entry.is_array() && entry.size() == 2) {
                    const auto key = JsonText(entry[0]), value = JsonText(entry[1]);
                    if (key && value) add(*key, *value);
                }
            }
        }
        if (!good)
            error(1, is_set ? "expected a JSON array of entries"
                            : "expected a JSON array of [key, value] pairs");
    }
    return true;
}

}  // namespace qvbot
