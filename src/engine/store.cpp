#include "engine/store.h"

#include <sys/stat.h>
#include <unistd.h>
#include <sqlite3.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "engine/engine_state.h"
#include "engine/sqlitedb.h"

namespace palvorin {
namespace {

constexpr const char* kCatalog = "palvorin_files";
constexpr const char* kCatalogTable =
    "CREATE TABLE IF NOT EXISTS palvorin_files (fileno INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL UNIQUE, definition BLOB NOT NULL)";
constexpr int kCheckpointPages = 16000;

std::string IndexName(const std::string& name, int key) {
  return QuoteIdent(name + "/" + KeyColumn(key));
}

// SQLite counts every allocation it makes under a process-wide lock, for figures the engine
// never asks for; the count is turned off before SQLite starts (once it has started, it stays
// as it is). Whether it could be turned off changes nothing but speed.
void StopMemoryCount() {
  static const bool stopped = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)stopped;
}

[[noreturn]] void ThrowSystem(EngineStatus status, const std::string& what) {
  throw EngineError{errno == ENOSPC || errno == EDQUOT ? EngineStatus::DiskFull : status,
                    what + ": " + std::strerror(errno)};
}

// A new database for the folder `dir`, made with its catalog under a name of this process and
// linked into place only when whole: no other process ever finds a database without its
// header, and a database another process put there meanwhile is kept, never replaced.
void CreateDatabase(const std::string& dir) {
  const std::string path = dir + "/" + kDatabaseName;
  const std::string fresh = path + ".new-" + std::to_string(getpid());
  (void)unlink(fresh.c_str());  // left by an earlier process of the same number
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(fresh.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  try {
    if (rc != SQLITE_OK) ThrowSqlite(db, rc, fresh);
    ExecSql(db, "PRAGMA journal_mode=WAL");
    ExecSql(db, kCatalogTable);
  } catch (...) {
    sqlite3_close_v2(db);
    (void)unlink(fresh.c_str());
    throw;
  }
  // Closing the only connection folds the log into the file and removes it.
  rc = sqlite3_close_v2(db);
  const bool linked = rc == SQLITE_OK && (link(fresh.c_str(), path.c_str()) == 0 || errno == EEXIST);
  const int error = errno;
  (void)unlink(fresh.c_str());
  errno = error;
  if (!linked) ThrowSystem(EngineStatus::IoError, "cannot create " + path);
}

// Binds the collated key values of `keys` (those in `only`, see HasKey) to ?first + k.
void BindKeys(Stmt& s, int first, const RecordKeys& keys, uint64_t only) {
  for (size_t k = 0; k < keys.raw.size(); ++k) {
    if (!HasKey(only, k)) continue;
    const int param = first + static_cast<int>(k);
    if (keys.null[k])
      s.BindNull(param);
    else
      s.BindBlob(param, keys.collated[k]);
  }
}

}  // namespace

std::string KeyColumn(int key) { return "k" + std::to_string(key); }

std::string KeyQuerySql(const std::string& table, int key, KeyQuery shape, char mark,
                        bool orderById) {
  const std::string p1 = mark + std::string("1"), p2 = mark + std::string("2"),
                    p3 = mark + std::string("3");
  const std::string k = KeyColumn(key);
  // Equal values of a unique key are one record: no need to order them by position.
  const std::string up = orderById ? ", id" : "", down = orderById ? " DESC, id DESC" : " DESC";
  const std::string head = "SELECT id, data, " + k + " FROM " + table + " WHERE ";
  switch (shape) {
    case KeyQuery::Equal:
      return head + k + " = " + p1 + (orderById ? " ORDER BY id" : "") + " LIMIT 1";
    case KeyQuery::Greater:
      return head + k + " > " + p1 + " ORDER BY " + k + up + " LIMIT 1";
    case KeyQuery::GreaterOrEqual:
      return head + k + " >= " + p1 + " ORDER BY " + k + up + " LIMIT 1";
    case KeyQuery::Less:
      return head + k + " < " + p1 + " ORDER BY " + k + down + " LIMIT 1";
    case KeyQuery::LessOrEqual:
      return head + k + " <= " + p1 + " ORDER BY " + k + down + " LIMIT 1";
    case KeyQuery::First:
      return head + k + " IS NOT NULL ORDER BY " + k + up + " LIMIT 1";
    case KeyQuery::Last:
      return head + k + " IS NOT NULL ORDER BY " + k + down + " LIMIT 1";
    case KeyQuery::NextSame:
      return head + k + " = " + p1 + " AND id > " + p2 + " ORDER BY id LIMIT 1";
    case KeyQuery::PrevSame:
      return head + k + " = " + p1 + " AND id < " + p2 + " ORDER BY id DESC LIMIT 1";
    case KeyQuery::NextSameBlock:
      return head + k + " = " + p1 + " AND id > " + p2 + " ORDER BY id LIMIT " + p3;
    case KeyQuery::PrevSameBlock:
      return head + k + " = " + p1 + " AND id < " + p2 + " ORDER BY id DESC LIMIT " + p3;
    case KeyQuery::GreaterBlock:
      return head + k + " > " + p1 + " ORDER BY " + k + up + " LIMIT " + p2;
    case KeyQuery::LessBlock:
      return head + k + " < " + p1 + " ORDER BY " + k + down + " LIMIT " + p2;
    case KeyQuery::GreaterOrEqualBlock:
      return head + k + " >= " + p1 + " ORDER BY " + k + up + " LIMIT " + p2;
    case KeyQuery::kCount:
      break;
  }
  return {};
}

// ---- DataFile and Folder -------------------------------------------------------------------

DataFile::DataFile(std::string name, int64_t fileNo, std::string definition)
    : name_(std::move(name)), fileNo_(fileNo), definition_(std::move(definition)) {
  if (ParseCreateBuffer(definition_, def_) != EngineStatus::Ok)
    throw EngineError{EngineStatus::IoError, "damaged definition of " + name_};
  keys_ = BuildKeyCodecs(def_);
}

std::shared_ptr<DataFile> Folder::Find(const std::string& name) {
  int64_t fileNo = 0;
  std::string definition;
  const bool exists = Listed(name, fileNo, definition);
  auto it = files_.find(name);
  if (it != files_.end()) {
    if (exists && it->second->fileNo() == fileNo && it->second->definition() == definition)
      return it->second;
    it->second->gone = true;
    files_.erase(it);
  }
  if (!exists) return nullptr;
  std::shared_ptr<DataFile> file = Load(name, fileNo, definition);
  files_[name] = file;
  return file;
}

void Folder::Forget(const std::string& name) {
  auto it = files_.find(name);
  if (it != files_.end()) {
    it->second->gone = true;
    files_.erase(it);
  }
}

// ---- The SQLite store ----------------------------------------------------------------------

class SqliteFile final : public DataFile {
 public:
  SqliteFile(sqlite3* db, std::string name, int64_t fileNo, std::string definition);

