// The store a test program's data folders live in: local SQLite databases, or with
// PALVORIN_STORE=server each folder in a schema of its own on the PostgreSQL server that the
// connection string PALVORIN_PG names. Without PALVORIN_PG that half of the suite is skipped.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/engine.h"

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
