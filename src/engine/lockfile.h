// Record and file locks shared between processes. Each folder of data files has a lock file
// beside its database; a lock is a one-byte open-file-description lock on it, at an offset
// made of the data file's number and the record's position. Such locks belong to the open
// file, not to the process's other descriptors, so nothing else the process opens or closes
// can drop them, and the kernel releases them when the process ends, however it ends.
#ifndef PALVORIN_ENGINE_LOCKFILE_H_
#define PALVORIN_ENGINE_LOCKFILE_H_

#include <cstdint>
#include <string>

namespace palvorin {

class LockFile {
 public:
  LockFile() = default;
  ~LockFile();
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // Opens (creating when missing) the lock file `path`; false when it cannot.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }

  // Takes a lock on byte `offset`, shared or exclusive, without waiting. Replaces a lock this
  // lock file already holds there. False when another open of the file holds a conflicting one.
  bool TryLock(int64_t offset, bool exclusive);
  void Unlock(int64_t offset);
  // Whether another open of the file holds a lock on byte `offset`.
  bool LockedByOther(int64_t offset);

 private:
  int fd_ = -1;
};

// Byte offsets: a data file's own byte (open modes) and one per record position.
inline int64_t FileLockOffset(int64_t fileNo) { return fileNo << 32; }
inline int64_t RecordLockOffset(int64_t fileNo, int64_t id) { return (fileNo << 32) + id; }

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_LOCKFILE_H_
