// The demo installation: every data file with its records, the data consistent with itself and
// carrying the cases the receipt run must meet, the session files, the same data on every run,
// and the help files in their fixed-line form.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "datafile/datafile.h"
#include "datafile/dictionary.h"
#include "demodata.h"
#include "engine/engine.h"
#include "receipts/layouts.h"
#include "session/session.h"
#include "support/installation.h"
#include "support/temp_dir.h"

namespace palvorin::mkdemo {
namespace {

using palvorin::testing::TempDir;

using palvorin::testing::kModuleDataFiles;
using palvorin::testing::ModuleDataFile;

using Records = std::vector<std::string>;

class MkdemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDataFilesForTest();
    ResetEngineForTest();
    ResetSessionForTest();
    std::string error;
    ASSERT_TRUE(palvorin::testing::WriteModuleDictionaries(dir_, error)) << error;
    dir_.MakeDir("tmp");
    DataFiles().logPath.clear();
    palvorin::testing::SilenceDataFiles();
    DataFiles().env.exit = [](int) {};
    options_.root = dir_.folder();
    options_.tmp = dir_.folder() + "tmp/";
  }
  void TearDown() override {
    Close();
    ResetEngineForTest();
    ResetDataFilesForTest();
  }

  bool Make(std::string& message) { return MakeDemo(options_, counts_, message); }

  void Open() {
    for (const ModuleDataFile& f : kModuleDataFiles) {
      int status = 0;
      DbOpen(f.handle, dir_.folder() + "DADES/" + f.base, areas_[f.handle], status);
      ASSERT_EQ(status, 0) << f.base;
    }
    open_ = true;
  }
  void Close() {
    if (!open_) return;
    int status = 0;
    DbReset(status);
    open_ = false;
  }

  // Every record of a file in the order of key `key`.
  Records All(int handle, int key = 0) {
    Records out;
    int status = 0;
    for (DbGet(handle, key, "", 1, status); status == 0; DbSkip(handle, 1, status)) {
      out.push_back(areas_[handle]);
    }
    return out;
  }
  bool Exists(int handle, const std::string& key) { return DbGetStatus(handle, 0, key, 0) == 0; }

  std::map<std::string, Records> Snapshot() {
    std::map<std::string, Records> s;
    for (const ModuleDataFile& f : kModuleDataFiles) s[f.base] = All(f.handle);
    return s;
  }

  TempDir dir_;
  DemoOptions options_;
  RecordCounts counts_;
  std::map<int, std::string> areas_;
  bool open_ = false;
};

// Whether a Spanish IBAN's check digits hold.
bool IbanValid(const std::string& iban) {
  if (iban.size() != 24 || iban.compare(0, 2, "ES") != 0) return false;
  int rest = 0;
  for (char c : iban.substr(4) + "1428" + iban.substr(2, 2)) {
    if (c < '0' || c > '9') return false;
    rest = (rest * 10 + (c - '0')) % 97;
  }
  return rest == 1;
}

std::string Trimmed(const std::string& s) {
  size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? "" : s.substr(0, end + 1);
}

TEST_F(MkdemoTest, EveryFileHoldsItsRecordsOnEveryKey) {
  std::string message;
  ASSERT_TRUE(Make(message)) << message;
  const RecordCounts want = {{"HFinca", 4},   {"HProBase", 41}, {"HProEcon", 41},
                             {"HProBanc", 41}, {"HRebuts", 186}, {"HConcept", 12},
                             {"HCapRebu", 0}, {"HLinRebu", 0},  {"HNOTIFIC", 7},
                             {"HTransfe", 0}, {"HCobros", 41},  {"Remeses", 5},
                             {"HPeriodi", 9}};
  EXPECT_EQ(counts_, want);
  Open();
  for (const ModuleDataFile& f : kModuleDataFiles) {
    const Records byKey0 = All(f.handle);
    EXPECT_EQ(static_cast<int>(byKey0.size()), want.at(f.base)) << f.base;
    for (int key = 1; key < 3; ++key) {
      int keyLength = 0, recordLength = 0;
      DbKeyInfo(f.handle, key, keyLength, recordLength);
      if (keyLength == 0) continue;
      Records other = All(f.handle, key);
      std::sort(other.begin(), other.end());
      Records sorted = byKey0;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(other, sorted) << f.base << " key " << key;
    }
  }
}

