// A temporary installation of the receipt module for tests: dictionaries generated from the
// module's dictionary source, an empty DADES folder, a temporary folder, the session pointing
// at them and the record-file layer kept from waiting, drawing or ending the process. Records
// are put in through the record-file layer with builders that speak the domain, and every data
// file can be read back whole for comparison.
#ifndef PALVORIN_TESTS_SUPPORT_RECEIPTS_DATA_H_
#define PALVORIN_TESTS_SUPPORT_RECEIPTS_DATA_H_

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "datafile/datafile.h"
#include "datafile/dictionary.h"
#include "engine/engine.h"
#include "print/spool.h"
#include "receipts/files.h"
#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "receipts/run_params.h"
#include "session/session.h"
#include "support/installation.h"
#include "support/store_choice.h"
#include "support/temp_dir.h"
#include "textlib/dates.h"
#include "textlib/numbers.h"

namespace palvorin::testing {

// `value` as `width` bytes of packed digits.
inline std::string Packed(long value, int width) {
  std::string bytes(width, '\x80');
  for (int i = width - 1; i >= 0; --i, value /= 100) {
    bytes[i] = static_cast<char>(128 + value % 100);
  }
  return bytes;
}
inline std::string Building(int building) { return Packed(building, 2); }
inline std::string CoOwner(int building, int owner) {
  return Packed(building, 2) + Packed(owner, 2);
}
inline std::string Date(int year, int month, int day) {
  return Packed(year, 2) + Packed(month, 1) + Packed(day, 1);
}
// Issue number yymm.
inline std::string Issue(int year, int month) { return Packed(year % 100, 1) + Packed(month, 1); }

// Every record of a data file, in the order of its key 0.
using Records = std::vector<std::string>;
using Snapshot = std::map<std::string, Records>;

class ReceiptsData {
 public:
  ReceiptsData() {
    ResetDataFilesForTest();
    ResetEngineForTest();
    ResetSessionForTest();
    ResetReceiptFilesForTest();
    ResetReceiptRunForTest();
    ResetPrintForTest();
    ResetNumbersForTest();
    ResetCurrencyForTest();
    ResetDatesForTest();
    const std::string root = dir_.folder();
    dir_.MakeDir("DADES");
    dir_.MakeDir("tmp");
    dir_.MakeDir("ddf");
    std::string error;
    if (!WriteModuleDictionaries(dir_, error)) dictionaryError_ = error;
    Session& s = SessionState();
    s.rootDir = root;
    s.tempDir = root + "tmp/";
    s.exeDir = root + "exe/";
    s.destination = "PANTALLA";
    s.languageCode = "CAT";
    s.installationName = "ADMINISTRACIO PROVA";
    s.workDate = Date(2025, 3, 15);
    UseQuietEnvironment();
    SetCurrency("a,E");
    OpenReceiptFiles();
  }
  // The layer's log in the installation, and no message, wait or exit that a test would see.
  void UseQuietEnvironment() {
    DataFiles().logPath = dir_.folder() + "db.log";
    SilenceDataFiles();
    DbEnvironment& env = DataFiles().env;
    env.random = [] { return 0.0; };
    env.exit = [this](int code) { exitCode_ = code; };
  }

