// Rates of keyed reads and writes through the record-file layer (DbGet, DbSkip, DbInsert,
// DbUpdate) beside the same operations through BTRCALL and straight to SQLite, on a file of
// 100,000 records of 32 bytes with a 6-byte key. The layer's reads, and its single inserts and
// updates outside a transaction, should run at no less than half the rate of the same work done
// straight on SQLite (writes: one autocommit statement each, WAL, synchronous NORMAL).
//
// Usage: bench_datafile [folder]   (default: a fresh folder under /tmp, removed afterwards)
#include <sqlite3.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "datafile/datafile.h"
#include "datafile/dictionary.h"
#include "engine/btrcall.h"
#include "os/files.h"
#include "session/session.h"

namespace {

using namespace palvorin;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;
constexpr int kRecordLength = 32;
constexpr int kKeyLength = 6;
constexpr int kReads = 200000;
constexpr int kWrites = 5000;
constexpr int kHandle = 45;

std::string Code(int i) {
  char code[16];
  std::snprintf(code, sizeof code, "%06d", i);
  return code;
}

std::string RecordFor(int i, char fill = 'x') {
  std::string rec(kRecordLength, fill);
  std::memcpy(rec.data(), Code(i).data(), kKeyLength);
  return rec;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bench_datafile: %s failed\n", what);
    std::exit(1);
  }
}

// Clock and processor time spent in timed calls.
struct Timing {
  double wall = 0, cpu = 0;
};

double CpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

template <typename F>
void Timed(Timing& t, F&& call) {
  const double cpu = CpuNow();
  const auto start = Clock::now();
  call();
  t.wall += std::chrono::duration<double>(Clock::now() - start).count();
  t.cpu += CpuNow() - cpu;
}

template <typename F>
double Rate(long ops, F&& body) {
  const auto start = Clock::now();
  for (long i = 0; i < ops; ++i) body(i);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return seconds > 0 ? ops / seconds : 0;
}

// ---- Straight to SQLite, one statement per read, as the engine works -----------------------

struct DirectDb {
  sqlite3* db = nullptr;
  sqlite3_stmt* equal = nullptr;
  sqlite3_stmt* ge = nullptr;
  sqlite3_stmt* next = nullptr;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;

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
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, data BLOB NOT NULL, k BLOB)");
    Exec("CREATE UNIQUE INDEX t_k ON t (k)");
    equal = Prepare("SELECT id, data, k FROM t WHERE k = ?1");
    ge = Prepare("SELECT id, data, k FROM t WHERE k >= ?1 ORDER BY k LIMIT 1");
    next = Prepare("SELECT id, data, k FROM t WHERE k > ?1 ORDER BY k LIMIT 1");
    insert = Prepare("INSERT INTO t (data, k) VALUES (?1, ?2)");
    update = Prepare("UPDATE t SET data = ?2, k = ?3 WHERE id = ?1");
    Exec("BEGIN");
    for (int i = 0; i < kRecords; ++i) {
      std::string rec = RecordFor(2 * i);
      sqlite3_bind_blob(insert, 1, rec.data(), kRecordLength, SQLITE_TRANSIENT);
      sqlite3_bind_blob(insert, 2, rec.data(), kKeyLength, SQLITE_TRANSIENT);
      Check(sqlite3_step(insert) == SQLITE_DONE, "direct insert");
      sqlite3_reset(insert);
    }
    Exec("COMMIT");
  }
  // One record written in its own autocommit transaction.
  void Write(sqlite3_stmt* s, int64_t id, const std::string& rec) {
    int n = 1;
    if (s == update) sqlite3_bind_int64(s, n++, id);
    sqlite3_bind_blob(s, n++, rec.data(), kRecordLength, SQLITE_STATIC);
    sqlite3_bind_blob(s, n, rec.data(), kKeyLength, SQLITE_STATIC);
    Check(sqlite3_step(s) == SQLITE_DONE, "direct write");
    sqlite3_reset(s);
  }
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
    for (sqlite3_stmt* s : {equal, ge, next, insert, update}) sqlite3_finalize(s);
    sqlite3_close(db);
  }
};

// ---- Through BTRCALL ---------------------------------------------------------------------

