#include "engine/pgstore.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/sqlitedb.h"

namespace palvorin {
namespace {

constexpr Oid kByteaType = 17;
constexpr Oid kInt8Type = 20;
constexpr const char* kCatalog = "palvorin_files";

// ---- The connection ------------------------------------------------------------------------

// A query's result, cleared when the scope ends.
class Result {
 public:
  explicit Result(PGresult* r = nullptr) : r_(r) {}
  ~Result() { PQclear(r_); }
  Result(Result&& other) noexcept : r_(std::exchange(other.r_, nullptr)) {}
  Result& operator=(Result&& other) noexcept {
    std::swap(r_, other.r_);
    return *this;
  }
  PGresult* get() const { return r_; }
  int rows() const { return PQntuples(r_); }
  std::string_view Bytes(int row, int col) const {
    return {PQgetvalue(r_, row, col), static_cast<size_t>(PQgetlength(r_, row, col))};
  }
  bool IsNull(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
  int64_t Int(int row, int col) const {
    const auto* p = reinterpret_cast<const unsigned char*>(PQgetvalue(r_, row, col));
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return static_cast<int64_t>(v);
  }

 private:
  PGresult* r_;
};

// The parameters of one statement, all in binary form: bytea as the bytes themselves, bigint
// as 8 bytes, most significant first.
class Params {
 public:
  void Clear() {
    values_.clear();
    lengths_.clear();
    formats_.clear();
    ints_ = 0;
  }
  void Bytes(std::string_view b) { Add(b.empty() ? "" : b.data(), static_cast<int>(b.size())); }
  void Null() { Add(nullptr, 0); }
  void Int(int64_t v) {
    char* p = intBytes_[ints_++].data();
    for (int i = 7; i >= 0; --i, v = static_cast<int64_t>(static_cast<uint64_t>(v) >> 8))
      p[i] = static_cast<char>(v & 0xFF);
    Add(p, 8);
  }
  int count() const { return static_cast<int>(values_.size()); }
  const char* const* values() const { return values_.data(); }
  const int* lengths() const { return lengths_.data(); }
  const int* formats() const { return formats_.data(); }

