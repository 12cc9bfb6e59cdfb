#include "bot/built_in_bot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "bot/bot_server.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_settings.h"

namespace quorvanel {
namespace {

using testing::FakeSettings;
using testing::ScriptedRandom;

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The starter bot as the repository holds it; other folders are scripted.
class Files : public BotFileSource {
public:
    std::map<std::wstring, BotFiles> folders;
    int starterLoads = 0;

    BotFiles StarterBot() override {
        ++starterLoads;
        BotFiles files;
        for (const auto& entry : std::filesystem::directory_iterator(QV_STARTER_BOT)) {
            const std::string name = entry.path().filename().string();
            if (name == "bot.properties") files.properties = ReadAll(entry.path());
            if (entry.path().extension() == ".aiml") files.aiml.emplace_back(name, ReadAll(entry.path()));
        }
        return files;
    }
    bool ReadFolder(const std::wstring& folder, BotFiles& files, std::wstring& error) override {
        const auto it = folders.find(folder);
        if (it == folders.end()) {
            error = folder + L": no such folder";
            return false;
        }
        files = it->second;
        return true;
    }
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

    std::wstring Ask(const std::wstring& contact, const std::wstring& message, float draw = 0.5f) {
        random.Push(draw);
        std::wstring answer = L"(no answer)";
        bot.Ask(message, contact, [&](std::wstring got) { answer = std::move(got); });
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

TEST_F(BuiltInBot, AFolderOfTheUsersAnswersAndOneThatCannotBeLoadedIsReportedOnce) {
    const std::string good = "<aiml><category><pattern>HELLO</pattern><template>Howdy from <bot name=\"name\"/>."
                             "</template></category></aiml>";
    files.folders[L"C:\\mine"] = {{{"a.aiml", good}}, "name = Mine\n", {}};
    files.folders[L"C:\\broken"] = {{{"x.aiml", "<aiml>\n<category>\n<pattern>HI</pattern>\n</aiml>"}}, "", {}};
    files.folders[L"C:\\half"] = {{{"a.aiml", good}, {"b.aiml", "<aiml><category/></aiml>"}}, "", {}};
    files.folders[L"C:\\empty"] = {};
    const struct {
        const wchar_t* folder;
        const wchar_t* answer;  // to "hello"
        const wchar_t* reported;  // in the message box, or null for none
    } cases[] = {
        {L"C:\\mine", L"Howdy from Mine.", nullptr},
        {L"C:\\broken", L"Hello there.", L"x.aiml:4: not well-formed XML"},
        {L"C:\\half", L"Howdy from Kestro.", L"b.aiml:1: category without a <pattern>"},
        {L"C:\\empty", L"Hello there.", L"it holds no AIML categories"},
        {L"C:\\gone", L"Hello there.", L"C:\\gone: no such folder"},
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
}

}  // namespace
}  // namespace quorvanel