struct EngineFile {
  uint8_t pb[kPosBlockSize] = {};
  int16_t Call(uint16_t op, std::string& data, std::string& key, int8_t keyNum = 0) {
    uint32_t len = static_cast<uint32_t>(data.size());
    return BTRCALL(op, pb, data.data(), &len, key.data(), static_cast<uint8_t>(key.size()),
                   keyNum);
  }
  void Open(const std::string& path) {
    std::string owner = "0000";
    std::string key = path + std::string(1, '\0');
    Check(Call(0, owner, key) == 0, "engine open");
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  std::optional<TempFolder> temp;  // removed with its files at the end
  if (argc > 1) {
    folder = argv[1];
    std::filesystem::create_directories(folder);
  } else {
    temp.emplace("bench-datafile");
    Check(!temp->path().empty(), "temporary folder");
    folder = temp->path();
  }
  std::printf("bench_datafile: %d records of %d bytes, %d-byte key, in %s\n", kRecords,
              kRecordLength, kKeyLength, folder.c_str());

  // The file is created by the layer from a dictionary, as the module's files are.
  std::vector<DictFile> files;
  std::string error;
  Check(ParseDictionarySource("file bench 32\nkey 0,6\n", files, error), "dictionary");
  std::filesystem::create_directories(folder + "/ddf");
  std::ofstream(folder + "/ddf/bench.xdf", std::ios::binary) << DictionaryBytes(files[0]);
  SessionState().rootDir = folder + "/";
  DataFiles().logPath = folder + "/db.log";
  const std::string path = folder + "/bench.dat";
  std::string record;
  int status = 0;
  DbOpen(kHandle, folder + "/bench", record, status);
  Check(status == 0 && DbTransaction(kHandle, 'B') == 0, "layer open");
  DataFiles().logPath.clear();  // the fill is no part of the measurement
  for (int i = 0; i < kRecords; ++i) {
    record = RecordFor(2 * i);
    DbInsert(kHandle, status);
    Check(status == 0, "layer fill");
  }
  Check(DbTransaction(kHandle, 'E') == 0, "layer commit");
  DataFiles().logPath = folder + "/db.log";

  DirectDb direct;
  direct.Build(folder);
  EngineFile engine;
  engine.Open(path);

  std::vector<int> picks(kReads);
  std::mt19937 random(42);
  std::uniform_int_distribution<int> pick(1, kRecords - 1);
  for (int& p : picks) p = pick(random);

  struct Row {
    const char* name;
    double sqlite, btrcall, layer;
  };
  std::vector<Row> rows;
  std::string data, key, data32(kRecordLength, '\0'), key6(kKeyLength, '\0');

  rows.push_back({"Get Equal",
                  Rate(kReads, [&](long i) {
                    Check(direct.Read(direct.equal, Code(2 * picks[i]).data(), data, key), "eq");
                  }),
                  Rate(kReads, [&](long i) {
                    std::memcpy(key6.data(), Code(2 * picks[i]).data(), kKeyLength);
                    Check(engine.Call(5, data32, key6) == 0, "engine eq");
                  }),
                  Rate(kReads, [&](long i) {
                    DbGet(kHandle, 0, Code(2 * picks[i]), 0, status);
                    Check(status == 0, "DbGet eq");
                  })});
  rows.push_back({"Get Greater or Equal",
                  Rate(kReads, [&](long i) {
                    Check(direct.Read(direct.ge, Code(2 * picks[i] - 1).data(), data, key), "ge");
                  }),
                  Rate(kReads, [&](long i) {
                    std::memcpy(key6.data(), Code(2 * picks[i] - 1).data(), kKeyLength);
                    Check(engine.Call(9, data32, key6) == 0, "engine ge");
                  }),
                  Rate(kReads, [&](long i) {
                    DbGet(kHandle, 0, Code(2 * picks[i] - 1), 1, status);
                    Check(status == 0, "DbGet ge");
                  })});
  double nextSqlite = 0, nextEngine = 0, nextLayer = 0;
  {
    std::string from(kKeyLength, '\0');
    nextSqlite = Rate(kRecords - 1, [&](long) {
      const std::string start = from;
      Check(direct.Read(direct.next, start.data(), data, from), "next");
    });
    Check(engine.Call(12, data32, key6) == 0, "engine first");
    nextEngine = Rate(kRecords - 1, [&](long) { Check(engine.Call(6, data32, key6) == 0, "engine next"); });
    DbGet(kHandle, 0, "", 1, status);
    nextLayer = Rate(kRecords - 1, [&](long) {
      DbSkip(kHandle, 1, status);
      Check(status == 0, "DbSkip");
    });
  }
  rows.push_back({"Get Next", nextSqlite, nextEngine, nextLayer});
  // Writes: kRounds rounds, direct and layer in turn, the best of each kept, by the clock and
  // per processor second, so a busy machine hurts both alike. Only the write calls are timed.
  constexpr int kRounds = 3;
  double insertSqlite = 0, updateSqlite = 0, insertLayer = 0, updateLayer = 0;
  double insertSqliteCpu = 0, updateSqliteCpu = 0, insertLayerCpu = 0, updateLayerCpu = 0;
  auto keepBest = [](double& wall, double& cpu, const Timing& t) {
    wall = std::max(wall, kWrites / t.wall);
    cpu = std::max(cpu, t.cpu > 0 ? kWrites / t.cpu : 0);
  };
  for (int round = 0; round < kRounds; ++round) {
    // Fresh odd codes for each round's inserts; each round updates other records.
    const int base = round * kWrites;
    Timing t;
    for (int i = 0; i < kWrites; ++i) {
      const std::string rec = RecordFor(2 * (base + i) + 1);
      Timed(t, [&] { direct.Write(direct.insert, 0, rec); });
    }
    keepBest(insertSqlite, insertSqliteCpu, t);
    t = Timing{};
    for (int i = 0; i < kWrites; ++i) {
      record = RecordFor(2 * (base + i) + 1);
      Timed(t, [&] { DbInsert(kHandle, status); });
      Check(status == 0, "DbInsert");
    }
    keepBest(insertLayer, insertLayerCpu, t);
    // Rows 1 to kRecords hold the even codes in order, so row p holds code 2 * (p - 1).
    t = Timing{};
    for (int i = 0; i < kWrites; ++i) {
      const int p = picks[base + i];
      const std::string rec = RecordFor(2 * p, static_cast<char>('a' + round));
      Timed(t, [&] { direct.Write(direct.update, p + 1, rec); });
    }
    keepBest(updateSqlite, updateSqliteCpu, t);
    t = Timing{};
    for (int i = 0; i < kWrites; ++i) {
      DbGet(kHandle, 0, Code(2 * picks[base + i]), 0, status);
      Check(status == 0, "DbGet for update");
      std::memset(record.data() + kKeyLength, 'a' + round, kRecordLength - kKeyLength);
      Timed(t, [&] { DbUpdate(kHandle, status); });
      Check(status == 0, "DbUpdate");
    }
    keepBest(updateLayer, updateLayerCpu, t);
  }

  std::printf("\n%-24s%14s%14s%14s%16s\n", "operations per second", "sqlite", "BTRCALL",
              "Db layer", "Db layer/sqlite");
  for (const Row& r : rows) {
    std::printf("%-24s%14.0f%14.0f%14.0f%16.2f\n", r.name, r.sqlite, r.btrcall, r.layer,
                r.sqlite > 0 ? r.layer / r.sqlite : 0);
  }
  for (const Row& r : {Row{"DbInsert (logged)", insertSqlite, 0, insertLayer},
                       Row{"DbUpdate (logged)", updateSqlite, 0, updateLayer},
                       Row{"DbInsert, cpu seconds", insertSqliteCpu, 0, insertLayerCpu},
                       Row{"DbUpdate, cpu seconds", updateSqliteCpu, 0, updateLayerCpu}}) {
    std::printf("%-24s%14.0f%14s%14.0f%16.2f\n", r.name, r.sqlite, "", r.layer,
                r.sqlite > 0 ? r.layer / r.sqlite : 0);
  }
  // The target for writes: single updates at no less than half the rate of direct inserts.
  std::printf("%-24s%14.2f (clock)%7.2f (processor)\n", "DbUpdate/sqlite insert",
              insertSqlite > 0 ? updateLayer / insertSqlite : 0,
              insertSqliteCpu > 0 ? updateLayerCpu / insertSqliteCpu : 0);

  DbReset(status);
  uint8_t scratch[kPosBlockSize] = {};
  uint32_t len = 0;
  BTRCALL(28, scratch, nullptr, &len, nullptr, 0, 0);
  return 0;
}
