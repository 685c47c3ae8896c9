// zepdata: creates, dumps, loads and checks the module's data files.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "datafile/datafile.h"
#include "engine/btrcall.h"
#include "engine/engine.h"
#include "engine/pgstore.h"
#include "fieldcodec.h"
#include "init.h"
#include "os/codepage.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/program.h"
#include "receipts/layouts.h"
#include "session/session.h"

namespace palvorin {
namespace {

constexpr int kHandle = 1;
constexpr int kOpOpen = 0;
constexpr int kOpClose = 1;
constexpr int kOpCreate = 14;
constexpr int kStatusEndOfFile = 9;
constexpr int kStatusFileNotFound = 12;
constexpr int kStatusFileExists = 59;

constexpr const char* kUsage =
    "usage: zepdata [--ddf DIR] COMMAND PATH\n"
    "       zepdata init ROOT --name NAME [--language CAT|SPA|GLG|OCI]\n"
    "\n"
    "  init                   create a new, empty installation at ROOT for these programs:\n"
    "                         DADES with every data file, Kora.ini with the company's NAME\n"
    "                         (at most 35 characters) and language (CAT), tmp/ for the\n"
    "                         operators' folders, and links to the programs' forms, language\n"
    "                         and help files and dictionaries; prints the line that starts\n"
    "                         the module on it. A ROOT holding an installation is refused\n"
    "  create PATH            create the data file from its dictionary\n"
    "  dump [--fields] PATH   write every record, in key-0 order, one line each\n"
    "  load [--fields] PATH   insert the records read from standard input, one line each;\n"
    "                         a missing file is created from its dictionary first. A malformed\n"
    "                         line or a refused insert stops the load, naming the line, and\n"
    "                         nothing of that load is kept\n"
    "  check PATH             walk the file on every key and report how many records each key\n"
    "                         reaches; fails when a key misses a record or is out of order\n"
    "  copy [--replace] FROM TO\n"
    "                         copy every data file of a data folder, records and positions as\n"
    "                         they are, in one transaction on TO. FROM and TO are each a local\n"
    "                         folder (DADES) or the connection string of a PostgreSQL database\n"
    "                         (\"host=... dbname=...\" or postgresql://...), whose schema dades\n"
    "                         holds the folder. A TO whose files hold records is refused\n"
    "                         unless --replace, which drops TO's data files first\n"
    "\n"
    "PATH is the data file's path, DOS or Linux form, relative to the current folder; without an\n"
    "extension \".dat\" is added (DADES\\HRebuts is DADES/HRebuts.dat). Its dictionary is\n"
    "DIR/<base>.xdf with --ddf, otherwise ROOT/ddf/<base>.xdf, ROOT being $ZEPROOT or, when it\n"
    "is not set, the installation that holds zepdata (the parent of its exe/ folder).\n"
    "\n"
    "Line forms. Without --fields: the whole fixed-length record in lowercase hex. With --fields:\n"
    "one JSON object per record with a member per named field, in record order:\n"
    "  texts           strings, UTF-8, trailing blanks dropped        \"name\":\"GARCIA*Joan\"\n"
    "  amounts         numbers with up to two decimals                \"amount\":-12.5\n"
    "  bytes, words    integers                                       \"remaining\":3\n"
    "  codes           dotted building.co-owner, \"\" for zero          \"code\":\"12.3\"\n"
    "  issue, sequence packed digits as a digit string                \"issue\":\"2403\"\n"
    "  dates           YYYY-MM-DD, \"\" for the empty date              \"issue_date\":\"2024-03-07\"\n"
    "  remittances     four display digits                            \"remittance\":\"0150\"\n"
    "A field whose bytes have no such form is written \"x:\" and its bytes in hex; bytes no field\n"
    "covers appear as \"@OFFSET\":\"HEX\" when they are not blank. On load, fields left out are\n"
    "blank texts, zero numbers and codes, and the empty date.\n"
    "\n"
    "Exit code 0 on success, 1 when the command failed, 2 for bad arguments.\n";

struct Options {
  std::string ddf;
  std::string command;
  bool fields = false;
  std::string path;
};

// Messages repeat paths and texts as given, so control characters in them are shown escaped.
int Fail(const std::string& message) {
  std::cerr << "zepdata: " << EscapeControls(message) << "\n";
  return 1;
}

// Reads the command line into `options`. Returns -1 to go on, or the exit code to end with:
// 0 after --help or --version, 2 after a bad option, command or argument (named on stderr).
int ParseOptions(int argc, char** argv, Options& options) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (AnswerStandardOption(a, "zepdata", kUsage)) return 0;
    if (a == "--ddf") {
      if (i + 1 >= argc) return BadUsage("zepdata", "--ddf needs a folder");
      options.ddf = argv[++i];
    } else if (a == "--fields") {
      options.fields = true;
    } else if (IsOption(a)) {
      return BadUsage("zepdata", "unknown option " + a);
    } else {
      words.push_back(a);
    }
  }
  if (words.empty()) return BadUsage("zepdata", "no command: create, dump, load, check, copy or init");
  options.command = words[0];
  if (options.command != "create" && options.command != "dump" && options.command != "load" &&
      options.command != "check") {
    return BadUsage("zepdata", "unknown command " + options.command);
  }
  if (words.size() < 2) return BadUsage("zepdata", options.command + " needs a PATH");
  if (words.size() > 2) return BadUsage("zepdata", "unexpected argument " + words[2]);
  if (options.fields && options.command != "dump" && options.command != "load") {
    return BadUsage("zepdata", "--fields goes with dump and load only");
  }
  options.path = words[1];
  return -1;
}

