#include "os/program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "os/codepage.h"
#include "os/env.h"

namespace palvorin {

namespace {

void Write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

const char* ProgramVersion() { return PALVORIN_VERSION; }

bool AnswerStandardOption(std::string_view arg, std::string_view program, std::string_view usage) {
  if (arg == "--help" || arg == "-h") {
    Write(stdout, usage);
    return true;
  }
  if (arg == "--version") {
    Write(stdout, std::string(program) + " " + ProgramVersion() + "\n");
    return true;
  }
  return false;
}

int BadUsage(std::string_view program, std::string_view what) {
  const std::string name(program);
  // What was wrong repeats the argument as given: controls in it are shown escaped.
  Write(stderr, name + ": " + EscapeControls(what) + "\nTry '" + name + " --help'.\n");
  return kExitBadUsage;
}

bool IsOption(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
  path.resize(static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ParentFolder(std::string_view folder) {
  while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
  const size_t slash = folder.rfind('/');
  if (folder.empty() || slash == std::string_view::npos) return {};
  return std::string(folder.substr(0, slash + 1));
}

std::string UserTempFolder() {
  std::string base = GetEnv("TMPDIR");
  if (base.empty() || base[0] != '/') base = "/tmp";
  if (base.back() != '/') base += '/';
  const uid_t user = ::getuid();
  const std::string folder = base + "palvorin-" + std::to_string(user);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st {};
  // lstat: a link is refused whatever it points to.
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != user) return {};
  return folder + "/";
}

}  // namespace palvorin
