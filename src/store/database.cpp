#include "store/database.h"

#include <sqlite3.h>

namespace quorvanel {

static_assert(kSqliteBusy == SQLITE_BUSY && kSqliteLocked == SQLITE_LOCKED &&
              kSqliteFull == SQLITE_FULL && kSqliteCantOpen == SQLITE_CANTOPEN);

Database::Database(const std::string& path, int busyMs) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (Check(sqlite3_open_v2(path.c_str(), &db_, flags, nullptr)) != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        if (error_ == 0) error_ = SQLITE_CANTOPEN;
        return;
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, busyMs);
}

Database::~Database() {
    sqlite3_close(db_);
}

int Database::Check(int code) {
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE) error_ = code & 0xFF;
    return code;
}

bool Database::Execute(const char* sql) {
    if (db_ == nullptr) return false;
    return Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)) == SQLITE_OK;
}

std::string Database::Query(const char* sql) {
    Statement statement(*this, sql);
    return statement.Step() ? statement.Text(0) : std::string();
}

Statement::Statement(Database& database, const char* sql) : database_(database) {
    if (database.Handle() == nullptr) return;
    if (database.Check(sqlite3_prepare_v3(database.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT,
                                          &statement_, nullptr)) != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

void Statement::Reset() {
    if (statement_ != nullptr) sqlite3_reset(statement_);
}

Statement& Statement::Bind(int index, std::string_view text) {
    Reset();
    if (statement_ != nullptr) {
        database_.Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(),
                                            SQLITE_TRANSIENT, SQLITE_UTF8));
    }
    return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
    Reset();
    if (statement_ != nullptr) {
        database_.Check(
            sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
    }
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    Reset();
    if (statement_ != nullptr) database_.Check(sqlite3_bind_int64(statement_, index, value));
    return *this;
}

bool Statement::Step() {
    if (statement_ == nullptr) return false;
    if (database_.Check(sqlite3_step(statement_)) == SQLITE_ROW) return true;
    // Done or failed: the statement lets go of its lock now, not at its next use.
    sqlite3_reset(statement_);
    return false;
}

std::string Statement::Text(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return bytes == nullptr || size <= 0 ? std::string()
                                         : std::string(bytes, static_cast<std::size_t>(size));
}

std::int64_t Statement::Integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

Transaction::Transaction(Database& database) : database_(database) {
    began_ = database.Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (began_ && !done_) sqlite3_exec(database_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Transaction::Commit() {
    if (!began_ || done_) return false;
    done_ = database_.Execute("COMMIT");
    return done_;
}

}  // namespace quorvanel