// The path as the engine gets it (with its extension) and the base name of its dictionary.
void SplitPath(const std::string& path, std::string& full, std::string& base) {
  size_t sep = path.find_last_of(":\\/");
  size_t start = sep == std::string::npos ? 0 : sep + 1;
  size_t dot = path.find('.', start);
  base = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
  full = dot == std::string::npos ? path + ".dat" : path;
}

std::string DictionaryPath(const std::string& base) {
  const std::string& folder = DataFiles().dictionaryFolder;
  return (folder.empty() ? SessionState().rootDir + "ddf\\" : folder) + base + ".xdf";
}

// The dictionary's create buffer; empty when there is none.
std::string ReadDictionary(const std::string& base) {
  std::string bytes;
  if (!ReadWholeFile(DictionaryPath(base), bytes).ok() || bytes.size() < 2) return {};
  size_t n = static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8;
  return bytes.substr(2, n);
}

int Word(std::string_view b, size_t at) {
  return at + 2 > b.size() ? 0
                           : static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8;
}

const DbSlotState& OpenSlot() {
  for (const DbSlotState& slot : DataFiles().slots) {
    if (slot.handle == kHandle) return slot;
  }
  return DataFiles().slots[0];
}

// Opens PATH under the tool's handle; a file that cannot be opened ends the tool with the
// layer's message.
void Open(const Options& options, std::string& record) {
  int status = 0;
  DbOpen(kHandle, options.path, record, status);
}

// Opens and closes the data file, without creating it as an open through the layer would: 0
// when it can be opened, 12 when there is none, another status when it is there but cannot be.
int OpenStatus(const std::string& full) {
  if (full.size() >= 255) return 12;
  std::string key(255, '\0');
  std::memcpy(key.data(), full.data(), full.size());
  char owner[5] = {};
  uint8_t positionBlock[kPosBlockSize] = {};
  uint32_t length = 0;
  int status = BTRCALL(kOpOpen, positionBlock, owner, &length, key.data(), 255, 0);
  if (status != 0) return status;
  char scratch[4] = {};
  (void)BTRCALL(kOpClose, positionBlock, scratch, &length, scratch, 0, 0);
  return 0;
}

// Why the data file cannot be read, or empty when it can.
std::string CannotOpen(const Options& options, const std::string& full) {
  const int status = OpenStatus(full);
  if (status == 0) return {};
  if (status == kStatusFileNotFound) return "no data file " + options.path;
  return "cannot open " + OsPath(full) + " (" + std::to_string(status) + "): " + EngineLastError();
}

// Which installation a dictionary was looked for in, when it did not come from --ddf.
std::string RootNote(const Options& options) {
  if (!options.ddf.empty()) return {};
  const Session& s = SessionState();
  switch (s.rootOrigin) {
    case FolderOrigin::Environment: return " (ZEPROOT=" + s.rootDir + ")";
    case FolderOrigin::Program: return " (ZEPROOT not set: the installation of zepdata)";
    case FolderOrigin::Unset: break;
  }
  return " (ZEPROOT not set)";
}

int Create(const Options& options) {
  std::string full, base;
  SplitPath(options.path, full, base);
  std::string create = ReadDictionary(base);
  if (create.empty()) {
    return Fail("no dictionary " + OsPath(DictionaryPath(base)) + RootNote(options));
  }
  if (full.size() >= 255) return Fail("path too long: " + options.path);
  std::string data(kDbDataBufferSize, ' ');
  std::memcpy(data.data(), create.data(), std::min(create.size(), data.size()));
  std::string key(255, '\0');
  std::memcpy(key.data(), full.data(), full.size());
  uint8_t positionBlock[kPosBlockSize] = {};
  uint32_t length = kDbDataBufferSize;
  const bool newDatabase = !EngineHasDatabase(full);
  int status = BTRCALL(kOpCreate, positionBlock, data.data(), &length, key.data(), 255, -1);
  if (status == kStatusFileExists) return Fail(options.path + " already exists");
  if (status != 0) {
    return Fail("cannot create " + options.path + " (" + std::to_string(status) + "): " +
                EngineLastError());
  }
  if (newDatabase) std::cerr << "zepdata: new database for the folder of " << OsPath(full) << "\n";
  std::cout << "created " << options.path << "\n";
  return 0;
}