 private:
  void Add(const char* p, int n) {
    values_.push_back(p);
    lengths_.push_back(n);
    formats_.push_back(1);
  }
  std::vector<const char*> values_;
  std::vector<int> lengths_, formats_;
  std::array<std::array<char, 8>, 4> intBytes_{};
  size_t ints_ = 0;
};

// The engine status for a server error: a unique violation 5; a lock not granted in time, a
// deadlock or a serialization failure 85; full 18; no right 46; anything else 2.
EngineStatus StatusFromSqlState(const char* state) {
  const std::string_view s = state ? state : "";
  if (s == "23505") return EngineStatus::DuplicateKey;
  if (s == "55P03" || s == "40001" || s == "40P01" || s == "57014")
    return EngineStatus::FileLocked;
  if (s == "53100") return EngineStatus::DiskFull;
  if (s == "42501") return EngineStatus::AccessDenied;
  return EngineStatus::IoError;
}

void IgnoreNotice(void*, const char*) {}

class Connection {
 public:
  Connection(const std::string& conninfo, int busyTimeoutMs)
      : name_(ServerNameForMessages(conninfo)) {
    conn_ = PQconnectdb(conninfo.c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string why = PQerrorMessage(conn_);
      while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
      PQfinish(conn_);
      conn_ = nullptr;
      throw EngineError{EngineStatus::ConnectionLost,
                        "cannot reach the data server (" + name_ + "): " + why};
    }
    // Notices (a schema that already exists ...) must never reach the operator's screen.
    PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
    // The process shows on the server as "palvorin PID".
    Exec("SET lock_timeout = " + std::to_string(busyTimeoutMs > 0 ? busyTimeoutMs : 1) +
         "; SET application_name = 'palvorin " + std::to_string(::getpid()) + "'");
  }
  ~Connection() { PQfinish(conn_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs SQL text without parameters (several statements allowed). Throws EngineError.
  Result Exec(const std::string& sql) {
    CheckAlive();
    Sync(nullptr);
    return Checked(Result(PQexec(conn_, sql.c_str())), sql);
  }
  // The same, for clean-up paths: never throws, ignores the outcome (and that of the
  // statements sent ahead).
  void ExecQuietly(const char* sql) {
    if (lost_) return;
    try {
      Sync(nullptr);
    } catch (const EngineError&) {
      // Undone with the rest.
    }
    if (!lost_) PQclear(PQexec(conn_, sql));
  }

  // Prepares `sql` with `types` as its parameters' types; returns the statement's name.
  std::string Prepare(const std::string& sql, const std::vector<Oid>& types) {
    CheckAlive();
    Sync(nullptr);
    std::string name = "p" + std::to_string(++statements_);
    Checked(Result(PQprepare(conn_, name.c_str(), sql.c_str(), static_cast<int>(types.size()),
                             types.data())),
            sql);
    return name;
  }
  Result Run(const std::string& statement, const Params& p) {
    CheckAlive();
    if (!ahead_.empty()) {
      // Sent behind the statements waiting, and answered with them.
      Send(statement, p);
      Result r;
      Sync(&r);
      return r;
    }
    return Checked(Result(PQexecPrepared(conn_, statement.c_str(), p.count(), p.values(),
                                         p.lengths(), p.formats(), 1)),
                   statement);
  }

  // Sends a statement whose result the caller does not wait for: it runs before whatever is
  // sent next, and its outcome comes with the next statement's, in the same round trip (a
  // failure then answers for that statement). Only for a statement whose success the caller
  // can take for granted, inside a transaction that its failure dooms.
  void SendAhead(const std::string& statement, const Params& p) {
    CheckAlive();
    if (ahead_.size() >= kMostAhead) Sync(nullptr);
    if (ahead_.empty() && PQenterPipelineMode(conn_) != 1) {
      Checked(Result(PQexecPrepared(conn_, statement.c_str(), p.count(), p.values(),
                                    p.lengths(), p.formats(), 1)),
              statement);
      return;
    }
    Send(statement, p);
  }

  // Whether the connection is gone (and with it every lock it held).
  bool lost() const { return lost_; }

 private:
  void CheckAlive() {
    if (lost_) throw EngineError{EngineStatus::ConnectionLost, LostMessage()};
  }
  std::string LostMessage() const {
    return "the connection to the data server (" + name_ + ") was lost";
  }
  Result Checked(Result r, const std::string& what) {
    const ExecStatusType st = r.get() ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) return r;
    if (PQstatus(conn_) == CONNECTION_BAD) {
      lost_ = true;
      throw EngineError{EngineStatus::ConnectionLost, LostMessage()};
    }
    const char* state = r.get() ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
    const char* why = r.get() ? PQresultErrorMessage(r.get()) : "";
    std::string message = what + ": " + (*why ? why : PQerrorMessage(conn_));
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw EngineError{StatusFromSqlState(state), std::move(message)};
  }

  // Statements sent ahead wait in the connection's pipeline, at most kMostAhead of them.
  static constexpr size_t kMostAhead = 64;

  void Send(const std::string& statement, const Params& p) {
    if (PQsendQueryPrepared(conn_, statement.c_str(), p.count(), p.values(), p.lengths(),
                            p.formats(), 1) == 1) {
      ahead_.push_back(statement);
      return;
    }
    std::string message = statement + ": " + PQerrorMessage(conn_);
    if (PQstatus(conn_) != CONNECTION_BAD) Sync(nullptr);
    if (PQstatus(conn_) == CONNECTION_BAD || PQexitPipelineMode(conn_) != 1) {
      lost_ = true;
      throw EngineError{EngineStatus::ConnectionLost, LostMessage()};
    }
    throw EngineError{EngineStatus::IoError, std::move(message)};
  }

  // Ends the pipeline: the server answers every statement sent ahead (and into `last`, the
  // result of the one sent last). The first that failed throws, once all are read.
  void Sync(Result* last) {
    if (ahead_.empty()) return;
    std::vector<std::string> sent = std::move(ahead_);
    ahead_.clear();
    Result failed;
    std::string failedWhat;
    bool synced = PQpipelineSync(conn_) == 1;
    for (size_t i = 0; synced && i < sent.size(); ++i) {
      Result r(PQgetResult(conn_));
      if (!r.get()) {
        synced = false;
        break;
      }
      while (PGresult* more = PQgetResult(conn_)) PQclear(more);
      const ExecStatusType st = PQresultStatus(r.get());
      if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && !failed.get()) {
        failed = std::move(r);
        failedWhat = sent[i];
      } else if (last && i + 1 == sent.size()) {
        *last = std::move(r);
      }
    }
    if (synced) {
      Result end(PQgetResult(conn_));
      synced = end.get() && PQresultStatus(end.get()) == PGRES_PIPELINE_SYNC;
    }
    if (!synced || PQexitPipelineMode(conn_) != 1) {
      lost_ = true;
      throw EngineError{EngineStatus::ConnectionLost, LostMessage()};
    }
    if (failed.get()) Checked(std::move(failed), failedWhat);
  }

  PGconn* conn_ = nullptr;
  std::string name_;
  bool lost_ = false;
  uint64_t statements_ = 0;
  std::vector<std::string> ahead_;  // the statements sent ahead, unanswered
};

// A statement's text and its parameters' types.
struct Text {
  Text(std::string text, std::vector<Oid> parameterTypes)
      : sql(std::move(text)), types(std::move(parameterTypes)) {}
  std::string sql;
  std::vector<Oid> types;
};

// The types of a position followed by `bytes` byte strings.
std::vector<Oid> PositionAndBytes(size_t bytes) {
  std::vector<Oid> types(bytes + 1, kByteaType);
  types[0] = kInt8Type;
  return types;
}

// A statement prepared on first use: `make` gives its text and its parameters' types, and is
// called only then (most statements run at every read or write).
class Prepared {
 public:
  template <typename Make>
  const std::string& Get(Connection& c, Make&& make) {
    if (name_.empty()) {
      const auto [sql, types] = make();
      name_ = c.Prepare(sql, types);
    }
    return name_;
  }

 private:
  std::string name_;
};

// A table's name in the schema: the data file's name where it is plain ASCII, other bytes as
// %XX, so any name the engine takes is a valid identifier on the server.
std::string TableName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char ch : name) {
    if (ch >= 0x20 && ch < 0x7F && ch != '%') {
      out += static_cast<char>(ch);
    } else {
      out += '%';
      out += kHex[ch >> 4];
      out += kHex[ch & 15];
    }
  }
  return out;
}

// ---- Locks ---------------------------------------------------------------------------------

// Record and file locks as session advisory locks, on keys made of the lock offset and the
// schema, so that folders in one database keep apart. The writer lock of the folder is the
// schema's key at offset 0, which no data file uses (file numbers start at 1).
class ServerLocks final : public ByteLocks {
 public:
  ServerLocks(Connection& conn, int64_t space) : conn_(conn), space_(space) {}

