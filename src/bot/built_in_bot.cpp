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

// One message being answered while models are asked.
struct BuiltInBotClient::Asking {
    std::wstring contact;
    std::string message;
    std::function<void(std::wstring)> done;
    qvbot::SraixAnswers given;
};

// One model request: settled by its answer or by its time limit, whichever comes first.
struct BuiltInBotClient::ModelFetch {
    std::shared_ptr<Asking> asking;
    std::size_t maxChars = 0;
    std::unique_ptr<HttpRequest> request;
    Scheduler::WorkId waker = 0;
    Scheduler::WorkId limit = 0;
};

BuiltInBotClient::BuiltInBotClient(BotFileSource& files, SettingsStore& settings,
                                   RandomSource& random, Dialogs& dialogs, Store* store,
                                   HttpClient* http, Scheduler* scheduler)
    : files_(files), settings_(settings), random_(random), dialogs_(dialogs), store_(store),
      http_(http), scheduler_(scheduler), contacts_(kMaxContacts) {}

BuiltInBotClient::~BuiltInBotClient() {
    for (const auto& fetch : fetches_) {
        scheduler_->Cancel(fetch->limit);
        scheduler_->Cancel(fetch->waker);
    }
}

void BuiltInBotClient::Prepare() {
    const std::wstring folder = ReadSetting(settings_, kAimlFolder);
    if (bot_ && folder == loadedFolder_) return;
    loadedFolder_ = folder;
    qvbot::LoadReport report;
    services_.clear();
    if (!folder.empty()) {
        const auto reader = files_.Folder(folder);
        bot_ = qvbot::LoadBot(*reader, "", report);
        services_ = qvbot::LoadServices(*reader, "", report.errors);
        if (report.categories == 0 && report.errors.empty()) {
            report.errors.push_back("it holds no AIML categories");
        }
    }
    const std::vector<std::string>& problems = report.errors;
    const bool folderAnswers = report.categories > 0;
    if (!folderAnswers) {
        services_.clear();
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
    Answer(std::make_shared<Asking>(
        Asking{contact, qvbot::Utf8FromWide(message), std::move(done), {}}));
}

void BuiltInBotClient::Answer(const std::shared_ptr<Asking>& asking) {
    // Looked up anew each round: the contact may have been forgotten while a model thought.
    qvbot::Conversation& conversation = ConversationOf(asking->contact);
    qvbot::Reply reply = bot_->Respond(conversation, asking->message, asking->given);
    if (reply.pending) return AskModel(asking, *reply.pending);
    const std::wstring answer = qvbot::WideFromUtf8(reply.answer);
    if (store_ == nullptr) return asking->done(answer);
    if (unread_.count(conversation.id) == 0) {
        store_->SaveConversation(botKey_, conversation.id, qvbot::SaveConversation(conversation));
    }
    asking->done(answer);
    // Told after the answer is on its way, and once a run.
    if (store_->TakeDiskFull()) {
        dialogs_.ShowMessage(L"The disk is full: Quorvanel goes on answering, but what the built-in bot "
                             L"learns of your contacts is not kept until there is room again.",
                             kCaption);
    }
}

void BuiltInBotClient::AskModel(const std::shared_ptr<Asking>& asking,
                                const qvbot::SraixRequest& request) {
    const qvbot::ModelService* service = http_ != nullptr && scheduler_ != nullptr
                                             ? qvbot::FindService(services_, request.service)
                                             : nullptr;
    auto fetch = std::make_shared<ModelFetch>();
    fetch->asking = asking;
    if (service == nullptr) return ModelArrived(fetch, false);
    fetch->maxChars = service->max_answer_chars;
    // The limit first: a request that could never end must not start.
    fetch->limit =
        scheduler_->After(service->time_limit_ms, [this, fetch] { ModelArrived(fetch, false); });
    if (fetch->limit == 0) return ModelArrived(fetch, false);
    Scheduler::Wake wake = scheduler_->Waker([this, fetch] { ModelArrived(fetch, true); });
    fetch->waker = wake.id;
    fetches_.insert(fetch);
    const std::string body = qvbot::ChatRequest(*service, bot_->properties(),
                                                ConversationOf(asking->contact), request.text);
    fetch->request =
        http_->Start(service->url, qvbot::ChatHeaders(*service), body, std::move(wake.call));
}

void BuiltInBotClient::ModelArrived(const std::shared_ptr<ModelFetch>& fetch, bool inTime) {
    if (fetch->asking == nullptr) return;  // settled already
    if (scheduler_ != nullptr) scheduler_->Cancel(inTime ? fetch->limit : fetch->waker);
    fetches_.erase(fetch);
    std::optional<std::string> answer;
    if (inTime && fetch->request && fetch->request->Done()) {
        const HttpResponse response = fetch->request->TakeResponse();
        if (response.received && response.status >= 200 && response.status <= 299) {
            answer = qvbot::ChatAnswer(response.body, fetch->maxChars);
        }
    }
    // A request out of time is abandoned; its late answer is never read.
    fetch->request.reset();
    const auto asking = std::move(fetch->asking);
    asking->given.push_back(std::move(answer));
    Answer(asking);
}

}  // namespace quorvanel