int Dump(const Options& options) {
  const FileLayout* layout = FindLayout(options.path);
  if (options.fields && layout == nullptr) return Fail("no field layout for " + options.path);
  std::string full, base;
  SplitPath(options.path, full, base);
  if (std::string why = CannotOpen(options, full); !why.empty()) return Fail(why);
  std::string record;
  Open(options, record);
  int status = 0;
  std::string out;
  for (DbGet(kHandle, 0, "", 1, status); status == 0; DbSkip(kHandle, 1, status)) {
    out += options.fields ? RecordToJson(*layout, record) : ToHex(record);
    out += '\n';
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  if (status != kStatusEndOfFile) {
    return Fail("reading " + options.path + " failed (" + std::to_string(status) + ")");
  }
  return 0;
}

int Load(const Options& options) {
  std::string full, base;
  SplitPath(options.path, full, base);
  const FileLayout* layout = FindLayout(options.path);
  if (options.fields && layout == nullptr) return Fail("no field layout for " + options.path);
  std::string create = ReadDictionary(base);
  int length = options.fields ? layout->length : Word(create, 0);

  // Every line is read and checked before the file is touched.
  std::string input(std::istreambuf_iterator<char>(std::cin), {});
  std::vector<std::pair<int, std::string>> records;  // line number, record
  LineReader reader(input);
  int number = 0;
  std::string record;
  std::string record0;
  bool opened = false;
  for (std::string line; reader.ReadLine(line);) {
    ++number;
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (length == 0) {  // no dictionary: the open file tells the length
      Open(options, record0);
      opened = true;
      int keyLength = 0;
      DbKeyInfo(kHandle, 0, keyLength, length);
    }
    std::string error;
    if (options.fields) {
      if (!RecordFromJson(*layout, line, record, error)) {
        return Fail("line " + std::to_string(number) + ": " + error + "; nothing loaded");
      }
    } else if (!FromHex(line, record) || record.size() != static_cast<size_t>(length)) {
      return Fail("line " + std::to_string(number) + ": not " + std::to_string(2 * length) +
                  " hex digits; nothing loaded");
    }
    records.emplace_back(number, record);
  }

  if (!opened) Open(options, record0);
  int keyLength = 0, openLength = 0;
  DbKeyInfo(kHandle, 0, keyLength, openLength);
  if (length != 0 && openLength != length) {
    return Fail(options.path + " has " + std::to_string(openLength) + "-byte records, not " +
                std::to_string(length) + "; nothing loaded");
  }
  int status = DbTransaction(kHandle, 'B');
  if (status != 0) return Fail("cannot begin a transaction (" + std::to_string(status) + ")");
  for (const auto& [line, bytes] : records) {
    record0 = bytes;
    DbInsert(kHandle, status);
    if (status != 0) {
      (void)DbTransaction(kHandle, 'A');
      return Fail("line " + std::to_string(line) + ": insert refused (" +
                  std::to_string(status) + (status == 5 ? ", duplicate key" : "") +
                  "); nothing loaded");
    }
  }
  status = DbTransaction(kHandle, 'E');
  if (status != 0) {
    return Fail("cannot end the transaction (" + std::to_string(status) + "); nothing loaded");
  }
  std::cout << "loaded " << records.size() << " records into " << options.path << "\n";
  return 0;
}

int Check(const Options& options) {
  std::string full, base;
  SplitPath(options.path, full, base);
  if (std::string why = CannotOpen(options, full); !why.empty()) return Fail(why);
  std::string record;
  Open(options, record);
  const DbSlotState& slot = OpenSlot();
  int keys = Word(slot.statistics, 4);
  long stated = Word(slot.statistics, 6) | static_cast<long>(Word(slot.statistics, 8)) << 16;
  std::vector<int32_t> first;
  std::vector<std::string> damaged;  // what the engine said of each damaged record, once
  bool sound = true;
  std::string report = options.path + ": " + std::to_string(stated) + " records";
  for (int k = 0; k < keys; ++k) {
    std::vector<int32_t> positions;
    std::string previous;
    int status = 0;
    bool ordered = true;
    // A damaged record is counted where the key reaches it, named with its position, and
    // passed over.
    for (DbGet(kHandle, k, "", 1, status); status == 0 || status == kDbDamagedRecord;
         DbSkip(kHandle, 1, status)) {
      positions.push_back(DbPosition(kHandle, 0));
      if (status == kDbDamagedRecord) {
        if (std::find(damaged.begin(), damaged.end(), EngineLastError()) == damaged.end())
          damaged.push_back(EngineLastError());
        continue;
      }
      std::string collated = DbCollateKey(kHandle);
      if (positions.size() > 1 && collated < previous) ordered = false;
      previous = collated;
    }
    report += "; key " + std::to_string(k) + ": " + std::to_string(positions.size());
    if (status != kStatusEndOfFile) {
      report += " (read failed, " + std::to_string(status) + ")";
      sound = false;
    }
    if (!ordered) {
      report += " (out of order)";
      sound = false;
    }
    std::sort(positions.begin(), positions.end());
    if (k == 0) first = positions;
    if (static_cast<long>(positions.size()) != stated || positions != first) {
      report += " (misses records)";
      sound = false;
    }
  }
  for (const std::string& what : damaged) report += "; " + what;
  std::cout << report << "\n";
  return sound && damaged.empty() ? 0 : 1;
}

// A connection string names a database server; anything else is a local folder.
bool IsConnectionString(const std::string& place) {
  return place.rfind("postgresql://", 0) == 0 || place.rfind("postgres://", 0) == 0 ||
         place.find('=') != std::string::npos;
}

// One end of a copy: a local folder, or a server's folder under a local stand-in name.
class CopyEnd {
 public:
  explicit CopyEnd(const std::string& place) {
    if (!IsConnectionString(place)) {
      folder_ = place;
      shown_ = place;
      return;
    }
    standIn_ = std::make_unique<TempFolder>("zepdata");
    if (standIn_->path().empty()) return;
    folder_ = standIn_->path();
    (void)EngineUseServer(folder_, place, "dades");
    shown_ = ServerNameForMessages(place);  // never the password
  }

  const std::string& folder() const { return folder_; }
  const std::string& shown() const { return shown_; }

 private:
  std::string folder_, shown_;
  std::unique_ptr<TempFolder> standIn_;
};

int RunCopy(const std::vector<std::string>& args) {
  bool replace = false;
  std::vector<std::string> places;
  for (const std::string& a : args) {
    if (a == "--replace")
      replace = true;
    else if (IsOption(a))
      return BadUsage("zepdata", "unknown option " + a);
    else
      places.push_back(a);
  }
  if (places.size() != 2) return BadUsage("zepdata", "copy needs FROM and TO");
  std::error_code ec;
  if (!IsConnectionString(places[1])) std::filesystem::create_directories(places[1], ec);
  CopyEnd from(places[0]), to(places[1]);
  int64_t records = 0;
  std::string why;
  const EngineStatus st = EngineCopyFolder(from.folder(), to.folder(), replace, records, why);
  char scratch[4] = {};
  uint32_t length = 0;
  uint8_t positionBlock[kPosBlockSize] = {};
  (void)BTRCALL(28, positionBlock, scratch, &length, scratch, 0, 0);  // closes the connections
  if (st != EngineStatus::Ok)
    return Fail("copy to " + to.shown() + " failed (" + std::to_string(static_cast<int>(st)) +
                "): " + why);
  std::cout << "zepdata: copied " << records << " records from " << from.shown() << " to "
            << to.shown() << "\n";
  return 0;
}

}  // namespace
}  // namespace palvorin

