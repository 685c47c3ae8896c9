// Paths. The program builds them the DOS way, by concatenating a folder text that ends in "\"
// and a relative name (root + "DADES\HFinca"). OsPath turns such a text into the Linux path
// that names the same file: separators become "/", a drive letter is dropped, and a component
// that does not exist as spelled is matched against the existing entries without regard to
// letter case. Every function of this folder that takes a path accepts either form and goes
// through OsPath itself, so callers never convert.
#ifndef PALVORIN_OS_PATHS_H_
#define PALVORIN_OS_PATHS_H_

#include <string>
#include <string_view>

#include "os/status.h"

namespace palvorin {

// The Linux path for a DOS-style or Linux path. "C:\ZEP\DADES\HFinca" gives "/ZEP/DADES/HFinca"
// ("C:ZEP" gives "ZEP"). When "/srv/zep/dades/hfinca" exists and "/srv/zep/DADES/HFinca" does
// not, the existing spelling is used, component by component; a component that matches no entry
// keeps its own spelling (a file about to be created). Relative paths stay relative. Bytes other
// than "\" are passed through unchanged; a final separator is kept.
std::string OsPath(std::string_view dosPath);

// A path as the system shows it, for messages: the Linux path, made absolute from the current
// directory when it is relative ("DADES\HFinca" run in /srv/zep gives "/srv/zep/DADES/HFinca").
std::string ShownPath(std::string_view path);

// The process's current directory as an absolute Linux path with no final "/" ("/" for the
// root); empty if it cannot be determined.
std::string CurrentDir();
// Makes `path` the current directory.
OsStatus SetCurrentDir(std::string_view path);

// Whether `path` names an existing entry of any kind / a regular file / a folder.
bool PathExists(std::string_view path);
bool FileExists(std::string_view path);
bool DirExists(std::string_view path);

// Creates the folder `path` (its parent must exist); Ok when it already exists as a folder.
OsStatus CreateDir(std::string_view path);

}  // namespace palvorin

#endif  // PALVORIN_OS_PATHS_H_
