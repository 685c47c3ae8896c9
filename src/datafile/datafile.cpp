// The record-file layer over the engine: the open-file table, the common operation with its lock
// wait, the open with creation from the dictionary, keyed reads, skips, writes with their log
// lines, ranges, positions, lock modes, sequence numbers and the collation form of keys.
#include "datafile/datafile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "os/codepage.h"
#include "os/clock.h"
#include "os/files.h"
#include "os/paths.h"
#include "session/language.h"
#include "session/session.h"

namespace palvorin {
namespace {

// Engine operations.
constexpr int kOpOpen = 0;
constexpr int kOpInsert = 2;
constexpr int kOpUpdate = 3;
constexpr int kOpDelete = 4;
constexpr int kOpGetEqual = 5;
constexpr int kOpGetNext = 6;
constexpr int kOpGetPrevious = 7;
constexpr int kOpGetGreaterOrEqual = 9;
constexpr int kOpGetLessOrEqual = 11;
constexpr int kOpCreate = 14;
constexpr int kOpStat = 15;
constexpr int kOpGetPosition = 22;
constexpr int kOpGetDirect = 23;
constexpr int kOpReset = 28;
constexpr int kOpUnlock = 27;
constexpr int kOpBeginTransaction = 19;
constexpr int kOpEndTransaction = 20;
constexpr int kOpAbortTransaction = 21;
constexpr int kSingleNoWaitLock = 200;

constexpr int kStatusShortBuffer = 22;
constexpr int kStatusRecordLocked = 84;
constexpr int kStatusFileLocked = 85;
constexpr int kStatusFileNotFound = 12;
constexpr int kStatusEndOfFile = 9;
constexpr int kStatusBadFileName = 11;
constexpr int kStatusFileExists = 59;

constexpr int kKeyBufferSize = 255;
constexpr int kOpenRetryMs = 3000;
constexpr int kLockMessageRow = 24;
constexpr int kFatalMessageRow = 12;

// Segment flags in the statistics.
constexpr int kFlagBinary = 0x04;
constexpr int kFlagSegmented = 0x10;
constexpr int kFlagAcs = 0x20;
constexpr int kFileSpecSize = 16;
constexpr int kSegmentSize = 16;
constexpr int kAcsNameSize = 8;

std::string LockMessage() {
  return BuiltInText("FITXER BLOQUEJAT. ESPEREU UN MOMENT.", "FICHERO BLOQUEADO. ESPERE UN MOMENTO.",
              "FICHEIRO BLOQUEADO. ESPERE UM MOMENTO.", "FICHÈR BLOQUEJAT. ESPERATZ UN MOMENT.");
}

std::string OpenFailureText() {
  switch (OperatorLanguage()) {
    case Language::Spanish: return "NO SE PUEDE ACCEDER AL FICHERO ";
    case Language::Galician: return "NOM SE PODE ACEDER AO FICHEIRO ";
    case Language::Aranese: return cp850("NON SE PÒT ACCEDIR ATH FICHÈR ");
    case Language::Catalan: break;
  }
  return "NO ES POT ACCEDIR AL FITXER ";
}

// Why a missing file could not be created: its dictionary is missing, or cannot be read.
std::string NoDictionaryText(const std::string& file, const OsStatus& dictionary,
                             const std::string& dictionaryPath) {
  struct Words {
    const char* cannotCreate;
    const char* missing;
    const char* unreadable;
  };
  Words words{"NO ES POT CREAR EL FITXER ", ": FALTA EL DICCIONARI ",
              ": NO ES POT LLEGIR EL DICCIONARI "};
  switch (OperatorLanguage()) {
    case Language::Spanish:
      words = {"NO SE PUEDE CREAR EL FICHERO ", ": FALTA EL DICCIONARIO ",
               ": NO SE PUEDE LEER EL DICCIONARIO "};
      break;
    case Language::Galician:
      words = {"NON SE PODE CREAR O FICHEIRO ", ": FALTA O DICIONARIO ",
               ": NON SE PODE LER O DICIONARIO "};
      break;
    case Language::Aranese:
      words = {"NON SE PÒT CREAR ETH FICHÈR ", ": MANCA ETH DICCIONARI ",
               ": NON SE PÒT LEGIR ETH DICCIONARI "};
      break;
    case Language::Catalan: break;
  }
  return cp850(words.cannotCreate) + ShownPath(file) +
         cp850(dictionary.IsNotFound() ? words.missing : words.unreadable) +
         ShownPath(dictionaryPath);
}

// The suite's owner name for its files, put together when it is needed rather than kept whole.
std::string OwnerName() {
  std::string owner;
  for (char piece : {'3', '9', '0', '7'}) owner.push_back(piece);
  owner.push_back('\0');
  return owner;
}

DbEnvironment DefaultEnvironment() {
  DbEnvironment env;
  env.engine = BTRCALL;
  // Without a screen, the messages go to standard error and nothing waits for a key; the
  // module's start-up puts its message box and key wait here.
  env.showMessage = [](int, const std::string& text) {
    std::fprintf(stderr, "%s\n", EscapeControls(Utf8FromCp850(text)).c_str());
  };
  env.closeMessage = [] {};
  env.beep = [] {};
  env.discardKeys = [] {};
  env.waitKey = [] {};
  env.sleep = [](int ms) { SleepMs(ms); };
  env.random = [] { return RandomUnit(); };
  env.exit = [](int code) { std::exit(code); };
  return env;
}

int Word(std::string_view bytes, size_t at) {
  if (at + 2 > bytes.size()) return 0;
  return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

// The data length of a buffer, as the engine's 32-bit in-out argument.
uint32_t Length(size_t n) { return static_cast<uint32_t>(n); }

int16_t CallEngine(int op, uint8_t* posBlock, void* data, uint32_t& dataLength, void* key,
                   int keyLength, int keyNumber) {
  return DataFiles().env.engine(static_cast<uint16_t>(op), posBlock, data, &dataLength, key,
                                static_cast<uint8_t>(keyLength), static_cast<int8_t>(keyNumber));
}

// ---- Slots -----------------------------------------------------------------------------------

// The slot holding `handle`, or nullptr. Handle 0 marks a free slot and is never open.
DbSlotState* DbSlot(int handle) {
  if (handle == 0) return nullptr;
  auto& slots = DataFiles().slots;
  for (int i = 1; i <= kDbSlots; ++i) {
    if (slots[i].handle == handle) return &slots[i];
  }
  return nullptr;
}

int SlotNumber(const DbSlotState& slot) {
  return static_cast<int>(&slot - DataFiles().slots.data());
}

int HighestFreeSlot() {
  auto& slots = DataFiles().slots;
  for (int i = kDbSlots; i >= 1; --i) {
    if (slots[i].handle == 0) return i;
  }
  return 0;
}

// The key number the slot's reads use: a pending range keeps its key as -(k + 1).
int ActiveKeyNumber(const DbSlotState& slot) {
  return slot.keyNumber < 0 ? -slot.keyNumber - 1 : slot.keyNumber;
}

// ---- Statistics ------------------------------------------------------------------------------

struct Segment {
  int length = 0;
  int flags = 0;
};

int KeyCount(const std::string& stats) { return Word(stats, 4); }

// Calls `each` with every segment of key `keyNumber`, walking the segment specifications key
// by key; false when the statistics end before the key does.
template <typename Each>
bool ForEachSegment(const std::string& stats, int keyNumber, Each each) {
  if (keyNumber < 0 || keyNumber >= KeyCount(stats)) return false;
  size_t at = kFileSpecSize;
  for (int key = 0; key <= keyNumber; ++key) {
    for (;;) {
      if (at + kSegmentSize > stats.size()) return false;
      Segment s{Word(stats, at + 2), Word(stats, at + 4)};
      if (key == keyNumber) each(s);
      at += kSegmentSize;
      if (!(s.flags & kFlagSegmented)) break;
    }
  }
  return true;
}

// Every keyed read asks for its key's length: counted without a list of the segments.
int KeyLength(const std::string& stats, int keyNumber) {
  int length = 0;
  if (!ForEachSegment(stats, keyNumber, [&](const Segment& s) { length += s.length; })) return 0;
  return length;
}

// The 256-byte translation table of the alternate collating sequence, or empty: it follows the
// last segment specification, after a signature byte and the 8-byte name.
std::string_view AcsTable(const std::string& stats) {
  size_t segments = 0;
  size_t at = kFileSpecSize;
  for (int key = 0; key < KeyCount(stats); ++key) {
    do {
      if (at + kSegmentSize > stats.size()) return {};
      ++segments;
      at += kSegmentSize;
    } while (Word(stats, at - kSegmentSize + 4) & kFlagSegmented);
  }
  size_t table = kFileSpecSize + kSegmentSize * segments + 1 + kAcsNameSize;
  if (table + 256 > stats.size()) return {};
  return std::string_view(stats).substr(table, 256);
}

// Stat into a full data buffer; empty when the engine refuses.
std::string ReadStatistics(DbSlotState& slot) {
  std::string data(kDbDataBufferSize, '\0');
  std::string key(kKeyBufferSize, ' ');
  uint32_t length = Length(data.size());
  int status = CallEngine(kOpStat, slot.positionBlock.data(), data.data(), length, key.data(),
                          kKeyBufferSize, 0);
  if (status != 0 && status != kStatusShortBuffer) return {};
  data.resize(std::min<size_t>(length, data.size()));
  return data;
}

// ---- The common operation --------------------------------------------------------------------

bool TakesLockBias(int op) {
  return (op >= 5 && op <= 13) || op == 19 || (op >= 22 && op <= 24) || (op >= 33 && op <= 35);
}

// The engine's data and key buffers of one call, on the stack: a write and the read back that
// follows it make several calls each, and none needs the heap.
using DataBuffer = std::array<char, kDbDataBufferSize>;
using KeyBuffer = std::array<char, kKeyBufferSize + 1>;

std::string_view View(const DataBuffer& data) { return {data.data(), data.size()}; }

// Copies the record area into a data buffer of `recordLength` bytes (blanks beyond the area).
// The engine is told the buffer is the record's length long, and reads and writes no further:
// only those bytes are filled.
void FillDataBuffer(const DbSlotState& slot, DataBuffer& data) {
  const size_t length = std::min<size_t>(slot.recordLength, data.size());
  size_t n = 0;
  if (slot.record != nullptr) {
    n = std::min(slot.record->size(), length);
    std::memcpy(data.data(), slot.record->data(), n);
  }
  std::memset(data.data() + n, ' ', length - n);
}

void CopyBackRecord(DbSlotState& slot, std::string_view data, uint32_t returned) {
  if (slot.record == nullptr) return;
  size_t n = std::min<size_t>({returned, static_cast<size_t>(slot.recordLength), data.size()});
  if (slot.record->size() < n) slot.record->resize(n, ' ');
  std::memcpy(slot.record->data(), data.data(), n);
}

// Notes the damaged record the slot's file stands on (the engine made it current), once.
void NoteDamage(DbSlotState& slot) {
  std::string data(kDbDataBufferSize, ' ');
  char scratch[4] = {};
  uint32_t length = Length(data.size());
  std::string where;
  if (CallEngine(kOpGetPosition, slot.positionBlock.data(), data.data(), length, scratch, 0, 0) ==
      0) {
    where = ", " + BuiltInText("POSICIÓ ", "POSICIÓN ", "POSICIÓN ", "POSICION ") +
            std::to_string(Word(data, 0) | static_cast<long>(Word(data, 2)) << 16);
  }
  // A walk that passes the same record twice (a co-owner's charges are read in two passes)
  // reports it once.
  std::vector<std::string>& reports = DataFiles().damageReports;
  std::string report = slot.shownPath + where + ": " + DbStatusText(kDbDamagedRecord);
  if (std::find(reports.begin(), reports.end(), report) == reports.end())
    reports.push_back(std::move(report));
}

bool IsLockStatus(int status) {
  return status == kStatusRecordLocked || status == kStatusFileLocked;
}

// One engine operation on the slot's record and current key, waiting out other workstations'
// locks in lock mode 1. Inside a transaction nothing is waited for: the lock is noted and the
// status returned at once, so that the caller gives the transaction back instead of holding
// the folder while another workstation waits for it.
int DbDo(DbSlotState& slot, int op) {
  DataFileState& files = DataFiles();
  if (TakesLockBias(op) && slot.lockMode != 0) op += kSingleNoWaitLock;
  DataBuffer data;
  KeyBuffer key;
  DbLockWait wait;
  int status = 0;
  for (;;) {
    // A record area as long as the record is the engine's data buffer itself: the engine reads
    // and writes only the record's bytes, which the copies in and out would carry unchanged.
    const bool direct = slot.record != nullptr &&
                        slot.record->size() >= static_cast<size_t>(slot.recordLength);
    if (!direct) FillDataBuffer(slot, data);
    size_t keyLength = std::min<size_t>(slot.currentKey.size(), key.size());
    std::memcpy(key.data(), slot.currentKey.data(), keyLength);
    // Like the record, the key is read and written no further than the length the engine is
    // given: a NUL after it is all the rest of the buffer needs.
    if (keyLength < key.size()) key[keyLength] = '\0';
    uint32_t length = Length(slot.recordLength);
    status = CallEngine(op, slot.positionBlock.data(), direct ? slot.record->data() : data.data(),
                        length, key.data(), static_cast<int>(keyLength), ActiveKeyNumber(slot));
    if (!direct) CopyBackRecord(slot, View(data), length);
    slot.currentKey.assign(key.data(), keyLength);
    if (status == kDbDamagedRecord) NoteDamage(slot);
    if (!IsLockStatus(status)) break;
    if (files.inTransaction) {
      files.transactionMetLock = true;
      break;
    }
    if (slot.lockMode != 1 || !wait.Pause()) break;
  }
  return status;
}

// Lets go of every record lock this program holds, on every open file.
void ReleaseRecordLocks() {
  for (int i = 1; i <= kDbSlots; ++i) {
    DbSlotState& slot = DataFiles().slots[i];
    if (slot.handle == 0) continue;
    char scratch[4] = {};
    uint32_t length = 0;
    (void)CallEngine(kOpUnlock, slot.positionBlock.data(), scratch, length, scratch, 0, 0);
  }
}

int ReadStatus(int status) { return status == kStatusShortBuffer ? 0 : status; }

void ClearCurrentKey(DbSlotState& slot) { slot.currentKey.assign(slot.currentKey.size(), '\0'); }

// A value cut or padded with `pad` to exactly `length` bytes.
std::string Fitted(std::string_view value, int length, char pad) {
  std::string out(value.substr(0, std::min<size_t>(value.size(), length)));
  out.resize(length, pad);
  return out;
}

// ---- Log -------------------------------------------------------------------------------------

// Appends a number as the log writes it: its sign position (blank or "-"), its digits and a
// blank. Straight into the line: every write of a run logs one.
void AppendLogNumber(std::string& line, int value) {
  char digits[24];
  const long magnitude = value < 0 ? -static_cast<long>(value) : value;
  const char* end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  const auto length = static_cast<size_t>(end - digits);
  line += value < 0 ? '-' : ' ';
  line.append(digits, length);
  line += ' ';
}

// Writes the lines kept back so far, in one write.
void FlushLog() {
  DataFileState& files = DataFiles();
  if (files.pendingLog.empty()) return;
  // The log stays open from its first line on; a new log path (a test's) opens that file.
  if (!files.log.IsOpen() || files.log.path() != files.logPath) {
    if (!files.log.Open(files.logPath).ok()) {
      files.pendingLog.clear();
      return;
    }
  }
  (void)files.log.Append(files.pendingLog);
  files.pendingLog.clear();
}

// Inside a transaction the lines are kept back and written together when it ends, before the
// engine commits or undoes it: one write per transaction instead of one per line, and never a
// committed change without its line.
void WriteLogLine(int handle, int op, int status) {
  DataFileState& files = DataFiles();
  if (files.logPath.empty()) return;
  std::string& line = files.pendingLog;
  const size_t start = line.size();
  AppendLogNumber(line, handle);
  line.resize(start + (line.size() - start + 13) / 14 * 14, ' ');
  AppendLogNumber(line, op);
  line.resize(start + (line.size() - start + 13) / 14 * 14, ' ');
  AppendLogNumber(line, status);
  line += "\r\n";
  if (!files.inTransaction) FlushLog();
}

// ---- Open ------------------------------------------------------------------------------------

struct SplitName {
  std::string folder;     // up to and including the last ":", "\" or "/"
  std::string base;       // what follows, up to the extension
  std::string extension;  // from the first dot after the folder, or ".dat"
};

SplitName SplitFileName(const std::string& name) {
  size_t folderEnd = 0;    // length of the folder part
  size_t extStart = name.size();
  for (size_t i = name.size(); i > 0; --i) {
    char c = name[i - 1];
    if (c == ':' || c == '\\' || c == '/') {
      folderEnd = i;
      break;
    }
    if (c == '.') extStart = i - 1;
  }
  SplitName split;
  split.folder = name.substr(0, folderEnd);
  split.base = name.substr(folderEnd, extStart - folderEnd);
  split.extension = extStart < name.size() ? name.substr(extStart) : ".dat";
  return split;
}

// The create buffer of the file's dictionary, in a data buffer padded with blanks, and the
// dictionary's path. An empty dictionary gives blanks only, which the engine refuses; one that
// is missing or cannot be read gives its failure.
OsStatus DictionaryBuffer(const std::string& base, std::string& buffer, std::string& path) {
  buffer.assign(kDbDataBufferSize, ' ');
  std::string bytes;
  const std::string& folder = DataFiles().dictionaryFolder;
  path = (folder.empty() ? SessionState().rootDir + "ddf\\" : folder) + base + ".xdf";
  OsStatus read = ReadWholeFile(path, bytes);
  if (!read.ok() || bytes.size() < 2) return read;
  size_t n = std::min<size_t>({static_cast<size_t>(Word(bytes, 0)), bytes.size() - 2,
                               buffer.size()});
  std::memcpy(buffer.data(), bytes.data() + 2, n);
  return read;
}

// Whether `folder` is the session's temporary folder, whose scratch files are made afresh.
bool IsTemporaryFolder(const std::string& folder) {
  auto trimmed = [](std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  };
  const std::string temp = SessionState().tempDir;
  return !temp.empty() && trimmed(ShownPath(folder)) == trimmed(ShownPath(temp));
}

// Waits for the operator's key. Reads kept in one read transaction let go of it first: the
// operator may take any time, and the reads after the key see what others committed meanwhile.
void WaitForKey() {
  EngineStopReading();
  DataFiles().env.waitKey();
}

// A data folder that had no database has just been given one: a new installation, or a root
// folder mistyped, which the operator must hear of before working in it.
void AnnounceNewDatabase(const SplitName& split) {
  DbEnvironment& env = DataFiles().env;
  env.showMessage(kFatalMessageRow,
                  BuiltInText("BASE DE DADES NOVA CREADA A ", "BASE DE DATOS NUEVA CREADA EN ",
                       "BASE DE DATOS NOVA CREADA EN ", "BASA DE DADES NAUA CREADA EN ") +
                      ShownPath(split.folder.empty() ? "." : split.folder));
  WaitForKey();
  env.closeMessage();
}

// Open, waiting out a file locked as a whole and creating a missing file from its dictionary.
// A missing file without a dictionary to create it from gives 12 and the reason in `why`.
int OpenOrCreate(DbSlotState& slot, const SplitName& split, std::string& why) {
  std::string path = split.folder + split.base + split.extension;
  if (path.size() >= kKeyBufferSize) return kStatusBadFileName;
  std::string key(kKeyBufferSize, '\0');
  std::memcpy(key.data(), path.data(), path.size());
  bool created = false;
  DbLockWait wait;  // a file locked as a whole: three seconds at a time, with the lock message
  for (;;) {
    std::string owner = OwnerName();
    uint32_t length = Length(owner.size());
    int status = CallEngine(kOpOpen, slot.positionBlock.data(), owner.data(), length, key.data(),
                            kKeyBufferSize, 0);
    if (status == kStatusFileLocked && wait.Pause(kOpenRetryMs)) continue;
    // A file just created that still cannot be found would make the loop endless.
    if (status != kStatusFileNotFound || created) return status;
    std::string buffer, dictionaryPath;
    const OsStatus dictionary = DictionaryBuffer(split.base, buffer, dictionaryPath);
    if (!dictionary.ok()) {
      why = NoDictionaryText(path, dictionary, dictionaryPath);
      return status;
    }
    uint32_t createLength = Length(buffer.size());
    const bool newDatabase = !EngineHasDatabase(path) && !IsTemporaryFolder(split.folder);
    status = CallEngine(kOpCreate, slot.positionBlock.data(), buffer.data(), createLength,
                        key.data(), kKeyBufferSize, -1);
    if (status == 0 && newDatabase) AnnounceNewDatabase(split);
    // Another workstation that found the file missing at the same moment may have created it
    // first: the file is there now, so it is opened like any other.
    if (status != 0 && status != kStatusFileExists) return status;
    created = true;
  }
}

// Shows why the file cannot be opened, waits for a key, releases everything and ends the run.
void StopOnOpenFailure(const std::string& message) {
  DbEnvironment& env = DataFiles().env;
  env.showMessage(kFatalMessageRow, message);
  env.beep();
  env.discardKeys();
  WaitForKey();
  env.closeMessage();
  int resetStatus = 0;
  DbReset(resetStatus);
  env.exit(1);
}

}  // namespace

// ---- State -----------------------------------------------------------------------------------

DataFileState& DataFiles() {
  static DataFileState state = [] {
    DataFileState s;
    s.env = DefaultEnvironment();
    return s;
  }();
  return state;
}

void ResetDataFilesForTest() {
  DataFiles() = DataFileState{};
  DataFiles().env = DefaultEnvironment();
}

// ---- Operations ------------------------------------------------------------------------------

void DbOpen(int handle, const std::string& name, std::string& record, int& status) {
  if (handle == 0 || DbSlot(handle) != nullptr) {
    status = kDbAlreadyOpen;
    return;
  }
  int number = HighestFreeSlot();
  if (number == 0) {
    status = kDbNoFreeSlot;
    return;
  }
  DbSlotState& slot = DataFiles().slots[number];
  slot = DbSlotState{};
  slot.handle = handle;
  slot.record = &record;
  std::string why;
  const SplitName split = SplitFileName(name);
  slot.shownPath = ShownPath(split.folder + split.base + split.extension);
  status = OpenOrCreate(slot, split, why);
  if (status == 0) {
    slot.statistics = ReadStatistics(slot);
    slot.recordLength = Word(slot.statistics, 0);
    if (slot.statistics.empty() || slot.recordLength > kDbDataBufferSize) {
      status = kStatusShortBuffer;
    } else {
      slot.currentKey.assign(KeyLength(slot.statistics, 0), '\0');
      if (record.size() < static_cast<size_t>(slot.recordLength)) {
        record.resize(slot.recordLength, ' ');
      }
      return;
    }
  }
  if (why.empty()) {
    why = OpenFailureText() + slot.shownPath + ": " + DbStatusText(std::abs(status));
  }
  StopOnOpenFailure(why);
}

void DbReset(int& status) {
  DataFileState& files = DataFiles();
  DbSlotState& scratch = files.slots[0];
  scratch.positionBlock.fill(' ');
  char area[4] = {};
  uint32_t length = 0;
  status = CallEngine(kOpReset, scratch.positionBlock.data(), area, length, area, 0, 0);
  scratch.positionBlock.fill(0);
  if (status != 0) return;
  files.inTransaction = false;  // the engine's reset undoes an open transaction
  for (int i = 1; i <= kDbSlots; ++i) files.slots[i] = DbSlotState{};
  // The saved lock modes belong to the files just released.
  files.lockStack.clear();
  FlushLog();
  files.log.Close();
}

void DbGet(int handle, int keyNumber, std::string_view key, int mode, int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  int length = KeyLength(slot->statistics, keyNumber);
  if (length == 0) {
    status = kDbBadKey;
    return;
  }
  slot->keyNumber = keyNumber;
  slot->currentKey = Fitted(key, length, '\0');
  int op = mode == 0 ? kOpGetEqual : mode > 0 ? kOpGetGreaterOrEqual : kOpGetLessOrEqual;
  status = ReadStatus(DbDo(*slot, op));
}

int DbGetStatus(int handle, int keyNumber, std::string_view key, int mode) {
  int status = 0;
  DbGet(handle, keyNumber, key, mode, status);
  return status;
}

void DbSkip(int handle, int count, int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  int op = count >= 0 ? kOpGetNext : kOpGetPrevious;
  long steps = count < 0 ? -static_cast<long>(count) : count;
  status = 0;
  // The steps before the last only move the position: no lock, no record copied.
  while (steps > 1 && status == 0) {
    std::string data(kDbDataBufferSize, ' ');
    std::string key(kKeyBufferSize, '\0');
    std::memcpy(key.data(), slot->currentKey.data(),
                std::min<size_t>(slot->currentKey.size(), key.size()));
    uint32_t length = Length(data.size());
    status = ReadStatus(CallEngine(op, slot->positionBlock.data(), data.data(), length,
                                   key.data(), kKeyBufferSize, ActiveKeyNumber(*slot)));
    slot->currentKey.assign(key.data(), std::min(slot->currentKey.size(), key.size()));
    --steps;
  }
  if (steps != 0 && status == 0) status = ReadStatus(DbDo(*slot, op));
}

void DbInsert(int handle, int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  status = DbDo(*slot, kOpInsert);
  WriteLogLine(handle, kOpInsert, status);
  if (status != 0) ClearCurrentKey(*slot);
}

void DbUpdate(int handle, int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  int32_t position = DbPosition(handle, 0);
  status = DbDo(*slot, kOpUpdate);
  WriteLogLine(handle, kOpUpdate, status);
  status = ReadStatus(status);
  if (status != 0) ClearCurrentKey(*slot);
  // Reading the record back by position shows what the file now holds and puts the current key
  // where the record now sorts.
  if (position != 0) (void)DbPosition(handle, position);
}

void DbDelete(int handle, int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  status = DbDo(*slot, kOpDelete);
  if (status != 0) ClearCurrentKey(*slot);
}

void DbSetRange(int handle, int keyNumber, std::string_view low, std::string_view high,
                int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  int length = KeyLength(slot->statistics, keyNumber);
  if (length == 0) {
    status = kDbBadKey;
    return;
  }
  slot->keyNumber = -keyNumber - 1;
  slot->rangeLow = Fitted(low, length, '\0');
  slot->rangeHigh = Fitted(high, length, '\xFF');
}

int DbRangeNext(int handle) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) return kDbNotOpen;
  bool descending = slot->rangeLow > slot->rangeHigh;
  int op;
  if (slot->keyNumber < 0) {
    slot->keyNumber = ActiveKeyNumber(*slot);
    slot->currentKey = slot->rangeLow;
    op = descending ? kOpGetLessOrEqual : kOpGetGreaterOrEqual;
  } else {
    op = descending ? kOpGetPrevious : kOpGetNext;
  }
  int status = ReadStatus(DbDo(*slot, op));
  if (status == 0 && (descending ? slot->currentKey < slot->rangeHigh
                                 : slot->currentKey > slot->rangeHigh)) {
    status = kStatusEndOfFile;
  }
  if (status != 0) {
    slot->keyNumber = 0;
    slot->rangeLow.clear();
    slot->rangeHigh.clear();
  }
  return status;
}

