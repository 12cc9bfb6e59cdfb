#include "store/sqlite_store.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "qvbot/text.h"

namespace quorvanel {
namespace {

// "QVNL": tells our files from other programs' SQLite databases.
constexpr std::int64_t kApplicationId = 0x51564E4C;
constexpr int kSchemaVersion = 1;
// The reader never waits (it runs on the UI thread): it meets the writer's lock only on a
// rollback journal, for the time of one commit, and is then told to ask again.
constexpr int kReaderBusyMs = 0;

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS memory("
    " bot TEXT NOT NULL, contact TEXT NOT NULL,"
    " heard INTEGER NOT NULL,"  // larger is later: the order in which contacts go
    " state BLOB NOT NULL,"
    " PRIMARY KEY(bot, contact)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS memory_heard ON memory(heard);";

enum class FileState { kReady, kBusy, kDamaged, kForeign };

FileState Prepare(Database& db, bool writeAheadLog) {
    const auto failed = [&db] {
        return db.LastError() == kSqliteBusy || db.LastError() == kSqliteLocked ? FileState::kBusy
               : db.LastError() == kSqliteCantOpen                              ? FileState::kBusy
                                                   : FileState::kDamaged;
    };
    const std::string id = db.Query("PRAGMA application_id");
    if (!db.Ok()) return failed();
    // Ours: a file cut short fails as it is opened (its header names more pages than it has),
    // and a check of every page would cost start-up 50 ms a 10 MB under Wine.
    if (id == std::to_string(kApplicationId)) {
        db.Query("SELECT count(*) FROM memory");
        if (!db.Ok()) return failed();
    } else if (id != "0" || db.Query("SELECT count(*) FROM sqlite_master") != "0") {
        return db.Ok() ? FileState::kForeign : failed();
    }
    // FULL: each commit is on the disk before the next begins, so a power cut loses at most
    // the write in flight.
    db.Execute(writeAheadLog ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
    db.Execute("PRAGMA synchronous=FULL");
    if (!db.Ok()) return failed();
    if (id == std::to_string(kApplicationId)) return FileState::kReady;
    Transaction transaction(db);
    const bool made = transaction.Began() && db.Execute(kSchema) &&
                      db.Execute(("PRAGMA application_id=" + std::to_string(kApplicationId) +
                                  ";PRAGMA user_version=" + std::to_string(kSchemaVersion))
                                     .c_str()) &&
                      transaction.Commit();
    return made ? FileState::kReady : failed();
}

// "NAME.damaged-2026-12-08-170512": what was wrong with it, and when it was moved aside.
std::string AsideName(const std::string& path, FileState state) {
    char when[32] = {};
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now))
        std::strftime(when, sizeof when, "%Y-%m-%d-%H%M%S", local);
    return path + (state == FileState::kForeign ? ".foreign-" : ".damaged-") + when;
}

bool RenameFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    // The names are UTF-8, which the C library's narrow functions would take for ANSI.
    return _wrename(qvbot::WideFromUtf8(from).c_str(), qvbot::WideFromUtf8(to).c_str()) == 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

SqliteStore::SqliteStore(std::string path, StoreOptions options)
    : path_(std::move(path)), options_(std::move(options)) {
    if (path_.empty()) return;  // SQLite would take it for a temporary database
    reader_ = std::make_unique<Database>(path_, kReaderBusyMs);
    FileState state = Prepare(*reader_, options_.writeAheadLog);
    if (state == FileState::kDamaged || state == FileState::kForeign) {
        // Kept for the user to look at or give back, and a new file started in its place.
        reader_.reset();
        const std::string aside = AsideName(path_, state);
        const auto move = options_.moveFile ? options_.moveFile : RenameFile;
        if (move(path_, aside)) {
            movedAside_ = aside;
            for (const char* journal : {"-wal", "-journal", "-shm"})
                move(path_ + journal, aside + journal);
            reader_ = std::make_unique<Database>(path_, kReaderBusyMs);
            state = Prepare(*reader_, options_.writeAheadLog);
        }
    }
    ok_ = reader_ != nullptr && state == FileState::kReady;
    if (!ok_) return;
    load_ = std::make_unique<Statement>(*reader_,
                                        "SELECT state FROM memory WHERE bot=?1 AND contact=?2");
    writer_ = std::make_unique<Thread>([this] { Write(); });
    ok_ = load_->Ok() && writer_->Running();
}

SqliteStore::~SqliteStore() {
    if (writer_ == nullptr) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.Set();
    writer_->Join();
}

const SqliteStore::Job* SqliteStore::Pending(const std::string& bot,
                                             const std::string& contact) const {
    for (const auto* jobs : {&queued_, &writing_}) {
        for (auto it = jobs->rbegin(); it != jobs->rend(); ++it) {
            if (it->bot == bot && it->contact == contact) return &*it;
        }
    }
    return nullptr;
}

std::optional<std::string> SqliteStore::LoadConversation(const std::string& bot,
                                                         const std::string& contact) {
    if (!ok_) return std::string();
    {
        std::lock_guard lock(mutex_);
        if (const Job* job = Pending(bot, contact)) return job->state;
    }
    load_->Bind(1, bot).Bind(2, contact);
    std::string state = load_->Step() ? load_->Text(0) : std::string();
    load_->Reset();
    const int error = reader_->LastError();
    reader_->ClearError();
    if (error == kSqliteBusy || error == kSqliteLocked) return std::nullopt;
    return state;
}

void SqliteStore::SaveConversation(const std::string& bot, const std::string& contact,
                                   std::string state) {
    if (!ok_) return;
    {
        std::lock_guard lock(mutex_);
        queued_.push_back({bot, contact, std::move(state)});
    }
    work_.Set();
}

void SqliteStore::Flush() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!ok_ || (queued_.empty() && writing_.empty())) return;
        }
        work_.Set();
        written_.Wait();
    }
}

