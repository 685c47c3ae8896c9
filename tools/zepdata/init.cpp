// zepdata init. The new installation shares the programs' installation data through links, so
// an update of the programs brings their forms, texts, help and dictionaries to every
// installation at once; only the data, Kora.ini and the operators' folders are its own.
#include "init.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "datafile/datafile.h"
#include "os/codepage.h"
#include "os/files.h"
#include "os/paths.h"
#include "receipts/layouts.h"
#include "session/session.h"

namespace palvorin {

namespace {

namespace fs = std::filesystem;

constexpr const char* kInitUsage =
    "usage: zepdata init ROOT --name NAME [--language CAT|SPA|GLG|OCI]\n";
constexpr int kInitHandle = 1;
constexpr size_t kNameWidth = 35;  // as much of the company name as the listings show
// The installation data every installation reads from the programs' own installation.
constexpr const char* kSharedFolders[] = {"FORMS", "LOCALE", "AJUDA", "ddf"};
constexpr const char* kLanguages[] = {"CAT", "SPA", "GLG", "OCI"};

struct InitRequest {
  fs::path root;              // absolute
  std::string name;           // CP850
  std::string language = "CAT";
};

// What init has made so far, to be removed again, newest first, when it cannot finish.
class MadeSoFar {
 public:
  void Add(const fs::path& path) { paths_.push_back(path); }
  void RemoveAll() {
    for (auto it = paths_.rbegin(); it != paths_.rend(); ++it) {
      std::error_code ignored;
      fs::remove_all(*it, ignored);
    }
    paths_.clear();
  }

 private:
  std::vector<fs::path> paths_;
};

// Messages repeat the root and the name as given, so control characters in them are escaped.
int Fail(const std::string& why) {
  std::cerr << "zepdata init: " << EscapeControls(why) << "\n";
  return 1;
}

// The company name as Kora.ini can hold it: code page 850 text on one line, without the ";"
// that would start a comment there, and no longer than the listings show.
bool CompanyName(const std::string& typed, std::string& name, std::string& why) {
  name = cp850(typed);
  if (Utf8FromCp850(name) != typed) {
    why = "the name holds characters the installation's code page cannot write";
    return false;
  }
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == ';') {
      why = "the name cannot hold \";\" or control characters";
      return false;
    }
  }
  size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) {
    why = "the name is empty";
    return false;
  }
  name = name.substr(first, name.find_last_not_of(' ') - first + 1);
  if (name.size() > kNameWidth) {
    why = "the name has " + std::to_string(name.size()) + " characters; at most " +
          std::to_string(kNameWidth) + " are shown";
    return false;
  }
  return true;
}

bool ParseInit(const std::vector<std::string>& words, InitRequest& request, std::string& why) {
  std::string root;
  bool named = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--name" || word == "--language") {
      if (i + 1 >= words.size()) {
        why = word + " needs a value";
        return false;
      }
      const std::string& value = words[++i];
      if (word == "--name") {
        if (!CompanyName(value, request.name, why)) return false;
        named = true;
      } else {
        request.language = value;
        bool known = false;
        for (const char* code : kLanguages) known = known || value == code;
        if (!known) {
          why = "unknown language " + value + " (CAT, SPA, GLG or OCI)";
          return false;
        }
      }
    } else if (word.starts_with("-") || !root.empty()) {
      why = "unexpected " + word;
      return false;
    } else {
      root = word;
    }
  }
  if (root.empty() || !named) {
    why = root.empty() ? "no ROOT given" : "no --name given";
    return false;
  }
  std::error_code error;
  request.root = fs::absolute(root, error).lexically_normal();
  if (!request.root.has_filename()) request.root = request.root.parent_path();  // "ROOT/"
  return !error;
}

// The programs' own installation: the folder that holds the exe/ folder of this program.
fs::path ProgramsInstallation() {
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error).parent_path().parent_path();
}

// Why `root` cannot take a new installation; empty when it can.
std::string Occupied(const fs::path& root) {
  std::error_code error;
  if (!fs::exists(root, error)) return {};
  if (!fs::is_directory(root, error)) return root.string() + " is not a folder";
  for (const char* entry : {"Kora.ini", "DADES"}) {
    if (PathExists((root / entry).string())) {
      return root.string() + " already holds an installation (" + entry + ")";
    }
  }
  for (const char* entry : {"FORMS", "LOCALE", "AJUDA", "ddf", "tmp"}) {
    if (PathExists((root / entry).string())) return root.string() + " already holds " + entry;
  }
  return {};
}

