// The real program in a real terminal: the palvorin binary runs inside a private tmux server
// against a demo installation written by mkdemo, and is worked through its keys as an operator
// would. The data files (dumped by zepdata) and the listing the print program wrote are then
// compared with what they must hold. The listing goes to a text file, so no pager waits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace palvorin::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kInst = std::string(PALVORIN_BINARY_DIR) + "/inst/";
const std::string kExe = kInst + "exe/";

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command and returns what it wrote on standard output.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// Hundredths from an amount as the listing prints it ("1.426,50", "208,02-").
long ListingHundredths(std::string text) {
  const bool negative = !text.empty() && text.back() == '-';
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  const long value = digits.empty() ? 0 : std::stol(digits);
  return negative ? -value : value;
}

// Every receipt of an advance listing: co-owner code to its total in hundredths. A receipt is
// the co-owner's header line (its code opens the line) and, after its charges, "=" and the
// total at the end of a line.
std::map<std::string, long> ListedReceipts(const std::string& listing) {
  static const std::regex header(R"(^(\d+\.\d+) {2,})");
  static const std::regex total(R"(= +([0-9.,]+-?) *\r?$)");
  std::map<std::string, long> receipts;
  std::string code;
  std::istringstream lines(listing);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, m, header)) code = m[1];
    if (std::regex_search(line, m, total) && !code.empty()) {
      receipts[code] = ListingHundredths(m[1]);
      code.clear();
    }
  }
  return receipts;
}

// Every receipt header of a named-field dump: co-owner code to its total in hundredths.
std::map<std::string, long> StoredReceipts(const std::string& dump) {
  static const std::regex record(R"re("code":"([^"]+)".*"total":(-?[0-9]+)(?:\.([0-9]+))?)re");
  std::map<std::string, long> receipts;
  std::istringstream lines(dump);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (!std::regex_search(line, m, record)) continue;
    std::string cents = m[3].str();
    cents.resize(2, '0');
    const long whole = std::stol(m[2].str());
    const long hundredths = std::labs(whole) * 100 + std::stol(cents);
    receipts[m[1]] = m[2].str()[0] == '-' ? -hundredths : hundredths;
  }
  return receipts;
}

const char* const kDataFiles[] = {"HFinca",  "HProBase", "HProEcon", "HProBanc", "HRebuts",
                                  "HConcept", "HCapRebu", "HLinRebu", "HNOTIFIC", "HTransfe",
                                  "HCobros",  "Remeses",  "HPeriodi"};

// A demo installation in a temporary folder: the build's installation data and mkdemo's data.
class DemoInstallation {
 public:
  DemoInstallation() {
    for (const char* folder : {"FORMS", "LOCALE", "AJUDA", "ddf"}) {
      if (fs::exists(kInst + folder)) {
        fs::copy(kInst + folder, dir_ / folder, fs::copy_options::recursive);
      }
    }
    dir_.MakeDir("tmp");
    ok_ = std::system((Quote(kExe + "mkdemo") + " " + Quote(root()) + " " + Quote(tmp()) +
                       " >/dev/null 2>&1")
                          .c_str()) == 0;
    // The listing goes to a text file instead of the preview.
    SetTerminalKey("Sortida", root() + "out.txt");
  }
  bool ok() const { return ok_; }
  std::string root() const { return dir_.folder(); }
  std::string tmp() const { return dir_.folder() + "tmp/"; }
  std::string Listing() const { return dir_.Read("out.txt"); }
  std::string Spool() const { return dir_.Read("tmp/zodirudi.tmp"); }

  // Replaces the value of `key` in KoraTerm.ini.
  void SetTerminalKey(const std::string& key, const std::string& value) {
    std::string text = dir_.Read("tmp/KoraTerm.ini");
    const size_t at = text.find(key + "=");
    ASSERT_NE(at, std::string::npos) << key;
    const size_t end = text.find_first_of("\r\n", at);
    text.replace(at, end - at, key + "=" + value);
    dir_.Write("tmp/KoraTerm.ini", text);
  }

  // Every record of every data file, as zepdata dumps them.
  std::map<std::string, std::string> Dump() const {
    std::map<std::string, std::string> all;
    for (const char* file : kDataFiles) {
      all[file] = Output(Quote(kExe + "zepdata") + " --ddf " + Quote(root() + "ddf") + " dump " +
                         Quote(root() + "DADES/" + file));
    }
    return all;
  }
  // palvorin-batch on this installation; its exit code.
  int Batch(const std::string& args) const {
    return std::system(("ZEPROOT=" + Quote(root()) + " ZEPTMP=" + Quote(tmp()) + " ZEPEXE=" +
                        Quote(kExe) + " " + Quote(kExe + "palvorin-batch") + " " + args +
                        " >/dev/null 2>&1")
                           .c_str());
  }
  // One data file's records as named fields.
  std::string DumpFields(const std::string& file) const {
    return Output(Quote(kExe + "zepdata") + " --ddf " + Quote(root() + "ddf") +
                  " dump --fields " + Quote(root() + "DADES/" + file));
  }
  static size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }

 private:
  TempDir dir_;
  bool ok_ = false;
};

