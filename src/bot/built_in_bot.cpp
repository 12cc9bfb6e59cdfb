#include "bot/built_in_bot.h"

#include "qvbot/bot.h"
#include "qvbot/folder.h"
#include "qvbot/text.h"
#include "settings/settings.h"

namespace quorvanel {
namespace {

constexpr wchar_t kCaption[] = L"Quorvanel";
// A message box lists this many of a folder's problems; the rest are counted.
constexpr std::size_t kProblemsShown = 5;

// FNV-1a: the same seed for a contact's choices in every run and on every system.
std::uint64_t Seed(const std::string& text) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    return hash;
}

}  // namespace

bool UsesBuiltInBot(SettingsStore& settings) { return ReadSetting(settings, kBotServer).empty(); }

void ChosenBotClient::Ask(const std::wstring& message, const std::wstring& contact,
                          std::function<void(std::wstring)> done) {
    (UsesBuiltInBot(settings_) ? builtIn_ : server_).Ask(message, contact, std::move(done));
}

BuiltInBotClient::BuiltInBotClient(BotFileSource& files, SettingsStore& settings,
                                   RandomSource& random, Dialogs& dialogs, Store* store)
    : files_(files), settings_(settings), random_(random), dialogs_(dialogs), store_(store),
      contacts_(kMaxContacts) {}

BuiltInBotClient::~BuiltInBotClient() = default;

void BuiltInBotClient::Prepare() {
    const std::wstring folder = ReadSetting(settings_, kAimlFolder);
    if (bot_ && folder == loadedFolder_) return;
    loadedFolder_ = folder;
    qvbot::LoadReport report;
    if (!folder.empty()) {
        bot_ = qvbot::LoadBot(*files_.Folder(folder), "", report);
        if (report.categories == 0 && report.errors.empty()) {
            report.errors.push_back("it holds no AIML categories");
        }
    }
    const std::vector<std::string>& problems = report.errors;
    const bool folderAnswers = report.categories > 0;
    if (!folderAnswers) {
        qvbot::LoadReport ignored;  // the starter bot is tested as it ships
        bot_ = qvbot::LoadBot(files_.StarterBot(), "", ignored);
    }
    // Another bot, another memory: what this one was told stays with it.
    const std::string key = folderAnswers ? qvbot::Utf8FromWide(folder) : std::string();
    if (key != botKey_) {
        contacts_.Clear();
        unread_.clear();
    }
    botKey_ = key;
    if (problems.empty()) return;
    std::wstring text = L"The AIML folder " + folder + L" could not be used as it is:";
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
        text += L"\r\n" + qvbot::WideFromUtf8(problems[i]);
    }
    if (problems.size() > kProblemsShown) {
        text += L"\r\n(and " + std::to_wstring(problems.size() - kProblemsShown) + L" more)";
    }
    text += folderAnswers ? L"\r\n\r\nThe rest of the folder answers."
                          : L"\r\n\r\nThe starter bot answers instead.";
    // The bot is in place before the box opens: the box dispatches messages, and a question
    // asked meanwhile is answered without loading anything again.
    dialogs_.ShowMessage(text, kCaption);
}

std::wstring BuiltInBotClient::BotName() const {
    if (!bot_) return L"";
    const auto& properties = bot_->properties();
    const auto it = properties.find("name");
    return it == properties.end() ? L"" : qvbot::WideFromUtf8(it->second);
}

qvbot::Conversation& BuiltInBotClient::ConversationOf(const std::wstring& contact) {
    auto found = contacts_.Find(contact);
    if (found == nullptr) {
        auto conversation = std::make_unique<qvbot::Conversation>();
        conversation->id = qvbot::Utf8FromWide(contact);
        conversation->random = Seed(conversation->id);
        found = contacts_.Insert(contact, std::move(conversation));
        if (store_ != nullptr) unread_.insert((*found)->id);
    }
    qvbot::Conversation& conversation = **found;
    if (store_ != nullptr && unread_.count(conversation.id) != 0) {
        // Bytes that do not restore leave the conversation as it is.
        if (const auto saved = store_->LoadConversation(botKey_, conversation.id)) {
            qvbot::RestoreConversation(*saved, conversation);
            unread_.erase(conversation.id);
        }
    }
    return conversation;
}

void BuiltInBotClient::Ask(const std::wstring& message, const std::wstring& contact,
                           std::function<void(std::wstring)> done) {
    if (auto canned = DrawCannedLine(random_)) return done(*canned);
    Prepare();
    // The message box of a broken folder may have let a nested question load the bot already;
    // either way there is one now.
    qvbot::Conversation& conversation = ConversationOf(contact);
    const std::string answer = bot_->Respond(conversation, qvbot::Utf8FromWide(message));
    if (store_ == nullptr) return done(qvbot::WideFromUtf8(answer));
    if (unread_.count(conversation.id) == 0) {
        store_->SaveConversation(botKey_, conversation.id, qvbot::SaveConversation(conversation));
    }
    done(qvbot::WideFromUtf8(answer));
    // Told after the answer is on its way, and once a run.
    if (store_->TakeDiskFull()) {
        dialogs_.ShowMessage(L"The disk is full: Quorvanel goes on answering, but what the built-in bot "
                             L"learns of your contacts is not kept until there is room again.",
                             kCaption);
    }
}

}  // namespace quorvanel
