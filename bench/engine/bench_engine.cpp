// The engine's keyed operations through BTRCALL beside the same work done straight on SQLite
// the fastest way it can be done, on one trace over a file of 100,000 records of 32 bytes with
// two keys: key 0 a unique 6-byte code, key 1 a modifiable 4-byte value shared by 100 records
// (duplicates). The trace, in order:
//   insert                 half of the records, each its own commit
//   insert in transactions the other half, 100 records to a transaction (a durable commit)
//   Get Equal              random codes on key 0
//   scan                   Get First and Get Next over the whole file on key 0 (SQLite: one
//                          statement stepped from the first row to the last)
//   Get Greater or Equal   random values on key 1, each between two values in use
//   update, non-key field  the record made current by an untimed Get Equal
//   update, key 1          the same, moving the record to another value of key 1
//   delete                 the same, deleting it
// Both sides use the same table, indexes and settings (write-ahead log, synchronous NORMAL,
// 16 MiB page cache). Each step runs in slices, engine and SQLite in turn, so a busy machine
// slows both alike. Printed per step: microseconds of processor time per operation on each
// side, the ratio of the engine's rate to SQLite's per processor second and by the clock, and
// the system calls per operation on each side (bench/support/syscalls.h).
//
// Usage: bench_engine [--server CONNINFO] [folder]
//   folder: default a fresh folder under /tmp, removed afterwards; with --server the engine's
//   file lives on that PostgreSQL server (schema bench_engine) and SQLite stays local, and the
//   engine runs the trace a second time on a local folder, in the same slices, so that a second
//   table sets the server store beside the SQLite store.
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/btrcall.h"
#include "engine/createbuf.h"
#include "engine/engine.h"
#include "os/files.h"
#include "support/server.h"
#include "support/syscalls.h"

namespace {

using namespace palvorin;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;
constexpr int kRecordLength = 32;
constexpr int kCodeLength = 6;   // key 0: bytes 0..5
constexpr int kValueOffset = 6;  // key 1: bytes 6..9
constexpr int kValueLength = 4;
constexpr int kValues = 1000;  // distinct values of key 1
constexpr int kPerTransaction = 100;
constexpr int kReads = 100000;
constexpr int kWrites = 10000;
constexpr int kSlices = 4;
constexpr int kScans = 2;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bench_engine: %s failed\n", what);
    std::exit(1);
  }
}

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

// Key 1 of record i: an even value, so odd ones fall between two values in use.
int ValueOf(int i) { return 2 * static_cast<int>((static_cast<long>(i) * 7919) % kValues); }

// Record i: its code, its key 1 value, then filler.
std::string RecordFor(int i, char fill = 'x') {
  std::string rec(kRecordLength, fill);
  std::memcpy(rec.data(), Digits(i, kCodeLength).data(), kCodeLength);
  std::memcpy(rec.data() + kValueOffset, Digits(ValueOf(i), kValueLength).data(), kValueLength);
  return rec;
}

double CpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

SyscallCounter& Syscalls() {
  static SyscallCounter counter;
  return counter;
}

// What one side spent on one step.
struct Cost {
  long ops = 0;
  double wall = 0, cpu = 0;
  int64_t syscalls = 0;
};

// Runs `work` (`ops` operations) and adds what it cost; reading the clocks and the counter
// stays outside what is counted.
template <typename F>
void Measure(Cost& cost, long ops, F&& work) {
  const double cpu = CpuNow();
  const int64_t calls = Syscalls().Now();
  const auto wall = Clock::now();
  work();
  cost.wall += std::chrono::duration<double>(Clock::now() - wall).count();
  cost.syscalls += Syscalls().Since(calls);
  cost.cpu += CpuNow() - cpu;
  cost.ops += ops;
}

// ---- Through BTRCALL ----------------------------------------------------------------------

struct EngineSide {
  uint8_t pb[kPosBlockSize] = {};
  std::string data = std::string(kRecordLength, '\0');
  std::string code = std::string(kCodeLength, '\0');
  std::string value = std::string(kValueLength, '\0');