// The program running in its own tmux server, 80 by 25.
class Terminal {
 public:
  explicit Terminal(const DemoInstallation& inst) : inst_(inst) {
    static int counter = 0;
    socket_ = "palvorin-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    exitFile_ = inst.root() + "exit-code";
    const std::string program = "cd " + Quote(inst.root()) + " && ZEPROOT=" + Quote(inst.root()) +
                                " ZEPEXE=" + Quote(kExe) + " ZEPTMP=" + Quote(inst.tmp()) + " " +
                                Quote(kExe + "palvorin") + "; echo $? > " + Quote(exitFile_) +
                                "; sleep 5";
    Tmux("new-session -d -x 80 -y 25 " + Quote(program));
  }
  ~Terminal() { Tmux("kill-server"); }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  std::string Screen() const { return Output(Command("capture-pane -p")); }
  // The text of the message box on the screen, its lines joined by blanks.
  std::string Box() const {
    std::string text;
    std::istringstream rows(Screen());
    for (std::string row; std::getline(rows, row);) {
      const size_t left = row.find("│ ");
      const size_t right = row.rfind(" │");
      if (left == std::string::npos || right <= left) continue;
      std::string line = row.substr(left + 4, right - left - 4);
      line.erase(line.find_last_not_of(' ') + 1);
      text += (text.empty() ? "" : " ") + line;
    }
    return text;
  }

