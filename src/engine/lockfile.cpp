// The engine's only system calls: the os layer has no byte-range locks, and these must be
// open-file-description locks, which nothing else in the program needs.
#include "engine/lockfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "engine/sqlitedb.h"

namespace palvorin {
namespace {

struct flock OneByte(int64_t offset, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = 1;
  fl.l_pid = 0;  // required for open-file-description locks
  return fl;
}

int Fcntl(int fd, int cmd, struct flock* fl) {
  int rc;
  do {
    rc = fcntl(fd, cmd, fl);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

[[noreturn]] void ThrowLockError() {
  throw EngineError{EngineStatus::IoError, "lock file: errno " + std::to_string(errno)};
}

}  // namespace

LockFile::~LockFile() {
  if (fd_ >= 0) close(fd_);
}

bool LockFile::Open(const std::string& path) {
  if (fd_ >= 0) return true;
  do {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0;
}

bool LockFile::TryLock(int64_t offset, bool exclusive) {
  struct flock fl = OneByte(offset, exclusive ? F_WRLCK : F_RDLCK);
  if (Fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
  if (errno == EAGAIN || errno == EACCES) return false;
  ThrowLockError();
}

void LockFile::Unlock(int64_t offset) {
  struct flock fl = OneByte(offset, F_UNLCK);
  if (Fcntl(fd_, F_OFD_SETLK, &fl) != 0) ThrowLockError();
}

bool LockFile::LockedByOther(int64_t offset) {
  struct flock fl = OneByte(offset, F_WRLCK);
  if (Fcntl(fd_, F_OFD_GETLK, &fl) != 0) ThrowLockError();
  return fl.l_type != F_UNLCK;
}

// ---- RecordLocks ---------------------------------------------------------------------------

RecordLocks::Held* RecordLocks::Find(int64_t offset) {
  for (Held& h : held_)
    if (h.offset == offset) return &h;
  return nullptr;
}

void RecordLocks::Forget(const Held& held) {
  held_[static_cast<size_t>(&held - held_.data())] = held_.back();
  held_.pop_back();
}

EngineStatus RecordLocks::Take(int64_t offset, int waitMs) {
  if (Held* h = Find(offset)) {
    ++h->holders;
    return EngineStatus::Ok;
  }
  EngineStatus refused = EngineStatus::Ok;
  if (!solo_ && !EnterLockers(waitMs))
    refused = EngineStatus::FileLocked;
  else if (!solo_ && !file_.TryLock(offset, true))
    refused = EngineStatus::RecordLocked;
  if (refused != EngineStatus::Ok) {
    LeaveLockersWhenIdle();
    return refused;
  }
  held_.push_back({offset, 1, solo_});
  return EngineStatus::Ok;
}

void RecordLocks::Give(int64_t offset) {
  Held* h = Find(offset);
  if (h == nullptr || --h->holders > 0) return;
  const bool withoutByte = h->withoutByte;
  Forget(*h);
  if (!withoutByte) file_.Unlock(offset);
  LeaveLockersWhenIdle();
}

void RecordLocks::BeginSolo() {
  if (solo_ || file_.LockedByOther(kWaitingOffset)) return;
  // Replaces this process's own shared hold, if any; fails while another process holds it.
  if (!file_.TryLock(kLockersOffset, true)) return;
  solo_ = true;
  lockers_ = true;
}

void RecordLocks::EndSolo() {
  if (!solo_) return;
  // The locks still held get their bytes before others may take any.
  for (Held& h : held_) {
    if (h.withoutByte) (void)file_.TryLock(h.offset, true);
    h.withoutByte = false;
  }
  solo_ = false;
  if (held_.empty()) {
    file_.Unlock(kLockersOffset);
    lockers_ = false;
  } else {
    (void)file_.TryLock(kLockersOffset, false);
  }
}

bool RecordLocks::EnterLockers(int waitMs) {
  if (lockers_) return true;
  bool waiting = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (!file_.TryLock(kLockersOffset, false)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      if (waiting) file_.Unlock(kWaitingOffset);
      return false;
    }
    // Seen by the writer at its next transaction, which then leaves the byte to us.
    if (!waiting) waiting = file_.TryLock(kWaitingOffset, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (waiting) file_.Unlock(kWaitingOffset);
  lockers_ = true;
  return true;
}

void RecordLocks::LeaveLockersWhenIdle() {
  if (!lockers_ || solo_ || !held_.empty()) return;
  file_.Unlock(kLockersOffset);
  lockers_ = false;
}

}  // namespace palvorin