  int64_t KeyOf(int64_t offset) const { return offset ^ space_; }

  bool TryLock(int64_t offset, bool exclusive) override {
    auto it = held_.find(offset);
    if (it != held_.end() && it->second == exclusive) return true;
    if (!Try(offset, exclusive)) return false;
    if (it != held_.end()) Release(offset, it->second);
    held_[offset] = exclusive;
    return true;
  }
  void Unlock(int64_t offset) override {
    auto it = held_.find(offset);
    if (it == held_.end()) return;
    const bool exclusive = it->second;
    held_.erase(it);
    Release(offset, exclusive);
  }
  bool LockedByOther(int64_t offset) override {
    // This session's own locks never conflict with it: only another holder refuses.
    if (!Try(offset, true)) return true;
    Release(offset, true);
    return false;
  }

 private:
  bool Try(int64_t offset, bool exclusive) {
    Prepared& s = exclusive ? tryExclusive_ : tryShared_;
    params_.Clear();
    params_.Int(KeyOf(offset));
    Result r = conn_.Run(s.Get(conn_,
                               [exclusive] {
                                 return Text(exclusive ? "SELECT pg_try_advisory_lock($1)"
                                                       : "SELECT pg_try_advisory_lock_shared($1)",
                                             {kInt8Type});
                               }),
                         params_);
    return r.rows() == 1 && r.Bytes(0, 0) == std::string_view("\1", 1);
  }
  void Release(int64_t offset, bool exclusive) {
    if (conn_.lost()) return;  // the server let go of it with the connection
    Prepared& s = exclusive ? unlockExclusive_ : unlockShared_;
    params_.Clear();
    params_.Int(KeyOf(offset));
    conn_.Run(s.Get(conn_,
                    [exclusive] {
                      return Text(exclusive ? "SELECT pg_advisory_unlock($1)"
                                            : "SELECT pg_advisory_unlock_shared($1)",
                                  {kInt8Type});
                    }),
              params_);
  }

  Connection& conn_;
  int64_t space_;
  std::unordered_map<int64_t, bool> held_;  // offset -> exclusive
  Prepared tryExclusive_, tryShared_, unlockExclusive_, unlockShared_;
  Params params_;
};

// ---- Data files ----------------------------------------------------------------------------

class ServerFolder;

class ServerFile final : public DataFile {
 public:
  ServerFile(ServerFolder& folder, std::string name, int64_t fileNo, std::string definition);

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
  void FinishLoad() override;

 private:
  Result RunQuery(int key, KeyQuery shape, std::string_view value, int64_t id, size_t limit);
  void BindKeys(const RecordKeys& keys, uint64_t only);
  // The statement storing a record at a position given, with its parameters bound.
  const std::string& InsertAt(int64_t id, const uint8_t* data, const RecordKeys& keys);
  int64_t NextId();
  std::string TableLiteral() const;
  // Notes that record `id` is in the file (see present_).
  void Present(int64_t id);
  bool KnownPresent(int64_t id);
  bool ReadOne(int key, KeyQuery shape, std::string_view value, int64_t id, FoundRow& row);
  bool FromStretch(int key, KeyQuery shape, std::string_view value, FoundRow& row);
  // After this process's write to record `id` (its new bytes and keys, the keys whose value
  // changed; no data: deleted), the stretches of the transaction hold it. Every write of the
  // file comes here once it is done (or sent ahead); one that fails undoes the transaction or
  // its savepoint, which ends the stretches.
  void KeepStretches(int64_t id, const uint8_t* data, const RecordKeys* keys,
                     uint64_t changedKeys);

  ServerFolder& folder_;
  Connection& conn_;
  std::string table_;  // schema-qualified, quoted
  // The clause a write starts with: it takes the folder's writer lock, unless this process's
  // transaction holds it already.
  std::string Writer() const;
  std::string writer_;
  std::vector<Prepared> queries_;  // key * kCount + shape
  // The writes, [1] for those inside this process's transaction; updates by changed keys.
  std::unordered_map<uint64_t, Prepared> updates_[2];
  Prepared insert_[2], delete_[2];
  Prepared insertAt_, byId_, count_, nextIds_;
  Params params_;
  // A file whose keys all take duplicates refuses no record: inside this process's
  // transaction its new records are sent ahead (Connection::SendAhead) at positions taken
  // from the file's sequence beforehand. The writer lock keeps other processes from storing
  // records meanwhile, so the positions still follow the order of insertion; those left
  // unused at the transaction's end are let go.
  bool refusesNone_ = false;
  std::vector<int64_t> ids_;
  size_t nextId_ = 0;
  uint64_t idsFor_ = 0;  // the folder's epoch they were taken in
  // The records this process read or stored inside its transaction and has not deleted since:
  // no other process can delete them meanwhile, so deleting one is sent ahead too.
  std::unordered_set<int64_t> present_;
  uint64_t presentFor_ = 0;  // the folder's epoch they were noted in
  // Keyed reads inside this process's transaction, or its read transaction, on a key without
  // duplicates are answered from a stretch of the key read at once: the records from one value
  // on, in key order. A run reads the records of consecutive codes one by one, so one query
  // serves many reads. The stretch holds while the transaction runs (the writer lock keeps
  // others' writes out; a read transaction sees none), kept up to date with this process's own
  // writes.
  struct Stretch {
    uint64_t epoch = 0;   // the folder's epoch it holds in
    std::string from;     // the collation form it starts at
    bool toEnd = false;   // nothing lies beyond its last row
    std::vector<FoundRow> rows;
    size_t size = 0;      // rows its query asked for
    bool used = false;    // it answered a read besides the one that read it
  };
  std::vector<Stretch> stretches_;  // by key
};

// ---- The folder ----------------------------------------------------------------------------

class ServerFolder final : public Folder {
 public:
  ServerFolder(const std::string& dir, const std::string& conninfo, const std::string& schema,
               bool create, int busyTimeoutMs)
      : Folder(dir),
        conn_(conninfo, busyTimeoutMs),
        schema_(QuoteIdent(schema)),
        locks_(conn_, SpaceOf(schema)) {
    if (create) Exec("CREATE SCHEMA IF NOT EXISTS " + schema_);
  }
  ~ServerFolder() override {
    if (inTransaction_) RollbackTransaction();
  }

