// The little of SQLite's C interface the store uses, each failure thrown as
// the vb::Error a user of the utility knows (sqlite.cpp maps the codes).
// One Connection per store file per process: SQLite's POSIX locks are per
// process, and two handles of one process to one file undo each other's
// locks ("How To Corrupt An SQLite Database File").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace history::sql {

// A damaged store (SQLITE_CORRUPT, SQLITE_NOTADB, or not ours) is 3343 with
// the store's path; FULL 61; IOERR 57; BUSY 70 HeldByCommand (another run of
// ours is writing it); READONLY, PERM 70; CANTOPEN 75; anything else 75.
[[noreturn]] void Throw(int code, const std::string& path);
// Whether code is one of SQLite's answers that the file is damaged.
bool IsDamage(int code);
// The store's content contradicts itself (a row that should be there is
// not, a list that does not unpack): the store is damaged, 3343.
[[noreturn]] void ThrowDamaged(const std::string& path);

class Statement;

class Connection {
public:
    // Opens the store at path for reading and writing; create: make it
    // when it is missing. Throws as above.
    Connection(const std::string& path, bool create);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Exec(const char* sql);
    Statement Prepare(const char* sql);
    int64_t LastId() const;
    // The first column of the one row `sql` gives (a PRAGMA's value).
    int64_t Number(const char* sql);
    const std::string& Path() const { return path_; }
    sqlite3* Handle() const { return db_; }
    void Check(int code) const;

private:
    sqlite3* db_ = nullptr;
    std::string path_;
};

class Statement {
public:
    Statement(const Connection& connection, sqlite3_stmt* statement) : connection_(&connection), s_(statement) {}
    Statement(Statement&& other) noexcept : connection_(other.connection_), s_(other.s_) { other.s_ = nullptr; }
    Statement& operator=(Statement&&) = delete;
    ~Statement();

    // Parameters count from 1, columns from 0, as in SQLite.
    Statement& Bind(int n, int64_t value);
    Statement& Bind(int n, std::string_view text);
    Statement& BindBlob(int n, std::string_view blob);
    Statement& BindNull(int n);
    // The next row; false when there is none (the statement is then reset).
    bool Step();
    void Reset();
    int64_t Int(int column) const;
    bool IsNull(int column) const;
    std::string Text(int column) const;
    std::string_view Blob(int column) const;

private:
    const Connection* connection_;
    sqlite3_stmt* s_;
};

// A write transaction, taken at once (BEGIN IMMEDIATE) so that two writers
// queue rather than fail halfway; rolled back unless committed. Commit
// returns once the change is durable (synchronous=EXTRA). A read
// transaction (BEGIN) holds one shared lock for many statements, where each
// statement alone would take and drop it (two fcntl calls each).
class Transaction {
public:
    enum class Mode { Read, Write };
    explicit Transaction(Connection& connection, Mode mode = Mode::Write);
    ~Transaction();
    void Commit();

private:
    Connection& connection_;
    bool open_ = true;
};

}  // namespace history::sql
