#include "session/session.h"

#include <cstddef>

#include "os/codepage.h"
#include "os/env.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/program.h"
#include "session/language.h"

namespace palvorin {
namespace {

// The session module's state.
struct SessionModule {
  Session session;
  ProgramInstallation installation;
};

SessionModule& Module() {
  static SessionModule module;
  return module;
}

constexpr std::string_view kDefaultColours = "15000700000700070007";
constexpr size_t kInstallationNameWidth = 35;

// Upper case as the configuration reader compares names: a to z and the accented small
// letters ä ö ü é ñ å ç of code page 850.
char IniUpper(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  switch (static_cast<unsigned char>(c)) {
    case 0x84: return static_cast<char>(0x8E);  // ä
    case 0x94: return static_cast<char>(0x99);  // ö
    case 0x81: return static_cast<char>(0x9A);  // ü
    case 0x82: return static_cast<char>(0x90);  // é
    case 0xA4: return static_cast<char>(0xA5);  // ñ
    case 0x86: return static_cast<char>(0x8F);  // å
    case 0x87: return static_cast<char>(0x80);  // ç
    default: return c;
  }
}

std::string IniUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = IniUpper(c);
  return out;
}

std::string_view TrimLeadingSpaces(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

std::string_view TrimTrailingSpaces(std::string_view s) {
  const size_t last = s.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

std::string_view TrimSpaces(std::string_view s) { return TrimTrailingSpaces(TrimLeadingSpaces(s)); }

// The number at the start of a text as the suite's numeric reading takes it: leading spaces,
// an optional sign and digits; 0 when there is no number. Fractions are cut.
long LeadingNumber(std::string_view text) {
  text = TrimLeadingSpaces(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    if (value > 100000000) break;  // far beyond any colour scheme or date: stop growing
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// The packed form of an eight-digit date text, year first: blanks trimmed, zero-padded on the
// left to eight digits (cut from the left when longer), and every non-digit taken as 0. Each
// byte is 128 plus the two-digit value, so an empty text gives the empty date.
std::string PackWorkDate(std::string_view text) {
  std::string digits(TrimSpaces(text));
  if (digits.size() > 8) digits.erase(0, digits.size() - 8);
  digits.insert(0, 8 - digits.size(), '0');
  std::string packed(4, '\0');
  for (size_t i = 0; i < 4; ++i) {
    int value = 0;
    for (size_t j = 0; j < 2; ++j) {
      const char c = digits[2 * i + j];
      value = value * 10 + ((c >= '0' && c <= '9') ? c - '0' : 0);
    }
    packed[i] = static_cast<char>(128 + value);
  }
  return packed;
}

// Entry i of the colour text: foreground from characters 4i+1 and 4i+2, background from
// 4i+3 and 4i+4 (counted from 1), each pair read as a decimal number. The numbers are kept as
// the scheme gives them; the screen takes the attribute bits it can show.
void FillColourTable(std::string_view text, std::array<ColourPair, 5>& colours) {
  auto twoDigits = [&](size_t at) -> int {
    const std::string_view piece = at < text.size() ? text.substr(at, 2) : std::string_view();
    return static_cast<int>(LeadingNumber(piece));
  };
  for (size_t i = 0; i < colours.size(); ++i) {
    colours[i].foreground = twoDigits(4 * i);
    colours[i].background = twoDigits(4 * i + 2);
  }
}

// Three characters, padded with spaces or cut.
std::string LanguageCodeOf(std::string_view value) {
  std::string code(value.substr(0, 3));
  code.resize(3, ' ');
  return code;
}

// The terminal folder when the session file names none. The suite's menu puts it in TERM; on
// this platform TERM normally names the terminal type instead, so it counts only when it is
// an existing folder.
std::string TerminalDirFromEnvironment() {
  const std::string term = GetEnv("TERM");
  if (term.empty() || !DirExists(CompleteFolder(term))) return {};
  return term;
}

// The environment variable `name`; when it is not set, `fallback` (the installation's folder).
std::string FolderSetting(const char* name, const std::string& fallback, FolderOrigin& origin) {
  if (EnvIsSet(name)) {
    origin = FolderOrigin::Environment;
    return GetEnv(name);
  }
  origin = fallback.empty() ? FolderOrigin::Unset : FolderOrigin::Program;
  return fallback;
}

}  // namespace

Session& SessionState() { return Module().session; }

void ResetSessionForTest() { Module() = SessionModule{}; }

std::string CompleteFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  const char last = folder.back();
  if (last == ':' || last == '\\' || last == '/') return folder;
  return folder + '\\';
}

std::string RootFolderFromEnvironment() {
  FolderOrigin origin = FolderOrigin::Unset;
  return CompleteFolder(FolderSetting("ZEPROOT", Module().installation.rootDir, origin));
}

std::string IniValueFromText(std::string_view text, std::string_view section,
                             std::string_view key) {
  const std::string wantedSection = IniUpper(TrimSpaces(section));
  const std::string wantedKey = IniUpper(TrimSpaces(key));
  bool inSection = false;
  std::string value;
  LineReader lines(text);
  std::string line;
  while (lines.ReadLine(line)) {
    std::string_view rest(line);
    const size_t comment = rest.find(';');
    if (comment != std::string_view::npos) rest = rest.substr(0, comment);
    rest = TrimLeadingSpaces(rest);
    if (rest.empty()) continue;
    if (!inSection) {
      if (rest[0] != '[') continue;
      std::string_view name = rest.substr(1);
      const size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      inSection = IniUpper(TrimSpaces(name)) == wantedSection;
      continue;
    }
    if (rest[0] == '[') break;  // the section ended without the key
    const size_t equals = rest.find('=');
    if (equals == std::string_view::npos) continue;
    if (IniUpper(TrimTrailingSpaces(rest.substr(0, equals))) == wantedKey) {
      value.assign(rest.substr(equals + 1));
      break;
    }
  }
  if (value.size() > 1 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key) {
  std::string text;
  if (!ReadWholeFile(file, text).ok()) return {};
  return IniValueFromText(text, section, key);
}

void SessionSetUp() {
  Session& s = SessionState();
  s.colours = {};

  const ProgramInstallation& installation = Module().installation;
  s.rootDir = CompleteFolder(FolderSetting("ZEPROOT", installation.rootDir, s.rootOrigin));
  FolderOrigin origin = FolderOrigin::Unset;
  s.exeDir = CompleteFolder(FolderSetting("ZEPEXE", installation.exeDir, origin));
  s.tempDir = CompleteFolder(FolderSetting("ZEPTMP", installation.tempDir, origin));

  const std::string sessionFile = s.tempDir + "Sessio.ini";
  s.windowTitle = " " + ReadIniValue(sessionFile, "Menu", "Titol") + " ";
  s.menuName = ReadIniValue(sessionFile, "Menu", "NomMenu");
  s.terminalDir = ReadIniValue(sessionFile, "Terminal", "Dir");
  if (s.terminalDir.empty()) s.terminalDir = TerminalDirFromEnvironment();
  s.terminalDir = CompleteFolder(s.terminalDir);

  if (s.tempDir.empty()) s.tempDir = s.terminalDir;

  s.currencyCommand = "a,E";

  const std::string terminalFile = s.tempDir + "KoraTerm.ini";
  const long scheme = LeadingNumber(ReadIniValue(terminalFile, "Pantalla", "Seleccio"));
  std::string colourText = ReadIniValue(terminalFile, "Pantalla", "Col" + std::to_string(scheme));
  if (colourText.empty()) colourText = kDefaultColours;
  FillColourTable(colourText, s.colours);
  s.workDate = PackWorkDate(ReadIniValue(terminalFile, "Sistema", "Data"));
  s.destination = ReadIniValue(terminalFile, "Sistema", "Sortida");
  s.languageCode = LanguageCodeOf(ReadIniValue(terminalFile, "Sistema", "Idioma"));

  const std::string installationFile = s.rootDir + "Kora.ini";
  if (TrimSpaces(s.languageCode).empty()) {
    s.languageCode = LanguageCodeOf(ReadIniValue(installationFile, "Usuari", "Idioma"));
  }

  if (!GetEnv("HTTP_USER_AGENT").empty() || !GetEnv("HTTP_ACCEPT").empty()) {
    s.platformMode = "CGI";
  } else if (!GetEnv("WINDIR").empty() || !GetEnv("SYSTEMROOT").empty()) {
    s.platformMode = "WIN";
  } else {
    s.platformMode = "DOS";
  }

  s.installationName = ReadIniValue(installationFile, "Empresa", "Nom");
  s.dataServer = ReadIniValue(installationFile, "Dades", "Servidor");
  if (s.installationName.size() > kInstallationNameWidth) {
    s.installationName.resize(kInstallationNameWidth);
  }
}

ProgramInstallation InstallationOfProgram() {
  ProgramInstallation installation;
  installation.exeDir = ProgramFolder();
  installation.rootDir = ParentFolder(installation.exeDir);
  installation.tempDir = UserTempFolder();
  return installation;
}

void UseInstallation(const ProgramInstallation& installation) {
  Module().installation = installation;
}

std::string RootFolderNote() {
  const Session& s = SessionState();
  switch (s.rootOrigin) {
    case FolderOrigin::Environment:
      if (!s.rootDir.empty()) return "ZEPROOT=" + s.rootDir;
      return Translate(cp850("ZEPROOT buida: la carpeta actual, ")) + CurrentDir();
    case FolderOrigin::Program:
      return Translate(cp850("ZEPROOT no definida: la instal·lació del programa, ")) + s.rootDir;
    case FolderOrigin::Unset: break;
  }
  return Translate(cp850("ZEPROOT no definida: la carpeta actual, ")) + CurrentDir();
}

}  // namespace palvorin
