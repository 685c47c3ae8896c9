// Rates of the engine's keyed operations through BTRCALL beside the same operations issued
// straight to SQLite, on a file of 100,000 records of 32 bytes with a 6-byte key.
//
// The figures form a table: one row per operation, one column per way of doing it. A new
// column (say, the record-file layer above the engine) is one more AddColumn call with a
// function per operation, given the round number (each runs kRounds times and the best rate
// counts); ratios are printed against the "sqlite" column. A new row is one more name in
// kOperations.
//
// Usage: bench_engine [folder]   (default: a fresh folder under /tmp, removed afterwards)
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/btrcall.h"
#include "engine/createbuf.h"
#include "engine/engine.h"

namespace {

using namespace palvorin;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;
constexpr int kRecordLength = 32;
constexpr int kKeyLength = 6;
constexpr int kReads = 200000;
constexpr int kWrites = 5000;
constexpr int kRounds = 3;

// Record i: its 6-digit code (the key) then filler.
std::string RecordFor(int i, char fill = 'x') {
  char code[16];
  std::snprintf(code, sizeof code, "%06d", i);
  std::string rec(kRecordLength, fill);
  std::memcpy(rec.data(), code, kKeyLength);
  return rec;
}

// What each measurement gets: how many operations it did, the seconds they took, and the
// processor seconds the process spent on them (steadier on a shared machine).
struct Timing {
  long ops = 0;
  double seconds = 0;
  double cpuSeconds = 0;
  double rate() const { return seconds > 0 ? ops / seconds : 0; }
  double cpuRate() const { return cpuSeconds > 0 ? ops / cpuSeconds : 0; }
};

// Times one stretch of work, adding to a Timing.
class Stopwatch {
 public:
  Stopwatch() : wall_(Clock::now()), cpu_(std::clock()) {}
  void AddTo(Timing& t) const {
    t.seconds += std::chrono::duration<double>(Clock::now() - wall_).count();
    t.cpuSeconds += static_cast<double>(std::clock() - cpu_) / CLOCKS_PER_SEC;
  }

 private:
  Clock::time_point wall_;
  std::clock_t cpu_;
};

template <typename F>
Timing TimeLoop(long ops, F&& body) {
  Timing t{ops, 0, 0};
  const Stopwatch watch;
  for (long i = 0; i < ops; ++i) body(i);
  watch.AddTo(t);
  return t;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bench_engine: %s failed\n", what);
    std::exit(1);
  }
}

// ---- The table of results -----------------------------------------------------------------

const std::vector<std::string> kOperations = {"Get Equal", "Get Greater or Equal", "Get Next",
                                              "Insert (autocommit)", "Update (autocommit)"};

struct Column {
  std::string name;
  // By operation; `round` counts the repetitions, so writes can pick fresh records.
  std::map<std::string, std::function<Timing(int round)>> run;
};

std::vector<Column>& Columns() {
  static std::vector<Column> columns;
  return columns;
}

void AddColumn(Column column) { Columns().push_back(std::move(column)); }

void PrintRates(const char* title, std::map<std::string, std::map<std::string, double>>& rate) {
  std::printf("\n%-24s", title);
  for (const Column& col : Columns()) std::printf("%14s", col.name.c_str());
  for (const Column& col : Columns())
    if (col.name != "sqlite") std::printf("%16s", (col.name + "/sqlite").c_str());
  std::printf("\n");
  for (const std::string& op : kOperations) {
    std::printf("%-24s", op.c_str());
    for (const Column& col : Columns()) std::printf("%14.0f", rate[op][col.name]);
    for (const Column& col : Columns())
      if (col.name != "sqlite") {
        const double base = rate[op]["sqlite"];
        std::printf("%16.2f", base > 0 ? rate[op][col.name] / base : 0);
      }
    std::printf("\n");
  }
}

void PrintTable() {
  // operation -> column -> operations per second, by the clock and per processor second
  std::map<std::string, std::map<std::string, double>> rate, cpuRate;
  // Operation by operation, every column in turn and the best of kRounds, so a busy machine
  // hurts all columns alike.
  for (const std::string& op : kOperations)
    for (int round = 0; round < kRounds; ++round)
      for (const Column& col : Columns())
        if (auto it = col.run.find(op); it != col.run.end()) {
          const Timing t = it->second(round);
          rate[op][col.name] = std::max(rate[op][col.name], t.rate());
          cpuRate[op][col.name] = std::max(cpuRate[op][col.name], t.cpuRate());
        }
  PrintRates("operations per second", rate);
  PrintRates("per processor second", cpuRate);
}

// ---- Through BTRCALL ----------------------------------------------------------------------

