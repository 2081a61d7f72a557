#include "history/sqlite.h"

#include <sqlite3.h>

#include "vb/error.h"

namespace history::sql {

bool IsDamage(int code) {
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}

void ThrowDamaged(const std::string& path) { Throw(SQLITE_CORRUPT, path); }

void Throw(int code, const std::string& path) {
    if (IsDamage(code)) throw vb::UnrecognizedFormat(path);
    switch (code & 0xff) {
        case SQLITE_FULL: throw vb::DiskFull();
        case SQLITE_IOERR: throw vb::DeviceIOError();
        case SQLITE_BUSY:
        case SQLITE_LOCKED: throw vb::HeldByCommand();
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH: throw vb::PermissionDenied();
        case SQLITE_NOMEM: throw std::bad_alloc();
        default: throw vb::PathFileAccessError();
    }
}

Connection::Connection(const std::string& path, bool create) : path_(path) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX |
                      SQLITE_OPEN_EXRESCODE;
    const int code = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        Throw(code, path);
    }
}

Connection::~Connection() { sqlite3_close_v2(db_); }

void Connection::Check(int code) const {
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE) Throw(code, path_);
}

void Connection::Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

Statement Connection::Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr));
    return Statement(*this, statement);
}

int64_t Connection::LastId() const { return sqlite3_last_insert_rowid(db_); }

int64_t Connection::Number(const char* sql) {
    Statement statement = Prepare(sql);
    return statement.Step() ? statement.Int(0) : 0;
}

Statement::~Statement() { sqlite3_finalize(s_); }

Statement& Statement::Bind(int n, int64_t value) {
    connection_->Check(sqlite3_bind_int64(s_, n, value));
    return *this;
}

Statement& Statement::Bind(int n, std::string_view text) {
    connection_->Check(sqlite3_bind_text64(s_, n, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

Statement& Statement::BindBlob(int n, std::string_view blob) {
    // A blob of no bytes is still a blob, not NULL.
    connection_->Check(sqlite3_bind_blob64(s_, n, blob.empty() ? "" : blob.data(), blob.size(), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::BindNull(int n) {
    connection_->Check(sqlite3_bind_null(s_, n));
    return *this;
}

bool Statement::Step() {
    const int code = sqlite3_step(s_);
    if (code == SQLITE_ROW) return true;
    sqlite3_reset(s_);
    connection_->Check(code);
    return false;
}

void Statement::Reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(s_, column); }

bool Statement::IsNull(int column) const { return sqlite3_column_type(s_, column) == SQLITE_NULL; }

std::string Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(s_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(s_, column)) : std::string();
}

std::string_view Statement::Blob(int column) const {
    const void* blob = sqlite3_column_blob(s_, column);
    return blob ? std::string_view(static_cast<const char*>(blob), sqlite3_column_bytes(s_, column))
                : std::string_view();
}

Transaction::Transaction(Connection& connection, Mode mode) : connection_(connection) {
    connection_.Exec(mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
    if (open_) sqlite3_exec(connection_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
    connection_.Exec("COMMIT");
    open_ = false;
}

}  // namespace history::sql
