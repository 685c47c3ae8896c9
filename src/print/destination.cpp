#include "print/destination.h"

#include "os/paths.h"
#include "session/session.h"

namespace palvorin {

namespace {

std::string_view Trim(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(s[i]) != Upper(prefix[i])) return false;
  }
  return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && StartsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// A path that names its file wherever one stands: from the root folder, or with a drive.
bool IsAbsolute(std::string_view path) {
  return !path.empty() &&
         (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
}

}  // namespace

Destination ClassifyDestination(std::string_view device) {
  std::string_view name = Trim(device);
  if (name.empty() || (name.size() == 8 && StartsWithNoCase(name, "PANTALLA"))) {
    return {DestinationKind::Screen, ""};
  }
  if (StartsWithNoCase(name, "LPR:")) {
    return {DestinationKind::PrintQueue, std::string(Trim(name.substr(4)))};
  }
  if (EndsWithNoCase(name, ".pdf")) return {DestinationKind::PdfFile, std::string(name)};
  return {DestinationKind::TextFile, std::string(name)};
}

Destination ListingDestination(std::string_view device) {
  Destination d = ClassifyDestination(device);
  if (d.kind != DestinationKind::TextFile && d.kind != DestinationKind::PdfFile) return d;
  std::string path = IsAbsolute(d.target) ? d.target : SessionState().rootDir + d.target;
  path = OsPath(path);
  if (!path.empty() && path[0] != '/') path = CurrentDir() + "/" + path;
  d.target = path;
  return d;
}

}  // namespace palvorin