int32_t DbPosition(int handle, int32_t position) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) return position == 0 ? 0 : kDbNotOpen;
  DataBuffer data;
  data.fill(' ');
  uint32_t length = Length(data.size());
  if (position == 0) {
    char scratch[4] = {};
    int status = CallEngine(kOpGetPosition, slot->positionBlock.data(), data.data(), length,
                            scratch, 0, 0);
    if (status != 0) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(Word(View(data), 0)) |
                                static_cast<uint32_t>(Word(View(data), 2)) << 16);
  }
  auto u = static_cast<uint32_t>(position);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
  KeyBuffer key{};
  int status = ReadStatus(CallEngine(kOpGetDirect, slot->positionBlock.data(), data.data(),
                                     length, key.data(), kKeyBufferSize, ActiveKeyNumber(*slot)));
  slot->currentKey.assign(key.data(),
                          std::min<size_t>(slot->currentKey.size(), kKeyBufferSize));
  if (status == 0) CopyBackRecord(*slot, View(data), length);
  return status;
}

void DbLockMode(int handle, std::string_view letters, int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  std::string& stack = DataFiles().lockStack;
  char number = static_cast<char>(SlotNumber(*slot));
  for (char letter : letters) {
    switch (letter) {
      case 'D': case 'd': slot->lockMode = 0; break;
      case 'A': case 'a': slot->lockMode = 1; break;
      case 'B': case 'b': slot->lockMode = 2; break;
      case '+':
        stack.push_back(number);
        stack.push_back(static_cast<char>(slot->lockMode));
        break;
      case '-':
        for (size_t at = stack.size(); at >= 2; at -= 2) {
          if (stack[at - 2] == number) {
            slot->lockMode = stack[at - 1];
            stack.erase(at - 2, 2);
            break;
          }
        }
        break;
      default: break;
    }
  }
}

