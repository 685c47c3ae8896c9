// The engine behind BTRCALL (btrcall.h): set-up, the link to the os layer's file deletion, and
// what tests need. Positioning, in short:
//  - a successful read makes its record current on its key; Get Next / Get Previous move from
//    there, through duplicates in insertion order and on to the neighbouring key values;
//  - a failed keyed read (Get Equal, Greater, Less ..., First, Last) leaves no current record,
//    so Update and Delete then give 8 and Get Next gives 8; a failed Get Next / Previous keeps
//    the place it started from but no current record;
//  - Delete keeps the place, so Get Next reaches the record after the deleted one;
//  - key-only reads (+50) give the key and no record; Update and Delete after them give 8, and
//    key-only Get Next / Previous step to the next / previous distinct key value;
//  - a read with a single-record lock bias (+100, +200) releases the position block's previous
//    single lock; Update and Delete release it too; Close and Reset release every lock.
#ifndef PALVORIN_ENGINE_ENGINE_H_
#define PALVORIN_ENGINE_ENGINE_H_

#include <string>

#include "engine/btrcall.h"
#include "engine/status.h"

namespace palvorin {

struct EngineSettings {
  // A folder whose database another process holds for writing longer than this gives 85.
  int busyTimeoutMs = 1000;
  // Reads with a waiting lock bias (+100, +300) give 84 after waiting this long.
  int lockWaitMs = 5000;
};

// Keeps the data files of folder `dir` (an existing local folder; its name stays the one the
// callers use) on the PostgreSQL server that `conninfo` (a libpq connection string) names, in
// the schema `schema` of its database; an empty `conninfo` keeps them local again. Call it
// before the folder's first use in the run; kept across ResetEngineForTest. False when `dir`
// does not exist.
bool EngineUseServer(const std::string& dir, const std::string& conninfo,
                     const std::string& schema);

// Registers the engine with the os layer, so that deleting a data file by name drops it.
// BTRCALL calls it on first use; calling it again registers it again (after an os reset).
void EngineInit();

// Drops the data file at `path` (a Linux path, e.g. "/srv/zep/tmp/hresrebu.dat"): true when
// the folder's database held such a file and it is gone now; false otherwise (no database, no
// such file, another process has it open, or the folder is busy). Opens of it in this process
// then answer 3.
bool EngineDropFile(const std::string& path);

// Whether the folder of the data file at `path` (DOS-style or Linux) already has its database;
// false when creating a file there starts a new one. A folder that does not exist counts as
// having one: nothing can be created there.
bool EngineHasDatabase(const std::string& path);

// Keeps every folder this process opens on the PostgreSQL server of `conninfo`, each in a
// schema named after the folder's path, as if EngineUseServer had named them all (the test
// programs run so on a server); empty `conninfo`: only the folders named keep there. Kept
// across ResetEngineForTest.
void EngineServeEveryFolder(const std::string& conninfo);

// Copies every data file of folder `from` into folder `to` (each a local folder, or one kept on
// a server), with its definition, records and their positions, in one transaction on `to`.
// A `to` whose data files hold records is refused (59) unless `replace`, which drops every
// data file of `to` first. `records` counts the records copied; `why` says what failed.
EngineStatus EngineCopyFolder(const std::string& from, const std::string& to, bool replace,
                              int64_t& records, std::string& why);

// Ends the read transactions that reads inside a Begin ... End keep on the folders this process
// only reads, so that nothing is held while the program waits (for a key, for another
// workstation): each folder's next read starts a fresh one and sees what was committed since.
void EngineStopReading();

// The settings in force; change them before the first BTRCALL of a run or test.
EngineSettings& EngineConfig();

// What the last failing call met, for diagnostics (empty when none).
const std::string& EngineLastError();

// Closes every file and database of this process and forgets all state (settings kept).
void ResetEngineForTest();

// In a child made by fork(): drops the state inherited from the parent without closing
// anything the parent still uses, so the child starts as a new client.
void ForgetEngineStateAfterFork();

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_ENGINE_H_
