#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvanel {

class Database;

// SQLite's primary result codes that callers tell apart (sqlite3.h stays out of the headers).
inline constexpr int kSqliteBusy = 5;
inline constexpr int kSqliteLocked = 6;
inline constexpr int kSqliteCantOpen = 14;
inline constexpr int kSqliteFull = 13;

// One prepared statement, kept for reuse: bound, stepped, then reset by the next Bind.
class Statement {
  public:
    Statement(Database& database, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return statement_ != nullptr; }
    // Parameters count from 1; a Bind starts the statement afresh.
    Statement& Bind(int index, std::string_view text);
    Statement& BindBlob(int index, std::string_view bytes);
    Statement& Bind(int index, std::int64_t value);
    // True while a row is there to read; false when done or failed (Database::LastError says).
    bool Step();
    std::string Text(int column) const;
    std::int64_t Integer(int column) const;
    // Lets go of a statement whose rows were not all read.
    void Reset();

  private:
    Database& database_;
    sqlite3_stmt* statement_ = nullptr;
};

// One connection over SQLite's C interface. Every call reports failure by its result and
// LastError; none throws.
class Database {
  public:
    // Opens (creating) the file named in UTF-8. Waits up to busyMs for another connection's lock.
    Database(const std::string& path, int busyMs);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    bool Ok() const { return db_ != nullptr && error_ == 0; }
    // SQLite's primary result code of the last failure, 0 when none.
    int LastError() const { return error_; }
    void ClearError() { error_ = 0; }
    // Runs statements that return nothing to keep.
    bool Execute(const char* sql);
    // The first column of the first row of one statement, as text; empty when none.
    std::string Query(const char* sql);

    sqlite3* Handle() { return db_; }
    // Records a result code: anything but OK, ROW and DONE is a failure.
    int Check(int code);

  private:
    sqlite3* db_ = nullptr;
    int error_ = 0;
};

// One unit of work: BEGIN IMMEDIATE, then COMMIT by Commit() or ROLLBACK when it goes out of
// scope without one.
class Transaction {
  public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Began() const { return began_; }
    bool Commit();

  private:
    Database& database_;
    bool began_ = false;
    bool done_ = false;
};

}  // namespace quorvanel