void DbNextNumber(int handle, int keyNumber, std::string_view prefix, std::string& numberCode,
                  int& status) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) {
    status = kDbNotOpen;
    return;
  }
  int length = KeyLength(slot->statistics, keyNumber);
  if (length == 0 || length <= static_cast<int>(prefix.size())) {
    status = kDbBadKey;
    return;
  }
  size_t width = length - prefix.size();  // bytes of the number
  slot->keyNumber = keyNumber;
  slot->currentKey = std::string(prefix) + std::string(width - 1, '\x80') + '\x81';
  // The number as packed digits, 2 * width digits: counting in that form avoids overflow for
  // wide numbers.
  std::string code(width, '\x80');
  auto increment = [&code] {  // false when the number runs over its width
    for (size_t i = code.size(); i > 0; --i) {
      int value = (static_cast<unsigned char>(code[i - 1]) & 127) + 1;
      if (value < 100) {
        code[i - 1] = static_cast<char>(128 + value);
        return true;
      }
      code[i - 1] = '\x80';
    }
    return false;
  };
  increment();  // 1
  auto decodesTo = [&code](std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      if ((static_cast<unsigned char>(bytes[i]) & 127) % 100 !=
          (static_cast<unsigned char>(code[i]) & 127)) {
        return false;
      }
    }
    return true;
  };
  int op = kOpGetGreaterOrEqual + kKeyOnly;
  status = 0;
  for (;;) {
    std::string key(kKeyBufferSize, '\0');
    std::memcpy(key.data(), slot->currentKey.data(), slot->currentKey.size());
    char scratch[4] = {};
    uint32_t dataLength = 0;
    status = CallEngine(op, slot->positionBlock.data(), scratch, dataLength, key.data(),
                        kKeyBufferSize, keyNumber);
    slot->currentKey.assign(key.data(), length);
    std::string_view reached(slot->currentKey);
    if (status == 0 && reached.substr(0, prefix.size()) == prefix &&
        decodesTo(reached.substr(prefix.size()))) {
      op = kOpGetNext + kKeyOnly;
      status = kStatusEndOfFile;
      if (increment()) continue;  // every number of the width is taken
      break;
    }
    status = 0;
    break;
  }
  numberCode = code;
}