struct EngineFile {
  uint8_t pb[kPosBlockSize] = {};
  std::string path;

  int16_t Call(uint16_t op, std::string& data, std::string& key, int8_t keyNum = 0) {
    uint32_t len = static_cast<uint32_t>(data.size());
    return BTRCALL(op, pb, data.data(), &len, key.data(), static_cast<uint8_t>(key.size()), keyNum);
  }

  void Build(const std::string& folder) {
    path = folder + "/bench.dat";
    FileDef def;
    def.recordLength = kRecordLength;
    def.segments = {{.position = 1, .length = kKeyLength}};
    std::string data = BuildCreateBuffer(def), key = path + std::string(1, '\0');
    Check(Call(14, data, key, -1) == 0, "create");
    data = "0000";
    Check(Call(0, data, key) == 0, "open");
    std::string none, k(kKeyLength, '\0');
    Check(Call(19, none, none) == 0, "begin");
    for (int i = 0; i < kRecords; ++i) {
      std::string rec = RecordFor(2 * i);  // even codes; odd ones are free for inserts
      Check(Call(2, rec, k) == 0, "fill");
    }
    Check(Call(20, none, none) == 0, "end");
  }
};

Column EngineColumn(EngineFile& f, const std::vector<int>& picks) {
  Column col{"BTRCALL", {}};
  col.run["Get Equal"] = [&f, &picks](int) {
    std::string data(kRecordLength, '\0'), key(kKeyLength, '\0');
    return TimeLoop(kReads, [&](long i) {
      std::memcpy(key.data(), RecordFor(2 * picks[i]).data(), kKeyLength);
      Check(f.Call(5, data, key) == 0, "get equal");
    });
  };
  col.run["Get Greater or Equal"] = [&f, &picks](int) {
    std::string data(kRecordLength, '\0'), key(kKeyLength, '\0');
    return TimeLoop(kReads, [&](long i) {
      std::memcpy(key.data(), RecordFor(2 * picks[i] - 1).data(), kKeyLength);
      Check(f.Call(9, data, key) == 0, "get greater or equal");
    });
  };
  col.run["Get Next"] = [&f](int) {
    std::string data(kRecordLength, '\0'), key(kKeyLength, '\0');
    Check(f.Call(12, data, key) == 0, "get first");
    return TimeLoop(kRecords - 1, [&](long) { Check(f.Call(6, data, key) == 0, "get next"); });
  };
  col.run["Insert (autocommit)"] = [&f](int round) {
    std::string key(kKeyLength, '\0');
    return TimeLoop(kWrites, [&](long i) {
      std::string rec = RecordFor(2 * (round * kWrites + static_cast<int>(i)) + 1);
      Check(f.Call(2, rec, key) == 0, "insert");
    });
  };
  col.run["Update (autocommit)"] = [&f, &picks](int) {
    // Only the Update calls are timed; the Get Equal that makes each record current is not.
    std::string data(kRecordLength, '\0'), key(kKeyLength, '\0');
    Timing t{kWrites, 0, 0};
    for (int i = 0; i < kWrites; ++i) {
      std::memcpy(key.data(), RecordFor(2 * picks[i]).data(), kKeyLength);
      Check(f.Call(5, data, key) == 0, "get for update");
      std::string rec = RecordFor(2 * picks[i], 'u');
      const Stopwatch watch;
      Check(f.Call(3, rec, key) == 0, "update");
      watch.AddTo(t);
    }
    return t;
  };
  return col;
}

// ---- Straight to SQLite -------------------------------------------------------------------