TEST_F(MkdemoTest, RecordsReferToOneAnother) {
  std::string message;
  ASSERT_TRUE(Make(message)) << message;
  Open();
  std::set<char> conceptTypes;
  for (const std::string& c : All(hconcept::kHandle)) conceptTypes.insert(c[hconcept::kType]);
  EXPECT_EQ(conceptTypes, (std::set<char>{'D', 'F', 'M', 'N', 'P', 'R', 'S'}));
  EXPECT_TRUE(Exists(hconcept::kHandle, GetText(DefaultParamBlock(), hparam::kFeeConcept, 3)));
  std::set<char> kinds;
  for (const std::string& p : All(hperiodi::kHandle)) kinds.insert(p[hperiodi::kKind]);
  EXPECT_EQ(kinds, (std::set<char>{'F', 'I', 'N'}));

  int blocked = 0, missingAccounts = 0, unknownRemittances = 0, debts = 0;
  for (const std::string& owner : All(hprobase::kHandle)) {
    const std::string code = GetText(owner, hprobase::kCode, 4);
    EXPECT_TRUE(Exists(hfinca::kHandle, code.substr(0, 2)));
    EXPECT_TRUE(Exists(hproecon::kHandle, code));
    if (GetDword(areas_[hproecon::kHandle], hproecon::kBalance) < 0) ++debts;
    ASSERT_TRUE(Exists(hprobanc::kHandle, code));
    const std::string bank = areas_[hprobanc::kHandle];
    if (GetWord(owner, hprobase::kBlocked) != 0) ++blocked;
    const std::string name = Trimmed(GetText(owner, hprobase::kOwnerName, 40));
    EXPECT_TRUE(name.find('*') != std::string::npos || name.find(", S.") != std::string::npos)
        << name;
    if (!Exists(remeses::kHandle, GetText(bank, hprobanc::kRemittance, 2))) {
      ++unknownRemittances;
      continue;
    }
    const std::string account = Trimmed(GetText(bank, hprobanc::kAccount, 34));
    if (GetText(areas_[remeses::kHandle], remeses::kNeedsAccount, 1) == "S") {
      if (account.empty()) {
        ++missingAccounts;
      } else {
        EXPECT_TRUE(IbanValid(account)) << account;
      }
    }
  }
  EXPECT_EQ(blocked, 1);
  EXPECT_EQ(missingAccounts, 1);
  EXPECT_EQ(unknownRemittances, 1);
  EXPECT_GE(debts, 2);

  for (const std::string& charge : All(hrebuts::kHandle)) {
    EXPECT_TRUE(Exists(hprobase::kHandle, GetText(charge, hrebuts::kCode, 4)));
    EXPECT_TRUE(Exists(hconcept::kHandle, GetText(charge, hrebuts::kConcept, 3)));
    EXPECT_TRUE(Exists(hperiodi::kHandle, GetText(charge, hrebuts::kPeriodicity, 4)));
  }
  int dueLater = 0;
  for (const std::string& oneOff : All(hnotific::kHandle)) {
    EXPECT_TRUE(Exists(hprobase::kHandle, GetText(oneOff, hnotific::kCode, 4)));
    EXPECT_TRUE(Exists(hconcept::kHandle, GetText(oneOff, hnotific::kConcept, 3)));
    EXPECT_TRUE(Exists(hperiodi::kHandle, GetText(oneOff, hnotific::kPeriodicity, 4)));
    // The work date 2025-03-01 packed is 20 25 03 01 plus 128 each.
    if (GetText(oneOff, hnotific::kDate, 4) > "\x94\x99\x83\x81") ++dueLater;
  }
  EXPECT_EQ(dueLater, 1);
  for (const std::string& collection : All(hcobros::kHandle)) {
    EXPECT_TRUE(Exists(hprobase::kHandle, GetText(collection, hcobros::kCode, 4)));
  }
}