std::string KeyCollate(std::string_view key, int handle) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) return {};
  std::string value(key);
  std::string_view table = AcsTable(slot->statistics);
  size_t p = 0;  // 0-based start of the segment
  const auto collate = [&](const Segment& s) {
    size_t end = p + s.length;
    if (s.flags & kFlagBinary) {
      if (value.size() < end) value.resize(end, '\0');
      std::reverse(value.begin() + p, value.begin() + end);
    } else if ((s.flags & kFlagAcs) && !table.empty()) {
      for (size_t i = p; i < end && i < value.size(); ++i) {
        value[i] = table[static_cast<unsigned char>(value[i])];
      }
    }
    p = end;
  };
  // Statistics that end inside the key describe no key: the value is left as it was typed.
  if (!ForEachSegment(slot->statistics, ActiveKeyNumber(*slot), collate)) return std::string(key);
  return value;
}

std::string DbCollateKey(int handle) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) return {};
  return KeyCollate(slot->currentKey, handle);
}

void DbKeyInfo(int handle, int keyNumber, int& keyLength, int& recordLength) {
  keyLength = 0;
  recordLength = 0;
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) return;
  recordLength = Word(slot->statistics, 0);
  keyLength = KeyLength(slot->statistics, keyNumber);
}

std::string DbCurrentKey(int handle) {
  DbSlotState* slot = DbSlot(handle);
  return slot == nullptr ? std::string() : slot->currentKey;
}