  ByteLocks& locks() override { return locks_; }
  RecordLocks& recordLocks() override { return recordLocks_; }
  // Inside this process's write transaction the folder's writer lock keeps every other
  // process's commits out, so nothing changes but what this process writes (which each data
  // file counts): the generation stands still until the transaction ends. So it does in a
  // read transaction, which sees the files as they were at its start. Outside both the server
  // tells nothing cheap about other processes' commits, and it changes at every call.
  bool tellsChanges() const override { return inTransaction_ || reading_; }
  uint64_t Generation() override { return tellsChanges() ? generation_ : ++generation_; }

  // Reads inside the caller's transaction on a folder it does not write: one snapshot of the
  // server's (repeatable read, read only) from the first read to the end, taking no writer
  // lock, so other processes write on.
  bool reading() const override { return reading_; }
  void KeepReading() override {
    if (inTransaction_ || reading_) return;
    try {
      Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    } catch (const EngineError&) {
      conn_.ExecQuietly("ROLLBACK");
      throw;
    }
    NewPicture();
    reading_ = true;
  }
  void StopReading() override {
    if (!reading_) return;
    reading_ = false;
    NewPicture();
    conn_.ExecQuietly("COMMIT");
  }

  Connection& conn() { return conn_; }
  // Changes at every Begin and every rollback (whole or to a savepoint) of this process, and
  // where a read transaction starts or ends: what a file knows of its records under one value
  // holds while it lasts.
  uint64_t epoch() const { return epoch_; }
  const std::string& schema() const { return schema_; }
  // Takes the folder's writer lock until the end of the transaction running.
  std::string WriterLock() const {
    return "SELECT pg_advisory_xact_lock(" + std::to_string(locks_.KeyOf(0)) + ")";
  }
  void Exec(const std::string& sql) { conn_.Exec(sql); }

  void Create(const std::string& name, const std::string& definition,
              const FileDef& def) override {
    WriteTxn txn(*this, true);
    Exec("CREATE SCHEMA IF NOT EXISTS " + schema_ + "; CREATE TABLE IF NOT EXISTS " +
         Catalog() +
         " (fileno bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, name bytea NOT NULL UNIQUE,"
         " definition bytea NOT NULL)");
    catalogReady_ = false;
    int64_t fileNo = 0;
    std::string old;
    if (Listed(name, fileNo, old)) {
      // A file is replaced only while it is empty: records are never thrown away by a create.
      Result any = conn_.Exec("SELECT 1 FROM " + schema_ + "." + QuoteIdent(TableName(name)) +
                              " LIMIT 1");
      if (any.rows() > 0) throw EngineError{EngineStatus::FileExists, name + " holds records"};
      DropTable(name);
    }
    const std::string table = schema_ + "." + QuoteIdent(TableName(name));
    std::string sql = "CREATE TABLE " + table +
                      " (id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
                      " data bytea NOT NULL";
    const std::vector<KeyCodec> keys = BuildKeyCodecs(def);
    for (size_t k = 0; k < keys.size(); ++k) sql += ", " + KeyColumn(static_cast<int>(k)) + " bytea";
    sql += ")";
    for (size_t k = 0; k < keys.size(); ++k) {
      const std::string col = KeyColumn(static_cast<int>(k));
      sql += std::string("; CREATE ") + (keys[k].duplicates ? "" : "UNIQUE ") + "INDEX " +
             QuoteIdent(TableName(name) + "/" + col) + " ON " + table + " (" + col +
             (keys[k].duplicates ? ", id" : "") + ") WHERE " + col + " IS NOT NULL";
    }
    Exec(sql);
    Params p;
    p.Bytes(name);
    p.Bytes(definition);
    conn_.Run(conn_.Prepare("INSERT INTO " + Catalog() + " (name, definition) VALUES ($1, $2)",
                            {kByteaType, kByteaType}),
              p);
    txn.Commit();
  }

  bool Drop(const std::string& name) override {
    WriteTxn txn(*this, true);
    int64_t fileNo = 0;
    std::string definition;
    if (!Listed(name, fileNo, definition)) return false;
    DropTable(name);
    txn.Commit();
    return true;
  }