  // Releases every file and forgets the engine's state, as the end of a program does.
  void CloseFiles() {
    int status = 0;
    DbReset(status);
    ResetEngineForTest();
    ResetDataFilesForTest();
    ResetReceiptFilesForTest();
  }
  // On a server run, moves DADES (files closed) into a database of its own, as an installation
  // keeps it, and names that in Kora.ini, so that the programs a test starts find it there.
  void KeepDataInOwnDatabase() {
    if (!OnServer()) return;
    static int made = 0;
    const std::string db = "inst_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
    const std::string server = std::getenv("PALVORIN_PG"), own = server + " dbname=" + db;
    PGconn* conn = PQconnectdb(server.c_str());
    PQclear(PQexec(conn, ("CREATE DATABASE " + db).c_str()));
    PQfinish(conn);
    TempDir standIn;
    int64_t records = 0;
    std::string why;
    ASSERT_TRUE(EngineUseServer(standIn.path(), own, "dades"));
    ASSERT_EQ(EngineCopyFolder(dir_ / "DADES", standIn.path(), false, records, why),
              EngineStatus::Ok) << why;
    ResetEngineForTest();
    ASSERT_TRUE(EngineUseServer(dir_ / "DADES", own, "dades"));
    dir_.Write("Kora.ini", "[Dades]\r\nServidor=" + own + "\r\n");
  }
  // Opens the files again, as the start of a program does.
  void ReopenFiles() {
    UseQuietEnvironment();
    OpenReceiptFiles();
  }

  ~ReceiptsData() {
    int status = 0;
    DbReset(status);
    ResetEngineForTest();
    ResetDataFilesForTest();
    ResetReceiptFilesForTest();
    ResetReceiptRunForTest();
    ResetPrintForTest();
  }
  ReceiptsData(const ReceiptsData&) = delete;
  ReceiptsData& operator=(const ReceiptsData&) = delete;

  const TempDir& dir() const { return dir_; }
  const std::string& dictionaryError() const { return dictionaryError_; }
  int exitCode() const { return exitCode_; }

  // ---- Builders ---------------------------------------------------------------------------

  int AddBuilding(int code, int balanceRule = 2, int referenceMonth = 1,
                  const std::string& receiptsFrom = Date(0, 0, 0), int blocked = 0,
                  const std::string& name = "GARCIA*Casa") {
    std::string r = BlankRecord(hfinca::kLength);
    PutText(r, hfinca::kCode, 2, Building(code));
    PutText(r, hfinca::kBuildingName, hfinca::kNameWidth, name);
    PutText(r, hfinca::kReceiptsFrom, 4, receiptsFrom);
    PutByte(r, hfinca::kReferenceMonth, referenceMonth);
    PutByte(r, hfinca::kBalanceRule, balanceRule);
    PutByte(r, hfinca::kBlocked, blocked);
    return Insert(hfinca::kHandle, r);
  }

  int AddCoOwner(int building, int owner, const std::string& name = "PUIG*Anna",
                 const std::string& department = "1r 1a", int blocked = 0,
                 const std::string& address = "C. Major 1",
                 const std::string& altAddress = "") {
    std::string r = BlankRecord(hprobase::kLength);
    PutText(r, hprobase::kCode, 4, CoOwner(building, owner));
    PutWord(r, hprobase::kBlocked, static_cast<int16_t>(blocked));
    PutText(r, hprobase::kDepartment, hprobase::kDepartmentWidth, department);
    PutText(r, hprobase::kOwnerName, hprobase::kTextWidth, name);
    PutText(r, hprobase::kAddress, hprobase::kTextWidth, address);
    PutText(r, hprobase::kAltAddress, hprobase::kTextWidth, altAddress);
    return Insert(hprobase::kHandle, r);
  }

  int AddBank(int building, int owner, int remittance = 100,
              const std::string& account = "ES7621000000000000000001",
              const std::string& bic = "CAIXESBBXXX", const std::string& address1 = "",
              const std::string& address2 = "") {
    std::string r = BlankRecord(hprobanc::kLength);
    PutText(r, hprobanc::kCode, 4, CoOwner(building, owner));
    PutText(r, hprobanc::kRemittance, 2, EncodeRemittance(remittance));
    PutText(r, hprobanc::kAccount, hprobanc::kAccountWidth, account);
    PutText(r, hprobanc::kBic, hprobanc::kBicWidth, bic);
    PutText(r, hprobanc::kAddress1, hprobanc::kAddressWidth, address1);
    PutText(r, hprobanc::kAddress2, hprobanc::kAddressWidth, address2);
    return Insert(hprobanc::kHandle, r);
  }

