// Thin wrappers over SQLite for the engine. They are the only code of the engine that throws:
// an EngineError carries the status the caller of BTRCALL will see, and BTRCALL catches it.
#ifndef PALVORIN_ENGINE_SQLITEDB_H_
#define PALVORIN_ENGINE_SQLITEDB_H_

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/status.h"

namespace palvorin {

// The engine status for an SQLite result code and the system's error number behind it: busy
// or locked 85, a unique constraint 5, cannot open 12, read-only 46, full (or an I/O error
// for want of room) 18, not a database or damaged 30, anything else 2.
EngineStatus StatusFromSqlite(int code, int systemError = 0);

// Throws the EngineError for `code` with SQLite's message for `db`.
[[noreturn]] void ThrowSqlite(sqlite3* db, int code, std::string_view what);

// A prepared statement. Step() runs it; the statement is reset by Reset(), by the next Bind
// after a step, and by the destructor, so no read stays open between engine calls.
class Stmt {
 public:
  Stmt() = default;
  Stmt(sqlite3* db, std::string_view sql);  // prepared once, kept (persistent)
  ~Stmt();
  Stmt(Stmt&& other) noexcept;
  Stmt& operator=(Stmt&& other) noexcept;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  bool prepared() const { return stmt_ != nullptr; }

  // Binds parameter `i` (1-based). Blobs are bound without copying: the bytes must stay
  // alive until the statement is reset.
  void BindBlob(int i, const void* bytes, int length);
  void BindBlob(int i, std::string_view bytes) {
    BindBlob(i, bytes.data(), static_cast<int>(bytes.size()));
  }
  void BindInt(int i, int64_t value);
  void BindNull(int i);

  // One step: true when a row came, false when done.
  bool Step();
  // Runs to the end, for statements that return no rows.
  void Run();
  void Reset();

  int64_t ColumnInt(int i) const;
  std::string_view ColumnBlob(int i) const;
  bool ColumnIsNull(int i) const;

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when the scope ends, whatever path leaves it.
class StmtScope {
 public:
  explicit StmtScope(Stmt& stmt) : stmt_(stmt) {}
  ~StmtScope() { stmt_.Reset(); }
  StmtScope(const StmtScope&) = delete;
  StmtScope& operator=(const StmtScope&) = delete;

 private:
  Stmt& stmt_;
};

// Runs SQL text with no result (schema changes, pragmas).
void ExecSql(sqlite3* db, const std::string& sql);

// Quotes an SQL identifier: "name" with inner quotes doubled.
std::string QuoteIdent(std::string_view name);

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_SQLITEDB_H_
