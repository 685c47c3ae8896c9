// The running program: the folder it was started from, the user's own temporary folder, and
// the command-line conventions every program of the installation follows.
//
// On the command line "--help" and "-h" print the program's usage on standard output and
// "--version" its name and version; the program then ends with exit code 0. A bad option or
// command is named on standard error, with a pointer to --help, and the program ends with
// exit code 2.
#ifndef PALVORIN_OS_PROGRAM_H_
#define PALVORIN_OS_PROGRAM_H_

#include <string>
#include <string_view>

namespace palvorin {

// The exit code of a program given a bad option, command or argument.
inline constexpr int kExitBadUsage = 2;

// The installation's version, "1.0.0".
const char* ProgramVersion();

// When `arg` is "--help", "-h" or "--version": writes the usage, or "<program> <version>",
// on standard output and returns true; the caller then ends with exit code 0.
bool AnswerStandardOption(std::string_view arg, std::string_view program, std::string_view usage);

// Writes "<program>: <what>" (controls in `what` escaped) and "Try '<program> --help'." on
// standard error and returns kExitBadUsage.
int BadUsage(std::string_view program, std::string_view what);

// Whether `arg` has the form of an option: a "-" followed by something.
bool IsOption(std::string_view arg);

// The folder that holds the running executable, with its final "/", symbolic links resolved:
// a program started through /usr/bin/palvorin, a link to /opt/palvorin/exe/palvorin, is in
// /opt/palvorin/exe/. Empty when the system does not say.
std::string ProgramFolder();

// The parent of `folder` (a folder text ending in "/"), with its final "/": "/opt/palvorin/"
// for "/opt/palvorin/exe/". Empty for the root folder or an empty text.
std::string ParentFolder(std::string_view folder);

// The user's own temporary folder, "palvorin-<user id>/" in $TMPDIR (or /tmp), created
// readable by the user alone when missing, with its final "/". Empty when it cannot be made,
// or when what stands there is not a folder of this user (a link planted by someone else is
// never followed).
std::string UserTempFolder();

}  // namespace palvorin

#endif  // PALVORIN_OS_PROGRAM_H_
