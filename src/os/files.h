// Files: binary access by position, whole-file reads and safe whole-file writes, appending,
// deleting, and readers for the two sequential text forms the suite uses (lines, and the
// comma-separated fields of its list files). Paths may be DOS-style or Linux (see paths.h).
#ifndef PALVORIN_OS_FILES_H_
#define PALVORIN_OS_FILES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "os/status.h"

namespace palvorin {

// The two creating modes never write through a symbolic link, so a link planted in a shared
// work folder cannot turn a write into one of another file.
enum class FileMode {
  Read,             // existing file, read only
  ReadWrite,        // existing file, read and write
  ReadWriteCreate,  // read and write, created empty when missing (content kept otherwise);
                    //   a link or anything but a plain file in its place is refused
  CreateFresh,      // read and write, a new empty file: whatever stood at the path is removed
                    //   first (a link, not what it points to) and the file is created exclusively
};

// One open file, read and written by byte position (0-based). Closed by its destructor.
class BinaryFile {
 public:
  BinaryFile() = default;
  ~BinaryFile();
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // Opens `path` (closing whatever was open). NotFound when it is missing and the mode does
  // not create it.
  OsStatus Open(std::string_view path, FileMode mode);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  // Reads up to `length` bytes at `offset` into `buffer`; `got` is how many came (fewer only at
  // the end of the file).
  OsStatus Read(int64_t offset, void* buffer, size_t length, size_t& got);
  // Writes all of `bytes` at `offset`, extending the file when needed.
  OsStatus Write(int64_t offset, std::string_view bytes);
  // Writes all of `bytes` at the end of the file.
  OsStatus Append(std::string_view bytes);
  OsStatus Size(int64_t& size) const;
  OsStatus Truncate(int64_t size);
  // Makes what was written durable.
  OsStatus Sync();

  const std::string& path() const { return path_; }  // the Linux path

 private:
  int fd_ = -1;
  std::string path_;
};

// The whole content of `path`.
OsStatus ReadWholeFile(std::string_view path, std::string& bytes);

// Replaces the content of `path` with `bytes` so that the file is never seen half written: the
// bytes go to a new temporary file beside it (created exclusively, so no link or existing file
// is followed), are made durable, and the temporary file is renamed over `path`. A file being
// replaced keeps its permission bits and its group; when its group cannot be kept the write
// fails. On failure the old content is untouched and the temporary file is removed.
OsStatus WriteWholeFile(std::string_view path, std::string_view bytes);

// Holds the folder `path` for this process until it ends, as a run holds the temporary folder
// whose work files are its own: the hold is a lock on the folder, so the system lets go of it
// when the process dies, however it dies. False while another live process holds the folder.
// A folder that cannot be opened or locked (some network file systems) counts as held: the
// use of its files then reports what is wrong with it.
bool HoldFolder(std::string_view path);

// A new folder of this process's own in the system's temporary folder ($TMPDIR or /tmp),
// named `prefix` followed by "-" and six random characters, removed with everything in it
// when the object ends. path() is empty when no folder could be made.
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }  // without a final "/"

 private:
  std::string path_;
};

// Appends `bytes` to `path`, creating the file when missing.
OsStatus AppendToFile(std::string_view path, std::string_view bytes);

// A file kept open for appending, for a log written line by line: the path is resolved and the
// file opened (created when missing) once, and every Append is one write at the end of the
// file, so a line is whole in the file as soon as Append returns, whatever happens to the
// process next, and lines of several processes never overwrite one another.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(AppendFile&& other) noexcept;
  AppendFile& operator=(AppendFile&& other) noexcept;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens `path` (closing whatever was open); `path()` keeps it as given.
  OsStatus Open(std::string_view path);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();
  OsStatus Append(std::string_view bytes);
  const std::string& path() const { return given_; }

 private:
  int fd_ = -1;
  std::string given_;
  std::string linuxPath_;
};

// Creates `path` empty when it does not exist; an existing file keeps its content and needs
// no write permission.
OsStatus CreateIfMissing(std::string_view path);

// Deletes the file `path`. The registered data-file deleter (below) is asked first, with the
// Linux path: it drops the keyed data file of that name, if there is one. Then a plain file of
// that name is removed. Ok when either existed; NotFound when neither did.
OsStatus DeleteFile(std::string_view path);

// Installs the function DeleteFile asks first (the record-file engine registers one that drops
// the data file's table and answers whether it existed). An empty function removes it.
void SetDataFileDeleter(std::function<bool(const std::string& linuxPath)> deleter);

// Renames `from` to `to`, replacing `to`.
OsStatus RenameFile(std::string_view from, std::string_view to);

// ---- Sequential text ------------------------------------------------------------------------

// Reads lines from a text held in memory. A line ends at a line feed; a carriage return just
// before it is dropped, and so is a lone carriage return at the very end. The last line counts
// even without a line feed, as long as it is not empty.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  // The next line into `line`; false at the end of the text.
  bool ReadLine(std::string& line);
  bool AtEnd() const { return pos_ >= text_.size(); }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Reads the comma-separated fields of a list file held in memory, as the suite's sequential
// input reads them: leading spaces of a field are skipped; a field that begins with a double
// quote runs to the next double quote (so it may hold commas and keep leading or trailing
// spaces) and the rest up to the next separator is ignored; any other field runs to the next
// comma or end of line, trailing spaces kept. Line feeds and tab characters are dropped. A line
// end is a carriage return, or a line feed that no carriage return precedes (files saved with
// Linux line ends read as DOS ones do); the line feed of a CR LF pair goes with the carriage
// return. Line breaks are no record boundaries: records are read field after field.
class CsvFieldReader {
 public:
  explicit CsvFieldReader(std::string_view text) : text_(text) {}
  // The next field into `field` (empty at the end of the text) and past its separator.
  void ReadField(std::string& field);
  // True when nothing is left to read; checked after a read, as the suite's EOF test is.
  bool AtEnd() const { return pos_ >= text_.size(); }
  // The rest of the current line from the read position, without its line end; for readers
  // that recognise comment lines where a record begins.
  std::string_view PeekLine() const;
  // Moves past the end of the current line.
  void SkipLine();
  size_t position() const { return pos_; }

 private:
  bool IsLineEnd(size_t at) const;
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace palvorin

#endif  // PALVORIN_OS_FILES_H_