  int16_t Call(uint16_t op, std::string& d, std::string& key, int8_t keyNum = 0) {
    uint32_t len = static_cast<uint32_t>(d.size());
    return BTRCALL(op, pb, d.data(), &len, key.data(), static_cast<uint8_t>(key.size()), keyNum);
  }
  void Build(const std::string& folder) {
    FileDef def;
    def.recordLength = kRecordLength;
    def.segments = {{.position = 1, .length = kCodeLength},
                    {.position = kValueOffset + 1,
                     .length = kValueLength,
                     .flags = kKeyDuplicates | kKeyModifiable}};
    std::string buffer = BuildCreateBuffer(def), path = folder + "/bench.dat" + '\0';
    Check(Call(14, buffer, path, -1) == 0, "create");
    std::string owner = "0000";
    Check(Call(0, owner, path) == 0, "open");
  }
  void Insert(int i) {
    std::string rec = RecordFor(i);
    Check(Call(2, rec, code) == 0, "insert");
  }
  void Transaction(int first) {
    std::string none;
    Check(Call(19, none, none) == 0, "begin");
    for (int i = first; i < first + kPerTransaction; ++i) Insert(i);
    Check(Call(20, none, none) == 0, "end");
  }
  void GetEqual(int i) {
    code = Digits(i, kCodeLength);
    Check(Call(5, data, code) == 0, "get equal");
  }
  long Scan() {
    long n = 1;
    Check(Call(12, data, code) == 0, "get first");
    while (Call(6, data, code) == 0) ++n;
    return n;
  }
  void GetGreaterOrEqual(int v) {
    value = Digits(v, kValueLength);
    Check(Call(9, data, value, 1) == 0, "get greater or equal");
  }
  void Update() { Check(Call(3, data, code) == 0, "update"); }
  void Delete() { Check(Call(4, data, code) == 0, "delete"); }
};

// ---- Straight to SQLite -------------------------------------------------------------------

struct SqliteSide {
  sqlite3* db = nullptr;
  sqlite3_stmt *insert, *equal, *scan, *greaterOrEqual, *idOf, *updateData, *updateValue,
      *remove;
  std::string data, key;

  void Exec(const char* sql) {
    Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sql);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) == SQLITE_OK,
          sql);
    return s;
  }
  void Build(const std::string& folder) {
    Check(sqlite3_open((folder + "/direct.sqlite").c_str(), &db) == SQLITE_OK, "open direct");
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("PRAGMA cache_size=-16384");
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, data BLOB NOT NULL, k0 BLOB, k1 BLOB)");
    Exec("CREATE UNIQUE INDEX t_k0 ON t (k0) WHERE k0 IS NOT NULL");
    Exec("CREATE INDEX t_k1 ON t (k1) WHERE k1 IS NOT NULL");
    insert = Prepare("INSERT INTO t (data, k0, k1) VALUES (?1, ?2, ?3)");
    equal = Prepare("SELECT id, data, k0 FROM t WHERE k0 = ?1");
    scan = Prepare("SELECT id, data, k0 FROM t WHERE k0 IS NOT NULL ORDER BY k0, id");
    greaterOrEqual =
        Prepare("SELECT id, data, k1 FROM t WHERE k1 >= ?1 ORDER BY k1, id LIMIT 1");
    idOf = Prepare("SELECT id FROM t WHERE k0 = ?1");
    updateData = Prepare("UPDATE t SET data = ?2 WHERE id = ?1");
    updateValue = Prepare("UPDATE t SET data = ?2, k1 = ?3 WHERE id = ?1");
    remove = Prepare("DELETE FROM t WHERE id = ?1");
  }
  void Run(sqlite3_stmt* s) {
    Check(sqlite3_step(s) == SQLITE_DONE, sqlite3_sql(s));
    sqlite3_reset(s);
  }
  void Insert(int i) {
    const std::string rec = RecordFor(i);
    sqlite3_bind_blob(insert, 1, rec.data(), kRecordLength, SQLITE_STATIC);
    sqlite3_bind_blob(insert, 2, rec.data(), kCodeLength, SQLITE_STATIC);
    sqlite3_bind_blob(insert, 3, rec.data() + kValueOffset, kValueLength, SQLITE_STATIC);
    Run(insert);
  }
  // A durable commit, as the engine's transactions make.
  void Transaction(int first) {
    Exec("PRAGMA synchronous=FULL");
    Exec("BEGIN IMMEDIATE");
    for (int i = first; i < first + kPerTransaction; ++i) Insert(i);
    Exec("COMMIT");
    Exec("PRAGMA synchronous=NORMAL");
  }
  // The row's record and key copied out, as a caller gets them.
  void Take(sqlite3_stmt* s) {
    data.assign(static_cast<const char*>(sqlite3_column_blob(s, 1)), sqlite3_column_bytes(s, 1));
    key.assign(static_cast<const char*>(sqlite3_column_blob(s, 2)), sqlite3_column_bytes(s, 2));
  }
  void Read(sqlite3_stmt* s, const std::string& k, const char* what) {
    sqlite3_bind_blob(s, 1, k.data(), static_cast<int>(k.size()), SQLITE_STATIC);
    Check(sqlite3_step(s) == SQLITE_ROW, what);
    Take(s);
    sqlite3_reset(s);
  }
  void GetEqual(int i) { Read(equal, Digits(i, kCodeLength), "direct equal"); }
  long Scan() {
    long n = 0;
    while (sqlite3_step(scan) == SQLITE_ROW) {
      Take(scan);
      ++n;
    }
    sqlite3_reset(scan);
    return n;
  }
  void GetGreaterOrEqual(int v) { Read(greaterOrEqual, Digits(v, kValueLength), "direct ge"); }
  int64_t IdOf(int i) {
    const std::string code = Digits(i, kCodeLength);
    sqlite3_bind_blob(idOf, 1, code.data(), kCodeLength, SQLITE_STATIC);
    Check(sqlite3_step(idOf) == SQLITE_ROW, "direct id");
    const int64_t id = sqlite3_column_int64(idOf, 0);
    sqlite3_reset(idOf);
    return id;
  }
  void Update(sqlite3_stmt* s, int64_t id, const std::string& rec) {
    sqlite3_bind_int64(s, 1, id);
    sqlite3_bind_blob(s, 2, rec.data(), kRecordLength, SQLITE_STATIC);
    if (s == updateValue)
      sqlite3_bind_blob(s, 3, rec.data() + kValueOffset, kValueLength, SQLITE_STATIC);
    Run(s);
  }
  void Delete(int64_t id) {
    sqlite3_bind_int64(remove, 1, id);
    Run(remove);
  }
  ~SqliteSide() {
    for (sqlite3_stmt* s :
         {insert, equal, scan, greaterOrEqual, idOf, updateData, updateValue, remove})
      sqlite3_finalize(s);
    sqlite3_close(db);
  }
};

