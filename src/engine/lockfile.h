// Record and file locks shared between processes. Each folder of data files has a lock file
// beside its database; a lock is a one-byte open-file-description lock on it, at an offset
// made of the data file's number and the record's position. Such locks belong to the open
// file, not to the process's other descriptors, so nothing else the process opens or closes
// can drop them, and the kernel releases them when the process ends, however it ends.
#ifndef PALVORIN_ENGINE_LOCKFILE_H_
#define PALVORIN_ENGINE_LOCKFILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace palvorin {

// The lock bytes of one folder, as the engine takes them: one lock per offset, shared or
// exclusive, never waited for here. A lock file holds them for a local folder, the server for
// a folder kept there.
class ByteLocks {
 public:
  virtual ~ByteLocks() = default;
  // Takes a lock on `offset`, shared or exclusive, without waiting. Replaces a lock this
  // holder already has there. False when another holder has a conflicting one.
  virtual bool TryLock(int64_t offset, bool exclusive) = 0;
  virtual void Unlock(int64_t offset) = 0;
  // Whether another holder has a lock on `offset`.
  virtual bool LockedByOther(int64_t offset) = 0;
};

class LockFile final : public ByteLocks {
 public:
  LockFile() = default;
  ~LockFile() override;
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // Opens (creating when missing) the lock file `path`; false when it cannot.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }

  // Locks on byte `offset`; the holder is this open of the file.
  bool TryLock(int64_t offset, bool exclusive) override;
  void Unlock(int64_t offset) override;
  bool LockedByOther(int64_t offset) override;

 private:
  int fd_ = -1;
};

// Byte offsets: a data file's own byte (open modes) and one per record position. No data file
// has number 0, so the bytes below 2^32 are free for the folder's own use (RecordLocks).
inline int64_t FileLockOffset(int64_t fileNo) { return fileNo << 32; }
inline int64_t RecordLockOffset(int64_t fileNo, int64_t id) { return (fileNo << 32) + id; }

// This process's record locks in one folder, each counted by its holders (several opens of the
// process may hold one record). A process holds the folder's "lockers" byte shared for as long
// as it holds any record lock there. A process that holds the folder's write transaction takes
// that byte exclusive when it can (Solo): then no other process holds a record lock, and none
// can take one before the transaction ends, so its own record locks need no byte of their own
// and cost no system call. What it still holds when the transaction ends gets its bytes then.
// A process that finds the lockers byte taken waits for it a while, showing on the "waiting"
// byte that it does: a writer that sees a waiter takes its record locks byte by byte instead.
class RecordLocks {
 public:
  explicit RecordLocks(ByteLocks& file) : file_(file) {}

  // One more holder of the lock at `offset`: Ok, RecordLocked when another process holds it,
  // FileLocked when another process's transaction holds the folder's record locks past `waitMs`.
  EngineStatus Take(int64_t offset, int waitMs);
  void Give(int64_t offset);
  // Inside the folder's write transaction: takes the folder's record locks whole when no other
  // process holds or waits for any; EndSolo gives them back.
  void BeginSolo();
  void EndSolo();

 private:
  bool EnterLockers(int waitMs);
  void LeaveLockersWhenIdle();

  // A lock this process holds: its offset, its holders, and whether it was taken solo,
  // without its byte.
  struct Held {
    int64_t offset;
    int holders;
    bool withoutByte;
  };
  Held* Find(int64_t offset);
  void Forget(const Held& held);

  static constexpr int64_t kLockersOffset = 1;
  static constexpr int64_t kWaitingOffset = 2;
  ByteLocks& file_;
  // A process holds a few record locks at a time (one per open, and the one a write holds),
  // taken and given at every write: a short list, searched whole, needs no allocation.
  std::vector<Held> held_;
  bool lockers_ = false;                     // the lockers byte is held, shared or solo
  bool solo_ = false;
};

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_LOCKFILE_H_
