// The store against the real SQLite, in temporary files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "qvbot/bot.h"
#include "qvbot/text.h"
#include "store/record_text.h"
#include "store/sqlite_store.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quorvanel {
namespace {

// Each test's files in a folder of their own, removed after it, named outside any ANSI code page
// (Windows then takes SQLite's wide path); `path` is the file's name in UTF-8, as SQLite takes it.
class Store : public ::testing::Test {
  protected:
    const std::string name = "qv-Pawe\xC5\x82 \xD0\x96-" + std::to_string(std::random_device()());
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / std::u8string(name.begin(), name.end());
    const std::filesystem::path file = folder / "memory.db";
    const std::string path = reinterpret_cast<const char*>(file.u8string().c_str());
    std::error_code ignored;
    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder, ignored); }
};

TEST_F(Store, KeepsEachBotsConversationsAcrossReopeningAndForgetsTheLongestUnheardFirst) {
    StoreOptions options;
    options.maxContacts = 3;
    {
        SqliteStore store(path, options);
        ASSERT_TRUE(store.Ok());
        store.SaveConversation("", "Ann", "ann 1");
        store.SaveConversation("C:\\Bots", "Ann", "ann of the folder");
        store.SaveConversation("", "Bob", "bob 1");
        // Read back before the writer has it: the queue answers.
        EXPECT_EQ(store.LoadConversation("", "Bob"), "bob 1");
        store.Flush();
        // Ann heard again: the folder's Ann is now the oldest.
        store.SaveConversation("", "Ann", "ann 2");
        store.SaveConversation("", "Cy", "cy 1");
    }
    SqliteStore store(path, options);
    ASSERT_TRUE(store.Ok());
    EXPECT_EQ(store.LoadConversation("", "Ann"), "ann 2");
    EXPECT_EQ(store.LoadConversation("", "Bob"), "bob 1");
    EXPECT_EQ(store.LoadConversation("", "Cy"), "cy 1");
    EXPECT_EQ(store.LoadConversation("C:\\Bots", "Ann"), "");
    EXPECT_EQ(store.LoadConversation("", "Dee"), "");
    EXPECT_EQ(store.Skipped(), 0u);
}

// The record keeps what the settings say, the oldest going first; it can be searched, turned off,
// cleared, and saved as text.
TEST_F(Store, TheRecordKeepsItsDaysAndItsCountIsSearchedClearedAndSavedAsText) {
    const std::int64_t now = std::time(nullptr);
    const RecordSettings keep{.keep = true, .days = 90, .exchanges = 4};
    {
        SqliteStore store(path, {});
        // The first goes as the fifth comes; the third is past 90 days (the clock was wrong then).
        store.Record({now - 89 * 86400, "Ann", "oldest", "goes", ReplyOutcome::Sent, "Kestro"},
                     keep);
        store.Record({now - 3, "Ann", "My name is Ann.", "Nice to meet you,\nAnn.",
                      ReplyOutcome::Sent, "Kestro"},
                     keep);
        store.Record({now - 91 * 86400, "Ann", "too old", "gone", ReplyOutcome::Sent, "Kestro"},
                     keep);
        store.Record({now - 2, "Bob", "50% off_", "", ReplyOutcome::EmptyAnswer, "Kestro"}, keep);
        store.Record({now - 1, "Ann", "hi", "Hello.", ReplyOutcome::UserWriting, "bot server h"},
                     keep);
        store.Record({now, "Cy", "unkept", "x", ReplyOutcome::Sent, ""}, {.keep = false});
    }
    SqliteStore store(path, {});
    const auto all = store.RecordOf(std::nullopt, "");
    ASSERT_TRUE(all);
    std::vector<std::string> heard;
    for (const RecordRow& row : *all) heard.push_back(row.heard);
    EXPECT_THAT(heard, ::testing::ElementsAre("My name is Ann.", "50% off_", "hi"));
    const auto contacts = store.RecordContacts("");
    ASSERT_TRUE(contacts);
    ASSERT_EQ(contacts->size(), 2u);
    EXPECT_EQ((*contacts)[0].contact, "Ann");  // heard from last
    EXPECT_EQ((*contacts)[0].exchanges, 2);
    EXPECT_EQ(store.RecordContacts("NAME")->size(), 1u);  // the case of ASCII letters aside
    EXPECT_EQ(store.RecordContacts("% off_")->at(0).contact, "Bob");
    EXPECT_EQ(store.RecordContacts("0_")->size(), 0u);           // % and _ are themselves
    EXPECT_EQ(store.RecordOf("Ann", "", 1)->at(0).heard, "hi");  // the latest of hers
    EXPECT_EQ(store.RecordOf("Ann", "ann")->size(), 2u);         // her name matches all of hers

    // Its local time, whom and what, and what became of it, each line of it.
    std::tm at{};
    at.tm_year = 2026 - 1900, at.tm_mon = 11, at.tm_mday = 8, at.tm_hour = 19, at.tm_min = 5,
    at.tm_isdst = -1;
    std::vector<RecordRow> rows = *all;
    rows[0].time = std::mktime(&at);
    EXPECT_EQ(RecordFileText(rows),
              "\xEF\xBB\xBF"
              "2026-12-08 19:05:00  Ann, answered by Kestro\r\n  Ann: My name is Ann.\r\n"
              "  Sent: Nice to meet you,\r\n    Ann.\r\n\r\n" +
                  qvbot::Utf8FromWide(ExchangeText(rows[1])) + "\r\n" +
                  qvbot::Utf8FromWide(ExchangeText(rows[2])));
    EXPECT_THAT(qvbot::Utf8FromWide(ExchangeText(rows[1])),
                ::testing::EndsWith("  Bob: 50% off_\r\n  Nothing sent: the answer was empty\r\n"));
    EXPECT_THAT(qvbot::Utf8FromWide(ExchangeText(rows[2])),
                ::testing::EndsWith("Ann, answered by bot server h\r\n  Ann: hi\r\n  Nothing sent: "
                                    "you were writing there (the answer was: Hello.)\r\n"));

    // Cleared: gone at once for the reader, and for good once written.
    store.ClearRecord();
    EXPECT_EQ(store.RecordContacts("")->size(), 0u);
    store.Record({now, "Dee", "after", "kept", ReplyOutcome::Sent, ""}, keep);
    store.Flush();
    EXPECT_EQ(store.RecordOf(std::nullopt, "")->size(), 1u);
}