TEST_F(MkdemoTest, WritesTheSessionAndConfigurationFiles) {
  std::string message;
  ASSERT_TRUE(Make(message)) << message;
  const std::string root = dir_.folder();
  const std::string tmp = root + "tmp/";
  struct Case {
    std::string file, section, key, want;
  };
  const Case cases[] = {
      {tmp + "KoraTerm.ini", "Sistema", "Data", kDemoWorkDate},
      {tmp + "KoraTerm.ini", "Sistema", "Sortida", "PANTALLA"},
      {tmp + "KoraTerm.ini", "Sistema", "Idioma", "CAT"},
      {tmp + "KoraTerm.ini", "Pantalla", "Seleccio", "1"},
      {tmp + "Sessio.ini", "Menu", "NomMenu", "PALVORIN"},
      {tmp + "Sessio.ini", "Terminal", "Dir", dir_.path() + "/tmp/"},
      {root + "Kora.ini", "Usuari", "DecCaracter", ","},
      {root + "Kora.ini", "Usuari", "MilCaracter", "."},
      {root + "Kora.ini", "Usuari", "DatOrdre", "DMA"},
      {root + "Kora.ini", "Usuari", "Idioma", "CAT"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadIniValue(c.file, c.section, c.key), c.want) << c.file << " " << c.key;
  }
  EXPECT_EQ(ReadIniValue(tmp + "KoraTerm.ini", "Pantalla", "Col1").size(), 20u);
  const std::string company = ReadIniValue(root + "Kora.ini", "Empresa", "Nom");
  EXPECT_FALSE(company.empty());
  EXPECT_LE(company.size(), 35u);
  EXPECT_FALSE(ReadIniValue(tmp + "Sessio.ini", "Menu", "Titol").empty());
  EXPECT_EQ(dir_.Read("DADES/HParam.tab"), DefaultParamBlock());
}

TEST_F(MkdemoTest, SameDataEveryRunAndExistingDataKeptUnlessReplaced) {
  std::string message;
  ASSERT_TRUE(Make(message)) << message;
  Open();
  const auto first = Snapshot();
  Close();

  EXPECT_FALSE(Make(message));
  EXPECT_NE(message.find("already holds data"), std::string::npos) << message;
  Open();
  EXPECT_EQ(Snapshot(), first);
  Close();

  options_.replace = true;
  ASSERT_TRUE(Make(message)) << message;
  Open();
  EXPECT_EQ(Snapshot(), first);
}

TEST_F(MkdemoTest, MissingFoldersAreReportedAndNothingIsWritten) {
  std::filesystem::remove_all(dir_ / "ddf");
  std::string message;
  EXPECT_FALSE(Make(message));
  EXPECT_NE(message.find("ddf"), std::string::npos) << message;
  EXPECT_FALSE(dir_.Exists("DADES"));
  EXPECT_FALSE(dir_.Exists("Kora.ini"));

  options_.tmp = dir_.folder() + "no-such-folder/";
  EXPECT_FALSE(Make(message));
  EXPECT_FALSE(dir_.Exists("DADES"));
}

// Help files are lines of 80 bytes without line ends; at most 76 characters of a line show,
// the colour toggles (16 reverse, 30 highlight, 31 underline) take no room and come in pairs.
TEST(HelpFiles, FixedLinesThatFitThePager) {
  const std::filesystem::path folder = std::filesystem::path(PALVORIN_SOURCE_DIR) / "install/AJUDA";
  for (const char* topic : {"PALVORIN.HLP", "QOLVENAR.HLP", "SPA/PALVORIN.HLP", "SPA/QOLVENAR.HLP"}) {
    std::ifstream in(folder / topic, std::ios::binary);
    ASSERT_TRUE(in) << topic;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty()) << topic;
    EXPECT_EQ(bytes.size() % 80, 0u) << topic;
    for (size_t at = 0; at < bytes.size(); at += 80) {
      const std::string line = bytes.substr(at, 80);
      const int number = static_cast<int>(at / 80) + 1;
      int shown = 0;  // characters up to the last one that is not blank
      int width = 0;  // characters so far, toggles left out
      std::map<int, int> toggles;
      for (char c : line) {
        const int b = static_cast<unsigned char>(c);
        if (b == 16 || b == 30 || b == 31) {
          ++toggles[b];
          continue;
        }
        EXPECT_GE(b, 32) << topic << " line " << number;
        ++width;
        if (c != ' ') shown = width;
      }
      EXPECT_LE(shown, 76) << topic << " line " << number;
      for (const auto& [toggle, n] : toggles) {
        EXPECT_EQ(n % 2, 0) << topic << " line " << number << " toggle " << toggle;
      }
    }
  }
}

}  // namespace
}  // namespace palvorin::mkdemo