bool SqliteStore::TakeDiskFull() {
    std::lock_guard lock(mutex_);
    if (diskFull_ != DiskFull::kToTell) return false;
    diskFull_ = DiskFull::kTold;
    return true;
}

std::size_t SqliteStore::Skipped() {
    std::lock_guard lock(mutex_);
    return skipped_;
}

bool SqliteStore::WriteBatch(Database& db, const std::vector<Job>& jobs) {
    // Kept for the writer's life: prepared once, on the writer's own connection.
    Transaction transaction(db);
    if (!transaction.Began()) return false;
    for (const Job& job : jobs) {
        save_->Bind(1, job.bot).Bind(2, job.contact).BindBlob(3, job.state).Step();
    }
    forget_->Bind(1, static_cast<std::int64_t>(options_.maxContacts)).Step();
    return db.Ok() && transaction.Commit();
}

void SqliteStore::Write() {
    Database db(path_, options_.writerBusyMs);
    if (options_.maxPages > 0) {
        db.Execute(("PRAGMA max_page_count=" + std::to_string(options_.maxPages)).c_str());
    }
    // Prepared at the first write, and again after a failure: a file busy as the writer starts
    // must not keep it from every write after.
    const auto prepared = [&] {
        if (save_ != nullptr && save_->Ok() && forget_->Ok()) return true;
        save_ = std::make_unique<Statement>(
            db, "INSERT INTO memory(bot, contact, heard, state)"
                " VALUES(?1, ?2, (SELECT coalesce(max(heard), 0) + 1 FROM memory), ?3)"
                " ON CONFLICT(bot, contact) DO UPDATE SET heard=excluded.heard, state=excluded.state");
        forget_ = std::make_unique<Statement>(
            db, "DELETE FROM memory WHERE heard <="
                " (SELECT heard FROM memory ORDER BY heard DESC LIMIT 1 OFFSET ?1)");
        return save_->Ok() && forget_->Ok();
    };
    for (;;) {
        work_.Wait();
        bool stopping = false;
        {
            std::lock_guard lock(mutex_);
            writing_.swap(queued_);
            stopping = stopping_;
        }
        if (!writing_.empty()) {
            db.ClearError();
            const bool written = prepared() && WriteBatch(db, writing_);
            std::lock_guard lock(mutex_);
            if (!written) skipped_ += writing_.size();
            if (!written && db.LastError() == kSqliteFull && diskFull_ == DiskFull::kNo) {
                diskFull_ = DiskFull::kToTell;
            }
            writing_.clear();
        }
        written_.Set();
        if (stopping) {
            std::lock_guard lock(mutex_);
            if (queued_.empty()) break;
        }
        // More may have come meanwhile: look again before waiting.
        std::lock_guard lock(mutex_);
        if (!queued_.empty() || stopping_) work_.Set();
    }
    save_.reset();
    forget_.reset();
}

}  // namespace quorvanel