  std::vector<std::string> Names() override {
    std::vector<std::string> names;
    int64_t fileNo = 0;
    std::string definition;
    (void)Listed({}, fileNo, definition);  // prepares the catalog's reads when it exists
    if (!catalogReady_) return names;
    Params none;
    Result r = conn_.Run(
        conn_.Prepare("SELECT name FROM " + Catalog() + " ORDER BY fileno", {}), none);
    for (int i = 0; i < r.rows(); ++i) names.emplace_back(r.Bytes(i, 0));
    return names;
  }

  // The server makes every commit durable; one whose End need not wait for the disk (not
  // `durable`) commits without waiting for its log to be written.
  void BeginTransaction(bool durable) override {
    StopReading();
    try {
      Exec(std::string("BEGIN; ") + (durable ? "" : "SET LOCAL synchronous_commit = off; ") +
           WriterLock());
    } catch (const EngineError&) {
      conn_.ExecQuietly("ROLLBACK");
      throw;
    }
    // A generation of its own: nothing read before the writer lock was taken is served in it.
    NewPicture();
    inTransaction_ = true;
    recordLocks_.BeginSolo();
  }
  void CommitTransaction() override {
    inTransaction_ = false;
    ++generation_;
    // A transaction the server had to give up (a statement failed in it) ends in a rollback:
    // the caller learns that nothing of it was kept.
    Result r;
    try {
      r = conn_.Exec("COMMIT");
    } catch (const EngineError&) {
      // A statement sent ahead that failed stops the commit before it is sent.
      conn_.ExecQuietly("ROLLBACK");
      recordLocks_.EndSolo();
      throw;
    }
    recordLocks_.EndSolo();
    if (std::string_view(PQcmdStatus(r.get())) == "ROLLBACK")
      throw EngineError{EngineStatus::FileLocked, "the transaction was undone by the server"};
  }
  void RollbackTransaction() override {
    inTransaction_ = false;
    NewPicture();
    conn_.ExecQuietly("ROLLBACK");
    try {
      recordLocks_.EndSolo();
    } catch (const EngineError&) {
      // A lost connection took the locks with it.
    }
  }

  WriteScope StartWrite(bool several) override {
    StopReading();
    if (!several) return WriteScope::None;  // one statement: atomic, takes the writer lock
    if (inTransaction_) {
      Exec("SAVEPOINT palvorin_write");
      return WriteScope::Savepoint;
    }
    try {
      Exec("BEGIN; " + WriterLock());
    } catch (const EngineError&) {
      conn_.ExecQuietly("ROLLBACK");
      throw;
    }
    return WriteScope::Own;
  }
  void FinishWrite(WriteScope scope, bool commit) override {
    ++generation_;
    if (!commit) ++epoch_;
    if (scope == WriteScope::Own) {
      if (commit)
        Exec("COMMIT");
      else
        conn_.ExecQuietly("ROLLBACK");
    } else if (scope == WriteScope::Savepoint) {
      if (commit)
        Exec("RELEASE palvorin_write");
      else
        conn_.ExecQuietly("ROLLBACK TO palvorin_write; RELEASE palvorin_write");
    }
  }

 protected:
  bool Listed(const std::string& name, int64_t& fileNo, std::string& definition) override {
    if (!catalogReady_) {
      // A schema without the catalog holds no data file.
      Result r = conn_.Exec("SELECT to_regclass('" + schema_ + "." + kCatalog + "') IS NULL");
      if (r.rows() != 1 || r.Bytes(0, 0) != "f") return false;
      findFile_ = conn_.Prepare(
          "SELECT fileno, definition FROM " + Catalog() + " WHERE name = $1", {kByteaType});
      catalogReady_ = true;
    }
    Params p;
    p.Bytes(name);
    Result r = conn_.Run(findFile_, p);
    if (r.rows() == 0) return false;
    fileNo = r.Int(0, 0);
    definition = std::string(r.Bytes(0, 1));
    return true;
  }
  std::shared_ptr<DataFile> Load(const std::string& name, int64_t fileNo,
                                 const std::string& definition) override {
    return std::make_shared<ServerFile>(*this, name, fileNo, definition);
  }

 private:
  std::string Catalog() const { return schema_ + "." + kCatalog; }

  void DropTable(const std::string& name) {
    Exec("DROP TABLE IF EXISTS " + schema_ + "." + QuoteIdent(TableName(name)));
    Params p;
    p.Bytes(name);
    conn_.Run(conn_.Prepare("DELETE FROM " + Catalog() + " WHERE name = $1", {kByteaType}), p);
    Forget(name);
  }

  // The high bits of every lock key of the schema: a hash of its name.
  static int64_t SpaceOf(const std::string& schema) {
    uint32_t h = 2166136261u;
    for (unsigned char ch : schema) h = (h ^ ch) * 16777619u;
    return static_cast<int64_t>(static_cast<uint64_t>(h & 0x7FFF) << 48);
  }

  Connection conn_;
  std::string schema_;  // quoted
  ServerLocks locks_;
  RecordLocks recordLocks_{locks_};
  // What this process reads may now differ from what it read before.
  void NewPicture() {
    ++generation_;
    ++epoch_;
  }

