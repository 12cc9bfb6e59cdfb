#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bot/store.h"
#include "platform/threads.h"
#include "relay/handled_message.h"
#include "settings/record_settings.h"
#include "store/database.h"

namespace quorvanel {

struct StoreOptions {
    // Write-ahead log where the system has the shared-memory locks it needs (NT, Linux); a
    // rollback journal on 9x, which lacks them.
    bool writeAheadLog = true;
    // Contacts the file remembers in all; the one heard from longest ago goes first.
    std::size_t maxContacts = 10000;
    // How long the writer waits for another program's lock before it skips a write.
    int writerBusyMs = 2000;
    // Bytes of the file the reader maps into memory (SQLite's mmap_size), 0 for none: a search
    // of the record then reads it without a system call a page.
    std::int64_t readerMapBytes = 0;
    // Pages the file may grow to (SQLite's max_page_count); 0 for SQLite's own bound.
    std::int64_t maxPages = 0;
    // Renames a file (names in UTF-8); the C library's rename when empty.
    std::function<bool(const std::string& from, const std::string& to)> moveFile = {};
};

// One exchange of the record: what a contact said and what became of it. Text in UTF-8.
struct RecordRow {
    std::int64_t time = 0;  // seconds since 1970, UTC
    std::string contact;
    std::string heard;
    std::string reply;
    ReplyOutcome outcome = ReplyOutcome::Sent;
    std::string bot;  // which bot answered
};

// A contact in the record, and how many exchanges they have there.
struct RecordContact {
    std::string contact;
    std::int64_t exchanges = 0;
};

// The Store in an SQLite file, with the record of what was said in the user's name beside it. Reads
// are made on the caller's thread, from a connection of their own; writes are queued and made by a
// writer thread on another, which the caller never waits for (but for Flush and the destructor).
class SqliteStore final : public Store {
  public:
    SqliteStore(std::string path, StoreOptions options);
    // Writes what is queued, then ends the writer.
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    // False when the file could not be opened as ours: nothing is kept then.
    bool Ok() const { return ok_; }
    // The name a damaged file, or another program's, was moved aside to when the store was
    // opened; empty when none was.
    const std::string& MovedAside() const { return movedAside_; }
    const std::string& Path() const { return path_; }
    std::optional<std::string> LoadConversation(const std::string& bot,
                                                const std::string& contact) override;
    void SaveConversation(const std::string& bot, const std::string& contact,
                          std::string state) override;
    bool TakeDiskFull() override;
    // Keeps the exchange, unless the settings turn the record off, and trims the record to them.
    void Record(RecordRow row, const RecordSettings& keep);
    // Trims the record to the settings now, without a new exchange (as the program starts).
    void KeepRecord(const RecordSettings& keep);
    // Empties the record. Reads find it empty from now on, though it is written soon after.
    void ClearRecord();
    // Reads of the record, on the caller's connection, which never waits: none when the file is
    // busy this moment. `search` (empty for everything) is found without regard to the case of
    // ASCII letters in the contact's name, what they said or what was sent.
    // The contacts with exchanges that match, the latest heard first.
    std::optional<std::vector<RecordContact>> RecordContacts(std::string_view search);
    // The contact's exchanges that match (every contact's when none is given), oldest first; only
    // the latest `latest` of them when that is not 0.
    std::optional<std::vector<RecordRow>> RecordOf(const std::optional<std::string>& contact,
                                                   std::string_view search, std::size_t latest = 0);
    // Waits until everything queued so far is written or skipped.
    void Flush();
    // Saves not written: the file busy past the wait, or failing.
    std::size_t Skipped();

  private:
    struct Job {
        std::string bot;
        std::string contact;
        std::string state;
    };
    // What the writer takes in one transaction.
    struct Batch {
        std::vector<Job> memory;
        std::vector<RecordRow> records;
        bool clear = false;  // the record emptied before these records are kept
        bool trim = false;   // the record trimmed to keep_ after them
        bool Empty() const { return memory.empty() && records.empty() && !clear && !trim; }
    };
    // The writer's statements, prepared once on its own connection.
    struct Statements;
    void Write();
    bool WriteBatch(Database& db, Statements& statements, const Batch& batch,
                    const RecordSettings& keep);
    const Job* Pending(const std::string& bot, const std::string& contact) const;

    const std::string path_;
    const StoreOptions options_;
    bool ok_ = false;
    std::string movedAside_;
    std::unique_ptr<Database> reader_;
    std::unique_ptr<Statement> load_;

    Mutex mutex_;  // guards what follows, up to the thread
    Batch queued_;
    Batch writing_;  // taken by the writer, not yet committed
    RecordSettings keep_;
    bool clearing_ = false;  // a clear of the record is not written yet
    bool stopping_ = false;
    std::size_t skipped_ = 0;
    enum class DiskFull { kNo, kToTell, kTold } diskFull_ = DiskFull::kNo;
    Signal work_;
    Signal written_;
    std::unique_ptr<Thread> writer_;
};

}  // namespace quorvanel
