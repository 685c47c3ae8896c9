// Where the engine keeps data files. Every folder that holds data files is one store: by default
// an SQLite database in that folder (kDatabaseName, write-ahead log), with a lock file beside it (kLockName). A
// data file is a table of it named after the file's base name and extension in small letters
// ("hfinca.dat"), listed in the catalog table with its number and its create buffer. A row is
//   id    the record's position (INTEGER PRIMARY KEY: stable, and in insertion order),
//   data  the record's bytes,
//   kN    the collation form of key N, or NULL when the record is left out of key N,
// with one index per key on kN (unique unless the key takes duplicates); the index keeps equal
// values in id order, so duplicates come back in the order they were inserted. A folder kept
// on a database server (pgstore.h) has the same tables in a schema of its own.
#ifndef PALVORIN_ENGINE_STORE_H_
#define PALVORIN_ENGINE_STORE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/createbuf.h"
#include "engine/keycodec.h"
#include "engine/lockfile.h"

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

// The column of key `key` ("k0", "k1" ...).
std::string KeyColumn(int key);
// The query of `shape` on key `key` of `table`, returning (id, data, kN), with its parameters
// written `mark`N ('?' or '$'). `orderById`: equal key values come in position order (every
// key of a local folder; the keys that take duplicates on a server).
std::string KeyQuerySql(const std::string& table, int key, KeyQuery shape, char mark,
                        bool orderById);

// Whether key k is among `keys`, a set of keys with bit k for key k; keys from 64 on count
// only in the set of every key (all bits).
inline bool HasKey(uint64_t keys, size_t k) {
  return k < 64 ? (keys >> k & 1) != 0 : keys == ~uint64_t{0};
}

// A record as read: its position, bytes and collation form of the key it was read by. Copying
// one onto another reuses the target's string buffers, so rows are copied by assignment.
struct FoundRow {
  int64_t id = 0;
  std::string data;
  std::string collated;
};

// The key values of a record: raw (for the caller) and collated (for the index), or null when
// the record is left out of a key.
struct RecordKeys {
  std::vector<std::string> raw;
  std::vector<std::string> collated;
  std::vector<bool> null;
};

// One data file as this process knows it; shared by every open of it. The store behind the
// folder answers the reads and writes; what the engine keeps about the file is here.
class DataFile {
 public:
  DataFile(std::string name, int64_t fileNo, std::string definition);
  virtual ~DataFile() = default;
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  const std::string& name() const { return name_; }
  int64_t fileNo() const { return fileNo_; }
  const FileDef& def() const { return def_; }
  const std::string& definition() const { return definition_; }  // the create buffer as given
  const std::vector<KeyCodec>& keys() const { return keys_; }
  int recordLength() const { return def_.recordLength; }

  // The record a one-row read of `shape` on `key` reaches from `value` (and position `id` for
  // the duplicate walks); false when none.
  virtual bool Read(int key, KeyQuery shape, std::string_view value, int64_t id,
                    FoundRow& row) = 0;
  // A block read (the *Block shapes): appends at most `limit` records to rows[count, ...),
  // growing `rows` as needed and advancing `count`; returns how many came.
  virtual size_t ReadBlock(int key, KeyQuery shape, std::string_view value, int64_t id,
                           size_t limit, std::vector<FoundRow>& rows, size_t& count) = 0;
  // The bytes of the record at position `id`; false when there is none.
  virtual bool ReadById(int64_t id, std::string& data) = 0;
  // Stores a new record with its keys; returns its position.
  virtual int64_t InsertRow(const uint8_t* data, const RecordKeys& keys) = 0;
  // Rewrites record `id`, and the index entries only of the keys in `changedKeys` (bit k, see
  // HasKey): with none, only the record's bytes.
  virtual void UpdateRow(int64_t id, const uint8_t* data, const RecordKeys& keys,
                         uint64_t changedKeys) = 0;
  // Removes record `id`; false when it was not there.
  virtual bool DeleteRow(int64_t id) = 0;
  virtual int64_t CountRows() = 0;

  // For copying a whole file: every record with its position, in position order; then
  // records stored at the positions given, and FinishLoad once they are all in.
  virtual void ForEachRow(const std::function<void(int64_t id, std::string_view data)>& fn) = 0;
  virtual void InsertRowAt(int64_t id, const uint8_t* data, const RecordKeys& keys) = 0;
  virtual void FinishLoad() {}

  // Set when the file was dropped or replaced while open: its opens answer "not open".
  bool gone = false;
  // This process's writes to the file so far (inserts, updates, deletes, counted as they
  // start): records read before a write may no longer be what the file holds.
  uint64_t writes = 0;
  int normalOpens = 0;  // opens by this process, for the file's own lock byte
  int exclusiveOpens = 0;