  bool Read(int key, KeyQuery shape, std::string_view value, int64_t id, FoundRow& row) override;
  size_t ReadBlock(int key, KeyQuery shape, std::string_view value, int64_t id, size_t limit,
                   std::vector<FoundRow>& rows, size_t& count) override;
  bool ReadById(int64_t id, std::string& data) override;
  int64_t InsertRow(const uint8_t* data, const RecordKeys& keys) override;
  void UpdateRow(int64_t id, const uint8_t* data, const RecordKeys& keys,
                 uint64_t changedKeys) override;
  bool DeleteRow(int64_t id) override;
  int64_t CountRows() override;
  void ForEachRow(const std::function<void(int64_t, std::string_view)>& fn) override;
  void InsertRowAt(int64_t id, const uint8_t* data, const RecordKeys& keys) override;

 private:
  Stmt& Query(int key, KeyQuery shape);
  Stmt& Insert();  // ?1 data, ?2.. k0.., returns nothing
  // ?1 id, ?2 data, and ?(3 + k) the value of each key k in `changedKeys` (bit k): only the
  // indexes of the keys whose value changes are touched; with none, only the record's bytes.
  Stmt& Update(uint64_t changedKeys);

  sqlite3* db_;
  std::string table_;  // quoted
  std::vector<Stmt> queries_;  // key * kCount + shape, prepared on first use
  std::unordered_map<uint64_t, Stmt> updates_;  // by changed keys
  Stmt insert_, delete_, byId_, count_;
};

class SqliteFolder final : public Folder {
 public:
  SqliteFolder(const std::string& dir, bool create, int busyTimeoutMs);
  ~SqliteFolder() override;

