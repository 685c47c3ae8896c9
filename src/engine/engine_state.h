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

// When a file was last seen: its folder's generation (Folder::Generation) and this process's
// writes to it. What was read under one stamp is what the file holds while the stamp is equal.
struct FileStamp {
  uint64_t generation = 0;
  uint64_t writes = 0;
  bool operator==(const FileStamp&) const = default;
};

// Records read ahead of a cursor's place on one key, in the direction it walks, served to the
// Get Next or Get Previous calls that follow while the file keeps the stamp they were read
// under and the cursor stands on one of them or at the place they follow; a keyed read whose
// answer lies among them is served too. Nothing stays open between calls: each block is one
// query, run to its end.
struct ReadAhead {
  int key = -1;  // -1: nothing read ahead
  bool forward = true;
  FileStamp stamp;
  // The place the rows follow: collation form and position. Every record after it on the key,
  // up to the last row (or the end when atEnd), is among the rows; with fromEqual, so is every
  // record whose value equals fromKey (a block read from a searched value, not a record).
  std::string fromKey;
  int64_t fromId = 0;
  bool fromEqual = false;
  std::vector<FoundRow> rows;
  // Rows this process deleted since they were read: still the places they were, no longer
  // served (1 for each such row of rows[0, count)).
  std::vector<char> gone;
  size_t count = 0;    // rows[0, count) hold records
  size_t next = 0;     // the next one to serve
  bool atEnd = false;  // nothing lies beyond rows[count - 1]
  size_t block = 0;    // rows the last query asked for
};

// How far an open walks: the steps served on key walkKey since the last keyed read or change of
// key, and by key the steps the last walk on it took. A new walk reads ahead about as far as
// the last one on its key went (an open walks its keys in turn, each about as far each time).
struct Walks {
  size_t walked = 0;
  int walkKey = -1;
  std::vector<size_t> lastWalks;
  bool walkEnded = false;  // the running keyed read ended a walk of one step or more
  bool peeked = false;     // the record the running call found came from a block's rows[next]
};

// The last keyed read of an open without a lock (Get Equal, Greater, Less and their or-equal
// forms) and what it found: the same read again while the file keeps the stamp it was made
// under finds the same record, and needs no query (a run reads a co-owner's charges twice).
struct KeyedRead {
  bool valid = false;
  int key = -1;
  uint16_t op = 0;
  std::string search;  // collation form of the value searched for
  FileStamp stamp;
  bool found = false;
  FoundRow row;
};

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

  std::vector<ReadAhead> ahead;  // by key
  Walks walks;
  KeyedRead lastKeyed;
  // The current record's bytes as this open last read or wrote them, and the stamp they were
  // read under: updating or deleting it while the file keeps that stamp needs no read of it.
  std::string currentData;
  FileStamp currentStamp;

  int64_t singleLock = 0;  // position locked by a single-record bias; 0 none
  std::vector<int64_t> multiLocks;

  void ForgetPlace() {
    physical = 0;
    afterKeyOnly = false;
    logicalKey = -1;
  }
};

// Where a folder's data files are kept: on the server of `conninfo`, in `schema`; locally
// when `conninfo` is empty.
struct ServerPlace {
  std::string conninfo;
  std::string schema;
};

// Which folders are kept on a server: kept across ResetEngineForTest and fork.
struct ServerChoice {
  std::map<std::string, ServerPlace> folders;  // by canonical folder path (EngineUseServer)
  std::string everyFolder;                     // EngineServeEveryFolder
};

struct EngineState {
  EngineSettings settings;
  bool initialised = false;
  std::vector<Cursor> cursors;
  std::map<std::string, std::unique_ptr<Folder>> folders;  // by canonical folder path
  bool inTransaction = false;
  bool durableTransaction = true;  // its End waits for the disk (kBeginUnsynced)
  uint64_t calls = 0;  // engine calls made by this process, counting the one running
  std::string lastError;
  ServerChoice servers;
  FoundRow row;        // scratch for reads
  std::string search;  // scratch: collation form of a key searched for
  RecordKeys keys;     // scratch: the keys of a record written
  std::string old;     // scratch: a record read back before it is updated
};

// Every record operation asks for it several times: inline, a load and a test each.
inline EngineState& Engine() {
  static EngineState state;
  return state;
}

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
// The keys of record `rec` of file `f` into `out`, which keeps its buffers from call to call.
void ComputeKeys(const DataFile& f, const uint8_t* rec, RecordKeys& out);
// Releases every lock the cursor holds.
void ReleaseAllLocks(Cursor& c);

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_ENGINE_STATE_H_
