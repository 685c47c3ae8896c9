// The session: what the suite's menu hands to a module when it starts it. The folders come
// from the environment, the window title and terminal folder from Sessio.ini, the colours,
// work date, output destination and language from KoraTerm.ini (Kora.ini for a blank
// language). SessionSetUp fills it once at start-up; afterwards it is only read.
// Every text is a CP850 byte string.
#ifndef PALVORIN_SESSION_SESSION_H_
#define PALVORIN_SESSION_SESSION_H_

#include <array>
#include <string>
#include <string_view>

namespace palvorin {

// One entry of the colour table: foreground and background colour numbers (the PC colours
// 0 to 15; a scheme may hold other two-digit numbers, kept as written).
struct ColourPair {
  int foreground = 0;
  int background = 0;
};

// Where a folder of the session came from.
enum class FolderOrigin {
  Unset,        // its variable is not set and no installation stands in: empty
  Environment,  // its environment variable (ZEPROOT, ZEPEXE, ZEPTMP), even an empty one
  Program,      // the installation that holds the running program, or the user's own folder
};

struct Session {
  std::string rootDir;      // ZEPROOT completed ("/srv/zep/" or "C:\ZEP\")
  std::string exeDir;       // ZEPEXE completed
  std::string tempDir;      // ZEPTMP completed; the terminal folder when empty
  FolderOrigin rootOrigin = FolderOrigin::Unset;  // where the root came from
  std::string terminalDir;  // Sessio.ini [Terminal] Dir, else TERM; completed
  std::string windowTitle;  // " " + Sessio.ini [Menu] Titol + " "
  std::string menuName;     // Sessio.ini [Menu] NomMenu
  std::array<ColourPair, 5> colours{};
  std::string workDate;      // KoraTerm.ini [Sistema] Data, packed (4 bytes)
  std::string destination;   // KoraTerm.ini [Sistema] Sortida
  std::string languageCode;  // three characters, space padded: "CAT", "SPA", "GLG", "OCI"
  std::string platformMode;  // "CGI", "WIN" or "DOS"
  std::string installationName;  // Kora.ini [Empresa] Nom, at most 35 characters
  // Kora.ini [Dades] Servidor: the connection string of the database server that keeps the
  // installation's DADES (never shown or logged: it may hold a password); empty: kept locally.
  std::string dataServer;
  std::string moduleName;        // "PALVORIN" once the start-up has set it
  // The currency command the set-up gives the amounts ("a,E": the euro, main and in force);
  // the text library takes it the first time it works with currencies. Empty before set-up.
  std::string currencyCommand;
};

// The run's only session state.
Session& SessionState();
// Session{} again, for tests.
void ResetSessionForTest();

// Fills the session state from the environment and the session files, in the suite's order.
// Never fails: anything missing gives empty texts and the defaults.
void SessionSetUp();

// The folders a program takes for ZEPROOT, ZEPEXE and ZEPTMP when they are not set (a
// variable set to an empty text stays empty, as the suite's menu may leave it). Each is a
// folder text with its final separator, or empty.
struct ProgramInstallation {
  std::string rootDir;
  std::string exeDir;
  std::string tempDir;
};
// The installation that holds the running program: its executables folder is the folder of
// the program (links followed), the root that folder's parent, and the temporary folder the
// user's own. The programs name it before SessionSetUp; without it unset variables give
// empty folders.
ProgramInstallation InstallationOfProgram();
void UseInstallation(const ProgramInstallation& installation);

// What a message about a missing file of the installation adds, so that the operator knows
// where it was looked for: "ZEPROOT=/srv/zep/", or that ZEPROOT is not set and which
// installation was taken instead. In the session's language.
std::string RootFolderNote();

// The value of `key` in `section` of the INI-style file at `file` (a full path, DOS or Linux
// form); the empty text when the file cannot be opened or the section or key is absent.
std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key);

// ReadIniValue over a file's content already in memory.
std::string IniValueFromText(std::string_view text, std::string_view section,
                             std::string_view key);

// A folder text with its separator: "\" appended unless empty or ending in ":", "\" or "/".
std::string CompleteFolder(const std::string& folder);

// The installation root as the environment gives it, completed, so that "/srv/zep" serves as
// well as "/srv/zep/" for every path built on it; when ZEPROOT is not set, the root of the
// installation named by UseInstallation (empty without one).
std::string RootFolderFromEnvironment();

}  // namespace palvorin

#endif  // PALVORIN_SESSION_SESSION_H_