int DbTransaction(int handle, char command) {
  DbSlotState* slot = DbSlot(handle);
  if (slot == nullptr) return kDbNotOpen;
  if (command == 'S') {
    // An empty durable transaction: its end makes every earlier one durable.
    const int status = DbTransaction(handle, 'B');
    return status != 0 ? status : DbTransaction(handle, 'E');
  }
  int op = command == 'B' || command == 'b' ? kOpBeginTransaction
           : command == 'E'                 ? kOpEndTransaction
           : command == 'A'                 ? kOpAbortTransaction
                                            : -1;
  if (op < 0) return 1;
  DataFileState& files = DataFiles();
  char scratch[4] = {};
  uint32_t length = 0;
  if (op != kOpBeginTransaction) {
    FlushLog();
    int status = CallEngine(op, slot->positionBlock.data(), scratch, length, scratch, 0, 0);
    files.inTransaction = false;
    // What the transaction's records were locked for is over once it is.
    ReleaseRecordLocks();
    return status;
  }
  // Nothing is held while the folder is waited for: the workstation holding it may be waiting
  // for one of our records.
  ReleaseRecordLocks();
  const int keyNumber = command == 'b' ? kBeginUnsynced : 0;
  DbLockWait wait;
  int status = 0;
  do {
    status = CallEngine(op, slot->positionBlock.data(), scratch, length, scratch, 0, keyNumber);
  } while (IsLockStatus(status) && wait.Pause());
  files.inTransaction = status == 0;
  files.transactionMetLock = false;
  return status;
}

