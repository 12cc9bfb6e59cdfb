// The bots one server answers for, each from its own folder, chosen by the talk URL's botid.
// They are loaded side by side at start and again on demand: a bot loaded anew replaces the
// old one whole, while requests that hold the old one finish on it; a bot whose folder now has
// errors keeps the one it had.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvbot/bot.h"
#include "sync.h"

namespace qvbot {

struct BotSource {
    std::string folder;
    std::string properties;  // a properties file in place of the folder's bot.properties
};

// Every subfolder of `folder`, by name; none when it cannot be listed.
std::vector<BotSource> BotFolders(const std::string& folder);

class BotSet {
  public:
    // Loads every source, telling stderr each bot's errors and stdout what it holds. False
    // (with the reason told) when a folder is missing or two bots share an id.
    bool Load(std::vector<BotSource> sources, std::string default_botid);
    // Loads every bot anew from its folder; a bot that now has errors keeps the one it had.
    // Returns how many bots were replaced.
    int Reload();

    struct Choice {
        std::shared_ptr<const Bot> bot;
        bool known = false;  // false: the default bot, answering for a botid nobody has
    };
    Choice Choose(std::string_view botid) const;
    std::size_t Categories() const;
    int Files() const { return files_; }
    int Replaced() const { return replaced_; }

  private:
    struct Entry {
        BotSource source;
        std::string botid;
        std::shared_ptr<const Bot> bot;
    };

    mutable sync::Mutex mutex_;  // over the bots; taken only to copy or swap a pointer
    std::vector<Entry> entries_;
    std::size_t default_ = 0;
    int files_ = 0, replaced_ = 0;
};

}  // namespace qvbot
