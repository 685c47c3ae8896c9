#include "os/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <utility>

#include "os/paths.h"

namespace palvorin {
namespace {

// The files module's state: the engine's deleter for keyed data files, how many temporary
// files of whole-file writes this process has named, and the folders it holds (by device and
// inode, each with the descriptor that holds its lock).
struct FilesState {
  std::function<bool(const std::string&)> dataFileDeleter;
  unsigned temporaries = 0;
  std::map<std::pair<dev_t, ino_t>, int> heldFolders;
};

FilesState& Files() {
  static FilesState state;
  return state;
}

int OpenFlags(FileMode mode) {
  switch (mode) {
    case FileMode::Read:
      return O_RDONLY;
    case FileMode::ReadWrite:
      return O_RDWR;
    case FileMode::ReadWriteCreate:
      return O_RDWR | O_CREAT | O_NOFOLLOW;
    case FileMode::CreateFresh:
      return O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
  }
  return O_RDONLY;
}

// The status of a failed open: a link where a file was to be created is named as such.
OsStatus OpenFailure(int err, const std::string& path) {
  if (err == ELOOP) return OsStatus::IoError(path + ": a symbolic link stands in its place");
  return ErrnoStatus(err, "open " + path);
}

bool IsPlainFile(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Gives the new file `fd` the owner, group and permission bits of `old`, the file it replaces.
// Only the superuser may hand a file to another owner, so the owner is kept where it can be;
// the group and the bits always are, or the replacement would lock out the file's other users.
OsStatus TakeOwnershipOf(int fd, const struct stat& old, const std::string& target) {
  if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    struct stat now {};
    if (::fstat(fd, &now) != 0 || now.st_gid != old.st_gid) {
      return ErrnoStatus(errno, "keep the group of " + target);
    }
  }
  if (::fchmod(fd, old.st_mode & 07777) != 0) {
    return ErrnoStatus(errno, "keep the permissions of " + target);
  }
  return {};
}

// Creates a new temporary file beside `target`, exclusively: a name already taken (by a file
// or a link) is passed over for the next.
int CreateTemporaryBeside(const std::string& target, std::string& temporary, int& err) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = target + ".tmp-" + std::to_string(::getpid()) + "-" +
                std::to_string(++Files().temporaries);
    const int fd = RetryOnEintr([&] {
      return ::open(temporary.c_str(), OpenFlags(FileMode::CreateFresh) | O_CLOEXEC, 0666);
    });
    if (fd >= 0 || errno != EEXIST) {
      err = errno;
      return fd;
    }
  }
  err = EEXIST;
  return -1;
}

// Writes all of `bytes` at `offset` (-1: at the end, the descriptor being in append mode or
// positioned there).
OsStatus WriteAll(int fd, int64_t offset, std::string_view bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = RetryOnEintr([&] {
      return offset < 0 ? ::write(fd, bytes.data() + done, bytes.size() - done)
                        : ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + static_cast<int64_t>(done)));
    });
    if (n < 0) return ErrnoStatus(errno, "write " + path);
    done += static_cast<size_t>(n);
  }
  return {};
}

int CloseFd(int fd) {
  // close() is not retried on EINTR: on Linux the descriptor is gone either way.
  return ::close(fd);
}

// Makes a rename in the folder of `path` durable. Best effort: some file systems refuse to sync
// a folder, and the new content is already in place either way.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd =
      RetryOnEintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return;
  (void)RetryOnEintr([&] { return ::fsync(fd); });
  CloseFd(fd);
}

}  // namespace

// ---- BinaryFile ----------------------------------------------------------------------------

BinaryFile::~BinaryFile() { Close(); }

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

OsStatus BinaryFile::Open(std::string_view path, FileMode mode) {
  Close();
  path_ = OsPath(path);
  // Whatever stands in the way of a fresh file goes; a link goes without what it points to.
  if (mode == FileMode::CreateFresh) ::unlink(path_.c_str());
  const int fd =
      RetryOnEintr([&] { return ::open(path_.c_str(), OpenFlags(mode) | O_CLOEXEC, 0666); });
  if (fd < 0) return OpenFailure(errno, path_);
  if (mode == FileMode::ReadWriteCreate && !IsPlainFile(fd)) {
    CloseFd(fd);
    return OsStatus::IoError(path_ + ": not a plain file");
  }
  fd_ = fd;
  return {};
}

void BinaryFile::Close() {
  if (fd_ >= 0) CloseFd(fd_);
  fd_ = -1;
}

