#include "os/status.h"

#include <cstring>

namespace palvorin {

OsStatus ErrnoStatus(int err, std::string_view what) {
  std::string message(what);
  message += ": ";
  message += std::strerror(err);
  if (err == ENOENT || err == ENOTDIR) return OsStatus::NotFound(std::move(message));
  return OsStatus::IoError(std::move(message));
}

}  // namespace palvorin