bool DbTransactionMetLock() { return DataFiles().transactionMetLock; }

std::vector<std::string> DbTakeDamageReports() {
  return std::exchange(DataFiles().damageReports, {});
}

DbLockWait::~DbLockWait() {
  if (shown_) DataFiles().env.closeMessage();
}

bool DbLockWait::Pause(int ms) {
  DataFileState& files = DataFiles();
  const int limit = files.lockWaitLimitMs;
  if (limit >= 0 && waited_ >= limit) return false;
  if (ms < 0) ms = 1 + static_cast<int>(10000.0 * files.env.random() + 0.5);
  if (limit >= 0) ms = static_cast<int>(std::min<long>(ms, limit - waited_));
  EngineStopReading();  // nothing is held while another workstation is waited for
  files.env.sleep(ms);
  waited_ += ms;
  if (!shown_) {
    files.env.showMessage(kLockMessageRow, LockMessage());
    shown_ = true;
  }
  return true;
}

std::string DbStatusText(int status) {
  std::string text;
  switch (status) {
    case 2:
      text = BuiltInText("ERROR DE LECTURA O ESCRIPTURA", "ERROR DE LECTURA O ESCRITURA",
                  "ERRO DE LECTURA OU ESCRITURA", "ERROR DE LECTURA O ESCRIPTURA");
      break;
    case 12:
      text = BuiltInText("NO EXISTEIX", "NO EXISTE", "NON EXISTE", "NON EXISTÍS");
      break;
    case 18:
      text = BuiltInText("DISC PLE", "DISCO LLENO", "DISCO CHEO", "DISC PLEN");
      break;
    case 30:
      text = BuiltInText("BASE DE DADES MALMESA", "BASE DE DATOS DAÑADA", "BASE DE DATOS DANADA",
                  "BASA DE DADES MALMESA");
      break;
    case 54:
      text = BuiltInText("REGISTRE MALMÈS", "REGISTRO DAÑADO", "REXISTRO DANADO", "REGISTRE MALMÉS");
      break;
    case 95:
      text = BuiltInText("SERVIDOR DE DADES INACCESSIBLE", "SERVIDOR DE DATOS INACCESIBLE",
                  "SERVIDOR DE DATOS INACCESIBLE", "SERVIDOR DE DADES INACCESSIBLE");
      break;
    case kStatusRecordLocked:
    case kStatusFileLocked:
      text = BuiltInText("BLOQUEJAT PER UN ALTRE USUARI", "BLOQUEADO POR OTRO USUARIO",
                  "BLOQUEADO POR OUTRO USUARIO", "BLOQUEJAT PER UN AUTE USUARI");
      break;
    default:
      text = BuiltInText("ERROR", "ERROR", "ERRO", "ERROR");
      break;
  }
  return text + " (" + std::to_string(status) + ")";
}

}  // namespace palvorin