OsStatus BinaryFile::Read(int64_t offset, void* buffer, size_t length, size_t& got) {
  got = 0;
  if (fd_ < 0) return OsStatus::IoError("read of a file that is not open");
  auto* out = static_cast<char*>(buffer);
  while (got < length) {
    const ssize_t n = RetryOnEintr([&] {
      return ::pread(fd_, out + got, length - got,
                     static_cast<off_t>(offset + static_cast<int64_t>(got)));
    });
    if (n < 0) return ErrnoStatus(errno, "read " + path_);
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return {};
}

OsStatus BinaryFile::Write(int64_t offset, std::string_view bytes) {
  if (fd_ < 0) return OsStatus::IoError("write to a file that is not open");
  if (offset < 0) return OsStatus::IoError("write before the start of " + path_);
  return WriteAll(fd_, offset, bytes, path_);
}

OsStatus BinaryFile::Append(std::string_view bytes) {
  int64_t size = 0;
  OsStatus status = Size(size);
  if (!status.ok()) return status;
  return Write(size, bytes);
}

OsStatus BinaryFile::Size(int64_t& size) const {
  size = 0;
  if (fd_ < 0) return OsStatus::IoError("size of a file that is not open");
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return ErrnoStatus(errno, "stat " + path_);
  size = static_cast<int64_t>(st.st_size);
  return {};
}

OsStatus BinaryFile::Truncate(int64_t size) {
  if (fd_ < 0) return OsStatus::IoError("truncate of a file that is not open");
  if (RetryOnEintr([&] { return ::ftruncate(fd_, static_cast<off_t>(size)); }) != 0) {
    return ErrnoStatus(errno, "truncate " + path_);
  }
  return {};
}

OsStatus BinaryFile::Sync() {
  if (fd_ < 0) return OsStatus::IoError("sync of a file that is not open");
  if (RetryOnEintr([&] { return ::fsync(fd_); }) != 0) return ErrnoStatus(errno, "sync " + path_);
  return {};
}

// ---- Whole files ---------------------------------------------------------------------------

OsStatus ReadWholeFile(std::string_view path, std::string& bytes) {
  bytes.clear();
  BinaryFile file;
  OsStatus status = file.Open(path, FileMode::Read);
  if (!status.ok()) return status;
  char chunk[65536];
  int64_t offset = 0;
  for (;;) {
    size_t got = 0;
    status = file.Read(offset, chunk, sizeof chunk, got);
    if (!status.ok()) return status;
    if (got == 0) break;
    bytes.append(chunk, got);
    offset += static_cast<int64_t>(got);
  }
  return {};
}

OsStatus WriteWholeFile(std::string_view path, std::string_view bytes) {
  const std::string target = OsPath(path);
  std::string temporary;
  int err = 0;
  const int fd = CreateTemporaryBeside(target, temporary, err);
  if (fd < 0) return OpenFailure(err, temporary);
  OsStatus status;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) status = TakeOwnershipOf(fd, old, target);
  if (status.ok()) status = WriteAll(fd, 0, bytes, temporary);
  if (status.ok() && RetryOnEintr([&] { return ::fsync(fd); }) != 0) {
    status = ErrnoStatus(errno, "sync " + temporary);
  }
  CloseFd(fd);
  if (status.ok() && ::rename(temporary.c_str(), target.c_str()) != 0) {
    status = ErrnoStatus(errno, "rename " + temporary + " to " + target);
  }
  if (!status.ok()) {
    ::unlink(temporary.c_str());
    return status;
  }
  SyncFolderOf(target);
  return status;
}

OsStatus AppendToFile(std::string_view path, std::string_view bytes) {
  AppendFile file;
  OsStatus status = file.Open(path);
  if (status.ok()) status = file.Append(bytes);
  return status;
}

// ---- AppendFile ----------------------------------------------------------------------------

AppendFile::~AppendFile() { Close(); }

AppendFile::AppendFile(AppendFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      given_(std::move(other.given_)),
      linuxPath_(std::move(other.linuxPath_)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    given_ = std::move(other.given_);
    linuxPath_ = std::move(other.linuxPath_);
  }
  return *this;
}

OsStatus AppendFile::Open(std::string_view path) {
  Close();
  given_ = path;
  linuxPath_ = OsPath(path);
  const int fd = RetryOnEintr(
      [&] { return ::open(linuxPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666); });
  if (fd < 0) return ErrnoStatus(errno, "open " + linuxPath_);
  fd_ = fd;
  return {};
}

void AppendFile::Close() {
  if (fd_ >= 0) CloseFd(fd_);
  fd_ = -1;
}

OsStatus AppendFile::Append(std::string_view bytes) {
  if (fd_ < 0) return OsStatus::IoError("append to a file that is not open");
  return WriteAll(fd_, -1, bytes, linuxPath_);
}

