// A bot folder: its AIML files, substitution files, load order and properties, read through a
// small port so that every program finds and orders the same files, whatever its file system.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qvbot/bot.h"

namespace qvbot {

// The files of one bot folder. Paths are relative to it, in UTF-8 with '/' between names; ""
// is the folder itself.
class FolderReader {
  public:
    virtual ~FolderReader() = default;
    // Calls f(name, isFolder) for each entry of the folder at `path`; false when that folder
    // cannot be listed.
    virtual bool List(const std::string& path,
                      const std::function<void(const std::string&, bool)>& f) const = 0;
    // The whole file at `path`; false when it cannot be read or holds more than maxBytes.
    virtual bool Read(const std::string& path, std::string& bytes, std::size_t maxBytes) const = 0;
};

// A bot folder through the C++ library's file system, for the bot server and the tests.
// Folders reached through links are not entered, so a link cannot make the folder repeat.
class DiskFolder final : public FolderReader {
  public:
    explicit DiskFolder(std::filesystem::path root) : root_(std::move(root)) {}
    bool List(const std::string& path,
              const std::function<void(const std::string&, bool)>& f) const override;
    bool Read(const std::string& path, std::string& bytes, std::size_t maxBytes) const override;

  private:
    std::filesystem::path root_;
};

// Larger files are not AIML anyone wrote by hand; they are refused rather than read whole.
inline constexpr std::size_t kMaxBotFileBytes = 32 * 1024 * 1024;
// Folders below the bot folder that are searched for AIML files.
inline constexpr int kMaxFolderDepth = 8;
// The files of a bot folder that name its substitutions, each replacing the built-in table;
// each is looked for beside the AIML, then in its config folder, as some sets keep them.
inline constexpr const char* kSubstitutionFiles[] = {"normal.txt", "person.txt", "person2.txt",
                                                     "gender.txt", "denormal.txt"};
// The file of a bot folder that names the AIML files to load first, one relative path a line.
inline constexpr char kLoadOrderFile[] = "load-order.txt";
inline constexpr char kPropertiesFile[] = "bot.properties";
// The file of a bot folder that <learnf> adds its categories to, loaded with the rest.
inline constexpr char kLearnfFile[] = "learnf.aiml";
// Larger, <learnf> adds no more.
inline constexpr std::size_t kMaxLearnfBytes = 1024 * 1024;

// The AIML file `file` (empty: none yet) with `category` added as its last category; nullopt
// when it would pass kMaxLearnfBytes or is not a file this function wrote.
std::optional<std::string> AddLearnedCategory(std::string_view file, std::string_view category);

// A bot made from a folder: its bot.properties over the default properties, then LoadFolder.
// Reports call its files `name`/path (by their paths alone when `name` is empty).
std::unique_ptr<Bot> LoadBot(const FolderReader& folder, std::string_view name, LoadReport& report);

}  // namespace qvbot
