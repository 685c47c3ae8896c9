// BTRCALL: decodes the call once, finds the open behind the position block, and dispatches.
// Files, folders and transactions are handled here; records in records.cpp.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "engine/engine_state.h"
#include "engine/pgstore.h"
#include "os/files.h"
#include "os/paths.h"

namespace palvorin {
namespace {

// What a position block holds while its file is open: a mark, the open's slot, and the slot's
// generation, so a stale or foreign block is never taken for a live one.
constexpr char kPosMark[4] = {'Z', 'E', 'P', 'B'};
struct PosTag {
  char mark[4];
  uint32_t slot;
  uint32_t generation;
};
static_assert(sizeof(PosTag) <= kPosBlockSize);

struct DecodedCall {
  uint16_t base = 0;
  bool keyOnly = false;
  uint16_t lockBias = 0;
};

// op = base + 50 for key-only + 100..400 lock bias (+1000 on Begin: concurrent transaction).
DecodedCall DecodeCall(uint16_t op) {
  const uint16_t v = op >= 1000 ? op % 1000 : op;
  DecodedCall d;
  d.lockBias = v / 100 * 100;
  d.keyOnly = v % 100 >= 50;
  d.base = v % 50;
  return d;
}

// Which operations exist, and what they take.
struct OpTraits {
  bool valid = false;
  bool needsOpen = false;  // acts on the file behind the position block
  bool keyOnlyForm = false;
  bool lockBias = false;  // a bias is accepted (ignored where nothing is read)
};

constexpr OpTraits TraitsOf(uint16_t base) {
  switch (static_cast<EngineOp>(base)) {
    case EngineOp::Open:
    case EngineOp::Create:
    case EngineOp::Reset:
    case EngineOp::EndTransaction:
    case EngineOp::AbortTransaction:
      return {true, false, false, false};
    case EngineOp::BeginTransaction:
      return {true, false, false, true};
    case EngineOp::Close:
    case EngineOp::Insert:
    case EngineOp::Update:
    case EngineOp::Delete:
    case EngineOp::Stat:
    case EngineOp::Unlock:
      return {true, true, false, false};
    case EngineOp::GetPosition:
    case EngineOp::GetDirect:
      return {true, true, false, true};
    default:
      if (base >= static_cast<uint16_t>(EngineOp::GetEqual) &&
          base <= static_cast<uint16_t>(EngineOp::GetLast))
        return {true, true, true, true};
      return {};
  }
}

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// ---- Paths ---------------------------------------------------------------------------------

// The file name in the key buffer: up to its NUL, else the whole buffer less trailing blanks.
std::string NameFromKeyBuffer(const uint8_t* key, uint8_t keyLen) {
  if (!key) return {};
  const auto* begin = reinterpret_cast<const char*>(key);
  const void* nul = std::memchr(begin, 0, keyLen);
  size_t n = nul ? static_cast<const char*>(nul) - begin : keyLen;
  if (!nul)
    while (n > 0 && begin[n - 1] == ' ') --n;
  return std::string(begin, n);
}

struct DataFilePath {
  std::string dir;   // canonical folder
  std::string name;  // base name and extension in small letters
};

// Splits a DOS-style or Linux path into its existing folder and the data file's name.
bool SplitDataFilePath(const std::string& given, DataFilePath& out) {
  // Separators, drive letter and the letter case of existing folders, as the os layer has it.
  const std::string path = OsPath(given);
  const size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  if (dir.empty()) dir = "/";
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return false;
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::canonical(dir, ec);
  if (ec) return false;
  out.dir = canonical.string();
  for (char& ch : name)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  // Our own tables and SQLite's are never data files.
  if (name.rfind("sqlite_", 0) == 0 || name == "palvorin_files") return false;
  out.name = std::move(name);
  return true;
}

// Where folder `dir` is kept: on a server, or locally (no connection string).
ServerPlace ServerPlaceOf(const std::string& dir) {
  const ServerChoice& servers = Engine().servers;
  auto it = servers.folders.find(dir);
  if (it != servers.folders.end()) return it->second;
  if (servers.everyFolder.empty()) return {};
  uint64_t h = 14695981039346656037ull;
  for (unsigned char ch : dir) h = (h ^ ch) * 1099511628211ull;
  char schema[24];
  std::snprintf(schema, sizeof schema, "f%016llx", static_cast<unsigned long long>(h));
  return {servers.everyFolder, schema};
}

// The folder's database, opened once per process.
Folder& GetFolder(const std::string& dir, bool create) {
  auto& folders = Engine().folders;
  auto it = folders.find(dir);
  if (it != folders.end()) return *it->second;
  const EngineSettings& settings = Engine().settings;
  const ServerPlace place = ServerPlaceOf(dir);
  std::unique_ptr<Folder> folder =
      place.conninfo.empty()
          ? OpenSqliteFolder(dir, create, settings.busyTimeoutMs)
          : OpenServerFolder(dir, place.conninfo, place.schema, create, settings.busyTimeoutMs);
  Folder& ref = *folder;
  folders.emplace(dir, std::move(folder));
  return ref;
}

// ---- Position blocks -----------------------------------------------------------------------

Cursor* CursorOf(const void* posBlock) {
  if (!posBlock) return nullptr;
  PosTag tag;
  std::memcpy(&tag, posBlock, sizeof tag);
  if (std::memcmp(tag.mark, kPosMark, 4) != 0) return nullptr;
  auto& cursors = Engine().cursors;
  if (tag.slot >= cursors.size()) return nullptr;
  Cursor& c = cursors[tag.slot];
  if (!c.inUse || c.generation != tag.generation) return nullptr;
  return &c;
}

void ClearTag(void* posBlock) {
  if (posBlock) std::memset(posBlock, 0, sizeof(PosTag));
}

// Sets the file's own lock byte to what this process's opens of it need: exclusive while one
// is exclusive, shared while any is open, none after. False when another process's opens
// conflict.
bool UpdateFileLock(Folder& folder, DataFile& f) {
  const int64_t offset = FileLockOffset(f.fileNo());
  if (f.exclusiveOpens > 0) return folder.locks().TryLock(offset, true);
  if (f.normalOpens > 0) return folder.locks().TryLock(offset, false);
  folder.locks().Unlock(offset);
  return true;
}

void CloseCursor(Cursor& c) {
  ReleaseAllLocks(c);
  if (c.file) {
    (c.exclusive ? c.file->exclusiveOpens : c.file->normalOpens)--;
    UpdateFileLock(*c.folder, *c.file);
  }
  c.file.reset();
  c.folder = nullptr;
  c.inUse = false;
  c.ForgetPlace();
}

// ---- File operations -----------------------------------------------------------------------

EngineStatus DoOpen(void* posBlock, const CallArgs& a) {
  if (!posBlock) return EngineStatus::FileNotOpen;
  DataFilePath path;
  if (!SplitDataFilePath(NameFromKeyBuffer(a.key, a.keyLen), path))
    return EngineStatus::FileNotFound;
  if (Cursor* old = CursorOf(posBlock)) CloseCursor(*old);  // a block reused without Close
  Folder& folder = GetFolder(path.dir, false);
  std::shared_ptr<DataFile> file = folder.Find(path.name);
  if (!file) return EngineStatus::FileNotFound;

  const bool exclusive = a.keyNum == kOpenExclusive;
  (exclusive ? file->exclusiveOpens : file->normalOpens)++;
  if (!UpdateFileLock(folder, *file)) {
    (exclusive ? file->exclusiveOpens : file->normalOpens)--;
    UpdateFileLock(folder, *file);
    return EngineStatus::FileLocked;
  }
  auto& cursors = Engine().cursors;
  size_t slot = 0;
  while (slot < cursors.size() && cursors[slot].inUse) ++slot;
  if (slot == cursors.size()) cursors.emplace_back();
  Cursor& c = cursors[slot];
  const uint32_t generation = c.generation + 1;
  c = Cursor{};
  c.inUse = true;
  c.generation = generation;
  c.folder = &folder;
  c.file = std::move(file);
  c.readOnly = a.keyNum == kOpenReadOnly;
  c.exclusive = exclusive;
  PosTag tag;
  std::memcpy(tag.mark, kPosMark, 4);
  tag.slot = static_cast<uint32_t>(slot);
  tag.generation = generation;
  std::memcpy(posBlock, &tag, sizeof tag);
  return EngineStatus::Ok;
}

EngineStatus DoCreate(const CallArgs& a) {
  if (!a.data || !a.dataLen) return EngineStatus::DataBufferTooShort;
  FileDef def;
  const std::string_view buffer(reinterpret_cast<const char*>(a.data), *a.dataLen);
  if (EngineStatus st = ParseCreateBuffer(buffer, def); st != EngineStatus::Ok) return st;
  DataFilePath path;
  if (!SplitDataFilePath(NameFromKeyBuffer(a.key, a.keyLen), path))
    return EngineStatus::FileNotFound;
  Folder& folder = GetFolder(path.dir, true);
  JoinTransaction(folder);
  if (std::shared_ptr<DataFile> old = folder.Find(path.name)) {
    if (a.keyNum == kCreateNew) return EngineStatus::FileExists;
    // Never pull a file from under another process that has it open.
    if (folder.locks().LockedByOther(FileLockOffset(old->fileNo())))
      return EngineStatus::FileLocked;
  }
  // Keep the definition exactly as given, without the padding after it.
  const size_t used =
      kFileHeaderSize + kSegmentSize * def.segments.size() + kAcsBlockSize * def.acs.size();
  folder.Create(path.name, std::string(buffer.substr(0, used)), def);
  return EngineStatus::Ok;
}

EngineStatus DoStat(Cursor& c, const CallArgs& a) {
  const std::string& definition = c.file->definition();
  if (!a.data || !a.dataLen || *a.dataLen < definition.size())
    return EngineStatus::DataBufferTooShort;
  const int64_t records = c.file->CountRows();
  std::memcpy(a.data, definition.data(), definition.size());
  PutLE32(a.data + 6, static_cast<uint32_t>(records));
  if (a.keyNum == -1) a.data[5] = 0x60;  // file version, asked for by key number -1
  // Unique values per key: every record for a unique key; not counted for duplicate keys.
  const auto& segments = c.file->def().segments;
  for (size_t i = 0; i < segments.size(); ++i) {
    const bool unique = !(segments[i].flags & kKeyDuplicates);
    PutLE32(a.data + kFileHeaderSize + kSegmentSize * i + 6,
            unique ? static_cast<uint32_t>(records) : 0);
  }
  *a.dataLen = static_cast<uint32_t>(definition.size());
  return EngineStatus::Ok;
}

EngineStatus DoGetPosition(Cursor& c, const CallArgs& a) {
  if (c.physical == 0) return EngineStatus::InvalidPositioning;
  if (!a.data || !a.dataLen || *a.dataLen < kPositionSize) return EngineStatus::DataBufferTooShort;
  PutLE32(a.data, static_cast<uint32_t>(c.physical));
  *a.dataLen = kPositionSize;
  return EngineStatus::Ok;
}

void CloseEverything() {
  EngineState& e = Engine();
  for (Cursor& c : e.cursors)
    if (c.inUse) CloseCursor(c);
  for (auto& [dir, folder] : e.folders) {
    if (folder->inTransaction()) folder->RollbackTransaction();
    folder->StopReading();
  }
  e.inTransaction = false;
  e.folders.clear();
}

EngineStatus DoReset(void* posBlock) {
  CloseEverything();
  ClearTag(posBlock);
  return EngineStatus::Ok;
}

// ---- Transactions --------------------------------------------------------------------------

EngineStatus DoBegin(void* posBlock, int8_t keyNum) {
  EngineState& e = Engine();
  if (e.inTransaction) return EngineStatus::TransactionActive;
  e.inTransaction = true;
  e.durableTransaction = keyNum != kBeginUnsynced;
  // The folder of the given file is taken now, so a busy folder answers here; other folders
  // join when first touched.
  if (Cursor* c = CursorOf(posBlock)) {
    try {
      JoinTransaction(*c->folder);
    } catch (const EngineError&) {
      e.inTransaction = false;
      throw;
    }
  }
  return EngineStatus::Ok;
}

EngineStatus DoEnd() {
  EngineState& e = Engine();
  if (!e.inTransaction) return EngineStatus::NoTransaction;
  e.inTransaction = false;
  EngineStatus result = EngineStatus::Ok;
  for (auto& [dir, folder] : e.folders) {
    folder->StopReading();
    if (!folder->inTransaction()) continue;
    try {
      folder->CommitTransaction();
    } catch (const EngineError& err) {
      e.lastError = err.message;
      result = err.status;
    }
  }
  return result;
}

EngineStatus DoAbort() {
  EngineState& e = Engine();
  if (!e.inTransaction) return EngineStatus::NoTransaction;
  e.inTransaction = false;
  for (auto& [dir, folder] : e.folders) {
    folder->StopReading();
    if (folder->inTransaction()) folder->RollbackTransaction();
  }
  return EngineStatus::Ok;
}

// ---- Dispatch ------------------------------------------------------------------------------

EngineStatus Dispatch(uint16_t op, void* posBlock, const CallArgs& a) {
  const OpTraits traits = TraitsOf(a.base);
  if (!traits.valid) return EngineStatus::InvalidOperation;
  if ((a.keyOnly && !traits.keyOnlyForm) || (a.lockBias && !traits.lockBias) ||
      (op >= 1000 && a.base != static_cast<uint16_t>(EngineOp::BeginTransaction)))
    return EngineStatus::InvalidOperation;
  if (!traits.needsOpen) {
    switch (static_cast<EngineOp>(a.base)) {
      case EngineOp::Open:
        return DoOpen(posBlock, a);
      case EngineOp::Create:
        return DoCreate(a);
      case EngineOp::Reset:
        return DoReset(posBlock);
      case EngineOp::BeginTransaction:
        return DoBegin(posBlock, a.keyNum);
      case EngineOp::EndTransaction:
        return DoEnd();
      case EngineOp::AbortTransaction:
        return DoAbort();
      default:
        return EngineStatus::InvalidOperation;
    }
  }
  Cursor* c = CursorOf(posBlock);
  if (!c) return EngineStatus::FileNotOpen;
  if (a.base == static_cast<uint16_t>(EngineOp::Close)) {
    CloseCursor(*c);
    ClearTag(posBlock);
    return EngineStatus::Ok;
  }
  if (c->file->gone) return EngineStatus::FileNotOpen;
  // Reads never join a transaction for writing: a folder is taken for writing at Begin or at
  // its first write, so that a transaction over the scratch file leaves the data folder free.
  // They read it in one read transaction until the End (Folder::KeepReading). A read that
  // locks ends that read transaction instead: it must return the record as it is when locked,
  // not as the transaction first saw it, and must not hold the transaction while it waits for
  // the lock. The next read without a lock starts a fresh one.
  const auto base = static_cast<EngineOp>(a.base);
  const bool writes =
      base == EngineOp::Insert || base == EngineOp::Update || base == EngineOp::Delete;
  if (!writes && Engine().inTransaction && !c->folder->inTransaction()) {
    if (a.lockBias != 0)
      c->folder->StopReading();
    else
      c->folder->KeepReading();
  }
  switch (static_cast<EngineOp>(a.base)) {
    case EngineOp::Insert:
      return DoInsert(*c, a);
    case EngineOp::Update:
      return DoUpdate(*c, a);
    case EngineOp::Delete:
      return DoDelete(*c, a);
    case EngineOp::Stat:
      return DoStat(*c, a);
    case EngineOp::GetPosition:
      return DoGetPosition(*c, a);
    case EngineOp::GetDirect:
      return DoGetDirect(*c, a);
    case EngineOp::Unlock:
      return DoUnlock(*c, a);
    default:
      return DoGet(*c, a);
  }
}

}  // namespace

EngineSettings& EngineConfig() { return Engine().settings; }

bool EngineUseServer(const std::string& dir, const std::string& conninfo,
                     const std::string& schema) {
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::canonical(OsPath(dir), ec);
  if (ec) return false;
  auto& servers = Engine().servers.folders;
  if (conninfo.empty())
    servers.erase(canonical.string());
  else
    servers[canonical.string()] = {conninfo, schema};
  return true;
}

const std::string& EngineLastError() { return Engine().lastError; }

void EngineStopReading() {
  for (auto& [dir, folder] : Engine().folders) folder->StopReading();
}

void JoinTransaction(Folder& folder) {
  EngineState& e = Engine();
  if (e.inTransaction && !folder.inTransaction()) folder.BeginTransaction(e.durableTransaction);
}

void EngineInit() {
  Engine().initialised = true;
  SetDataFileDeleter(EngineDropFile);
}

bool EngineDropFile(const std::string& path) {
  try {
    DataFilePath p;
    if (!SplitDataFilePath(path, p)) return false;
    EngineState& e = Engine();
    auto it = e.folders.find(p.dir);
    if (it == e.folders.end() && ServerPlaceOf(p.dir).conninfo.empty()) {
      std::error_code ec;
      if (!std::filesystem::exists(p.dir + "/" + kDatabaseName, ec)) return false;
    }
    Folder& folder = GetFolder(p.dir, false);
    JoinTransaction(folder);
    std::shared_ptr<DataFile> file = folder.Find(p.name);
    if (!file) return false;
    // A file another process has open stays: its opens would lose it under their feet.
    if (folder.locks().LockedByOther(FileLockOffset(file->fileNo()))) return false;
    return folder.Drop(p.name);
  } catch (const EngineError& err) {
    Engine().lastError = err.message;
    return false;
  }
}

bool EngineHasDatabase(const std::string& path) {
  DataFilePath p;
  if (!SplitDataFilePath(path, p)) return true;
  if (!ServerPlaceOf(p.dir).conninfo.empty()) return true;
  std::error_code ec;
  return std::filesystem::exists(p.dir + "/" + kDatabaseName, ec) || ec;
}

namespace {

// Copies the data files of `source` into `target` inside a transaction of `target`.
int64_t CopyFiles(Folder& source, Folder& target, bool replace) {
  if (replace)
    for (const std::string& name : target.Names()) target.Drop(name);
  int64_t records = 0;
  RecordKeys keys;
  for (const std::string& name : source.Names()) {
    std::shared_ptr<DataFile> from = source.Find(name);
    if (!from) continue;
    target.Create(name, from->definition(), from->def());
    std::shared_ptr<DataFile> to = target.Find(name);
    if (!to) throw EngineError{EngineStatus::IoError, name + " was not created"};
    from->ForEachRow([&](int64_t id, std::string_view data) {
      if (data.size() != static_cast<size_t>(to->recordLength()))
        throw EngineError{EngineStatus::IoError, "damaged record in " + name};
      const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
      ComputeKeys(*to, bytes, keys);
      to->InsertRowAt(id, bytes, keys);
      ++records;
    });
    to->FinishLoad();
  }
  return records;
}

}  // namespace

EngineStatus EngineCopyFolder(const std::string& from, const std::string& to, bool replace,
                              int64_t& records, std::string& why) {
  records = 0;
  EngineState& e = Engine();
  if (e.inTransaction) return EngineStatus::TransactionActive;
  std::error_code ec;
  const std::string fromDir = std::filesystem::canonical(OsPath(from), ec).string();
  if (ec) return why = from + ": no such folder", EngineStatus::FileNotFound;
  const std::string toDir = std::filesystem::canonical(OsPath(to), ec).string();
  if (ec) return why = to + ": no such folder", EngineStatus::FileNotFound;
  if (fromDir == toDir) return why = "the two folders are one", EngineStatus::InvalidOperation;
  try {
    Folder& source = GetFolder(fromDir, false);
    Folder& target = GetFolder(toDir, true);
    if (!replace) {
      for (const std::string& name : target.Names()) {
        std::shared_ptr<DataFile> file = target.Find(name);
        if (file && file->CountRows() > 0)
          return why = name + " holds records (--replace replaces them)", EngineStatus::FileExists;
      }
    }
    target.BeginTransaction(true);
    try {
      records = CopyFiles(source, target, replace);
      target.CommitTransaction();
    } catch (...) {
      target.RollbackTransaction();
      throw;
    }
  } catch (const EngineError& err) {
    why = e.lastError = err.message;
    records = 0;
    return err.status;
  }
  return EngineStatus::Ok;
}

void EngineServeEveryFolder(const std::string& conninfo) { Engine().servers.everyFolder = conninfo; }

void ResetEngineForTest() {
  CloseEverything();
  EngineState& e = Engine();
  const EngineSettings settings = e.settings;
  const ServerChoice servers = e.servers;
  e = EngineState{};
  e.settings = settings;  // the next call registers with the os layer again
  e.servers = servers;
}

void ForgetEngineStateAfterFork() {
  EngineState& e = Engine();
  const EngineSettings settings = e.settings;
  const ServerChoice servers = e.servers;
  // The parent's connections and lock file stay with the parent: the child never closes them.
  new EngineState(std::move(e));
  e = EngineState{};
  e.settings = settings;
  e.servers = servers;
}

int16_t BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                uint8_t keyLen, int8_t keyNum) {
  if (!Engine().initialised) EngineInit();
  ++Engine().calls;
  const DecodedCall d = DecodeCall(op);
  CallArgs a;
  a.base = d.base;
  a.keyOnly = d.keyOnly;
  a.lockBias = d.lockBias;
  a.data = static_cast<uint8_t*>(dataBuf);
  a.dataLen = dataLen;
  a.key = static_cast<uint8_t*>(keyBuf);
  a.keyLen = keyLen;
  a.keyNum = keyNum;
  try {
    return static_cast<int16_t>(Dispatch(op, posBlock, a));
  } catch (const EngineError& err) {
    Engine().lastError = err.message;
    return static_cast<int16_t>(err.status);
  } catch (const std::exception& err) {
    Engine().lastError = err.what();
    return static_cast<int16_t>(EngineStatus::IoError);
  }
}

}  // namespace palvorin