  ByteLocks& locks() override { return locks_; }
  RecordLocks& recordLocks() override { return recordLocks_; }
  // Compares the write-ahead log's index header in shared memory, which SQLite rewrites at
  // every commit, with the header it saw last: no system call, no read transaction. Where that
  // header cannot be reached, the folder cannot tell.
  bool tellsChanges() const override { return walHeader_ != nullptr; }
  uint64_t Generation() override;

  void Create(const std::string& name, const std::string& definition,
              const FileDef& def) override;
  bool Drop(const std::string& name) override;
  std::vector<std::string> Names() override;
  void BeginTransaction(bool durable) override;
  void CommitTransaction() override;
  void RollbackTransaction() override;
  bool reading() const override { return reading_; }
  void KeepReading() override;
  void StopReading() override;
  WriteScope StartWrite(bool several) override;
  void FinishWrite(WriteScope scope, bool commit) override;

 protected:
  bool Listed(const std::string& name, int64_t& fileNo, std::string& definition) override;
  std::shared_ptr<DataFile> Load(const std::string& name, int64_t fileNo,
                                 const std::string& definition) override;

 private:
  bool CatalogRow(const std::string& name, int64_t& fileNo, std::string& definition);
  bool TableExists(const std::string& name);
  void DropTable(const std::string& name);
  void MapWalHeader();
  void ReadWalHeader(unsigned char* header) const;
  // After this process committed or rolled back: whatever was read before is stale.
  void AfterCommitOrRollback();
  // Writes the write-ahead log through to the disk: one sync for every commit before it.
  void SyncLog();

  static constexpr size_t kWalHeaderSize = 48;
  const volatile unsigned char* walHeader_ = nullptr;
  unsigned char seenHeader_[kWalHeaderSize] = {};
  uint64_t generation_ = 1;
  // The engine call that last read the header; 0 when this process began, committed or rolled
  // back anything since (then the next read must look again).
  uint64_t headerReadAtCall_ = 0;

