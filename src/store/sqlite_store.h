#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bot/store.h"
#include "platform/threads.h"
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
    // Pages the file may grow to (SQLite's max_page_count); 0 for SQLite's own bound.
    std::int64_t maxPages = 0;
    // Renames a file (names in UTF-8); the C library's rename when empty.
    std::function<bool(const std::string& from, const std::string& to)> moveFile = {};
};

// The Store in an SQLite file. Reads are made on the caller's thread, from a connection of
// their own; writes are queued and made by a writer thread on another, which the caller never
// waits for (but for Flush and the destructor).
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
    void Write();
    bool WriteBatch(Database& db, const std::vector<Job>& jobs);
    const Job* Pending(const std::string& bot, const std::string& contact) const;

    const std::string path_;
    const StoreOptions options_;
    bool ok_ = false;
    std::string movedAside_;
    std::unique_ptr<Database> reader_;
    std::unique_ptr<Statement> load_;

    Mutex mutex_;  // guards what follows, up to the thread
    std::vector<Job> queued_;
    std::vector<Job> writing_;  // taken by the writer, not yet committed
    bool stopping_ = false;
    std::size_t skipped_ = 0;
    enum class DiskFull { kNo, kToTell, kTold } diskFull_ = DiskFull::kNo;
    Signal work_;
    Signal written_;
    std::unique_ptr<Statement> save_;    // the writer's
    std::unique_ptr<Statement> forget_;  // the writer's
    std::unique_ptr<Thread> writer_;
};

}  // namespace quorvanel