struct DirectDb {
  sqlite3* db = nullptr;
  sqlite3_stmt* equal = nullptr;
  sqlite3_stmt* ge = nullptr;
  sqlite3_stmt* next = nullptr;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* byKey = nullptr;

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
    Exec("PRAGMA cache_size=-16384");  // as the engine's connections
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, data BLOB NOT NULL, k BLOB)");
    Exec("CREATE UNIQUE INDEX t_k ON t (k)");
    equal = Prepare("SELECT id, data, k FROM t WHERE k = ?1");
    ge = Prepare("SELECT id, data, k FROM t WHERE k >= ?1 ORDER BY k LIMIT 1");
    next = Prepare("SELECT id, data, k FROM t WHERE k > ?1 ORDER BY k LIMIT 1");
    insert = Prepare("INSERT INTO t (data, k) VALUES (?1, ?2)");
    update = Prepare("UPDATE t SET data = ?2, k = ?3 WHERE id = ?1");
    byKey = Prepare("SELECT id FROM t WHERE k = ?1");
    Exec("BEGIN");
    for (int i = 0; i < kRecords; ++i) Insert(RecordFor(2 * i));
    Exec("COMMIT");
  }
  void Insert(const std::string& rec) {
    sqlite3_bind_blob(insert, 1, rec.data(), kRecordLength, SQLITE_STATIC);
    sqlite3_bind_blob(insert, 2, rec.data(), kKeyLength, SQLITE_STATIC);
    Check(sqlite3_step(insert) == SQLITE_DONE, "direct insert");
    sqlite3_reset(insert);
  }
  // One keyed read: bind, step, copy the record and key out, reset.
  bool Read(sqlite3_stmt* s, const char* key, std::string& data, std::string& keyOut) {
    sqlite3_bind_blob(s, 1, key, kKeyLength, SQLITE_STATIC);
    const bool found = sqlite3_step(s) == SQLITE_ROW;
    if (found) {
      data.assign(static_cast<const char*>(sqlite3_column_blob(s, 1)), sqlite3_column_bytes(s, 1));
      keyOut.assign(static_cast<const char*>(sqlite3_column_blob(s, 2)),
                    sqlite3_column_bytes(s, 2));
    }
    sqlite3_reset(s);
    return found;
  }
  ~DirectDb() {
    for (sqlite3_stmt* s : {equal, ge, next, insert, update, byKey}) sqlite3_finalize(s);
    sqlite3_close(db);
  }
};

Column SqliteColumn(DirectDb& d, const std::vector<int>& picks) {
  Column col{"sqlite", {}};
  col.run["Get Equal"] = [&d, &picks](int) {
    std::string data, key;
    return TimeLoop(kReads, [&](long i) {
      Check(d.Read(d.equal, RecordFor(2 * picks[i]).data(), data, key), "direct equal");
    });
  };
  col.run["Get Greater or Equal"] = [&d, &picks](int) {
    std::string data, key;
    return TimeLoop(kReads, [&](long i) {
      Check(d.Read(d.ge, RecordFor(2 * picks[i] - 1).data(), data, key), "direct ge");
    });
  };
  col.run["Get Next"] = [&d](int) {
    // Each step seeks again from the last key, as the engine does: no read stays open.
    std::string data, key(kKeyLength, '\0');
    return TimeLoop(kRecords - 1, [&](long) {
      const std::string from = key;
      Check(d.Read(d.next, from.data(), data, key), "direct next");
    });
  };
  col.run["Insert (autocommit)"] = [&d](int round) {
    return TimeLoop(kWrites, [&](long i) {
      d.Insert(RecordFor(2 * (round * kWrites + static_cast<int>(i)) + 1));
    });
  };
  col.run["Update (autocommit)"] = [&d, &picks](int) {
    Timing t{kWrites, 0, 0};
    for (int i = 0; i < kWrites; ++i) {
      const std::string rec = RecordFor(2 * picks[i], 'u');
      sqlite3_bind_blob(d.byKey, 1, rec.data(), kKeyLength, SQLITE_STATIC);
      Check(sqlite3_step(d.byKey) == SQLITE_ROW, "direct find for update");
      const sqlite3_int64 id = sqlite3_column_int64(d.byKey, 0);
      sqlite3_reset(d.byKey);
      const Stopwatch watch;
      sqlite3_bind_int64(d.update, 1, id);
      sqlite3_bind_blob(d.update, 2, rec.data(), kRecordLength, SQLITE_STATIC);
      sqlite3_bind_blob(d.update, 3, rec.data(), kKeyLength, SQLITE_STATIC);
      Check(sqlite3_step(d.update) == SQLITE_DONE, "direct update");
      sqlite3_reset(d.update);
      watch.AddTo(t);
    }
    return t;
  };
  return col;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  bool removeAfter = false;
  if (argc > 1) {
    folder = argv[1];
    std::filesystem::create_directories(folder);
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "bench-engine-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr, "temporary folder");
    folder = pattern;
    removeAfter = true;
  }
  std::printf("bench_engine: %d records of %d bytes, %d-byte key, in %s\n", kRecords, kRecordLength,
              kKeyLength, folder.c_str());
  std::vector<int> picks(kReads);
  std::mt19937 random(42);
  std::uniform_int_distribution<int> pick(1, kRecords - 1);
  for (int& p : picks) p = pick(random);
  {
    EngineFile engine;
    DirectDb direct;
    engine.Build(folder);
    direct.Build(folder);
    AddColumn(SqliteColumn(direct, picks));
    AddColumn(EngineColumn(engine, picks));
    PrintTable();
    uint8_t scratch[kPosBlockSize] = {};
    uint32_t len = 0;
    BTRCALL(28, scratch, nullptr, &len, nullptr, 0, 0);
  }
  if (removeAfter) std::filesystem::remove_all(folder);
  return 0;
}