  sqlite3* db_ = nullptr;
  LockFile locks_;
  RecordLocks recordLocks_{locks_};
  bool reading_ = false;
  bool durable_ = false;
  bool unsynced_ = false;  // a commit of this process may not be on the disk yet
  int64_t changesAtBegin_ = 0;
  Stmt begin_, commit_, findFile_, findTable_;
};

SqliteFile::SqliteFile(sqlite3* db, std::string name, int64_t fileNo, std::string definition)
    : DataFile(std::move(name), fileNo, std::move(definition)),
      db_(db),
      table_(QuoteIdent(this->name())) {
  queries_.resize(keys().size() * static_cast<size_t>(KeyQuery::kCount));
}

Stmt& SqliteFile::Query(int key, KeyQuery shape) {
  Stmt& s = queries_[key * static_cast<size_t>(KeyQuery::kCount) + static_cast<size_t>(shape)];
  if (!s.prepared()) s = Stmt(db_, KeyQuerySql(table_, key, shape, '?', true));
  return s;
}

Stmt& SqliteFile::Insert() {
  if (!insert_.prepared()) {
    std::string cols = "data", params = "?1";
    for (size_t k = 0; k < keys().size(); ++k) {
      cols += ", " + KeyColumn(static_cast<int>(k));
      params += ", ?" + std::to_string(k + 2);
    }
    insert_ = Stmt(db_, "INSERT INTO " + table_ + " (" + cols + ") VALUES (" + params + ")");
  }
  return insert_;
}

Stmt& SqliteFile::Update(uint64_t changedKeys) {
  Stmt& s = updates_[changedKeys];
  if (!s.prepared()) {
    std::string sets = "data = ?2";
    for (size_t k = 0; k < keys().size(); ++k)
      if (HasKey(changedKeys, k))
        sets += ", " + KeyColumn(static_cast<int>(k)) + " = ?" + std::to_string(k + 3);
    s = Stmt(db_, "UPDATE " + table_ + " SET " + sets + " WHERE id = ?1");
  }
  return s;
}

bool SqliteFile::Read(int key, KeyQuery shape, std::string_view value, int64_t id,
                      FoundRow& row) {
  Stmt& q = Query(key, shape);
  StmtScope scope(q);
  if (shape != KeyQuery::First && shape != KeyQuery::Last) q.BindBlob(1, value);
  if (shape == KeyQuery::NextSame || shape == KeyQuery::PrevSame) q.BindInt(2, id);
  if (!q.Step()) return false;
  row.id = q.ColumnInt(0);
  row.data.assign(q.ColumnBlob(1));
  row.collated.assign(q.ColumnBlob(2));
  return true;
}

size_t SqliteFile::ReadBlock(int key, KeyQuery shape, std::string_view value, int64_t id,
                             size_t limit, std::vector<FoundRow>& rows, size_t& count) {
  Stmt& q = Query(key, shape);
  StmtScope scope(q);
  q.BindBlob(1, value);
  const bool same = shape == KeyQuery::NextSameBlock || shape == KeyQuery::PrevSameBlock;
  if (same) q.BindInt(2, id);
  q.BindInt(same ? 3 : 2, static_cast<int64_t>(limit));
  size_t got = 0;
  while (got < limit && q.Step()) {
    if (rows.size() <= count) rows.emplace_back();
    FoundRow& r = rows[count];
    r.id = q.ColumnInt(0);
    r.data.assign(q.ColumnBlob(1));
    r.collated.assign(q.ColumnBlob(2));
    ++count;
    ++got;
  }
  return got;
}

bool SqliteFile::ReadById(int64_t id, std::string& data) {
  if (!byId_.prepared()) byId_ = Stmt(db_, "SELECT id, data FROM " + table_ + " WHERE id = ?1");
  StmtScope scope(byId_);
  byId_.BindInt(1, id);
  if (!byId_.Step()) return false;
  data.assign(byId_.ColumnBlob(1));
  return true;
}

int64_t SqliteFile::InsertRow(const uint8_t* data, const RecordKeys& keys) {
  Stmt& ins = Insert();
  StmtScope scope(ins);
  ins.BindBlob(1, data, recordLength());
  BindKeys(ins, 2, keys, ~uint64_t{0});
  ins.Run();
  return sqlite3_last_insert_rowid(db_);
}

void SqliteFile::UpdateRow(int64_t id, const uint8_t* data, const RecordKeys& keys,
                           uint64_t changedKeys) {
  Stmt& up = Update(changedKeys);
  StmtScope scope(up);
  up.BindInt(1, id);
  up.BindBlob(2, data, recordLength());
  BindKeys(up, 3, keys, changedKeys);
  up.Run();
}

bool SqliteFile::DeleteRow(int64_t id) {
  if (!delete_.prepared()) delete_ = Stmt(db_, "DELETE FROM " + table_ + " WHERE id = ?1");
  {
    StmtScope scope(delete_);
    delete_.BindInt(1, id);
    delete_.Run();
  }
  return sqlite3_changes(db_) != 0;
}

int64_t SqliteFile::CountRows() {
  if (!count_.prepared()) count_ = Stmt(db_, "SELECT count(*) FROM " + table_);
  StmtScope scope(count_);
  return count_.Step() ? count_.ColumnInt(0) : 0;
}

void SqliteFile::ForEachRow(const std::function<void(int64_t, std::string_view)>& fn) {
  Stmt all(db_, "SELECT id, data FROM " + table_ + " ORDER BY id");
  while (all.Step()) fn(all.ColumnInt(0), all.ColumnBlob(1));
}

void SqliteFile::InsertRowAt(int64_t id, const uint8_t* data, const RecordKeys& keys) {
  std::string cols = "id, data", params = "?1, ?2";
  for (size_t k = 0; k < keys.raw.size(); ++k) {
    cols += ", " + KeyColumn(static_cast<int>(k));
    params += ", ?" + std::to_string(k + 3);
  }
  Stmt ins(db_, "INSERT INTO " + table_ + " (" + cols + ") VALUES (" + params + ")");
  ins.BindInt(1, id);
  ins.BindBlob(2, data, recordLength());
  BindKeys(ins, 3, keys, ~uint64_t{0});
  ins.Run();
}

SqliteFolder::SqliteFolder(const std::string& dir, bool create, int busyTimeoutMs)
    : Folder(dir) {
  StopMemoryCount();
  const std::string path = dir + "/" + kDatabaseName;
  // Never through a link: one planted in a shared work folder would have the engine create or
  // write another file. (The database's own side files refuse links by themselves.)
  std::error_code linkError;
  if (std::filesystem::is_symlink(path, linkError)) {
    throw EngineError{EngineStatus::IoError, path + ": a symbolic link"};
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) ThrowSystem(EngineStatus::IoError, path);
    if (!create) throw EngineError{EngineStatus::FileNotFound, path};
    CreateDatabase(dir);
  } else if (!S_ISREG(st.st_mode) || st.st_size == 0) {
    // An empty file would pass for a new database and be filled as one: it is reported and
    // left as it is, like any other file that is not a database.
    throw EngineError{EngineStatus::NotADataFile, path + ": not a database"};
  }
  const int rc =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const int systemError = sqlite3_system_errno(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    throw EngineError{StatusFromSqlite(rc, systemError), path};
  }
  try {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs);
    ExecSql(db_, "PRAGMA journal_mode=WAL");
    ExecSql(db_, "PRAGMA synchronous=NORMAL");
    // A checkpoint syncs the log and the database and writes back every page changed since
    // the last one; letting the log grow to 64 MiB first keeps a long run of commits at one
    // sync per several thousand co-owners, and a page changed again and again written once.
    ExecSql(db_, "PRAGMA wal_autocheckpoint=" + std::to_string(kCheckpointPages));
    // A 32 MiB page cache holds the pages a preparing run of a large administrator comes back
    // to (the charges and balances of the buildings around the one it is at) without reading
    // them again; a process stays well under 64 MiB with it.
    ExecSql(db_, "PRAGMA cache_size=-32768");
    begin_ = Stmt(db_, "BEGIN IMMEDIATE");
    commit_ = Stmt(db_, "COMMIT");
    findTable_ = Stmt(db_,
                      "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                      "CAST(?1 AS TEXT) COLLATE NOCASE");
    if (!locks_.Open(dir + "/" + kLockName))
      throw EngineError{EngineStatus::IoError, "cannot open the lock file in " + dir};
    MapWalHeader();
  } catch (...) {
    // A database that cannot be set up (busy, damaged) is closed again: the caller may retry.
    for (Stmt* s : {&begin_, &commit_, &findTable_}) *s = Stmt();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw;
  }
}

