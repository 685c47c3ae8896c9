#include "os/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace palvorin {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of folder `dir` whose name equals `name` without regard to case; the smallest such
// name in byte order when there are several, so the choice does not depend on the folder's
// order. Empty when there is none.
std::string FindEntryIgnoringCase(const std::string& dir, std::string_view name) {
  DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
  if (folder == nullptr) return {};
  std::string best;
  while (const dirent* entry = ::readdir(folder)) {
    std::string_view candidate(entry->d_name);
    if (SameIgnoringCase(candidate, name) && (best.empty() || candidate < best)) {
      best = candidate;
    }
  }
  ::closedir(folder);
  return best;
}

// The path text with its drive letter dropped and every "\" made "/".
std::string SlashedWithoutDrive(std::string_view dosPath) {
  if (dosPath.size() >= 2 && IsAsciiLetter(dosPath[0]) && dosPath[1] == ':') {
    dosPath.remove_prefix(2);
  }
  std::string path(dosPath);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

std::string OsPath(std::string_view dosPath) {
  const std::string path = SlashedWithoutDrive(dosPath);
  if (path.empty()) return path;
  std::string result;
  size_t at = 0;
  if (path[0] == '/') {
    result = "/";
    at = 1;
  }
  // `resolving` stays true while every component so far exists; past the first missing one
  // there is nothing left to match, so the rest keeps its spelling.
  bool resolving = true;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(at, end - at);
    if (resolving && !component.empty() && component != "." && component != "..") {
      const std::string spelled = result + component;
      if (!Exists(spelled)) {
        std::string found = FindEntryIgnoringCase(result, component);
        if (found.empty()) {
          resolving = false;
        } else {
          component = found;
        }
      }
    }
    result += component;
    if (end < path.size()) result += '/';
    at = end + 1;
  }
  return result;
}

std::string ShownPath(std::string_view path) {
  std::string linuxPath = OsPath(path);
  if (!linuxPath.empty() && linuxPath[0] == '/') return linuxPath;
  std::string current = CurrentDir();
  if (current != "/") current += '/';
  return current + linuxPath;
}

std::string CurrentDir() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
}

OsStatus SetCurrentDir(std::string_view path) {
  const std::string linuxPath = OsPath(path);
  if (::chdir(linuxPath.c_str()) != 0) return ErrnoStatus(errno, "chdir " + linuxPath);
  return {};
}

bool PathExists(std::string_view path) { return Exists(OsPath(path)); }

bool FileExists(std::string_view path) {
  struct stat st {};
  return ::stat(OsPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(std::string_view path) {
  struct stat st {};
  return ::stat(OsPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

OsStatus CreateDir(std::string_view path) {
  const std::string linuxPath = OsPath(path);
  if (::mkdir(linuxPath.c_str(), 0777) == 0) return {};
  const int err = errno;
  if (err == EEXIST && DirExists(linuxPath)) return {};
  return ErrnoStatus(err, "mkdir " + linuxPath);
}

}  // namespace palvorin