// A file of the version before the record keeps its memory and gains the record.
TEST_F(Store, AFileFromBeforeTheRecordKeepsItsMemoryAndGainsTheRecord) {
    {
        Database old(path, 0);
        ASSERT_TRUE(old.Execute(
            "CREATE TABLE memory(bot TEXT NOT NULL, contact TEXT NOT NULL, heard INTEGER NOT NULL,"
            " state BLOB NOT NULL, PRIMARY KEY(bot, contact)) WITHOUT ROWID;"
            "INSERT INTO memory VALUES('', 'Ann', 1, 'ann');"
            "PRAGMA application_id=1364610636; PRAGMA user_version=1"));
    }
    SqliteStore store(path, {});
    ASSERT_TRUE(store.Ok());
    EXPECT_EQ(store.MovedAside(), "");
    EXPECT_EQ(store.LoadConversation("", "Ann"), "ann");
    store.Record({1, "Ann", "hi", "Hello.", ReplyOutcome::Sent, ""},
                 {.keep = true, .days = kMaxRecordDays});
    store.Flush();
    EXPECT_EQ(store.Skipped(), 0u);
    EXPECT_EQ(store.RecordOf("Ann", "")->size(), 1u);
}

TEST(StoreBytes, ConversationBytesRoundTripAndAnythingElseIsRefused) {
    qvbot::Conversation conversation;
    conversation.random = 0x0123456789ABCDEFull;
    conversation.predicates = {{"name", "Ann"}, {"topic", "ZO\xC3\x8B"}, {"empty", ""}};
    conversation.inputs = {{"WHAT IS MY NAME"}, {"MY NAME IS ANN", "HELLO"}};
    conversation.answers = {{"YOUR NAME IS ANN"}, {}};
    const std::string bytes = qvbot::SaveConversation(conversation);
    qvbot::Conversation back;
    back.id = "kept";
    ASSERT_TRUE(qvbot::RestoreConversation(bytes, back));
    EXPECT_EQ(back.id, "kept");
    EXPECT_EQ(qvbot::SaveConversation(back), bytes);  // every field as it was
    // Every shorter prefix, a longer one, and a history past the engine's limit.
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(qvbot::RestoreConversation(bytes.substr(0, size), back)) << size;
    }
    EXPECT_FALSE(qvbot::RestoreConversation(bytes + '\0', back));
    conversation.inputs.resize(qvbot::kHistory + 1);
    EXPECT_FALSE(qvbot::RestoreConversation(qvbot::SaveConversation(conversation), back));
    EXPECT_EQ(back.predicates.at("name"), "Ann");  // untouched by what was refused
}

