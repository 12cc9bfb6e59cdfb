#include "bot/built_in_bot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "bot/bot_server.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_http.h"
#include "fakes/fake_settings.h"
#include "qvbot/bot.h"
#include "qvbot/folder.h"
#include "sample_bot_folder.h"
#include "store/sqlite_store.h"

namespace quorvanel {
namespace {

using testing::FakeSettings;
using testing::ScriptedRandom;

// The starter bot as the repository holds it; a user's folder from the disk.
class Files : public BotFileSource {
public:
    int starterLoads = 0;

    const qvbot::FolderReader& StarterBot() override {
        ++starterLoads;
        return starter;
    }
    std::unique_ptr<qvbot::FolderReader> Folder(const std::wstring& path) override {
        return std::make_unique<qvbot::DiskFolder>(path);
    }

private:
    qvbot::DiskFolder starter{QV_STARTER_BOT};
};

// Records what message boxes said.
class Dialogs : public testing::FakeDialogs {
public:
    std::vector<std::wstring> texts;
    void ShowMessage(std::wstring_view text, std::wstring_view caption) override {
        FakeDialogs::ShowMessage(text, caption);
        texts.emplace_back(text);
    }
};

class BuiltInBot : public ::testing::Test {
protected:
    Files files;
    FakeSettings file;
    ScriptedRandom random;
    Dialogs dialogs;
    BuiltInBotClient bot{files, file, random, dialogs};

    BuiltInBotClient* asked = &bot;  // the bot Ask asks