SqliteFolder::~SqliteFolder() {
  if (inTransaction_) RollbackTransaction();
  StopReading();
  for (Stmt* s : {&begin_, &commit_, &findFile_, &findTable_}) *s = Stmt();
  if (db_) sqlite3_close_v2(db_);
}

bool SqliteFolder::CatalogRow(const std::string& name, int64_t& fileNo, std::string& definition) {
  if (!findFile_.prepared()) {
    // A folder created by another program may lack the catalog: then it holds no data file.
    if (sqlite3_table_column_metadata(db_, nullptr, kCatalog, "definition", nullptr, nullptr,
                                      nullptr, nullptr, nullptr) != SQLITE_OK)
      return false;
    findFile_ =
        Stmt(db_, std::string("SELECT fileno, definition FROM ") + kCatalog + " WHERE name = ?1");
  }
  StmtScope scope(findFile_);
  findFile_.BindBlob(1, name);
  if (!findFile_.Step()) return false;
  fileNo = findFile_.ColumnInt(0);
  definition = std::string(findFile_.ColumnBlob(1));
  return true;
}

bool SqliteFolder::TableExists(const std::string& name) {
  StmtScope scope(findTable_);
  findTable_.BindBlob(1, name);
  return findTable_.Step();
}

bool SqliteFolder::Listed(const std::string& name, int64_t& fileNo, std::string& definition) {
  const bool listed = CatalogRow(name, fileNo, definition);
  // A table and its catalog entry come and go together: one without the other is damage
  // from outside, and recreating the file would lose what its table holds.
  if (listed != TableExists(name)) {
    throw EngineError{EngineStatus::NotADataFile,
                      dir() + "/" + kDatabaseName + ": " + name +
                          (listed ? " is listed but has no table" : " has a table but is not listed")};
  }
  return listed;
}

