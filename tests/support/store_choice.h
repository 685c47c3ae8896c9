// Whether this run keeps its data folders on a PostgreSQL server (store_choice.cpp): tests of
// what only a local database has are skipped there.
#ifndef PALVORIN_TESTS_SUPPORT_STORE_CHOICE_H_
#define PALVORIN_TESTS_SUPPORT_STORE_CHOICE_H_

#include <cstdlib>
#include <string_view>

namespace palvorin::testing {

inline bool OnServer() {
  const char* store = std::getenv("PALVORIN_STORE");
  return store != nullptr && std::string_view(store) == "server";
}

// Returns once the server has ended every session of process `pid` (the engine names each
// "palvorin PID"), which is when that process's locks go; gives up after ten seconds.
void AwaitServerSessionsGone(int pid);

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SUPPORT_STORE_CHOICE_H_