// The shell word for `text`, quoted when it holds anything a shell would take apart.
std::string ShellWord(const std::string& text) {
  if (text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                             "_-./,:+@%") == std::string::npos) {
    return text;
  }
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string KoraIni(const InitRequest& request) {
  return "[Usuari]\r\nIdioma=" + request.language +
         "\r\nDecCaracter=,\r\nMilCaracter=.\r\nDatCaracter=/\r\nDatOrdre=DMA\r\n"
         "[Empresa]\r\nNom=" + request.name + "\r\n";
}

// Creates everything but Kora.ini; false with `why` when something could not be made.
bool MakeInstallation(const InitRequest& request, const fs::path& programs, MadeSoFar& made,
                      std::string& why) {
  std::error_code error;
  fs::path top = request.root;  // the outermost folder this run creates
  while (!fs::exists(top.parent_path(), error) && top.has_parent_path()) top = top.parent_path();
  if (!fs::exists(request.root, error)) {
    made.Add(top);
    if (!fs::create_directories(request.root, error)) {
      why = "cannot create " + request.root.string() + ": " + error.message();
      return false;
    }
  }
  for (const char* folder : kSharedFolders) {
    made.Add(request.root / folder);
    fs::create_directory_symlink(programs / folder, request.root / folder, error);
    if (error) {
      why = "cannot link " + (request.root / folder).string() + ": " + error.message();
      return false;
    }
  }
  for (const char* folder : {"DADES", "tmp"}) {
    made.Add(request.root / folder);
    if (!fs::create_directory(request.root / folder, error)) {
      why = "cannot create " + (request.root / folder).string() + ": " + error.message();
      return false;
    }
  }
  // Each data file is created from its dictionary by the open that would create it for the
  // module; a file that cannot be made ends the tool inside the record-file layer.
  const std::string rootText = request.root.string() + "/";
  SessionState().rootDir = rootText;
  for (const FileLayout& layout : FileLayouts()) {
    if (!std::string_view(layout.name).starts_with("DADES\\")) continue;
    std::string record;
    int status = 0;
    DbOpen(kInitHandle, rootText + layout.name, record, status);
    DbReset(status);
  }
  OsStatus written = WriteWholeFile(rootText + hparam::kFile, DefaultParamBlock());
  if (!written.ok()) why = written.message;
  return written.ok();
}

}  // namespace

int RunInit(const std::vector<std::string>& words) {
  InitRequest request;
  std::string why;
  for (const std::string& word : words) {
    if (word == "--help" || word == "-h") {
      std::cout << kInitUsage;
      return 0;
    }
  }
  if (!ParseInit(words, request, why)) {
    Fail(why);
    std::cerr << kInitUsage;
    return 2;
  }
  why = Occupied(request.root);
  if (!why.empty()) return Fail(why + "; nothing was changed");
  const fs::path programs = ProgramsInstallation();
  for (const char* folder : kSharedFolders) {
    std::error_code error;
    if (!fs::is_directory(programs / folder, error)) {
      return Fail("the programs' installation " + programs.string() + " has no " + folder);
    }
  }

  MadeSoFar made;
  DataFiles().env.exit = [&made](int code) {
    made.RemoveAll();
    std::exit(code);
  };
  if (MakeInstallation(request, programs, made, why)) {
    OsStatus written = WriteWholeFile((request.root / "Kora.ini").string(), KoraIni(request));
    if (!written.ok()) why = written.message;
  }
  if (!why.empty()) {
    made.RemoveAll();
    return Fail(why + "; nothing was kept");
  }
  const std::string root = EscapeControls(request.root.string() + "/");
  const std::string quoted = ShellWord(root);
  std::cout << "New installation \"" << Utf8FromCp850(request.name) << "\" in "
            << root << ", its data files empty.\n"
            << "Load them with: ZEPROOT=" << quoted << " zepdata load "
            << ShellWord(root + "DADES/") << "<file> < <file's records>\n"
            << "Each operator gets a temporary folder in " << root << "tmp/ at the first start.\n"
            << "Start the module on it with:\n"
            << "ZEPROOT=" << quoted << " palvorin\n";
  return 0;
}

}  // namespace palvorin