  uint64_t generation_ = 1;
  uint64_t epoch_ = 0;
  bool reading_ = false;
  bool catalogReady_ = false;
  std::string findFile_;
};

ServerFile::ServerFile(ServerFolder& folder, std::string name, int64_t fileNo,
                       std::string definition)
    : DataFile(std::move(name), fileNo, std::move(definition)),
      folder_(folder),
      conn_(folder.conn()),
      table_(folder.schema() + "." + QuoteIdent(TableName(this->name()))),
      writer_("WITH w AS (" + folder.WriterLock() + ") ") {
  queries_.resize(keys().size() * static_cast<size_t>(KeyQuery::kCount));
  refusesNone_ = std::all_of(keys().begin(), keys().end(),
                             [](const KeyCodec& k) { return k.duplicates; });
}

std::string ServerFile::Writer() const {
  return folder_.inTransaction() ? "WITH w AS (SELECT 1) " : writer_;
}

Result ServerFile::RunQuery(int key, KeyQuery shape, std::string_view value, int64_t id,
                            size_t limit) {
  Prepared& q = queries_[key * static_cast<size_t>(KeyQuery::kCount) +
                         static_cast<size_t>(shape)];
  const bool same = shape == KeyQuery::NextSame || shape == KeyQuery::PrevSame ||
                    shape == KeyQuery::NextSameBlock || shape == KeyQuery::PrevSameBlock;
  const bool block = shape == KeyQuery::NextSameBlock || shape == KeyQuery::PrevSameBlock ||
                     shape == KeyQuery::GreaterBlock || shape == KeyQuery::LessBlock ||
                     shape == KeyQuery::GreaterOrEqualBlock;
  const bool anchored = shape != KeyQuery::First && shape != KeyQuery::Last;
  params_.Clear();
  if (anchored) params_.Bytes(value);
  if (same) params_.Int(id);
  if (block) params_.Int(static_cast<int64_t>(limit));
  const std::string& name = q.Get(conn_, [&] {
    std::vector<Oid> types;
    if (anchored) types.push_back(kByteaType);
    if (same) types.push_back(kInt8Type);
    if (block) types.push_back(kInt8Type);
    return Text(KeyQuerySql(table_, key, shape, '$', keys()[key].duplicates), types);
  });
  return conn_.Run(name, params_);
}

bool ServerFile::Read(int key, KeyQuery shape, std::string_view value, int64_t id,
                      FoundRow& row) {
  if (folder_.tellsChanges() && !keys()[key].duplicates &&
      (shape == KeyQuery::Equal || shape == KeyQuery::GreaterOrEqual ||
       shape == KeyQuery::Greater))
    return FromStretch(key, shape, value, row);
  return ReadOne(key, shape, value, id, row);
}

bool ServerFile::ReadOne(int key, KeyQuery shape, std::string_view value, int64_t id,
                         FoundRow& row) {
  Result r = RunQuery(key, shape, value, id, 1);
  if (r.rows() == 0) return false;
  row.id = r.Int(0, 0);
  row.data.assign(r.Bytes(0, 1));
  row.collated.assign(r.Bytes(0, 2));
  Present(row.id);
  return true;
}

size_t ServerFile::ReadBlock(int key, KeyQuery shape, std::string_view value, int64_t id,
                             size_t limit, std::vector<FoundRow>& rows, size_t& count) {
  Result r = RunQuery(key, shape, value, id, limit);
  const size_t got = static_cast<size_t>(r.rows());
  for (size_t i = 0; i < got; ++i, ++count) {
    if (rows.size() <= count) rows.emplace_back();
    FoundRow& out = rows[count];
    const int row = static_cast<int>(i);
    out.id = r.Int(row, 0);
    out.data.assign(r.Bytes(row, 1));
    out.collated.assign(r.Bytes(row, 2));
    Present(out.id);
  }
  return got;
}

bool ServerFile::ReadById(int64_t id, std::string& data) {
  params_.Clear();
  params_.Int(id);
  Result r = conn_.Run(
      byId_.Get(conn_,
                [&] { return Text("SELECT data FROM " + table_ + " WHERE id = $1", {kInt8Type}); }),
      params_);
  if (r.rows() == 0) return false;
  data.assign(r.Bytes(0, 0));
  Present(id);
  return true;
}

// Binds the collated values of the keys in `only` (see HasKey); the others as NULL, unused.
void ServerFile::BindKeys(const RecordKeys& keys, uint64_t only) {
  for (size_t k = 0; k < keys.raw.size(); ++k) {
    if (!HasKey(only, k) || keys.null[k])
      params_.Null();
    else
      params_.Bytes(keys.collated[k]);
  }
}

int64_t ServerFile::InsertRow(const uint8_t* data, const RecordKeys& keys) {
  if (refusesNone_ && folder_.inTransaction()) {
    const int64_t id = NextId();
    conn_.SendAhead(InsertAt(id, data, keys), params_);
    Present(id);
    return id;
  }
  const std::string& insert = insert_[folder_.inTransaction()].Get(conn_, [&] {
    std::string cols = "data", values = "$1";
    for (size_t k = 0; k < keys.raw.size(); ++k) {
      cols += ", " + KeyColumn(static_cast<int>(k));
      values += ", $" + std::to_string(k + 2);
    }
    // A key value already taken inserts nothing, and so does not undo the transaction running.
    return Text(Writer() + "INSERT INTO " + table_ + " (" + cols + ") SELECT " + values +
                    " FROM w ON CONFLICT DO NOTHING RETURNING id",
                std::vector<Oid>(keys.raw.size() + 1, kByteaType));
  });
  params_.Clear();
  params_.Bytes({reinterpret_cast<const char*>(data), static_cast<size_t>(recordLength())});
  BindKeys(keys, ~uint64_t{0});
  Result r = conn_.Run(insert, params_);
  if (r.rows() == 0)
    throw EngineError{EngineStatus::DuplicateKey, "a key value of " + name() + " is taken"};
  const int64_t id = r.Int(0, 0);
  Present(id);
  KeepStretches(id, data, &keys, ~uint64_t{0});
  return id;
}

void ServerFile::UpdateRow(int64_t id, const uint8_t* data, const RecordKeys& keys,
                           uint64_t changedKeys) {
  const std::string& up = updates_[folder_.inTransaction()][changedKeys].Get(conn_, [&] {
    std::string sets = "data = $2";
    for (size_t k = 0; k < keys.raw.size(); ++k)
      if (HasKey(changedKeys, k))
        sets += ", " + KeyColumn(static_cast<int>(k)) + " = $" + std::to_string(k + 3);
    return Text(Writer() + "UPDATE " + table_ + " SET " + sets + " FROM w WHERE id = $1",
                PositionAndBytes(keys.raw.size() + 1));
  });
  params_.Clear();
  params_.Int(id);
  params_.Bytes({reinterpret_cast<const char*>(data), static_cast<size_t>(recordLength())});
  BindKeys(keys, changedKeys);
  // A new value of a unique key may be taken: inside a transaction the update then runs in a
  // savepoint, so that its failure undoes only itself.
  bool guarded = false;
  if (folder_.inTransaction())
    for (size_t k = 0; k < keys.raw.size() && !guarded; ++k)
      guarded = HasKey(changedKeys, k) && !this->keys()[k].duplicates;
  if (!guarded) {
    // Inside the transaction nothing but a failure of the server's can refuse it.
    if (folder_.inTransaction())
      conn_.SendAhead(up, params_);
    else
      conn_.Run(up, params_);
    KeepStretches(id, data, &keys, changedKeys);
    return;
  }
  folder_.Exec("SAVEPOINT palvorin_update");
  try {
    conn_.Run(up, params_);
  } catch (const EngineError&) {
    conn_.ExecQuietly("ROLLBACK TO palvorin_update; RELEASE palvorin_update");
    throw;
  }
  folder_.Exec("RELEASE palvorin_update");
  KeepStretches(id, data, &keys, changedKeys);
}

bool ServerFile::DeleteRow(int64_t id) {
  const std::string& statement = delete_[folder_.inTransaction()].Get(conn_, [&] {
    return Text(Writer() + "DELETE FROM " + table_ + " USING w WHERE id = $1 RETURNING id",
                {kInt8Type});
  });
  params_.Clear();
  params_.Int(id);
  bool deleted = true;
  if (KnownPresent(id)) {
    present_.erase(id);
    conn_.SendAhead(statement, params_);
  } else {
    deleted = conn_.Run(statement, params_).rows() > 0;
  }
  KeepStretches(id, nullptr, nullptr, 0);
  return deleted;
}

bool ServerFile::FromStretch(int key, KeyQuery shape, std::string_view value, FoundRow& row) {
  constexpr size_t kFirstStretch = 8, kLongestStretch = 64;
  if (stretches_.size() < keys().size()) stretches_.resize(keys().size());
  Stretch& s = stretches_[static_cast<size_t>(key)];
  // Whether the stretch holds the answer: the value lies in it, and for Get Greater the
  // record after it too.
  const auto covers = [&] {
    if (s.epoch != folder_.epoch() || value < s.from) return false;
    if (s.toEnd) return true;
    if (s.rows.empty()) return false;
    const std::string& last = s.rows.back().collated;
    return shape == KeyQuery::Greater ? value < last : value <= last;
  };
  if (covers()) {
    s.used = true;
  } else {
    s.size = s.used ? std::min(2 * s.size, kLongestStretch) : kFirstStretch;
    s.used = false;
    size_t count = 0;
    s.toEnd = ReadBlock(key, KeyQuery::GreaterOrEqualBlock, value, 0, s.size, s.rows, count) <
              s.size;
    s.rows.resize(count);
    s.from.assign(value);
    s.epoch = folder_.epoch();
    if (!covers()) {
      s.epoch = 0;
      return ReadOne(key, shape, value, 0, row);
    }
  }
  auto it = std::lower_bound(
      s.rows.begin(), s.rows.end(), value,
      [](const FoundRow& r, std::string_view v) { return std::string_view(r.collated) < v; });
  if (shape == KeyQuery::Greater && it != s.rows.end() && it->collated == value) ++it;
  if (it == s.rows.end() || (shape == KeyQuery::Equal && it->collated != value)) return false;
  row = *it;
  return true;
}

void ServerFile::KeepStretches(int64_t id, const uint8_t* data, const RecordKeys* keys,
                               uint64_t changedKeys) {
  for (size_t k = 0; k < stretches_.size(); ++k) {
    Stretch& s = stretches_[k];
    if (s.epoch != folder_.epoch()) continue;
    auto it = std::find_if(s.rows.begin(), s.rows.end(),
                           [id](const FoundRow& r) { return r.id == id; });
    const bool moves = !data || HasKey(changedKeys, k);
    if (it != s.rows.end() && !moves) {
      it->data.assign(reinterpret_cast<const char*>(data),
                      static_cast<size_t>(recordLength()));
      continue;
    }
    if (it != s.rows.end()) s.rows.erase(it);
    if (!data || !moves || keys->null[k]) continue;
    // The record's new place, when it lies in the stretch.
    const std::string& v = keys->collated[k];
    if (v < s.from || (!s.toEnd && (s.rows.empty() || s.rows.back().collated < v))) continue;
    auto at = std::lower_bound(
        s.rows.begin(), s.rows.end(), v,
        [](const FoundRow& r, const std::string& x) { return r.collated < x; });
    FoundRow& added = *s.rows.insert(at, FoundRow{});
    added.id = id;
    added.data.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(recordLength()));
    added.collated = v;
  }
}