TempFolder::TempFolder(std::string_view prefix) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
  if (!ec && ::mkdtemp(pattern.data()) != nullptr) path_ = std::move(pattern);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool HoldFolder(std::string_view path) {
  const std::string folder = path.empty() ? "." : OsPath(path);
  const int fd = RetryOnEintr(
      [&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (fd >= 0) CloseFd(fd);
    return true;
  }
  auto& held = Files().heldFolders;
  // A lock belongs to the open that took it: this process's own hold must not refuse it.
  if (held.contains({st.st_dev, st.st_ino})) {
    CloseFd(fd);
    return true;
  }
  if (RetryOnEintr([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    const bool elsewhere = errno == EWOULDBLOCK;
    CloseFd(fd);
    return !elsewhere;
  }
  held.emplace(std::make_pair(st.st_dev, st.st_ino), fd);
  return true;
}

OsStatus CreateIfMissing(std::string_view path) {
  // Opened for reading only: an existing file the user may not write to is left as it is.
  const std::string linuxPath = OsPath(path);
  const int fd =
      RetryOnEintr([&] { return ::open(linuxPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666); });
  if (fd < 0) return ErrnoStatus(errno, "create " + linuxPath);
  CloseFd(fd);
  return {};
}

OsStatus DeleteFile(std::string_view path) {
  const std::string linuxPath = OsPath(path);
  bool dropped = false;
  if (Files().dataFileDeleter) dropped = Files().dataFileDeleter(linuxPath);
  if (::unlink(linuxPath.c_str()) == 0) return {};
  const int err = errno;
  if (dropped && (err == ENOENT || err == ENOTDIR)) return {};
  return ErrnoStatus(err, "delete " + linuxPath);
}

void SetDataFileDeleter(std::function<bool(const std::string& linuxPath)> deleter) {
  Files().dataFileDeleter = std::move(deleter);
}

OsStatus RenameFile(std::string_view from, std::string_view to) {
  const std::string source = OsPath(from);
  const std::string target = OsPath(to);
  if (::rename(source.c_str(), target.c_str()) != 0) {
    return ErrnoStatus(errno, "rename " + source + " to " + target);
  }
  return {};
}

// ---- Sequential text -----------------------------------------------------------------------

bool LineReader::ReadLine(std::string& line) {
  line.clear();
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find('\n', pos_);
  const bool hasFeed = end != std::string_view::npos;
  if (!hasFeed) end = text_.size();
  std::string_view content = text_.substr(pos_, end - pos_);
  if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
  pos_ = hasFeed ? end + 1 : end;
  line.assign(content);
  // A text ending in a lone carriage return leaves an empty last piece that is no line.
  return hasFeed || !line.empty();
}

bool CsvFieldReader::IsLineEnd(size_t at) const {
  const char c = text_[at];
  if (c == '\r') return true;
  return c == '\n' && (at == 0 || text_[at - 1] != '\r');
}

void CsvFieldReader::ReadField(std::string& field) {
  field.clear();
  const size_t size = text_.size();
  // Leading spaces, and the line feeds and tabs that are dropped wherever they stand. A line
  // feed that ends a line of its own is a separator, not something to skip.
  while (pos_ < size) {
    const char c = text_[pos_];
    if (c == ' ' || c == '\t' || (c == '\n' && !IsLineEnd(pos_))) {
      ++pos_;
    } else {
      break;
    }
  }
  if (pos_ >= size) return;
  if (text_[pos_] == '"') {
    ++pos_;
    while (pos_ < size && text_[pos_] != '"') {
      const char c = text_[pos_++];
      if (c != '\n' && c != '\t') field += c;
    }
    if (pos_ < size) ++pos_;  // the closing quote
    // The rest up to the separator is ignored.
    while (pos_ < size && text_[pos_] != ',' && !IsLineEnd(pos_)) ++pos_;
  } else {
    while (pos_ < size && text_[pos_] != ',' && !IsLineEnd(pos_)) {
      const char c = text_[pos_++];
      if (c != '\n' && c != '\t') field += c;
    }
  }
  if (pos_ >= size) return;
  // The separator; a carriage return takes its line feed with it, so the end of the text is
  // seen right after the last field of a file whose last line ends in CR LF.
  const bool carriageReturn = text_[pos_++] == '\r';
  if (carriageReturn && pos_ < size && text_[pos_] == '\n') ++pos_;
}

std::string_view CsvFieldReader::PeekLine() const {
  if (pos_ >= text_.size()) return {};
  size_t end = pos_;
  while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') ++end;
  return text_.substr(pos_, end - pos_);
}

void CsvFieldReader::SkipLine() {
  const size_t feed = text_.find('\n', pos_);
  pos_ = feed == std::string_view::npos ? text_.size() : feed + 1;
}

}  // namespace palvorin