  // Waits (at most `seconds`) until `done` holds for the screen; a failure shows the screen.
  bool WaitUntil(const std::function<bool(const std::string&)>& done, const std::string& what,
                 int seconds = 20) const {
    const auto limit = Clock::now() + std::chrono::seconds(seconds);
    std::string screen;
    while (Clock::now() < limit) {
      screen = Screen();
      if (done(screen)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "waited in vain for " << what << "; the screen:\n" << screen;
    return false;
  }
  bool WaitFor(const std::string& text, int seconds = 20) const {
    return WaitUntil([&](const std::string& s) { return s.find(text) != std::string::npos; },
                     "\"" + text + "\"", seconds);
  }
  bool WaitGone(const std::string& text) const {
    return WaitUntil([&](const std::string& s) { return s.find(text) == std::string::npos; },
                     "\"" + text + "\" to go");
  }

  // tmux key names: "Enter", "Escape", "F1", "M-c" ...
  void Keys(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names) list += " " + n;
    Tmux("send-keys" + list);
  }
  void Repeat(const std::string& name, int times) { Keys(std::vector<std::string>(times, name)); }
  void Type(const std::string& text) { Tmux("send-keys -l " + Quote(text)); }
  // Esc waits a moment alone, so the terminal does not take it for the start of a sequence.
  void Escape() {
    Keys({"Escape"});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }

  // Presses Esc once a second until the program ends; its exit code (-1: it did not end).
  int EscapeUntilExit() {
    for (int i = 0; i < 30; ++i) {
      Escape();
      const auto limit = Clock::now() + std::chrono::seconds(1);
      while (Clock::now() < limit) {
        const std::string code = FileContent(exitFile_);
        if (!code.empty() && code.back() == '\n') return std::stoi(code);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    ADD_FAILURE() << "the program did not end; the screen:\n" << Screen();
    return -1;
  }

  // The program's exit code once it ended (-1 when it did not within the limit).
  int WaitExit(int seconds = 20) const {
    const auto limit = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < limit) {
      const std::string code = FileContent(exitFile_);
      if (!code.empty() && code.back() == '\n') return std::stoi(code);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the program did not end; the screen:\n" << Screen();
    return -1;
  }

  // Enter through the concept window, then "S" to the confirmation: the run starts.
  void ConfirmFromTheConceptWindow() {
    ASSERT_TRUE(WaitFor("CONCEPTES SELECCIONATS"));
    Repeat("Enter", 21);
    ASSERT_TRUE(WaitFor("Voleu començar el procés?"));
    Type("S");
    Keys({"Enter"});
  }

  // Types a whole selection through the form: the mode, Enter through screen 1 (the listing
  // options too in mode A), through the concept window, and "S" to the confirmation. For the
  // listing modes it returns once the listing is written and the selection is back.
  void RunSelection(const std::string& mode) {
    ASSERT_TRUE(WaitFor("Mode de treball"));
    Type(mode);
    Repeat("Enter", mode == "A" || mode == "a" ? 10 : 7);
    ConfirmFromTheConceptWindow();
    if (::testing::Test::HasFatalFailure() || mode == "P" || mode == "p") return;  // prints nothing; the program's end tells
    const auto limit = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < limit && !fs::exists(inst_.root() + "out.txt")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(inst_.root() + "out.txt")) << "no listing; the screen:\n" << Screen();
    // What the run did, and the listing's file, until a key is pressed.
    ASSERT_TRUE(WaitFor(" llistats: "));
    EXPECT_NE(Box().find("Llistat a " + inst_.root() + "out.txt"), std::string::npos) << Box();
    Keys({"Enter"});
    ASSERT_TRUE(WaitUntil(
        [](const std::string& s) {
          return s.find("Mode de treball") != std::string::npos &&
                 s.find("Voleu") == std::string::npos && s.find("PROCESSANT") == std::string::npos;
        },
        "the selection again"));
  }

 private:
  std::string Command(const std::string& args) const {
    return "tmux -L " + socket_ + " -f /dev/null " + args + " 2>/dev/null";
  }
  void Tmux(const std::string& args) const { (void)std::system(Command(args).c_str()); }

  const DemoInstallation& inst_;
  std::string socket_;
  std::string exitFile_;
};

class ProgramE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"palvorin", "ZODIRUDI", "mkdemo", "zepdata"}) {
      if (!fs::exists(kExe + program)) GTEST_SKIP() << "not built: " << kExe + program;
    }
    if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    ASSERT_TRUE(inst_.ok()) << "mkdemo failed";
  }
  DemoInstallation inst_;
};

TEST_F(ProgramE2eTest, VerifyRunListsTheIncidencesAndChangesNoDataFile) {
  const auto before = inst_.Dump();
  {
    Terminal t(inst_);
    t.RunSelection("V");
    t.Escape();
    EXPECT_EQ(t.WaitExit(), 0);
  }
  EXPECT_EQ(inst_.Dump(), before);
  EXPECT_EQ(inst_.Spool().rfind("DEVICE" + inst_.root() + "out.txt\r\n", 0), 0u);
  const std::string listing = inst_.Listing();
  EXPECT_NE(listing.find("INCIDÈNCIA"), std::string::npos) << listing;
  EXPECT_NE(listing.find("*** compte corrent"), std::string::npos) << listing;
}

TEST_F(ProgramE2eTest, AdvanceListingPrintsReceiptsAndStoresNothing) {
  const auto before = inst_.Dump();
  {
    Terminal t(inst_);
    t.RunSelection("a");
    t.Escape();
    EXPECT_EQ(t.WaitExit(), 0);
  }
  EXPECT_EQ(inst_.Dump(), before);
  const std::string listing = inst_.Listing();
  EXPECT_NE(listing.find("AVANÇ DE REBUTS D'HORITZONTAL DE L'EMISSIÓ"), std::string::npos)
      << listing;
  EXPECT_NE(listing.find("ROVIRA"), std::string::npos) << "co-owners are listed";
}