    std::wstring Ask(const std::wstring& contact, const std::wstring& message, float draw = 0.5f) {
        random.Push(draw);
        std::wstring answer = L"(no answer)";
        asked->Ask(message, contact, [&](std::wstring got) { answer = std::move(got); });
        return answer;
    }
};

TEST_F(BuiltInBot, AnswersEachContactWithAMemoryOfItsOwn) {
    const struct {
        const wchar_t* contact;
        const wchar_t* message;
        const wchar_t* answer;
    } talk[] = {
        {L"Ann", L"hello", L"Hello there."},
        {L"Ann", L"My name is ann.", L"Nice to meet you, Ann."},
        {L"Bob", L"What is my name?", L"You have not told me your name yet. What is your name?"},
        {L"Bob", L"Bob", L"Nice to meet you, Bob."},  // answers the bot's own question
        {L"Ann", L"What is my name?", L"Your name is Ann."},
        {L"Bob", L"What is my name?", L"Your name is Bob."},
        {L"Zoë \u00C9", L"My name is Zoë.", L"Nice to meet you, Zoë."},
        {L"Ann", L"What is your name?", L"My name is Kestro."},
    };
    for (const auto& line : talk) {
        EXPECT_EQ(Ask(line.contact, line.message), line.answer) << line.contact << L": " << line.message;
    }
    EXPECT_EQ(bot.BotName(), L"Kestro");
    EXPECT_EQ(files.starterLoads, 1);
    EXPECT_EQ(dialogs.shown, 0);
}

TEST_F(BuiltInBot, CannedLinesComeWithoutTheBot) {
    EXPECT_EQ(Ask(L"Ann", L"hello", 2.5f / 200), kCannedLine1);
    EXPECT_EQ(files.starterLoads, 0);
}

TEST_F(BuiltInBot, RemembersAThousandContactsForgettingTheLeastRecentlyHeard) {
    Ask(L"Ann", L"My name is Ann.");
    Ask(L"Bob", L"My name is Bob.");
    for (int i = 0; i < 998; ++i) Ask(L"c" + std::to_wstring(i), L"hi");
    EXPECT_EQ(bot.ContactCount(), kMaxContacts);
    Ask(L"Ann", L"hi");                // Ann is heard from again, so Bob is now the oldest
    Ask(L"newcomer", L"hi");
    EXPECT_EQ(bot.ContactCount(), kMaxContacts);
    EXPECT_EQ(Ask(L"Ann", L"What is my name?"), L"Your name is Ann.");
    EXPECT_NE(Ask(L"Bob", L"What is my name?"), L"Your name is Bob.");
}

TEST_F(BuiltInBot, WithAStoreRemembersEachContactAcrossARestartAndEachBotApart) {
    const auto root = std::filesystem::temp_directory_path() /
                      ("qv-memory-" + std::to_string(std::random_device()()));
    testing::WriteSampleBotFolder(root / "sample");
    const std::string path = (root / "memory.db").string();
    {
        SqliteStore store(path, {});
        BuiltInBotClient first{files, file, random, dialogs, &store};
        asked = &first;
        EXPECT_EQ(Ask(L"Ann", L"My name is Ann."), L"Nice to meet you, Ann.");
        // The same contact, to a folder of the user's: its own memory.
        file.Set(L"ConnectionSettings", L"AIMLFolder", (root / "sample").wstring());
        EXPECT_EQ(Ask(L"Ann", L"hello"), L"From a, Sample.");
        file.Set(L"ConnectionSettings", L"AIMLFolder", L"");
    }
    {
        SqliteStore store(path, {});
        BuiltInBotClient second{files, file, random, dialogs, &store};
        asked = &second;
        EXPECT_EQ(Ask(L"Ann", L"What is my name?"), L"Your name is Ann.");
        EXPECT_EQ(Ask(L"Bob", L"What is my name?"), L"You have not told me your name yet. What is your name?");
        qvbot::Conversation folders;
        EXPECT_TRUE(qvbot::RestoreConversation(store.LoadConversation((root / "sample").string(), "Ann").value_or(""), folders));
        EXPECT_EQ(folders.predicates.count("name"), 0u);
    }
    std::filesystem::remove_all(root);
}

TEST_F(BuiltInBot, AFolderOfTheUsersAnswersAndOneThatCannotBeLoadedIsReportedOnce) {
    const auto root = std::filesystem::temp_directory_path() /
                      ("qv-folders-" + std::to_string(std::random_device()()));
    testing::WriteSampleBotFolder(root / "sample");  // loads but for one file
    testing::ExpectSampleBotFolderLoads(qvbot::DiskFolder(root / "sample"));  // as the server does
    std::filesystem::create_directories(root / "empty");
    const struct {
        std::wstring folder;
        const wchar_t* answer;    // to "hello"
        const wchar_t* reported;  // in the message box, or null for none
    } cases[] = {
        {(root / "sample").wstring(), L"From a, Sample.", L"big.aiml: cannot be read"},
        {(root / "empty").wstring(), L"Hello there.", L"it holds no AIML categories"},
        {(root / "gone").wstring(), L"Hello there.", L"no such folder"},
        {L"", L"Hello there.", nullptr},
    };
    for (const auto& c : cases) {
        file.Set(L"ConnectionSettings", L"AIMLFolder", c.folder);
        dialogs.texts.clear();
        EXPECT_EQ(Ask(L"Ann", L"hello"), c.answer) << c.folder;
        EXPECT_EQ(Ask(L"Ann", L"hello"), c.answer) << c.folder;
        if (c.reported == nullptr) {
            EXPECT_TRUE(dialogs.texts.empty()) << c.folder;
        } else {
            ASSERT_EQ(dialogs.texts.size(), 1u) << c.folder;
            EXPECT_NE(dialogs.texts[0].find(c.reported), std::wstring::npos) << dialogs.texts[0];
            EXPECT_NE(dialogs.texts[0].find(c.folder), std::wstring::npos) << dialogs.texts[0];
        }
    }
    std::filesystem::remove_all(root);
}

// A folder whose last category asks a model: the answer comes later, from the scheduler, with each
// contact's own turns sent; a failure or the time limit gives the default, and nothing is left
// scheduled.
TEST_F(BuiltInBot, AFoldersModelAnswersLaterAndAFailureOrItsTimeLimitGivesTheDefault) {
    const auto root = std::filesystem::temp_directory_path() /
                      ("qv-model-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(root);
    std::ofstream(root / "bot.aiml")
        << R"(<aiml><category><pattern>HELLO</pattern><template>Hi.</template></category>
<category><pattern>*</pattern><template><sraix service="local" default="No model."><star/></sraix></template></category></aiml>)";
    std::ofstream(root / "services.json")
        << R"({"services": {"local": {"url": "http://192.168.1.5:8080/v1/chat", "model": "m", "time_limit_ms": 5000}}})";
    file.Set(L"ConnectionSettings", L"AIMLFolder", root.wstring());
    testing::FakeClock clock;
    testing::ScriptedHttp http(clock);
    testing::FakeScheduler scheduler(clock);
    BuiltInBotClient modelled{files, file, random, dialogs, nullptr, &http, &scheduler};
    asked = &modelled;
    const auto later = [&](const std::wstring& contact, const std::wstring& message) {
        random.Push(0.5f);
        return testing::Await(clock, [&](auto done) { modelled.Ask(message, contact, done); });
    };
    EXPECT_EQ(Ask(L"Ann", L"hello"), L"Hi.");
    http.Answer(R"({"choices":[{"message":{"role":"assistant","content":"Sunny, Ann."}}]})", 200,
                "application/json");
    std::optional<std::wstring> weather;
    random.Push(0.5f);
    modelled.Ask(L"what is the weather", L"Ann",
                 [&](std::wstring got) { weather = std::move(got); });
    EXPECT_FALSE(weather);  // not inside the call
    clock.RunUntil(clock.now + 100);
    EXPECT_EQ(weather.value_or(L"(none)"), L"Sunny, Ann.");
    ASSERT_EQ(http.started.size(), 1u);
    EXPECT_EQ(http.started[0].url, "http://192.168.1.5:8080/v1/chat");
    EXPECT_NE(http.started[0].body.find(R"({"content":"hello","role":"user"})"), std::string::npos)
        << http.started[0].body;
    http.Answer(R"({"choices":[{"message":{"content":"Sunny, Bob."}}]})", 500, "application/json");
    EXPECT_EQ(later(L"Bob", L"what is the weather"), L"No model.");
    EXPECT_EQ(http.started[1].body.find("hello"), std::string::npos) << http.started[1].body;
    const auto start = clock.now;
    EXPECT_EQ(later(L"Bob", L"and tomorrow"), L"No model.");  // never answered
    EXPECT_EQ(clock.now - start, 5000);
    EXPECT_EQ(scheduler.Pending(), 0u);
    EXPECT_TRUE(dialogs.texts.empty());
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace quorvanel
