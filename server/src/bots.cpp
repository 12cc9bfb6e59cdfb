#include "bots.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "qvbot/folder.h"
#include "qvbot/properties.h"

namespace qvbot {

namespace {

// Bots load side by side, each on one thread: the machines this runs on have a few cores.
constexpr std::size_t kLoaders = 4;

struct Loaded {
    std::unique_ptr<Bot> bot;
    LoadReport report;
    bool found = true;  // the folder (and the properties file named) could be read
};

Loaded LoadOne(const BotSource& source) {
    Loaded loaded;
    const DiskFolder folder(source.folder);
    if (source.properties.empty()) {
        loaded.bot = LoadBot(folder, source.folder, loaded.report);
    } else {
        std::ifstream in(source.properties, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        if (!in || in.bad()) {
            loaded.found = false;
            loaded.report.errors.push_back(source.properties + ": cannot be read");
            return loaded;
        }
        Properties properties = DefaultProperties();
        std::vector<std::string> errors;
        ReadProperties(source.properties, text, properties, errors);
        loaded.bot = std::make_unique<Bot>(std::move(properties));
        loaded.report = loaded.bot->LoadFolder(folder, source.folder);
        loaded.report.errors.insert(loaded.report.errors.begin(), errors.begin(), errors.end());
    }
    loaded.found = loaded.report.files > 0 || std::filesystem::is_directory(source.folder);
    return loaded;
}

std::vector<Loaded> LoadAll(const std::vector<BotSource>& sources) {
    std::vector<Loaded> loaded(sources.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next++) < sources.size();) loaded[i] = LoadOne(sources[i]);
    };
    std::vector<sync::Thread> loaders;
    for (std::size_t i = 1; i < std::min(kLoaders, sources.size()); ++i) loaders.emplace_back(work);
    work();
    for (auto& loader : loaders) loader.join();
    return loaded;
}

void Tell(const BotSource& source, const Loaded& loaded) {
    for (const auto& error : loaded.report.errors) std::fprintf(stderr, "%s\n", error.c_str());
    for (const auto& [element, count] : loaded.report.never_run) {
        std::fprintf(stderr, "quorvanel-botserver: %d <%s> element(s) will never be run\n", count,
                     element.c_str());
    }
    if (!loaded.bot) return;
    const auto& properties = loaded.bot->properties();
    std::printf("bot %s (%s) from %s: %zu categories from %d files, %zu KiB\n",
                properties.at("botid").c_str(), properties.at("name").c_str(),
                source.folder.c_str(), loaded.bot->Size(), loaded.report.files,
                loaded.bot->MemoryBytes() / 1024);
}

}  // namespace

std::vector<BotSource> BotFolders(const std::string& folder) {
    std::vector<BotSource> sources;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_directory(error)) sources.push_back({entry.path().string(), {}});
    }
    std::sort(sources.begin(), sources.end(),
              [](const BotSource& a, const BotSource& b) { return a.folder < b.folder; });
    return sources;
}

bool BotSet::Load(std::vector<BotSource> sources, std::string default_botid) {
    if (sources.empty()) {
        std::fprintf(stderr, "quorvanel-botserver: no bot folder to load\n");
        return false;
    }
    auto loaded = LoadAll(sources);
    std::set<std::string> ids;
    bool ok = true;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        Tell(sources[i], loaded[i]);
        if (!loaded[i].found) {
            ok = false;
            continue;
        }
        const std::string botid = loaded[i].bot->properties().at("botid");
        if (!ids.insert(botid).second) {
            std::fprintf(stderr, "quorvanel-botserver: %s: botid %s is taken by another bot\n",
                         sources[i].folder.c_str(), botid.c_str());
            ok = false;
        }
        if (botid == default_botid) default_ = entries_.size();
        files_ += loaded[i].report.files;
        replaced_ += loaded[i].report.replaced;
        entries_.push_back({sources[i], botid, std::move(loaded[i].bot)});
    }
    if (ok && !default_botid.empty() && !ids.count(default_botid)) {
        std::fprintf(stderr, "quorvanel-botserver: no bot has the default botid %s\n",
                     default_botid.c_str());
        ok = false;
    }
    return ok;
}

int BotSet::Reload() {
    std::vector<BotSource> sources;
    for (const auto& entry : entries_) sources.push_back(entry.source);
    auto loaded = LoadAll(sources);
    int replaced = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        auto& entry = entries_[i];
        Tell(sources[i], loaded[i]);
        if (!loaded[i].found || !loaded[i].report.errors.empty() ||
            loaded[i].bot->properties().at("botid") != entry.botid) {
            std::fprintf(stderr, "quorvanel-botserver: %s: not reloaded, bot %s stays as it was\n",
                         sources[i].folder.c_str(), entry.botid.c_str());
            continue;
        }
        std::shared_ptr<const Bot> fresh = std::move(loaded[i].bot);
        const std::lock_guard lock(mutex_);
        entry.bot.swap(fresh);
        ++replaced;
        // The old bot goes when the last request using it is done, outside this lock.
    }
    std::fflush(stdout);
    return replaced;
}

BotSet::Choice BotSet::Choose(std::string_view botid) const {
    const std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) {
        if (entry.botid == botid) return {entry.bot, true};
    }
    return {entries_[default_].bot, false};
}

std::size_t BotSet::Categories() const {
    const std::lock_guard lock(mutex_);
    std::size_t categories = 0;
    for (const auto& entry : entries_) categories += entry.bot->Size();
    return categories;
}

}  // namespace qvbot