void ServerFile::Present(int64_t id) {
  if (!folder_.inTransaction()) return;
  if (presentFor_ != folder_.epoch()) {
    presentFor_ = folder_.epoch();
    present_.clear();
  }
  present_.insert(id);
}

bool ServerFile::KnownPresent(int64_t id) {
  return folder_.inTransaction() && presentFor_ == folder_.epoch() && present_.count(id) > 0;
}

int64_t ServerFile::CountRows() {
  params_.Clear();
  Result r = conn_.Run(
      count_.Get(conn_, [&] { return Text("SELECT count(*) FROM " + table_, {}); }), params_);
  return r.rows() == 1 ? r.Int(0, 0) : 0;
}

void ServerFile::ForEachRow(const std::function<void(int64_t, std::string_view)>& fn) {
  Params none;
  Result r = conn_.Run(conn_.Prepare("SELECT id, data FROM " + table_ + " ORDER BY id", {}), none);
  for (int i = 0; i < r.rows(); ++i) fn(r.Int(i, 0), r.Bytes(i, 1));
}

void ServerFile::InsertRowAt(int64_t id, const uint8_t* data, const RecordKeys& keys) {
  stretches_.clear();
  conn_.Run(InsertAt(id, data, keys), params_);
}

const std::string& ServerFile::InsertAt(int64_t id, const uint8_t* data,
                                        const RecordKeys& keys) {
  const std::string& insert = insertAt_.Get(conn_, [&] {
    std::string cols = "id, data", values = "$1, $2";
    for (size_t k = 0; k < keys.raw.size(); ++k) {
      cols += ", " + KeyColumn(static_cast<int>(k));
      values += ", $" + std::to_string(k + 3);
    }
    return Text("INSERT INTO " + table_ + " (" + cols + ") VALUES (" + values + ")",
                PositionAndBytes(keys.raw.size() + 1));
  });
  params_.Clear();
  params_.Int(id);
  params_.Bytes({reinterpret_cast<const char*>(data), static_cast<size_t>(recordLength())});
  BindKeys(keys, ~uint64_t{0});
  return insert;
}

