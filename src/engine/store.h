// Where the engine keeps data files: every folder that holds data files is one SQLite database
// in that folder (kDatabaseName, write-ahead log), with a lock file beside it (kLockName). A
// data file is a table of it named after the file's base name and extension in small letters
// ("hfinca.dat"), listed in the catalog table with its number and its create buffer. A row is
//   id    the record's position (INTEGER PRIMARY KEY: stable, and in insertion order),
//   data  the record's bytes,
//   kN    the collation form of key N, or NULL when the record is left out of key N,
// with one index per key on kN (unique unless the key takes duplicates); the index keeps equal
// values in id order, so duplicates come back in the order they were inserted.
#ifndef PALVORIN_ENGINE_STORE_H_
#define PALVORIN_ENGINE_STORE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/createbuf.h"
#include "engine/keycodec.h"
#include "engine/lockfile.h"
#include "engine/sqlitedb.h"

namespace palvorin {

constexpr const char* kDatabaseName = "zepdata.sqlite";
constexpr const char* kLockName = "zepdata.lck";

// The reads a key offers; each is one prepared statement returning (id, data, kN), LIMIT 1.
enum class KeyQuery {
  Equal,           // kN = ?1, first duplicate
  Greater,         // kN > ?1
  GreaterOrEqual,  // kN >= ?1
  Less,            // kN < ?1, last duplicate
  LessOrEqual,     // kN <= ?1, last duplicate
  First,
  Last,
  NextSame,  // kN = ?1 AND id > ?2: the next duplicate
  PrevSame,  // kN = ?1 AND id < ?2: the previous duplicate
  // The same walks for a block of records read ahead, at most ?3 (the duplicates) or ?2 rows.
  NextSameBlock,
  PrevSameBlock,
  GreaterBlock,
  LessBlock,
  GreaterOrEqualBlock,  // kN >= ?1, at most ?2 rows
  kCount,
};

// Whether key k is among `keys`, a set of keys with bit k for key k; keys from 64 on count
// only in the set of every key (all bits).
inline bool HasKey(uint64_t keys, size_t k) {
  return k < 64 ? (keys >> k & 1) != 0 : keys == ~uint64_t{0};
}

// One data file as this process knows it; shared by every open of it.
class DataFile {
 public:
  DataFile(sqlite3* db, std::string name, int64_t fileNo, std::string definition);

  const std::string& name() const { return name_; }
  int64_t fileNo() const { return fileNo_; }
  const FileDef& def() const { return def_; }
  const std::string& definition() const { return definition_; }  // the create buffer as given
  const std::vector<KeyCodec>& keys() const { return keys_; }
  int recordLength() const { return def_.recordLength; }

  Stmt& Query(int key, KeyQuery shape);
  Stmt& Insert();  // ?1 data, ?2.. k0.., returns nothing
  // ?1 id, ?2 data, and ?(3 + k) the value of each key k in `changedKeys` (bit k): only the
  // indexes of the keys whose value changes are touched; with none, only the record's bytes.
  Stmt& Update(uint64_t changedKeys);
  Stmt& Delete();  // ?1 id
  Stmt& ById();    // ?1 id -> (id, data)
  Stmt& Count();   // -> count(*)

  // Set when the file was dropped or replaced while open: its opens answer "not open".
  bool gone = false;
  // This process's writes to the file so far (inserts, updates, deletes, counted as they
  // start): records read before a write may no longer be what the file holds.
  uint64_t writes = 0;
  int normalOpens = 0;  // opens by this process, for the file's own lock byte
  int exclusiveOpens = 0;