  int AddEconomic(int building, int owner, int32_t balance = 0, int32_t applied = 0) {
    std::string r = BlankRecord(hproecon::kLength);
    PutText(r, hproecon::kCode, 4, CoOwner(building, owner));
    PutDword(r, hproecon::kBalance, balance);
    PutDword(r, hproecon::kApplied, applied);
    return Insert(hproecon::kHandle, r);
  }

  // A co-owner with its collection and economic data.
  void AddFullCoOwner(int building, int owner, int remittance = 100, int32_t balance = 0,
                      int32_t applied = 0) {
    AddCoOwner(building, owner);
    AddBank(building, owner, remittance);
    AddEconomic(building, owner, balance, applied);
  }

  int AddConcept(const std::string& code, char type, const std::string& description = "") {
    std::string r = BlankRecord(hconcept::kLength);
    PutText(r, hconcept::kCode, 3, code);
    PutText(r, hconcept::kDescription, hconcept::kDescriptionWidth,
            description.empty() ? code : description);
    PutText(r, hconcept::kType, 1, std::string(1, type));
    return Insert(hconcept::kHandle, r);
  }

  struct Remittance {
    int number = 100;
    bool needsAccount = false;
    bool lookForPending = false;
    int rate = 0;
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t fixed = 0;
    std::string channel = "TR";
  };
  int AddRemittance(const Remittance& m) {
    std::string r = BlankRecord(remeses::kLength);
    PutText(r, remeses::kCode, 2, EncodeRemittance(m.number));
    PutText(r, remeses::kDescription, remeses::kDescriptionWidth, "REMESA");
    PutText(r, remeses::kLookForPending, 1, m.lookForPending ? "S" : "N");
    PutText(r, remeses::kNeedsAccount, 1, m.needsAccount ? "S" : "N");
    PutText(r, remeses::kTransferChannel, 2, m.channel);
    PutWord(r, remeses::kFeeRate, static_cast<int16_t>(m.rate));
    PutDword(r, remeses::kFeeMinimum, m.minimum);
    PutDword(r, remeses::kFeeMaximum, m.maximum);
    PutDword(r, remeses::kFeeFixed, m.fixed);
    return Insert(remeses::kHandle, r);
  }

  // The installation most receipt runs start from: a concept of each type the run tells
  // apart (charge, rent, balance, one-off and collection), a monthly periodicity "01",
  // `remittance` and building 12.
  void AddBasicInstallation(const Remittance& remittance) {
    AddConcept("ADM", 'D');
    AddConcept("AIG", 'R');
    AddConcept("SAL", 'S');
    AddConcept("DER", 'P');
    AddConcept("COB", 'N');
    AddPeriodicity("01", 'N', 1);
    AddRemittance(remittance);
    AddBuilding(12);
  }
  void AddBasicInstallation() { AddBasicInstallation(Remittance{}); }

  int AddPeriodicity(const std::string& code, char kind, int interval, int exclusion = 0,
                     const std::array<int, 12>& months = {}) {
    std::string r = BlankRecord(hperiodi::kLength);
    PutText(r, hperiodi::kCode, 4, code);
    PutText(r, hperiodi::kKind, 1, std::string(1, kind));
    PutWord(r, hperiodi::kInterval, static_cast<int16_t>(interval));
    PutWord(r, hperiodi::kExclusion, static_cast<int16_t>(exclusion));
    for (int m = 0; m < 12; ++m) {
      PutWord(r, hperiodi::kMonths + 2 * m, static_cast<int16_t>(months[m]));
    }
    return Insert(hperiodi::kHandle, r);
  }