// Random bytes, a file cut short, another program's database: each moved aside whole, under a
// name that says why, and a new file kept in its place.
TEST_F(Store, ADamagedOrForeignFileIsMovedAsideAndANewOneStarted) {
    std::uintmax_t whole = 0;
    std::string random(5000, '\0');
    for (char& c : random) c = static_cast<char>(std::rand());
    const struct {
        const char* name;
        std::function<void()> spoil;
        const char* why;
    } cases[] = {
        {"cut short", [&] { std::filesystem::resize_file(file, whole / 2); }, ".damaged-"},
        {"random bytes", [&] { std::ofstream(file, std::ios::binary) << random; }, ".damaged-"},
        {"another program's",
         [&] {
             std::filesystem::remove(file);
             Database(path, 0).Execute(
                 "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')");
         },
         ".foreign-"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(file);
        {
            SqliteStore store(path, {});
            for (int i = 0; i < 200; ++i)
                store.SaveConversation("", std::to_string(i), std::string(2000, 'x'));
            store.SaveConversation("", "Ann", "ann");
        }
        whole = std::filesystem::file_size(file);
        c.spoil();
        const auto spoiled = std::filesystem::file_size(file);
        SqliteStore store(path, {});
        ASSERT_TRUE(store.Ok()) << c.name;
        EXPECT_NE(store.MovedAside().find(c.why), std::string::npos)
            << c.name << ": " << store.MovedAside();
        const auto aside = folder / std::filesystem::path(store.MovedAside()).filename();
        EXPECT_EQ(std::filesystem::file_size(aside), spoiled) << c.name;
        store.SaveConversation("", "Bob", "bob");
        store.Flush();
        EXPECT_EQ(store.LoadConversation("", "Bob"), "bob") << c.name;
        std::filesystem::remove(aside);
    }
    EXPECT_EQ(SqliteStore(path, {}).MovedAside(), "");  // the new file is ours
}

TEST_F(Store, AWriteMeetingAnotherProgramsLockIsSkippedAndCounted) {
    StoreOptions options;
    options.writerBusyMs = 50;
    options.writeAheadLog = false;  // where a writer's lock keeps readers out
    SqliteStore store(path, options);
    {
        Database other(path, 0);
        ASSERT_TRUE(other.Execute("BEGIN EXCLUSIVE"));
        store.SaveConversation("", "Ann", "lost");
        store.Flush();
        EXPECT_EQ(store.Skipped(), 1u);
        EXPECT_EQ(store.LoadConversation("", "Bob"), std::nullopt);  // ask again, not "none"
    }
    store.SaveConversation("", "Ann", "kept");
    store.Flush();
    EXPECT_EQ(store.LoadConversation("", "Ann"), "kept");
    EXPECT_FALSE(store.TakeDiskFull());
}

TEST_F(Store, AFullDiskIsToldOnceAndTheWritesAfterItAreSkipped) {
    StoreOptions options;
    options.maxPages = 8;  // less than any one of these takes
    SqliteStore store(path, options);
    for (int i = 0; i < 20; ++i)
        store.SaveConversation("", std::to_string(i), std::string(40000, 'x'));
    store.Flush();
    EXPECT_EQ(store.Skipped(), 20u);
    EXPECT_TRUE(store.TakeDiskFull());
    EXPECT_FALSE(store.TakeDiskFull());
}

#ifndef _WIN32
// A writer killed at random moments, 100 times, with each journal in turn: the file stays whole,
// and every write it had reported done is there.
TEST_F(Store, AWriterKilledAtAnyMomentLeavesTheFileWholeAndLosesOnlyTheWriteInFlight) {
    std::mt19937 random(std::random_device{}());
    long long acknowledged = 0;
    for (int run = 0; run < 100; ++run) {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SqliteStore store(path, {.writeAheadLog = run % 2 == 0});  // each journal in turn
            for (long long n = acknowledged + 1; store.Ok(); ++n) {
                store.SaveConversation("", "c" + std::to_string(n % 50), std::to_string(n));
                store.Flush();
                if (write(pipe[1], &n, sizeof n) != sizeof n) break;
            }
            _exit(1);
        }
        close(pipe[1]);
        // Killed only once it writes: on a loaded machine a child may not have opened the file
        // within the moment it is given.
        long long n = 0;
        ASSERT_EQ(read(pipe[0], &n, sizeof n), static_cast<ssize_t>(sizeof n)) << "run " << run;
        acknowledged = n;
        usleep(std::uniform_int_distribution<useconds_t>(1000, 30000)(random));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        while (read(pipe[0], &n, sizeof n) == sizeof n) acknowledged = n;
        close(pipe[0]);
        Database db(path, 1000);
        ASSERT_EQ(db.Query("PRAGMA integrity_check"), "ok") << "run " << run;
        const long long latest =
            std::stoll("0" + db.Query("SELECT max(CAST(state AS INTEGER)) FROM memory"));
        ASSERT_GE(latest, acknowledged) << "run " << run;
        ASSERT_LE(latest, acknowledged + 1) << "run " << run;
        acknowledged = latest;
    }
    EXPECT_GE(acknowledged, 100);
}
#endif

}  // namespace
}  // namespace quorvanel
