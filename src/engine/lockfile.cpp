// The engine's only system calls: the os layer has no byte-range locks, and these must be
// open-file-description locks, which nothing else in the program needs.
#include "engine/lockfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace palvorin
