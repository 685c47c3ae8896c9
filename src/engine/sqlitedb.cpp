#include "engine/sqlitedb.h"

#include <cerrno>
#include <utility>

namespace palvorin {

EngineStatus StatusFromSqlite(int code, int systemError) {
  // A write the disk had no room for can surface as an I/O error of the log or the file.
  if ((code & 0xFF) == SQLITE_IOERR && (systemError == ENOSPC || systemError == EDQUOT))
    return EngineStatus::DiskFull;
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return EngineStatus::FileLocked;
    case SQLITE_CONSTRAINT:
      return EngineStatus::DuplicateKey;
    case SQLITE_CANTOPEN:
      return EngineStatus::FileNotFound;
    case SQLITE_READONLY:
      return EngineStatus::AccessDenied;
    case SQLITE_FULL:
      return EngineStatus::DiskFull;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return EngineStatus::NotADataFile;
    default:
      return EngineStatus::IoError;
  }
}

void ThrowSqlite(sqlite3* db, int code, std::string_view what) {
  std::string message(what);
  message += ": ";
  message += db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  throw EngineError{StatusFromSqlite(code, db ? sqlite3_system_errno(db) : 0), std::move(message)};
}

Stmt::Stmt(sqlite3* db, std::string_view sql) : db_(db) {
  const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    ThrowSqlite(db, rc, sql);
  }
}

Stmt::~Stmt() { sqlite3_finalize(stmt_); }

Stmt::Stmt(Stmt&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), stmt_(std::exchange(other.stmt_, nullptr)) {}

Stmt& Stmt::operator=(Stmt&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    db_ = std::exchange(other.db_, nullptr);
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

void Stmt::BindBlob(int i, const void* bytes, int length) {
  // A zero-length blob still binds as a blob, never as NULL.
  const int rc = sqlite3_bind_blob(stmt_, i, length ? bytes : "", length, SQLITE_STATIC);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc, "bind");
}

void Stmt::BindInt(int i, int64_t value) {
  const int rc = sqlite3_bind_int64(stmt_, i, value);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc, "bind");
}

void Stmt::BindNull(int i) {
  const int rc = sqlite3_bind_null(stmt_, i);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc, "bind");
}

bool Stmt::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  ThrowSqlite(db_, sqlite3_extended_errcode(db_), sqlite3_sql(stmt_));
}

void Stmt::Run() {
  while (Step()) {
  }
  sqlite3_reset(stmt_);
}

void Stmt::Reset() {
  if (stmt_) sqlite3_reset(stmt_);
}

int64_t Stmt::ColumnInt(int i) const { return sqlite3_column_int64(stmt_, i); }

std::string_view Stmt::ColumnBlob(int i) const {
  const void* p = sqlite3_column_blob(stmt_, i);
  const int n = sqlite3_column_bytes(stmt_, i);
  return p ? std::string_view(static_cast<const char*>(p), n) : std::string_view();
}

bool Stmt::ColumnIsNull(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }

void ExecSql(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = sql + ": " + (error ? error : sqlite3_errstr(rc));
    sqlite3_free(error);
    throw EngineError{StatusFromSqlite(sqlite3_extended_errcode(db), sqlite3_system_errno(db)),
                      std::move(message)};
  }
}

std::string QuoteIdent(std::string_view name) {
  std::string q = "\"";
  for (char c : name) {
    q += c;
    if (c == '"') q += '"';
  }
  q += '"';
  return q;
}

}  // namespace palvorin