 private:
  sqlite3* db_;
  std::string name_;
  std::string table_;  // quoted
  int64_t fileNo_;
  std::string definition_;
  FileDef def_;
  std::vector<KeyCodec> keys_;
  std::vector<Stmt> queries_;  // key * kCount + shape, prepared on first use
  std::unordered_map<uint64_t, Stmt> updates_;  // by changed keys
  Stmt insert_, delete_, byId_, count_;
};

// One folder's database, its lock file, and what this process has loaded from it.
class Folder {
 public:
  // Opens the database of folder `dir` (an existing folder, canonical path). Without `create`
  // a folder with no database gives FileNotFound; with it, a new database is made. A file in
  // its place that is empty or not a database gives NotADataFile and is left alone. Throws
  // EngineError.
  Folder(const std::string& dir, bool create, int busyTimeoutMs);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  sqlite3* db() const { return db_; }
  LockFile& locks() { return locks_; }

  // Tells this process whether the database may hold anything it has not seen: Generation()
  // changes with every commit of another process and with every commit or rollback of this
  // one (this process's writes before its commit are counted by each data file). It compares
  // the write-ahead log's index header in shared memory, which SQLite rewrites at every
  // commit, with the header it saw last: no system call, no read transaction. Where that
  // header cannot be reached, tellsChanges() is false and Generation() changes at every call.
  bool tellsChanges() const { return walHeader_ != nullptr; }
  uint64_t Generation();
  const std::string& dir() const { return dir_; }

  // The data file `name` (small letters, base.ext) as stored now; null when it does not exist.
  // A file already loaded is reused while its number and definition are unchanged. A table
  // without its catalog entry, or an entry without its table, throws NotADataFile.
  std::shared_ptr<DataFile> Find(const std::string& name);
  // Creates the data file `name` from `definition`, replacing an existing one only while it is
  // empty (FileExists when it holds records). Throws EngineError.
  void Create(const std::string& name, const std::string& definition, const FileDef& def);
  // Drops the data file `name`; false when there was none.
  bool Drop(const std::string& name);

  // The transaction of a Begin ... End: taken for writing at once. Every commit is safe from
  // the program's crash at once (write-ahead log, normal synchronisation); a `durable` one is
  // on the disk when its End returns, and with it every commit this process made before.
  bool inTransaction() const { return inTransaction_; }
  void BeginTransaction(bool durable);
  void CommitTransaction();
  void RollbackTransaction();  // never throws
  // Reads inside the caller's transaction on a folder it does not write: one read transaction
  // from the first read to the transaction's end, instead of one per read. The folder is not
  // held (other processes write on), and these reads see the files as they were at the first.
  bool reading() const { return reading_; }
  void KeepReading();
  void StopReading();  // never throws

  RecordLocks& recordLocks() { return recordLocks_; }

 private:
  friend class WriteTxn;
  bool CatalogRow(const std::string& name, int64_t& fileNo, std::string& definition);
  bool TableExists(const std::string& name);
  // CatalogRow, checked against the tables the database holds.
  bool Listed(const std::string& name, int64_t& fileNo, std::string& definition);
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

  std::string dir_;
  sqlite3* db_ = nullptr;
  LockFile locks_;
  RecordLocks recordLocks_{locks_};
  bool inTransaction_ = false;
  bool reading_ = false;
  bool durable_ = false;
  bool unsynced_ = false;         // a commit of this process may not be on the disk yet
  int64_t changesAtBegin_ = 0;
  std::map<std::string, std::shared_ptr<DataFile>> files_;
  Stmt begin_, commit_, findFile_, findTable_;
};

// One write outside a Begin ... End is its own immediate transaction, rolled back unless
// committed; inside a Begin ... End it joins that transaction. A write of several statements
// (`several`) is then a savepoint, so a failure halfway leaves the transaction as it was; a
// write of one statement needs none, as SQLite undoes a failed statement whole.
class WriteTxn {
 public:
  explicit WriteTxn(Folder& folder, bool several = false);
  ~WriteTxn();
  WriteTxn(const WriteTxn&) = delete;
  WriteTxn& operator=(const WriteTxn&) = delete;
  void Commit();

 private:
  Folder& folder_;
  bool own_ = false;
  bool savepoint_ = false;
};

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_STORE_H_