TEST_F(ProgramE2eTest, PreparingRunStoresReceiptHeadersAndLines) {
  const auto before = inst_.Dump();
  ASSERT_EQ(DemoInstallation::Lines(before.at("HCapRebu")), 0u);
  {
    Terminal t(inst_);
    t.RunSelection("P");
    // Nothing shows when the run is over: Esc until the selection takes it and the program
    // ends (an Esc during the run or the print program is not the selection's).
    EXPECT_EQ(t.EscapeUntilExit(), 0);
  }
  const auto after = inst_.Dump();
  const size_t headers = DemoInstallation::Lines(after.at("HCapRebu"));
  EXPECT_GT(headers, 20u) << "most of the 41 co-owners get a receipt";
  EXPECT_GE(DemoInstallation::Lines(after.at("HLinRebu")), headers);
  EXPECT_EQ(after.at("HFinca"), before.at("HFinca"));
  EXPECT_EQ(after.at("HConcept"), before.at("HConcept"));
  EXPECT_EQ(after.at("HCobros"), before.at("HCobros"));
}

TEST_F(ProgramE2eTest, PreparationStoresExactlyTheReceiptsTheAdvanceListingShowed) {
  {
    Terminal t(inst_);
    t.RunSelection("A");
    t.RunSelection("P");  // the selection comes back after a run, for the next one
    EXPECT_EQ(t.EscapeUntilExit(), 0);
  }
  const std::map<std::string, long> listed = ListedReceipts(inst_.Listing());
  ASSERT_GT(listed.size(), 20u) << inst_.Listing();
  EXPECT_EQ(StoredReceipts(inst_.DumpFields("HCapRebu")), listed);
}

TEST_F(ProgramE2eTest, SpanishOperatorSeesTheScreensInSpanish) {
  inst_.SetTerminalKey("Idioma", "SPA");
  Terminal t(inst_);
  ASSERT_TRUE(t.WaitFor("Modo de trabajo ............ :"));
  EXPECT_NE(t.Screen().find("Verificar"), std::string::npos);
  EXPECT_NE(t.Screen().find("Fecha de emisión"), std::string::npos);
  t.Repeat("Enter", 7);
  ASSERT_TRUE(t.WaitFor(" CONCEPTOS SELECCIONADOS "));
  EXPECT_NE(t.Screen().find("Todos los conceptos de tipo D"), std::string::npos);
  t.Escape();  // back to the selection's last field
  ASSERT_TRUE(t.WaitGone("CONCEPTOS SELECCIONADOS"));
  t.Escape();  // to the first field
  t.Escape();  // and out
  EXPECT_EQ(t.WaitExit(), 0);
}

TEST_F(ProgramE2eTest, HelpCalendarAndCalculatorOpenFromAField) {
  Terminal t(inst_);
  ASSERT_TRUE(t.WaitFor("Mode de treball"));
  t.Keys({"F1"});
  ASSERT_TRUE(t.WaitFor("AJUDA"));
  t.Escape();
  ASSERT_TRUE(t.WaitGone("AJUDA"));
  t.Keys({"M-c"});
  ASSERT_TRUE(t.WaitFor("DL DT DC DJ DV DS DG"));
  t.Escape();
  ASSERT_TRUE(t.WaitGone("DL DT DC DJ DV DS DG"));
  const std::string before = t.Screen();
  t.Keys({"M-x"});
  ASSERT_TRUE(t.WaitUntil([&](const std::string& s) { return s != before; }, "the calculator"));
  t.Escape();
  ASSERT_TRUE(t.WaitUntil([&](const std::string& s) { return s == before; }, "the form again"))
      << "before:\n" << before;
  t.Escape();  // out
  EXPECT_EQ(t.WaitExit(), 0);
}

