// A benchmark's data folder on a PostgreSQL server (--server CONNINFO): a schema of the
// benchmark's own, emptied before the run and dropped after it.
#ifndef PALVORIN_BENCH_SUPPORT_SERVER_H_
#define PALVORIN_BENCH_SUPPORT_SERVER_H_

#include <libpq-fe.h>

#include <cstdio>
#include <string>

#include "engine/engine.h"

namespace palvorin {

class BenchServer {
 public:
  // Keeps `folder` in schema `schema` of the server `conninfo`; nothing when it is empty.
  BenchServer(const std::string& conninfo, const std::string& folder, const std::string& schema)
      : conninfo_(conninfo), schema_(schema) {
    if (conninfo_.empty()) return;
    Drop();
    if (!EngineUseServer(folder, conninfo_, schema_))
      std::fprintf(stderr, "bench: cannot use the folder %s\n", folder.c_str());
  }
  ~BenchServer() {
    if (!conninfo_.empty()) Drop();
  }
  BenchServer(const BenchServer&) = delete;
  BenchServer& operator=(const BenchServer&) = delete;

 private:
  void Drop() {
    PGconn* conn = PQconnectdb(conninfo_.c_str());
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    if (PQstatus(conn) == CONNECTION_OK)
      PQclear(PQexec(conn, ("DROP SCHEMA IF EXISTS \"" + schema_ + "\" CASCADE").c_str()));
    else
      std::fprintf(stderr, "bench: %s", PQerrorMessage(conn));
    PQfinish(conn);
  }
  std::string conninfo_, schema_;
};

}  // namespace palvorin

#endif  // PALVORIN_BENCH_SUPPORT_SERVER_H_