int64_t ServerFile::NextId() {
  if (idsFor_ != folder_.epoch()) {
    idsFor_ = folder_.epoch();
    ids_.clear();
    nextId_ = 0;
  }
  if (nextId_ == ids_.size()) {
    // Twice as many as the last time in this transaction, so few are left unused.
    const int64_t wanted = std::min<int64_t>(ids_.empty() ? 1 : 2 * ids_.size(), 64);
    params_.Clear();
    params_.Int(wanted);
    Result r = conn_.Run(nextIds_.Get(conn_,
                                      [&] {
                                        return Text("SELECT nextval(pg_get_serial_sequence(" +
                                                        TableLiteral() +
                                                        ", 'id')) FROM generate_series(1, $1)",
                                                    {kInt8Type});
                                      }),
                         params_);
    ids_.clear();
    nextId_ = 0;
    for (int i = 0; i < r.rows(); ++i) ids_.push_back(r.Int(i, 0));
    if (ids_.empty()) throw EngineError{EngineStatus::IoError, "no positions for " + name()};
  }
  return ids_[nextId_++];
}

// The table's name as an SQL string literal.
std::string ServerFile::TableLiteral() const {
  std::string literal = "'";
  for (char ch : table_) literal += ch == '\'' ? std::string("''") : std::string(1, ch);
  return literal + "'";
}

// New records go after the highest position loaded.
void ServerFile::FinishLoad() {
  conn_.Exec("SELECT setval(pg_get_serial_sequence(" + TableLiteral() +
             ", 'id'), greatest(max(id), 1)) FROM " + table_);
}

}  // namespace

std::unique_ptr<Folder> OpenServerFolder(const std::string& dir, const std::string& conninfo,
                                         const std::string& schema, bool create,
                                         int busyTimeoutMs) {
  return std::make_unique<ServerFolder>(dir, conninfo, schema, create, busyTimeoutMs);
}

std::string ServerNameForMessages(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (!options) {
    PQfreemem(error);
    return "unreadable connection string";
  }
  std::string out;
  for (PQconninfoOption* o = options; o->keyword; ++o) {
    const std::string_view key = o->keyword;
    if (!o->val || !*o->val || (key != "host" && key != "hostaddr" && key != "port" &&
                                key != "dbname" && key != "user"))
      continue;
    if (!out.empty()) out += ' ';
    out += key;
    out += '=';
    out += o->val;
  }
  PQconninfoFree(options);
  return out.empty() ? "default server" : out;
}

}  // namespace palvorin
