// Failures of the operating-system layer are values, never exceptions: an OsStatus says what
// went wrong and with which file. Every POSIX call of the program sits in this folder.
#ifndef PALVORIN_OS_STATUS_H_
#define PALVORIN_OS_STATUS_H_

#include <cerrno>
#include <string>
#include <string_view>

namespace palvorin {

enum class OsCode {
  Ok = 0,
  NotFound,  // the file, folder or program does not exist
  IoError,   // anything else; the message names the path and the system's reason
};

struct OsStatus {
  OsCode code = OsCode::Ok;
  std::string message;  // empty when ok

  bool ok() const { return code == OsCode::Ok; }
  bool IsNotFound() const { return code == OsCode::NotFound; }

  static OsStatus Success() { return {}; }
  static OsStatus NotFound(std::string message) { return {OsCode::NotFound, std::move(message)}; }
  static OsStatus IoError(std::string message) { return {OsCode::IoError, std::move(message)}; }
};

// The status for a failed system call: ENOENT and ENOTDIR are NotFound, anything else
// IoError; the message is "<what>: <system reason>".
OsStatus ErrnoStatus(int err, std::string_view what);

// Calls `call` again for as long as it fails with EINTR; returns its last result.
template <typename Call>
auto RetryOnEintr(Call call) {
  for (;;) {
    auto result = call();
    if (!(result == -1 && errno == EINTR)) return result;
  }
}

}  // namespace palvorin

#endif  // PALVORIN_OS_STATUS_H_