std::shared_ptr<DataFile> SqliteFolder::Load(const std::string& name, int64_t fileNo,
                                           const std::string& definition) {
  return std::make_shared<SqliteFile>(db_, name, fileNo, definition);
}

void SqliteFolder::DropTable(const std::string& name) {
  ExecSql(db_, "DROP TABLE IF EXISTS " + QuoteIdent(name));
  Stmt forget(db_, std::string("DELETE FROM ") + kCatalog + " WHERE name = ?1");
  forget.BindBlob(1, name);
  forget.Run();
  Forget(name);
}

void SqliteFolder::Create(const std::string& name, const std::string& definition, const FileDef& def) {
  WriteTxn txn(*this, true);
  ExecSql(db_, kCatalogTable);
  findFile_ = Stmt();
  int64_t fileNo = 0;
  std::string old;
  if (Listed(name, fileNo, old)) {
    // A file is replaced only while it is empty: records are never thrown away by a create.
    Stmt any(db_, "SELECT 1 FROM " + QuoteIdent(name) + " LIMIT 1");
    if (any.Step()) throw EngineError{EngineStatus::FileExists, name + " holds records"};
    any.Reset();
    DropTable(name);
  }
  const std::string table = QuoteIdent(name);
  std::string sql = "CREATE TABLE " + table + " (id INTEGER PRIMARY KEY, data BLOB NOT NULL";
  const std::vector<KeyCodec> keys = BuildKeyCodecs(def);
  for (size_t k = 0; k < keys.size(); ++k) sql += ", " + KeyColumn(static_cast<int>(k)) + " BLOB";
  sql += ")";
  ExecSql(db_, sql);
  for (size_t k = 0; k < keys.size(); ++k) {
    const int key = static_cast<int>(k);
    ExecSql(db_, std::string("CREATE ") + (keys[k].duplicates ? "" : "UNIQUE ") + "INDEX " +
                     IndexName(name, key) + " ON " + table + " (" + KeyColumn(key) + ") WHERE " +
                     KeyColumn(key) + " IS NOT NULL");
  }
  Stmt insert(db_, std::string("INSERT INTO ") + kCatalog + " (name, definition) VALUES (?1, ?2)");
  insert.BindBlob(1, name);
  insert.BindBlob(2, definition);
  insert.Run();
  txn.Commit();
}

bool SqliteFolder::Drop(const std::string& name) {
  WriteTxn txn(*this, true);
  int64_t fileNo = 0;
  std::string definition;
  if (!CatalogRow(name, fileNo, definition)) return false;
  DropTable(name);
  txn.Commit();
  return true;
}

std::vector<std::string> SqliteFolder::Names() {
  std::vector<std::string> names;
  if (sqlite3_table_column_metadata(db_, nullptr, kCatalog, "name", nullptr, nullptr, nullptr,
                                    nullptr, nullptr) != SQLITE_OK)
    return names;
  Stmt all(db_, std::string("SELECT name FROM ") + kCatalog + " ORDER BY fileno");
  while (all.Step()) names.emplace_back(all.ColumnBlob(0));
  return names;
}

void SqliteFolder::BeginTransaction(bool durable) {
  StopReading();
  begin_.Run();
  headerReadAtCall_ = 0;  // the transaction sees every commit before it
  inTransaction_ = true;
  durable_ = durable;
  recordLocks_.BeginSolo();
  changesAtBegin_ = sqlite3_total_changes64(db_);
}

void SqliteFolder::CommitTransaction() {
  inTransaction_ = false;
  AfterCommitOrRollback();
  try {
    commit_.Run();
  } catch (const EngineError&) {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    recordLocks_.EndSolo();
    throw;
  }
  recordLocks_.EndSolo();
  if (sqlite3_total_changes64(db_) != changesAtBegin_) unsynced_ = true;
  if (durable_ && unsynced_) SyncLog();
}

void SqliteFolder::RollbackTransaction() {
  inTransaction_ = false;
  AfterCommitOrRollback();
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  recordLocks_.EndSolo();
}

void SqliteFolder::KeepReading() {
  if (inTransaction_ || reading_) return;
  ExecSql(db_, "BEGIN");  // deferred: the read transaction starts with the first read
  reading_ = true;
  headerReadAtCall_ = 0;
}

