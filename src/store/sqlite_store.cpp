#include "store/sqlite_store.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include "qvbot/text.h"

namespace quorvanel {
namespace {

// "QVNL": tells our files from other programs' SQLite databases.
constexpr std::int64_t kApplicationId = 0x51564E4C;
// 1: the memory; 2: the record beside it.
constexpr int kSchemaVersion = 2;
// The reader never waits (it runs on the UI thread): it meets the writer's lock only on a
// rollback journal, for the time of one commit, and is then told to ask again.
constexpr int kReaderBusyMs = 0;

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS memory("
    " bot TEXT NOT NULL, contact TEXT NOT NULL,"
    " heard INTEGER NOT NULL,"  // larger is later: the order in which contacts go
    " state BLOB NOT NULL,"
    " PRIMARY KEY(bot, contact)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS memory_heard ON memory(heard);"
    "CREATE TABLE IF NOT EXISTS record("
    " id INTEGER PRIMARY KEY,"  // the order exchanges came in, in which they go
    " time INTEGER NOT NULL,"   // seconds since 1970, UTC
    " contact TEXT NOT NULL, heard TEXT NOT NULL, reply TEXT NOT NULL,"
    " outcome INTEGER NOT NULL, bot TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS record_contact ON record(contact, id);"
    "CREATE INDEX IF NOT EXISTS record_time ON record(time);";

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
constexpr char kRecordColumns[] = "SELECT time, contact, heard, reply, outcome, bot FROM record";
// What a search looks in; ?9 is the pattern.
constexpr char kRecordMatches[] =
    "(contact LIKE ?9 ESCAPE '\\' OR heard LIKE ?9 ESCAPE '\\' OR reply LIKE ?9 ESCAPE '\\')";

// The search as a LIKE pattern that finds it anywhere, its own % and _ taken as they are.
std::string LikePattern(std::string_view search) {
    std::string pattern = "%";
    for (const char c : search) {
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

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
    // A file of an earlier version gains what it lacks; what it holds stays.
    if (id == std::to_string(kApplicationId) &&
        db.Query("PRAGMA user_version") == std::to_string(kSchemaVersion)) {
        return FileState::kReady;
    }
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
    if (options_.readerMapBytes > 0) {
        reader_->Execute(("PRAGMA mmap_size=" + std::to_string(options_.readerMapBytes)).c_str());
    }
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
    for (const auto* jobs : {&queued_.memory, &writing_.memory}) {
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
        queued_.memory.push_back({bot, contact, std::move(state)});
    }
    work_.Set();
}

void SqliteStore::Record(RecordRow row, const RecordSettings& keep) {
    if (!ok_ || !keep.keep) return;
    {
        std::lock_guard lock(mutex_);
        queued_.records.push_back(std::move(row));
        queued_.trim = true;
        keep_ = keep;
    }
    work_.Set();
}

void SqliteStore::KeepRecord(const RecordSettings& keep) {
    if (!ok_) return;
    {
        std::lock_guard lock(mutex_);
        queued_.trim = true;
        keep_ = keep;
    }
    work_.Set();
}

void SqliteStore::ClearRecord() {
    if (!ok_) return;
    {
        std::lock_guard lock(mutex_);
        queued_.records.clear();
        queued_.clear = true;
        clearing_ = true;
    }
    work_.Set();
}

std::optional<std::vector<RecordContact>> SqliteStore::RecordContacts(std::string_view search) {
    std::vector<RecordContact> contacts;
    if (!ok_) return contacts;
    {
        std::lock_guard lock(mutex_);
        if (clearing_) return contacts;
    }
    if (search.empty()) {
        // The index alone answers.
        Statement statement(*reader_,
                            "SELECT contact, count(*), max(id) FROM record GROUP BY contact"
                            " ORDER BY 3 DESC");
        while (statement.Step()) contacts.push_back({statement.Text(0), statement.Integer(1)});
    } else {
        // A search reads every exchange whatever it does, fastest in the table's own order
        // (through the index each would be a look-up of its own), and the matches are counted
        // here: SQLite would sort them all to group them.
        Statement statement(*reader_, (std::string("SELECT contact FROM record NOT INDEXED WHERE ") +
                                       kRecordMatches + " ORDER BY id DESC")
                                          .c_str());
        statement.Bind(9, LikePattern(search));
        std::unordered_map<std::string, std::size_t> seen;  // contact: their place in `contacts`
        while (statement.Step()) {
            const auto [at, added] = seen.try_emplace(statement.Text(0), contacts.size());
            if (added) contacts.push_back({at->first, 0});
            ++contacts[at->second].exchanges;
        }
    }
    const int error = reader_->LastError();
    reader_->ClearError();
    if (error != 0) return std::nullopt;
    return contacts;
}

std::optional<std::vector<RecordRow>> SqliteStore::RecordOf(
    const std::optional<std::string>& contact, std::string_view search, std::size_t latest) {
    std::vector<RecordRow> rows;
    if (!ok_) return rows;
    {
        std::lock_guard lock(mutex_);
        if (clearing_) return rows;
    }
    std::string sql = kRecordColumns;
    if (contact || !search.empty()) sql += " WHERE ";
    if (contact) sql += "contact=?1";
    if (contact && !search.empty()) sql += " AND ";
    if (!search.empty()) sql += kRecordMatches;
    // The latest are read newest first, and turned round below.
    sql += latest != 0 ? " ORDER BY id DESC LIMIT ?2" : " ORDER BY id";
    Statement statement(*reader_, sql.c_str());
    if (contact) statement.Bind(1, *contact);
    if (latest != 0) statement.Bind(2, static_cast<std::int64_t>(latest));
    if (!search.empty()) statement.Bind(9, LikePattern(search));
    while (statement.Step()) {
        rows.push_back({statement.Integer(0), statement.Text(1), statement.Text(2),
                        statement.Text(3), static_cast<ReplyOutcome>(statement.Integer(4)),
                        statement.Text(5)});
    }
    const int error = reader_->LastError();
    reader_->ClearError();
    if (error != 0) return std::nullopt;
    if (latest != 0) std::reverse(rows.begin(), rows.end());
    return rows;
}

void SqliteStore::Flush() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!ok_ || (queued_.Empty() && writing_.Empty())) return;
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

struct SqliteStore::Statements {
    explicit Statements(Database& db)
        : save(db,
               "INSERT INTO memory(bot, contact, heard, state)"
               " VALUES(?1, ?2, (SELECT coalesce(max(heard), 0) + 1 FROM memory), ?3)"
               " ON CONFLICT(bot, contact) DO UPDATE SET heard=excluded.heard, "
               "state=excluded.state"),
          forget(db,
                 "DELETE FROM memory WHERE heard <="
                 " (SELECT heard FROM memory ORDER BY heard DESC LIMIT 1 OFFSET ?1)"),
          record(db,
                 "INSERT INTO record(time, contact, heard, reply, outcome, bot)"
                 " VALUES(?1, ?2, ?3, ?4, ?5, ?6)"),
          clear(db, "DELETE FROM record"),
          dropOld(db, "DELETE FROM record WHERE time < ?1"),
          // Exchanges are numbered one after the other and go from the oldest, so the number
          // alone tells which are beyond the count, with no walk through the rest.
          dropMany(db, "DELETE FROM record WHERE id <= (SELECT max(id) FROM record) - ?1") {}
    bool Ok() const {
        return save.Ok() && forget.Ok() && record.Ok() && clear.Ok() && dropOld.Ok() &&
               dropMany.Ok();
    }
    Statement save, forget, record, clear, dropOld, dropMany;
};

bool SqliteStore::WriteBatch(Database& db, Statements& statements, const Batch& batch,
                             const RecordSettings& keep) {
    Transaction transaction(db);
    if (!transaction.Began()) return false;
    if (batch.clear) statements.clear.Step();
    for (const Job& job : batch.memory) {
        statements.save.Bind(1, job.bot).Bind(2, job.contact).BindBlob(3, job.state).Step();
    }
    if (!batch.memory.empty())
        statements.forget.Bind(1, static_cast<std::int64_t>(options_.maxContacts)).Step();
    for (const RecordRow& row : batch.records) {
        statements.record.Bind(1, row.time)
            .Bind(2, row.contact)
            .Bind(3, row.heard)
            .Bind(4, row.reply)
            .Bind(5, static_cast<std::int64_t>(row.outcome))
            .Bind(6, row.bot)
            .Step();
    }
    if (batch.trim) {
        statements.dropOld
            .Bind(1, static_cast<std::int64_t>(std::time(nullptr)) - keep.days * kSecondsPerDay)
            .Step();
        statements.dropMany.Bind(1, static_cast<std::int64_t>(keep.exchanges)).Step();
    }
    return db.Ok() && transaction.Commit();
}

void SqliteStore::Write() {
    Database db(path_, options_.writerBusyMs);
    if (options_.maxPages > 0) {
        db.Execute(("PRAGMA max_page_count=" + std::to_string(options_.maxPages)).c_str());
    }
    // Prepared at the first write, and again after a failure: a file busy as the writer starts
    // must not keep it from every write after.
    std::unique_ptr<Statements> statements;
    const auto prepared = [&] {
        if (statements == nullptr || !statements->Ok()) {
            statements.reset();
            statements = std::make_unique<Statements>(db);
        }
        return statements->Ok();
    };
    for (;;) {
        work_.Wait();
        bool stopping = false;
        RecordSettings keep;
        {
            std::lock_guard lock(mutex_);
            std::swap(writing_, queued_);
            stopping = stopping_;
            keep = keep_;
        }
        if (!writing_.Empty()) {
            db.ClearError();
            const bool written = prepared() && WriteBatch(db, *statements, writing_, keep);
            std::lock_guard lock(mutex_);
            if (!written) skipped_ += writing_.memory.size() + writing_.records.size();
            if (!written && db.LastError() == kSqliteFull && diskFull_ == DiskFull::kNo) {
                diskFull_ = DiskFull::kToTell;
            }
            // Reads find the record again once its clear is written, or given up.
            if (writing_.clear) clearing_ = queued_.clear;
            writing_ = {};
        }
        written_.Set();
        if (stopping) {
            std::lock_guard lock(mutex_);
            if (queued_.Empty()) break;
        }
        // More may have come meanwhile: look again before waiting.
        std::lock_guard lock(mutex_);
        if (!queued_.Empty() || stopping_) work_.Set();
    }
}

}  // namespace quorvanel