// ---- The trace ----------------------------------------------------------------------------

// Who does the work: the engine on the folder under test, SQLite straight, and, when the
// folder lives on a server, the engine again on a local folder (the SQLite store).
enum Side { kEngine, kSqlite, kLocalStore, kSides };

struct Step {
  const char* name;
  Cost cost[kSides];
};

// Runs `count` items as kSlices slices, each side's part in turn.
void Sliced(long count, int sides, const std::function<void(long from, long to, Side side)>& run) {
  for (int s = 0; s < kSlices; ++s) {
    const long from = count * s / kSlices, to = count * (s + 1) / kSlices;
    for (int side = 0; side < sides; ++side) run(from, to, static_cast<Side>(side));
  }
}

void PrintStep(const Step& s, Side engine, Side other) {
  const Cost &e = s.cost[engine], &q = s.cost[other];
  const double ecpu = e.cpu / e.ops * 1e6, qcpu = q.cpu / q.ops * 1e6;
  const double ew = e.wall / e.ops, qw = q.wall / q.ops;
  std::printf("%-30s %8ld %9.2f %9.2f %8.2f %8.2f %9s %9s\n", s.name, e.ops, ecpu, qcpu,
              ecpu > 0 ? qcpu / ecpu : 0, ew > 0 ? qw / ew : 0,
              PerOp(Syscalls(), e.syscalls, e.ops).c_str(),
              PerOp(Syscalls(), q.syscalls, q.ops).c_str());
}

void PrintTable(const std::vector<Step>& steps, Side engine, Side other, const char* first,
                const char* second) {
  const std::string ratio = std::string(first) + "/" + second;
  std::printf("\n%-30s %8s %19s %17s %19s\n", "", "", "processor us/op", ratio.c_str(),
              "system calls/op");
  std::printf("%-30s %8s %9s %9s %8s %8s %9s %9s\n", "step", "ops", first, second, "cpu",
              "wall", first, second);
  for (const Step& s : steps) PrintStep(s, engine, other);
}

