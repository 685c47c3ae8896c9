// The keyed record-file engine's statuses and operation codes. The numbers are the ones the
// data-file layer and the stored programs know; they never change.
#ifndef PALVORIN_ENGINE_STATUS_H_
#define PALVORIN_ENGINE_STATUS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace palvorin {

enum class EngineStatus : int16_t {
  Ok = 0,
  InvalidOperation = 1,
  IoError = 2,
  FileNotOpen = 3,
  KeyNotFound = 4,
  DuplicateKey = 5,
  InvalidKeyNumber = 6,
  DifferentKeyNumber = 7,  // Get Next/Previous on another key than the one positioned on
  InvalidPositioning = 8,  // no current record for Update, Delete, Get Next ...
  EndOfFile = 9,
  KeyNotModifiable = 10,
  FileNotFound = 12,
  DiskFull = 18,
  KeyBufferTooShort = 21,
  DataBufferTooShort = 22,
  InvalidPageSize = 24,
  InvalidNumberOfKeys = 26,
  InvalidKeyPosition = 27,
  InvalidRecordLength = 28,
  InvalidKeyLength = 29,
  NotADataFile = 30,  // the folder's database is damaged or no database at all, or a data
                      // file's table and its catalog entry do not agree
  TransactionActive = 37,     // Begin while a transaction is already open
  NoTransaction = 39,         // End or Abort without Begin
  InvalidRecordAddress = 43,  // Get Direct on a position that holds no record
  AccessDenied = 46,          // a write through a file opened read-only
  DamagedRecord = 54,         // a stored record whose length is not the file's record length
  InvalidAcs = 48,
  InvalidKeyType = 49,
  FileExists = 59,
  RecordLocked = 84,
  FileLocked = 85,
  ConnectionLost = 95,  // the folder's database server can no longer be reached
};

// Name of a status for logs, e.g. "KeyNotFound(4)" style names without the number.
std::string_view StatusName(EngineStatus status);

// The operations, without key-only form or lock bias.
enum class EngineOp : uint16_t {
  Open = 0,
  Close = 1,
  Insert = 2,
  Update = 3,
  Delete = 4,
  GetEqual = 5,
  GetNext = 6,
  GetPrevious = 7,
  GetGreater = 8,
  GetGreaterOrEqual = 9,
  GetLess = 10,
  GetLessOrEqual = 11,
  GetFirst = 12,
  GetLast = 13,
  Create = 14,
  Stat = 15,
  BeginTransaction = 19,
  EndTransaction = 20,
  AbortTransaction = 21,
  GetPosition = 22,
  GetDirect = 23,
  Unlock = 27,
  Reset = 28,
};

constexpr uint16_t kKeyOnly = 50;          // added to a Get: the key alone, no record
constexpr uint16_t kLockSingleWait = 100;  // lock biases, added to a Get
constexpr uint16_t kLockSingleNoWait = 200;
constexpr uint16_t kLockMultiWait = 300;
constexpr uint16_t kLockMultiNoWait = 400;

// Open modes, passed as the key number of Open.
constexpr int8_t kOpenNormal = 0;
constexpr int8_t kOpenReadOnly = -2;
constexpr int8_t kOpenExclusive = -4;
// Key number of Create that refuses to replace an existing file (status 59).
constexpr int8_t kCreateNew = -1;
// Key number of Begin Transaction whose End does not wait for the disk: the changes survive the
// program's crash at once, a power cut only once a later durable End has made them durable (a
// durable End makes every change committed before it durable, even when it changed nothing).
constexpr int8_t kBeginUnsynced = 1;

// Largest key, and the size of a Get Position answer.
constexpr int kMaxKeyLength = 255;
constexpr int kPositionSize = 4;

// Inside the engine, a failure on its way to the caller of BTRCALL: the status it answers and
// what was met, for EngineLastError.
struct EngineError {
  EngineStatus status = EngineStatus::IoError;
  std::string message;
};

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_STATUS_H_
