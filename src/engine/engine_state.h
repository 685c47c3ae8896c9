// Inside the engine: the state of each open (one per position block), the process-wide engine
// state, and the record operations engine.cpp dispatches to records.cpp.
#ifndef PALVORIN_ENGINE_ENGINE_STATE_H_
#define PALVORIN_ENGINE_ENGINE_STATE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/store.h"

namespace palvorin {

// One open of a data file: what the caller's position block stands for.
struct Cursor {
  bool inUse = false;
  uint32_t generation = 0;
  Folder* folder = nullptr;
  std::shared_ptr<DataFile> file;
  bool readOnly = false;
  bool exclusive = false;

  int64_t physical = 0;       // the current record's position; 0 none
  bool afterKeyOnly = false;  // the current record was reached by a key-only read
  int logicalKey = -1;        // the key Get Next / Previous walk; -1 none
  std::string anchorKey;      // collation form of the key value they move from
  int64_t anchorId = 0;       // and the position that orders it among duplicates

  // The record this open last wrote and the engine call that wrote it: a Get Direct for that
  // position as the very next call of the process answers from here instead of reading the
  // file again (the layer reads every record back so right after updating it).
  int64_t writtenId = 0;
  uint64_t writtenAtCall = 0;
  std::string written;

  int64_t singleLock = 0;  // position locked by a single-record bias; 0 none
  std::vector<int64_t> multiLocks;

  void ForgetPlace() {
    physical = 0;
    afterKeyOnly = false;
    logicalKey = -1;
  }
};

// A record as read: its position, bytes and collation form of the key it was read by.
struct FoundRow {
  int64_t id = 0;
  std::string data;
  std::string collated;
};

struct EngineState {
  EngineSettings settings;
  bool initialised = false;
  std::vector<Cursor> cursors;
  std::map<std::string, std::unique_ptr<Folder>> folders;  // by canonical folder path
  bool inTransaction = false;
  uint64_t calls = 0;  // engine calls made by this process, counting the one running
  std::string lastError;
  FoundRow row;        // scratch for reads
  std::string search;  // scratch: collation form of a key searched for
};

EngineState& Engine();

// The arguments of one call, as records.cpp needs them.
struct CallArgs {
  uint16_t base = 0;
  bool keyOnly = false;
  uint16_t lockBias = 0;
  uint8_t* data = nullptr;
  uint32_t* dataLen = nullptr;
  uint8_t* key = nullptr;
  uint8_t keyLen = 0;
  int8_t keyNum = 0;
};

// Joins the folder to the caller's transaction when one is open.
void JoinTransaction(Folder& folder);

[[nodiscard]] EngineStatus DoGet(Cursor& c, const CallArgs& a);
[[nodiscard]] EngineStatus DoGetDirect(Cursor& c, const CallArgs& a);
[[nodiscard]] EngineStatus DoInsert(Cursor& c, const CallArgs& a);
[[nodiscard]] EngineStatus DoUpdate(Cursor& c, const CallArgs& a);
[[nodiscard]] EngineStatus DoDelete(Cursor& c, const CallArgs& a);
[[nodiscard]] EngineStatus DoUnlock(Cursor& c, const CallArgs& a);
// Releases every lock the cursor holds.
void ReleaseAllLocks(Cursor& c);

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_ENGINE_STATE_H_