// `local` is null when the engine's folder is itself local.
void RunTrace(EngineSide& eng, SqliteSide& sql, EngineSide* local) {
  const int sides = local ? kSides : kSqlite + 1;
  auto engineOf = [&](Side side) { return side == kEngine ? &eng : local; };
  std::vector<Step> steps;
  auto add = [&steps](const char* name) -> Step& {
    steps.push_back(Step{name, {}});
    return steps.back();
  };
  std::mt19937 random(42);
  std::vector<int> picks(kReads);
  std::uniform_int_distribution<int> pick(0, kRecords - 1);
  for (int& p : picks) p = pick(random);
  std::vector<int> order(kRecords);  // distinct records for the writes
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), random);

  // A step of `count` items, `ops` operations an item, each side doing `item` on its own.
  auto sliced = [&](const char* name, long count, long ops, auto&& engineItem, auto&& sqlItem) {
    Step& step = add(name);
    Sliced(count, sides, [&](long from, long to, Side side) {
      Measure(step.cost[side], (to - from) * ops, [&] {
        for (long i = from; i < to; ++i)
          side == kSqlite ? sqlItem(i) : engineItem(*engineOf(side), i);
      });
    });
  };
  sliced("insert", kRecords / 2, 1, [](EngineSide& e, long i) { e.Insert(static_cast<int>(i)); },
         [&](long i) { sql.Insert(static_cast<int>(i)); });
  auto first = [](long t) { return kRecords / 2 + static_cast<int>(t) * kPerTransaction; };
  sliced("insert, transactions of 100", kRecords / 2 / kPerTransaction, kPerTransaction,
         [&](EngineSide& e, long t) { e.Transaction(first(t)); },
         [&](long t) { sql.Transaction(first(t)); });
  sliced("Get Equal", kReads, 1, [&](EngineSide& e, long i) { e.GetEqual(picks[i]); },
         [&](long i) { sql.GetEqual(picks[i]); });
  Step& scan = add("scan, Get First + Get Next");
  for (int round = 0; round < kScans; ++round)
    for (int side = 0; side < sides; ++side) {
      long n = 0;
      Measure(scan.cost[side], kRecords, [&] {
        n = side == kSqlite ? sql.Scan() : engineOf(static_cast<Side>(side))->Scan();
      });
      Check(n == kRecords, "scan count");
    }
  auto between = [&](long i) { return 2 * (picks[i] % (kValues - 1)) + 1; };
  sliced("Get Greater or Equal, key 1", kReads, 1,
         [&](EngineSide& e, long i) { e.GetGreaterOrEqual(between(i)); },
         [&](long i) { sql.GetGreaterOrEqual(between(i)); });
  // The writes: each record is made current (engine) or found (SQLite) untimed first.
  auto writeStep = [&](const char* name, int offset, auto&& engineWrite, auto&& sqliteWrite) {
    Step& step = add(name);
    Sliced(kWrites, sides, [&](long from, long to, Side side) {
      for (long i = from; i < to; ++i) {
        const int r = order[offset + i];
        if (side != kSqlite) {
          EngineSide& e = *engineOf(side);
          e.GetEqual(r);
          Measure(step.cost[side], 1, [&] { engineWrite(e, r); });
        } else {
          const int64_t id = sql.IdOf(r);
          Measure(step.cost[side], 1, [&] { sqliteWrite(r, id); });
        }
      }
    });
  };
  writeStep(
      "update, non-key field", 0,
      [&](EngineSide& e, int r) {
        e.data = RecordFor(r, 'u');
        e.Update();
      },
      [&](int r, int64_t id) { sql.Update(sql.updateData, id, RecordFor(r, 'u')); });
  auto moved = [](int r) {
    std::string rec = RecordFor(r, 'v');
    std::memcpy(rec.data() + kValueOffset, Digits((ValueOf(r) + 2) % (2 * kValues), kValueLength).data(),
                kValueLength);
    return rec;
  };
  writeStep(
      "update, key 1", kWrites,
      [&](EngineSide& e, int r) {
        e.data = moved(r);
        e.Update();
      },
      [&](int r, int64_t id) { sql.Update(sql.updateValue, id, moved(r)); });
  writeStep(
      "delete", 2 * kWrites, [&](EngineSide& e, int) { e.Delete(); },
      [&](int, int64_t id) { sql.Delete(id); });

  PrintTable(steps, kEngine, kSqlite, "engine", "sqlite");
  if (local) {
    std::printf("\nthe server store against the SQLite store (the engine on a local folder):\n");
    PrintTable(steps, kEngine, kLocalStore, "server", "local");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, server;
  std::optional<TempFolder> temp;  // removed with its files at the end
  if (argc > 2 && std::string(argv[1]) == "--server") {
    server = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc > 1) {
    folder = argv[1];
    std::filesystem::create_directories(folder);
  } else {
    temp.emplace("bench-engine");
    Check(!temp->path().empty(), "temporary folder");
    folder = temp->path();
  }
  std::printf("bench_engine: %d records of %d bytes, key 0 unique (%d bytes), key 1 with "
              "duplicates (%d bytes, %d records a value), in %s\n",
              kRecords, kRecordLength, kCodeLength, kValueLength, kRecords / kValues,
              folder.c_str());
  if (!Syscalls().available())
    std::printf("(system calls not counted: no tracepoint counter in this environment)\n");
  if (!server.empty()) std::printf("the engine's file on the server, schema bench_engine\n");
  {
    BenchServer onServer(server, folder, "bench_engine");
    EngineSide engine, local;
    SqliteSide direct;
    engine.Build(folder);
    direct.Build(folder);
    if (!server.empty()) {
      std::filesystem::create_directories(folder + "/local");
      local.Build(folder + "/local");
    }
    RunTrace(engine, direct, server.empty() ? nullptr : &local);
    uint8_t scratch[kPosBlockSize] = {};
    uint32_t len = 0;
    BTRCALL(28, scratch, nullptr, &len, nullptr, 0, 0);
  }
  return 0;
}