int main(int argc, char** argv) {
  using namespace palvorin;
  if (argc > 1 && std::string(argv[1]) == "init") return RunInit({argv + 2, argv + argc});
  if (argc > 1 && std::string(argv[1]) == "copy") return RunCopy({argv + 2, argv + argc});
  Options options;
  if (const int code = ParseOptions(argc, argv, options); code >= 0) return code;
  UseInstallation(InstallationOfProgram());
  SessionSetUp();
  // The installation's DADES where Kora.ini keeps it.
  if (!SessionState().dataServer.empty())
    (void)EngineUseServer(SessionState().rootDir + "DADES", SessionState().dataServer, "dades");
  DataFiles().dictionaryFolder = options.ddf.empty() ? "" : CompleteFolder(options.ddf);
  DataFiles().logPath.clear();
  DbEnvironment& env = DataFiles().env;
  env.showMessage = [](int, const std::string& text) {
    std::cerr << "zepdata: " << EscapeControls(Utf8FromCp850(text)) << "\n";
  };
  env.closeMessage = [] {};
  env.beep = [] {};
  env.discardKeys = [] {};
  env.waitKey = [] {};
  env.exit = [](int code) { std::exit(code); };

  int result = 1;
  if (options.command == "create") result = Create(options);
  if (options.command == "dump") result = Dump(options);
  if (options.command == "load") result = Load(options);
  if (options.command == "check") result = Check(options);
  int status = 0;
  DbReset(status);
  return result;
}
