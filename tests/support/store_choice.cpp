// The store a test program's data folders live in: local SQLite databases, or with
// PALVORIN_STORE=server each folder in a schema of its own on the PostgreSQL server that the
// connection string PALVORIN_PG names. Without PALVORIN_PG that half of the suite is skipped.
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "support/store_choice.h"

namespace {

const bool kStoreChosen = [] {
  const char* store = std::getenv("PALVORIN_STORE");
  if (store == nullptr || std::string_view(store) != "server") return true;
  const char* conninfo = std::getenv("PALVORIN_PG");
  if (conninfo == nullptr || *conninfo == '\0') {
    std::printf("PALVORIN_PG is not set: the tests on a PostgreSQL server are skipped\n");
    std::exit(77);
  }
  palvorin::EngineServeEveryFolder(conninfo);
  return true;
}();

}  // namespace

void palvorin::testing::AwaitServerSessionsGone(int pid) {
  PGconn* conn = PQconnectdb(std::getenv("PALVORIN_PG"));
  const std::string sql = "SELECT 1 FROM pg_stat_activity WHERE application_name = 'palvorin " +
                          std::to_string(pid) + "'";
  for (int i = 0; i < 2000; ++i) {  // ten seconds at most
    PGresult* r = PQexec(conn, sql.c_str());
    const bool gone = PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) == 0;
    PQclear(r);
    if (gone) break;
    usleep(5'000);
  }
  PQfinish(conn);
}
