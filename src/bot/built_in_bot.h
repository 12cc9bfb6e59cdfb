#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <string>

#include "bot/bot_client.h"
#include "bot/http_client.h"
#include "bot/store.h"
#include "platform/scheduler.h"
#include "present/dialogs.h"
#include "present/random_source.h"
#include "qvbot/lru_map.h"
#include "qvbot/model.h"
#include "settings/settings_store.h"

namespace qvbot {
class Bot;
class FolderReader;
struct Conversation;
}  // namespace qvbot

namespace quorvanel {

// Where the built-in bot's files come from: the starter bot carried by the program, or a folder
// of the user's. Either is read as a bot folder.
class BotFileSource {
public:
    virtual ~BotFileSource() = default;
    virtual const qvbot::FolderReader& StarterBot() = 0;
    // The folder the settings name.
    virtual std::unique_ptr<qvbot::FolderReader> Folder(const std::wstring& path) = 0;
};

// Contacts the built-in bot remembers at once; the one unheard from longest is forgotten first.
inline constexpr std::size_t kMaxContacts = 1000;

// The bot built into the program: the AIML engine answers in-process, and each contact has a
// conversation of its own (name, topic, what was said). With a store, each conversation is saved
// after each answer and read back when the contact next speaks, in this run or a later one; each
// bot (the starter bot, a folder) keeps its own. A folder's services.json names the language
// models its <sraix> tags ask: such an answer comes later, from the message loop, once the model
// has answered or its time is up; nothing waits for it meanwhile.
class BuiltInBotClient final : public BotClient {
public:
    // Without `http` and `scheduler`, every <sraix> answers with its default.
    BuiltInBotClient(BotFileSource& files, SettingsStore& settings, RandomSource& random,
                     Dialogs& dialogs, Store* store = nullptr, HttpClient* http = nullptr,
                     Scheduler* scheduler = nullptr);
    ~BuiltInBotClient() override;

    // Answers at once, inside the call, unless a model is asked.
    void Ask(const std::wstring& message, const std::wstring& contact,
             std::function<void(std::wstring)> done) override;

    // Loads the bot the settings name, unless it is loaded already. A folder that cannot be used
    // is reported once in a message box, and the starter bot answers instead.
    void Prepare();
    std::wstring BotName() const;
    std::size_t ContactCount() const { return contacts_.Size(); }

private:
    struct Asking;
    struct ModelFetch;
    qvbot::Conversation& ConversationOf(const std::wstring& contact);
    // Runs the engine with the models' answers so far: answers, or asks the next model.
    void Answer(const std::shared_ptr<Asking>& asking);
    void AskModel(const std::shared_ptr<Asking>& asking, const qvbot::SraixRequest& request);
    void ModelArrived(const std::shared_ptr<ModelFetch>& fetch, bool inTime);

    BotFileSource& files_;
    SettingsStore& settings_;
    RandomSource& random_;
    Dialogs& dialogs_;
    std::unique_ptr<qvbot::Bot> bot_;
    qvbot::ModelServices services_;  // the loaded folder's
    std::set<std::shared_ptr<ModelFetch>> fetches_;  // under way, dropped when the bot goes
    std::wstring loadedFolder_;  // the setting the loaded bot came from
    Store* store_;
    HttpClient* http_;
    Scheduler* scheduler_;
    std::string botKey_;  // what the store knows the loaded bot by: its folder, empty for the starter
    // Contacts whose saved conversation could not be read yet (the file was busy): read again
    // when they next speak, and not saved over until then.
    std::set<std::string> unread_;
    qvbot::LruMap<std::wstring, std::unique_ptr<qvbot::Conversation>> contacts_;
};

// The bot the settings choose, per question: the built-in one when the bot server setting is
// empty, else the bot server.
class ChosenBotClient final : public BotClient {
public:
    ChosenBotClient(BotClient& builtIn, BotClient& server, SettingsStore& settings)
        : builtIn_(builtIn), server_(server), settings_(settings) {}
    void Ask(const std::wstring& message, const std::wstring& contact,
             std::function<void(std::wstring)> done) override;

private:
    BotClient& builtIn_;
    BotClient& server_;
    SettingsStore& settings_;
};

// True when the settings choose the built-in bot.
bool UsesBuiltInBot(SettingsStore& settings);

}  // namespace quorvanel