 private:
  std::string name_;
  int64_t fileNo_;
  std::string definition_;
  FileDef def_;
  std::vector<KeyCodec> keys_;
};

// One folder of data files, its record and file locks, and what this process has loaded from
// it. Two stores hold folders: a local SQLite database, or a schema on a database server.
class Folder {
 public:
  explicit Folder(std::string dir) : dir_(std::move(dir)) {}
  virtual ~Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::string& dir() const { return dir_; }
  virtual ByteLocks& locks() = 0;

  // Tells this process whether the folder may hold anything it has not seen: Generation()
  // changes with every commit of another process and with every commit or rollback of this
  // one (this process's writes before its commit are counted by each data file). Where the
  // store cannot tell, tellsChanges() is false and Generation() changes at every call.
  virtual bool tellsChanges() const = 0;
  virtual uint64_t Generation() = 0;

  // The data file `name` (small letters, base.ext) as stored now; null when it does not exist.
  // A file already loaded is reused while its number and definition are unchanged. A table
  // without its catalog entry, or an entry without its table, throws NotADataFile.
  std::shared_ptr<DataFile> Find(const std::string& name);
  // Creates the data file `name` from `definition`, replacing an existing one only while it is
  // empty (FileExists when it holds records). Throws EngineError.
  virtual void Create(const std::string& name, const std::string& definition,
                      const FileDef& def) = 0;
  // Drops the data file `name`; false when there was none.
  virtual bool Drop(const std::string& name) = 0;
  // The names of every data file of the folder.
  virtual std::vector<std::string> Names() = 0;

  // The transaction of a Begin ... End: taken for writing at once. Every commit is safe from
  // the program's crash at once (write-ahead log, normal synchronisation); a `durable` one is
  // on the disk when its End returns, and with it every commit this process made before.
  bool inTransaction() const { return inTransaction_; }
  virtual void BeginTransaction(bool durable) = 0;
  virtual void CommitTransaction() = 0;
  virtual void RollbackTransaction() = 0;  // never throws
  // Reads inside the caller's transaction on a folder it does not write: one read transaction
  // from the first read to the transaction's end, instead of one per read. The folder is not
  // held (other processes write on), and these reads see the files as they were at the first.
  // A store without such reads answers each read on its own.
  virtual bool reading() const { return false; }
  virtual void KeepReading() {}
  virtual void StopReading() {}  // never throws

  // A write outside a Begin ... End, or a write of several statements inside one (see
  // WriteTxn): StartWrite says what it opened, FinishWrite commits or undoes that.
  enum class WriteScope { None, Own, Savepoint };
  virtual WriteScope StartWrite(bool several) = 0;
  virtual void FinishWrite(WriteScope scope, bool commit) = 0;

  // This process's record locks in the folder, over the folder's lock bytes.
  virtual RecordLocks& recordLocks() = 0;

 protected:
  // The catalog's entry for `name`; false when the folder has no such file. A table without
  // its catalog entry, or an entry without its table, throws NotADataFile.
  virtual bool Listed(const std::string& name, int64_t& fileNo, std::string& definition) = 0;
  virtual std::shared_ptr<DataFile> Load(const std::string& name, int64_t fileNo,
                                         const std::string& definition) = 0;
  // Forgets the loaded file `name`: its opens answer "not open" from now on.
  void Forget(const std::string& name);

  bool inTransaction_ = false;

 private:
  std::string dir_;
  std::map<std::string, std::shared_ptr<DataFile>> files_;
};

// Opens the SQLite database of folder `dir` (an existing folder, canonical path). Without
// `create` a folder with no database gives FileNotFound; with it, a new database is made. A
// file in its place that is empty or not a database gives NotADataFile and is left alone.
// Throws EngineError.
std::unique_ptr<Folder> OpenSqliteFolder(const std::string& dir, bool create, int busyTimeoutMs);

// One write outside a Begin ... End is its own immediate transaction, rolled back unless
// committed; inside a Begin ... End it joins that transaction. A write of several statements
// (`several`) is then a savepoint, so a failure halfway leaves the transaction as it was; a
// write of one statement needs none, as the store undoes a failed statement whole.
class WriteTxn {
 public:
  explicit WriteTxn(Folder& folder, bool several = false)
      : folder_(folder), scope_(folder.StartWrite(several)) {}
  ~WriteTxn() {
    if (scope_ != Folder::WriteScope::None) folder_.FinishWrite(scope_, false);
  }
  WriteTxn(const WriteTxn&) = delete;
  WriteTxn& operator=(const WriteTxn&) = delete;
  void Commit() {
    const Folder::WriteScope scope = scope_;
    scope_ = Folder::WriteScope::None;
    if (scope != Folder::WriteScope::None) folder_.FinishWrite(scope, true);
  }

 private:
  Folder& folder_;
  Folder::WriteScope scope_;
};

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_STORE_H_