TEST_F(ProgramE2eTest, PickListsChooseACoOwnerAndAConcept) {
  Terminal t(inst_);
  ASSERT_TRUE(t.WaitFor("Mode de treball"));
  t.Repeat("Enter", 3);
  t.Keys({"F4"});
  ASSERT_TRUE(t.WaitFor("Nom .... :"));
  t.Type("rovira");
  t.Repeat("Enter", 2);
  ASSERT_TRUE(t.WaitFor("ROVIRA I BADIA*Roser"));
  t.Keys({"Enter"});
  ASSERT_TRUE(t.WaitFor("Des del copropietari ....... : 1.2\n"));
  t.Repeat("Enter", 3);  // fields 5 to 7, then the concept window
  ASSERT_TRUE(t.WaitFor("CONCEPTES SELECCIONATS"));
  t.Repeat("Enter", 5);
  t.Keys({"F4"});
  ASSERT_TRUE(t.WaitFor("CONSUM D'AIGUA"));
  t.Keys({"Enter"});
  ASSERT_TRUE(t.WaitFor("Concepte 01: AIG  CONSUM D'AIGUA"));
  t.Escape();  // to the window's first field
  t.Escape();  // back to the selection
  ASSERT_TRUE(t.WaitGone("CONCEPTES SELECCIONATS"));
  t.Escape();
  t.Escape();
  EXPECT_EQ(t.WaitExit(), 0);
}

// Each value typed over the one the form proposed, without clearing it first: the run stores
// what the scripted run stores for the same selection, and its summary gives the number and
// the total of the receipts the data file then holds.
TEST_F(ProgramE2eTest, PreparationTypedOverTheProposedValuesStoresTheTypedSelection) {
  DemoInstallation scripted;
  ASSERT_TRUE(scripted.ok());
  ASSERT_EQ(scripted.Batch("--mode P --date 15/4/2025 --month 4 --from 2.1 --to 3.9999"), 0);
  std::string box;
  {
    Terminal t(inst_);
    ASSERT_TRUE(t.WaitFor("Mode de treball"));
    // Over "V", "1/3/2025", "4" (the new date's month), "1.1" and "9999.9999", each field
    // looked at before it is typed over, as an operator does.
    for (const char* typed : {"P", "15/4/2025", "4", "2.1", "3.9999"}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      t.Type(typed);
      t.Keys({"Enter"});
    }
    t.Repeat("Enter", 2);
    t.ConfirmFromTheConceptWindow();
    ASSERT_TRUE(t.WaitFor("Rebuts desats: ", 60));
    box = t.Box();
    EXPECT_EQ(t.EscapeUntilExit(), 0);
  }
  EXPECT_EQ(inst_.Dump(), scripted.Dump());
  const std::string headers = inst_.DumpFields("HCapRebu");
  const std::map<std::string, long> stored = StoredReceipts(headers);
  ASSERT_GT(stored.size(), 5u);
  long total = 0;
  for (const auto& [code, amount] : stored) {
    EXPECT_TRUE(code.starts_with("2.") || code.starts_with("3.")) << code;
    total += amount;
  }
  std::smatch m;
  ASSERT_TRUE(std::regex_search(box, m, std::regex(R"(Rebuts desats: (\d+), total ([0-9.,]+-?))")))
      << box;
  EXPECT_EQ(std::stoul(m[1]), stored.size());
  EXPECT_EQ(ListingHundredths(m[2]), total);
}

// A destination the print program cannot write to: the summary shows its message, naming the
// file under the installation root that the relative name stands for.
TEST_F(ProgramE2eTest, AListingThatCannotBeWrittenShowsThePrintProgramsMessage) {
  inst_.SetTerminalKey("Sortida", "nodir/o.txt");
  Terminal t(inst_);
  ASSERT_TRUE(t.WaitFor("Mode de treball"));
  t.Repeat("Enter", 7);
  t.ConfirmFromTheConceptWindow();
  ASSERT_TRUE(t.WaitFor("EL PROGRAMA D'IMPRESSIÓ HA FALLAT (codi 1)", 60));
  EXPECT_NE(t.Box().find("ZODIRUDI: no es pot escriure el llistat a " + inst_.root() + "nodir/o.txt"),
            std::string::npos)
      << t.Box();
  EXPECT_EQ(t.EscapeUntilExit(), 0);
}

}  // namespace
}  // namespace palvorin::testing