void SqliteFolder::StopReading() {
  if (!reading_) return;
  reading_ = false;
  AfterCommitOrRollback();
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

// Commits write their pages to the log without waiting for the disk; the log's frames carry
// checksums, so after a power cut the log is read up to its last whole commit. One sync of the
// log file then makes all of them durable (a checkpoint since has synced them into the
// database already). Without the log's file at hand, a checkpoint does the same.
void SqliteFolder::SyncLog() {
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK &&
      log != nullptr && log->pMethods != nullptr) {
    if (const int rc = log->pMethods->xSync(log, SQLITE_SYNC_FULL); rc != SQLITE_OK)
      ThrowSqlite(db_, rc, "sync of the write-ahead log");
  } else {
    ExecSql(db_, "PRAGMA wal_checkpoint(FULL)");
  }
  unsynced_ = false;
}

// The index header of the write-ahead log: the first 48 bytes of the log's shared-memory
// index, which every commit rewrites (frame count, checksums, salts). The first region of that
// index is asked of the database file's own shared-memory mapping, which SQLite keeps for as
// long as the connection is open; nothing here opens or closes any of SQLite's files.
void SqliteFolder::MapWalHeader() {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr || file->pMethods->iVersion < 2 ||
      file->pMethods->xShmMap == nullptr)
    return;
  constexpr int kIndexRegionSize = 32768;
  volatile void* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, kIndexRegionSize, 0, &region) != SQLITE_OK || !region)
    return;
  walHeader_ = static_cast<const volatile unsigned char*>(region);
  ReadWalHeader(seenHeader_);
}

void SqliteFolder::ReadWalHeader(unsigned char* header) const {
  // Word by word: the mapping is page-aligned, and this runs at every engine call.
  const auto* words = reinterpret_cast<const volatile uint64_t*>(walHeader_);
  for (size_t i = 0; i < kWalHeaderSize / 8; ++i) {
    const uint64_t word = words[i];
    std::memcpy(header + 8 * i, &word, 8);
  }
  std::atomic_thread_fence(std::memory_order_acquire);
}

uint64_t SqliteFolder::Generation() {
  if (walHeader_ == nullptr) return ++generation_;
  // One engine call asks several times (once for each block and record it looks at): the
  // header as first read in the call answers them all. It was read before anything the call
  // read from the files, so a commit of another process since only makes those look older.
  const uint64_t call = Engine().calls;
  if (call == headerReadAtCall_) return generation_;
  headerReadAtCall_ = call;
  unsigned char now[kWalHeaderSize];
  ReadWalHeader(now);
  if (std::memcmp(now, seenHeader_, kWalHeaderSize) != 0) {
    std::memcpy(seenHeader_, now, kWalHeaderSize);
    ++generation_;
  }
  return generation_;
}

void SqliteFolder::AfterCommitOrRollback() {
  if (walHeader_ == nullptr) MapWalHeader();
  ++generation_;
  headerReadAtCall_ = 0;
}

Folder::WriteScope SqliteFolder::StartWrite(bool several) {
  if (sqlite3_get_autocommit(db_)) {
    begin_.Run();
    headerReadAtCall_ = 0;  // the write sees every commit before it
    return WriteScope::Own;
  }
  if (!several) return WriteScope::None;
  ExecSql(db_, "SAVEPOINT palvorin_write");
  return WriteScope::Savepoint;
}

void SqliteFolder::FinishWrite(WriteScope scope, bool commit) {
  if (commit) {
    if (scope == WriteScope::Own) {
      AfterCommitOrRollback();
      commit_.Run();
      unsynced_ = true;
    } else {
      ExecSql(db_, "RELEASE palvorin_write");
    }
    return;
  }
  AfterCommitOrRollback();
  if (scope == WriteScope::Own && !sqlite3_get_autocommit(db_))
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  if (scope == WriteScope::Savepoint)
    sqlite3_exec(db_, "ROLLBACK TO palvorin_write; RELEASE palvorin_write", nullptr, nullptr,
                 nullptr);
}

std::unique_ptr<Folder> OpenSqliteFolder(const std::string& dir, bool create, int busyTimeoutMs) {
  return std::make_unique<SqliteFolder>(dir, create, busyTimeoutMs);
}

}  // namespace palvorin