  int AddStanding(int building, int owner, int sequence, const std::string& conceptCode,
                  int32_t amount, int remaining = 0, const std::string& periodicity = "01",
                  const std::string& chargeClass = "N") {
    std::string r = BlankRecord(hrebuts::kLength);
    PutText(r, hrebuts::kCode, 4, CoOwner(building, owner));
    PutText(r, hrebuts::kSequence, 2, Packed(sequence, 2));
    PutText(r, hrebuts::kConcept, 3, conceptCode);
    PutText(r, hrebuts::kClass, 1, chargeClass);
    PutWord(r, hrebuts::kRemaining, static_cast<int16_t>(remaining));
    PutDword(r, hrebuts::kAmount, amount);
    PutText(r, hrebuts::kPeriodicity, 4, periodicity);
    return Insert(hrebuts::kHandle, r);
  }

  int AddOneOff(int building, int owner, const std::string& date,
                const std::string& conceptCode, int32_t amount, int remaining = 1,
                const std::string& periodicity = "01", const std::string& chargeClass = "N") {
    std::string r = BlankRecord(hnotific::kLength);
    PutText(r, hnotific::kDate, 4, date);
    PutText(r, hnotific::kCode, 4, CoOwner(building, owner));
    PutByte(r, hnotific::kZero, 0x80);
    PutText(r, hnotific::kConcept, 3, conceptCode);
    PutDword(r, hnotific::kAmount, amount);
    PutText(r, hnotific::kClass, 1, chargeClass);
    PutWord(r, hnotific::kRemaining, static_cast<int16_t>(remaining));
    PutText(r, hnotific::kDone, 1, "N");
    PutText(r, hnotific::kPeriodicity, 4, periodicity);
    return Insert(hnotific::kHandle, r);
  }

  int AddCollection(int building, int owner, const std::string& issue, const std::string& date,
                    const std::string& state = "P") {
    std::string r = BlankRecord(hcobros::kLength);
    PutText(r, hcobros::kCode, 4, CoOwner(building, owner));
    PutText(r, hcobros::kIssue, 2, issue);
    PutText(r, hcobros::kDate, 4, date);
    PutText(r, hcobros::kState, 1, state);
    return Insert(hcobros::kHandle, r);
  }

  // Inserts `record` through `handle`; the status.
  int Insert(int handle, const std::string& record) {
    RecordArea(handle) = record;
    int status = 0;
    DbInsert(handle, status);
    return status;
  }

  // ---- Reading back -----------------------------------------------------------------------

  Records All(int handle) {
    Records out;
    const std::string& area = RecordArea(handle);
    int status = 0;
    DbGet(handle, 0, "", 1, status);
    while (status == 0) {
      out.push_back(area);
      DbSkip(handle, 1, status);
    }
    return out;
  }

  // Every data file of DADES, record by record.
  Snapshot DataSnapshot() {
    Snapshot s;
    for (const ModuleDataFile& f : kModuleDataFiles) s[f.base] = All(f.handle);
    return s;
  }

  // The spool's records, without their CR LF.
  std::vector<std::string> SpoolLines() const {
    std::string all = dir_.Read("tmp/zodirudi.tmp");
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < all.size()) {
      size_t end = all.find("\r\n", at);
      if (end == std::string::npos) end = all.size();
      lines.push_back(all.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

 private:
  TempDir dir_;
  std::string dictionaryError_;
  int exitCode_ = -1;
};

// Run parameters for issue `year`/`month` dated the 15th, every co-owner, remittance and type.
inline RunParams Params(char mode, int year = 2025, int month = 3) {
  RunParams p;
  p.mode = mode;
  p.issueDate = Date(year, month, 15);
  p.issueNumber = Issue(year, month);
  p.fromCoOwner = CoOwner(0, 0);
  p.toCoOwner = CoOwner(9999, 9999);
  p.fromRemittance = EncodeRemittance(0);
  p.toRemittance = EncodeRemittance(9999);
  p.buildingTotals = "G";
  p.summaryByConcept = true;
  p.pagePerBuilding = "G";
  return p;
}

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SUPPORT_RECEIPTS_DATA_H_
