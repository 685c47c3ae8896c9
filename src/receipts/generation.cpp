#include "receipts/generation.h"

#include <algorithm>

#include "datafile/datafile.h"
#include "os/codepage.h"
#include "receipts/advance.h"
#include "receipts/files.h"
#include "receipts/layouts.h"
#include "receipts/storage.h"
#include "session/language.h"
#include "session/session.h"
#include "textlib/numbers.h"
#include "textlib/text.h"

namespace palvorin {

namespace {

// Packed "0000": the co-owner number of a building, and the general summary group.
std::string PackedZero() { return std::string("\x80\x80", 2); }

int DigitsValue(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
  return value;
}

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

const int kLockedHandles[] = {hprobase::kHandle, hcaprebu::kHandle, hlinrebu::kHandle,
                              hrebuts::kHandle,  hnotific::kHandle, htransfe::kHandle};

void SetLockModes(std::string_view letters) {
  for (int handle : kLockedHandles) {
    int status = 0;
    DbLockMode(handle, letters, status);
  }
}

RunAreas FindAreas() {
  RunAreas a;
  a.finca = &RecordArea(hfinca::kHandle);
  a.probase = &RecordArea(hprobase::kHandle);
  a.proecon = &RecordArea(hproecon::kHandle);
  a.probanc = &RecordArea(hprobanc::kHandle);
  a.rebuts = &RecordArea(hrebuts::kHandle);
  a.caprebu = &RecordArea(hcaprebu::kHandle);
  a.linrebu = &RecordArea(hlinrebu::kHandle);
  a.resrebu = &RecordArea(hresrebu::kHandle);
  a.notific = &RecordArea(hnotific::kHandle);
  a.transfe = &RecordArea(htransfe::kHandle);
  a.cobros = &RecordArea(hcobros::kHandle);
  a.remeses = &RecordArea(remeses::kHandle);
  return a;
}

// A remittance with every field empty: blank texts and zero numbers.
std::string EmptyRemittance(const std::string& code) {
  std::string rec = BlankRecord(remeses::kLength);
  PutText(rec, remeses::kCode, 2, code);
  PutWord(rec, remeses::kFeeRate, 0);
  PutDword(rec, remeses::kFeeMinimum, 0);
  PutDword(rec, remeses::kFeeMaximum, 0);
  PutDword(rec, remeses::kFeeFixed, 0);
  return rec;
}

// Reads the co-owner's collection and economic data. A co-owner without them is processed
// with empty records: no remittance (so it falls outside every range) and no balance.
void ReadCoOwnerData(ReceiptRunState& run) {
  CoOwnerWork& co = run.co;
  int status = 0;
  DbGet(hprobanc::kHandle, 0, co.code, 0, status);
  if (status != 0) *run.areas.probanc = BlankRecord(hprobanc::kLength);
  DbGet(hproecon::kHandle, 0, co.code, 0, status);
  co.hasEconomicRecord = status == 0;
  if (!co.hasEconomicRecord) {
    std::string& econ = *run.areas.proecon;
    econ = BlankRecord(hproecon::kLength);
    PutText(econ, hproecon::kCode, 4, co.code);
    PutDword(econ, hproecon::kBalance, 0);
    PutDword(econ, hproecon::kApplied, 0);
  }
}

// The co-owner's remittance into the remittance area; false when it does not exist.
bool LoadRemittance(ReceiptRunState& run, const std::string& code) {
  static const std::string kRemittanceZero = EncodeRemittance(0);
  if (code == kRemittanceZero) {
    // Remittance 0 is never read: it is the remittance with nothing set, whoever came before.
    *run.areas.remeses = EmptyRemittance(code);
    run.rememberedRemittance = code;
    return true;
  }
  if (code == run.rememberedRemittance) return true;
  // Each remittance is read once a run: the co-owners of a building take turns at a few.
  if (auto known = run.remittances.find(code); known != run.remittances.end()) {
    *run.areas.remeses = known->second;
    run.rememberedRemittance = code;
    return true;
  }
  int status = 0;
  DbGet(remeses::kHandle, 0, code, 0, status);
  if (status != 0) {
    run.rememberedRemittance.clear();  // the area no longer holds a known remittance
    return false;
  }
  run.remittances.emplace(code, *run.areas.remeses);
  run.rememberedRemittance = code;
  return true;
}

// Processing of one charge (the current charge of the co-owner).
void ProcessCharge(ReceiptRunState& run) {
  CoOwnerWork& co = run.co;
  std::string conceptCode = GetText(co.charge, hrebuts::kConcept, 3);
  char type = ConceptType(conceptCode);
  int typeIndex = TypeIndex(type);
  if ((co.pass == 1) == (type == 'S')) return;
  if (!SelectedByConcept(conceptCode, typeIndex)) return;
  double amount = GetDword(co.charge, hrebuts::kAmount);
  if (type == 'S') {
    std::string& econ = *run.areas.proecon;
    BalanceCarry carry =
        CarryBalance(GetByte(*run.areas.finca, hfinca::kBalanceRule),
                     GetDword(econ, hproecon::kBalance), GetDword(econ, hproecon::kApplied),
                     amount, co.totals.pf);
    amount = StoredAmount(carry.amount);
    PutDword(co.charge, hrebuts::kAmount, static_cast<int32_t>(amount));
    PutDword(econ, hproecon::kApplied, StoredAmount(carry.applied));
  }
  if (amount == 0) return;
  if (run.params.mode == 'A') {
    PrintReceiptLine();
    AddToSummary(co.charge);
  } else if (run.params.mode == 'P') {
    if (co.source == ChargeSource::OneOff) {
      MergeOneOffCharge();
    } else {
      co.billed.push_back(GetText(co.charge, hrebuts::kSequence, 2));
    }
    WriteReceiptLine();
  }
  co.totals.Add(type, amount);
}

// A one-off record copied into a charge: sequence "0001", the rest from the one-off.
std::string ChargeFromOneOff(const std::string& oneOff) {
  std::string charge = BlankRecord(hrebuts::kLength);
  PutText(charge, hrebuts::kCode, 4, GetText(oneOff, hnotific::kCode, 4));
  PutText(charge, hrebuts::kSequence, 2, PackDigits("0001"));
  PutText(charge, hrebuts::kConcept, 3, GetText(oneOff, hnotific::kConcept, 3));
  PutText(charge, hrebuts::kClass, 1, GetText(oneOff, hnotific::kClass, 1));
  PutWord(charge, hrebuts::kRemaining, GetWord(oneOff, hnotific::kRemaining));
  PutDword(charge, hrebuts::kAmount, GetDword(oneOff, hnotific::kAmount));
  PutText(charge, hrebuts::kPeriodicity, 4, GetText(oneOff, hnotific::kPeriodicity, 4));
  return charge;
}

void StandingPass(ReceiptRunState& run) {
  CoOwnerWork& co = run.co;
  const std::string& rec = *run.areas.rebuts;
  int reference = GetByte(*run.areas.finca, hfinca::kReferenceMonth);
  co.source = ChargeSource::Standing;
  int status = 0;
  DbGet(hrebuts::kHandle, 0, co.code, 1, status);
  while (status == 0 && GetText(rec, hrebuts::kCode, 4) == co.code) {
    if (PeriodicityAppliesNow(GetText(rec, hrebuts::kPeriodicity, 4), reference)) {
      co.charge = rec.substr(0, hrebuts::kLength);
      ProcessCharge(run);
    }
    DbSkip(hrebuts::kHandle, 1, status);
  }
}

void OneOffPass(ReceiptRunState& run) {
  CoOwnerWork& co = run.co;
  const std::string& rec = *run.areas.notific;
  int reference = GetByte(*run.areas.finca, hfinca::kReferenceMonth);
  co.source = ChargeSource::OneOff;
  int status = 0;
  DbGet(hnotific::kHandle, 0, co.code, 1, status);
  while (status == 0 && GetText(rec, hnotific::kCode, 4) == co.code &&
         GetText(rec, hnotific::kDate, 4) <= run.params.issueDate) {
    // Merging deletes the one-off record, so the next one is found again from the key: the
    // first record at or after it, passed over when it is still this one.
    std::string key = GetText(rec, hnotific::kCode, 4) + GetText(rec, hnotific::kDate, 4) +
                      GetText(rec, hnotific::kConcept, 3);
    if (PeriodicityAppliesNow(GetText(rec, hnotific::kPeriodicity, 4), reference)) {
      co.charge = ChargeFromOneOff(rec);
      ProcessCharge(run);
    }
    DbGet(hnotific::kHandle, 0, key, 1, status);
    if (status == 0 && GetText(rec, hnotific::kCode, 4) + GetText(rec, hnotific::kDate, 4) +
                               GetText(rec, hnotific::kConcept, 3) ==
                           key) {
      DbSkip(hnotific::kHandle, 1, status);
    }
  }
}

void CollectionFeeCharge(ReceiptRunState& run) {
  CoOwnerWork& co = run.co;
  double total = co.totals.Sum();
  if (!(total > 0) || IsBlank(run.feeConcept)) return;
  const std::string& rem = *run.areas.remeses;
  double fee = CollectionFee(total, GetWord(rem, remeses::kFeeRate),
                             GetDword(rem, remeses::kFeeMinimum),
                             GetDword(rem, remeses::kFeeMaximum), GetDword(rem, remeses::kFeeFixed));
  int32_t stored = StoredAmount(fee);
  if (stored == 0) return;
  co.charge = BlankRecord(hrebuts::kLength);
  PutText(co.charge, hrebuts::kCode, 4, co.code);
  PutText(co.charge, hrebuts::kSequence, 2, PackDigits("0001"));
  PutText(co.charge, hrebuts::kConcept, 3, run.feeConcept);
  PutText(co.charge, hrebuts::kClass, 1, "N");
  PutWord(co.charge, hrebuts::kRemaining, 0);
  PutText(co.charge, hrebuts::kPeriodicity, 4, "01  ");
  PutDword(co.charge, hrebuts::kAmount, stored);
  co.source = ChargeSource::Standing;  // the fee is no one-off charge: printed plain
  if (run.params.mode == 'A') {
    PrintReceiptLine();
    AddToSummary(co.charge);
  } else if (run.params.mode == 'P') {
    WriteReceiptLine();
  }
  co.totals.pf += stored;
}

// The checks and, unless verifying, the receipt of the current co-owner.
void ProcessCoOwner(ReceiptRunState& run) {
  CoOwnerWork& co = run.co;
  const RunParams& p = run.params;
  const std::string& banc = *run.areas.probanc;
  co.error = 0;
  std::string remittance = GetText(banc, hprobanc::kRemittance, 2);
  if (remittance < p.fromRemittance || remittance > p.toRemittance) {
    co.error = -1;
    return;
  }
  if (!LoadRemittance(run, remittance)) {
    co.error = 1;
    return;
  }
  const std::string& rem = *run.areas.remeses;
  if (GetText(rem, remeses::kNeedsAccount, 1) == "S" &&
      IsBlank(GetText(banc, hprobanc::kAccount + 4, hprobanc::kAccountWidth - 4))) {
    co.error = 5;
    return;
  }
  if (p.mode == 'P') {
    co.storageStatus = UndoEarlierPreparation();
    if (co.storageStatus != 0) return;
    DeleteTransfers();
  }
  if (GetByte(*run.areas.finca, hfinca::kBlocked) != 0 ||
      GetWord(*run.areas.probase, hprobase::kBlocked) != 0) {
    co.error = -1;
    return;
  }
  int status = 0;
  DbGet(hcobros::kHandle, 0, co.code + p.issueNumber, 0, status);
  if (status == 0) {
    co.error = 4;
    return;
  }
  if (p.mode == 'V') return;
  if (p.mode == 'P') {
    DbGet(hcobros::kHandle, 0, co.code, 1, status);
    if (status == 0 && GetText(*run.areas.cobros, hcobros::kCode, 4) == co.code) {
      co.firstReceipt = false;
    }
    if (GetText(rem, remeses::kLookForPending, 1) == "S") {
      DbSetRange(hcobros::kHandle, 1, co.code, co.code + p.issueDate, status);
      while (DbRangeNext(hcobros::kHandle) == 0) {
        if (GetText(*run.areas.cobros, hcobros::kState, 1) == "P") {
          co.pendingCollection = true;
          break;
        }
      }
    }
  }
  for (co.pass = 1; co.pass <= 2; ++co.pass) {
    StandingPass(run);
    OneOffPass(run);
  }
  CollectionFeeCharge(run);
  run.building.Add(co.totals);
  run.general.Add(co.totals);
  if (p.mode == 'P') {
    // A receipt that adds up to nothing is not stored, so nothing of it is used up either.
    if (!co.totals.AllZero()) CountDownStandingCharges();
    if (co.totals.Sum() < 0) WriteTransfer();
    FinishReceipt();
  } else if (p.mode == 'A') {
    PrintCoOwnerTotal();
    if (co.headerPrinted) ++run.counts.listed;
  }
}

// The storing of one co-owner: its receipt, then its economic record written back. False
// when storing failed, and then the changes of the current transaction must be undone.
bool StoreCoOwner(ReceiptRunState& run) {
  CoOwnerWork& co = run.co;
  ProcessCoOwner(run);
  if (co.storageStatus != 0) return false;  // the undo failed, or a write of the receipt
  if (co.hasEconomicRecord) {
    int status = 0;
    DbUpdate(hproecon::kHandle, status);
    if (status != 0) co.storageStatus = status;
  }
  return co.storageStatus == 0;
}

// A failure of the run, for co-owner `code` (none: of the file being walked).
void RecordFailure(ReceiptRunState& run, const std::string& code, const std::string& what) {
  run.failures.push_back(code.empty() ? what : CodeDisplay(code) + ": " + what);
  run.counts.left.push_back(run.failures.back());
  if (run.progress) run.progress->Failure(run.failures.back());
}

// A co-owner prepared without a storage failure: its stored receipt, or why it has none.
void CountPrepared(ReceiptRunState& run) {
  const CoOwnerWork& co = run.co;
  if (co.error > 0) run.counts.left.push_back(CodeDisplay(co.code) + " " + CoOwnerErrorText());
  if (!co.headerStored) return;
  ++run.counts.stored;
  run.counts.storedTotal += StoredAmount(co.totals.Sum());
}

// Reports the damaged records met since the last report.
void ReportDamage(ReceiptRunState& run, const std::string& code) {
  for (const std::string& what : DbTakeDamageReports()) RecordFailure(run, code, what);
}

// After a read of a walk: a damaged record is reported and the walk goes on past it.
void PassDamaged(ReceiptRunState& run, int handle, int& status) {
  while (status == kDbDamagedRecord) {
    ReportDamage(run, "");
    DbSkip(handle, 1, status);
  }
}

void ShowProgress(ReceiptRunState& run, const std::string& code) {
  std::string shown = CodeDisplay(code);
  if (shown.size() < 9) shown.insert(0, 9 - shown.size(), ' ');
  run.progress->Show(shown);
}

// ---- Preparing: co-owners stored in transactions ------------------------------------------
//
// The co-owners of a building are found first, without locks; then they are stored in groups
// of consecutive co-owners, one transaction each, every co-owner read again with its lock
// inside the transaction that stores it. Every co-owner is then fully prepared or as it was,
// whatever interrupts the run. The groups' commits do not wait for the disk: the run syncs once
// at its end, before it reports, so a run that finished is on the disk; a power cut before that
// may lose its last groups, which preparing the issue again puts back.
//
// A transaction never waits for another workstation's lock: the layer notes the lock and the
// group is given back whole, then stored again co-owner by co-owner; a co-owner that meets a
// lock waits (with the lock message) and is tried again, until the layer's lock-wait limit,
// past which it is left as it was and reported. So no run waits for a record while holding
// the data folder, or for the folder while holding a record, and two runs cannot wait for each
// other.
constexpr size_t kGroupSize = 25;

// The co-owners of the building in the selected range, in key order.
std::vector<std::string> CoOwnersToPrepare(ReceiptRunState& run, const std::string& building) {
  const RunParams& p = run.params;
  const std::string& probase = *run.areas.probase;
  std::vector<std::string> codes;
  int status = 0;
  DbLockMode(hprobase::kHandle, "+D", status);
  DbGet(hprobase::kHandle, 0, building, 1, status);
  PassDamaged(run, hprobase::kHandle, status);
  while (status == 0 && GetText(probase, hprobase::kCode, 2) == building &&
         GetText(probase, hprobase::kCode, 4) <= p.toCoOwner) {
    std::string code = GetText(probase, hprobase::kCode, 4);
    if (code >= p.fromCoOwner) codes.push_back(code);
    DbSkip(hprobase::kHandle, 1, status);
    PassDamaged(run, hprobase::kHandle, status);
  }
  DbLockMode(hprobase::kHandle, "-", status);
  return codes;
}

enum class GroupOutcome { Stored, Locked, Failed };

// Stores the co-owners `codes` inside the open transaction. Stops at the first that meets
// another workstation's lock or whose storing fails (its status in run.co.storageStatus).
GroupOutcome StoreGroup(ReceiptRunState& run, const std::vector<std::string>& codes) {
  for (const std::string& code : codes) {
    ShowProgress(run, code);
    run.co = CoOwnerWork{};
    run.co.code = code;
    int status = 0;
    DbGet(hprobase::kHandle, 0, code, 0, status);
    if (DbTransactionMetLock()) return GroupOutcome::Locked;
    run.co.damage = DbTakeDamageReports();
    if (!run.co.damage.empty()) return GroupOutcome::Failed;
    if (status != 0) continue;  // gone since the building's co-owners were found
    ++run.coOwners;
    ReadCoOwnerData(run);
    bool stored = StoreCoOwner(run);
    if (DbTransactionMetLock()) return GroupOutcome::Locked;
    // A damaged record of the co-owner leaves the whole co-owner as it was.
    run.co.damage = DbTakeDamageReports();
    if (!run.co.damage.empty()) stored = false;
    if (!stored) return GroupOutcome::Failed;
    CountPrepared(run);
  }
  return GroupOutcome::Stored;
}

// Stores `codes` (consecutive co-owners of one building) in one transaction.
void PrepareGroup(ReceiptRunState& run, const std::vector<std::string>& codes) {
  const PartialTotals building = run.building;
  const PartialTotals general = run.general;
  const int coOwners = run.coOwners;
  const RunCounts counts = run.counts;
  DbLockWait wait;
  for (;;) {
    const int began = DbTransaction(hprobase::kHandle, 'b');
    if (began != 0) {
      for (const std::string& code : codes) RecordFailure(run, code, DbStatusText(began));
      return;
    }
    const GroupOutcome outcome = StoreGroup(run, codes);
    if (outcome == GroupOutcome::Stored) {
      const int ended = DbTransaction(hprobase::kHandle, 'E');
      if (ended != 0) {
        run.counts = counts;
        for (const std::string& code : codes) RecordFailure(run, code, DbStatusText(ended));
      }
      return;
    }
    (void)DbTransaction(hprobase::kHandle, 'A');
    run.building = building;
    run.general = general;
    run.coOwners = coOwners;
    run.counts = counts;
    if (codes.size() > 1) {
      // Stored again one by one, so that only the co-owner that fails is left as it was.
      for (const std::string& code : codes) PrepareGroup(run, {code});
      return;
    }
    if (outcome == GroupOutcome::Failed) {
      for (const std::string& what : run.co.damage) RecordFailure(run, codes[0], what);
      if (run.co.damage.empty()) RecordFailure(run, codes[0], DbStatusText(run.co.storageStatus));
      return;
    }
    if (!wait.Pause()) {
      RecordFailure(run, codes[0], DbStatusText(kDbRecordLocked));
      return;
    }
  }
}

void PrepareBuilding(ReceiptRunState& run, const std::string& building) {
  const std::vector<std::string> codes = CoOwnersToPrepare(run, building);
  for (size_t at = 0; at < codes.size(); at += kGroupSize) {
    const size_t end = std::min(codes.size(), at + kGroupSize);
    PrepareGroup(run, std::vector<std::string>(codes.begin() + at, codes.begin() + end));
  }
}

// After the co-owners of a building: its block, its summary lines and its separator, when it
// printed receipt lines.
void FinishBuilding(ReceiptRunState& run) {
  const RunParams& p = run.params;
  FlushSummary();
  if (!run.buildingFlag) return;
  bool totals = p.buildingTotals == "F";
  if (totals) PrintBuildingBlock();
  if (p.mode != 'A') return;
  run.co.headerPrinted = true;
  if (p.summaryByConcept) {
    std::string buildingCode = GetText(*run.areas.finca, hfinca::kCode, 2);
    const std::string& sum = *run.areas.resrebu;
    int status = 0;
    for (;;) {
      DbGet(hresrebu::kHandle, 1, buildingCode, 1, status);
      if (status != 0 || GetText(sum, hresrebu::kGroup, 2) != buildingCode) break;
      std::string conceptCode = GetText(sum, hresrebu::kConcept, 3);
      run.co.source = ChargeSource::Standing;
      run.co.charge = BlankRecord(hrebuts::kLength);
      PutText(run.co.charge, hrebuts::kCode, 4, buildingCode + PackedZero());
      PutText(run.co.charge, hrebuts::kConcept, 3, conceptCode);
      PutDword(run.co.charge, hrebuts::kAmount, GetDword(sum, hresrebu::kAmount));
      if (totals) PrintReceiptLine();
      AddToSummary(run.co.charge);
      // Adding to the general summary left the file on the general record: the building's
      // own record is found again before it is deleted.
      DbGet(hresrebu::kHandle, 0, buildingCode + conceptCode, 0, status);
      if (status != 0) break;
      DbDelete(hresrebu::kHandle, status);
      if (status != 0) break;
    }
  }
  if (totals) PrintClosingSeparator(p.pagePerBuilding == "F");
}

// The general total with its summary lines, after every listing that printed receipt lines.
void FinishListing(ReceiptRunState& run) {
  FlushSummary();
  if (run.params.mode != 'A' || !run.printedLines) return;
  if (run.pageCounter == 0) PrintPageHeader();
  PrintGeneralTotal();
  run.co.headerPrinted = true;
  if (run.params.summaryByConcept) {
    const std::string& sum = *run.areas.resrebu;
    int status = 0;
    for (;;) {
      DbGet(hresrebu::kHandle, 1, "", 1, status);
      if (status != 0) break;
      run.co.source = ChargeSource::Standing;
      run.co.charge = BlankRecord(hrebuts::kLength);
      PutText(run.co.charge, hrebuts::kCode, 4, PackedZero() + PackedZero());
      PutText(run.co.charge, hrebuts::kConcept, 3, GetText(sum, hresrebu::kConcept, 3));
      PutDword(run.co.charge, hrebuts::kAmount, GetDword(sum, hresrebu::kAmount));
      PrintReceiptLine();
      DbDelete(hresrebu::kHandle, status);
      if (status != 0) break;
    }
  }
  PrintClosingSeparator(true);
}

// Empties the scratch summary file, so no run starts from another run's amounts.
void EmptySummary() {
  int status = 0;
  for (;;) {
    DbGet(hresrebu::kHandle, 0, "", 1, status);
    if (status != 0) break;
    DbDelete(hresrebu::kHandle, status);
    if (status != 0) break;
  }
}

}  // namespace

ReceiptRunState& ReceiptRun() {
  static ReceiptRunState state;
  return state;
}

void ResetReceiptRunForTest() { ReceiptRun() = ReceiptRunState{}; }

const std::string& Tr(const char* catalan) {
  auto& cache = ReceiptRun().translations;
  auto it = cache.find(catalan);
  if (it == cache.end()) it = cache.emplace(catalan, Translate(cp850(catalan))).first;
  return it->second;
}

char ConceptType(const std::string& code) {
  auto& cache = ReceiptRun().conceptTypes;
  auto it = cache.find(code);
  if (it != cache.end()) return it->second;
  std::string& rec = RecordArea(hconcept::kHandle);
  int status = 0;
  DbGet(hconcept::kHandle, 0, code, 0, status);
  char type = status == 0 ? rec[hconcept::kType] : ' ';
  cache.emplace(code, type);
  return type;
}

bool PeriodicityAppliesNow(const std::string& code, int referenceMonth) {
  auto& cache = ReceiptRun().periodicities;
  auto it = cache.find(code);
  if (it == cache.end()) {
    std::string& rec = RecordArea(hperiodi::kHandle);
    int status = 0;
    std::string key = code;
    key.resize(4, ' ');
    DbGet(hperiodi::kHandle, 0, key, 0, status);
    std::optional<Periodicity> found;
    if (status == 0) {
      Periodicity p;
      p.kind = rec[hperiodi::kKind];
      p.interval = GetWord(rec, hperiodi::kInterval);
      p.exclusion = GetWord(rec, hperiodi::kExclusion);
      for (int m = 0; m < 12; ++m) p.months[m] = GetWord(rec, hperiodi::kMonths + 2 * m);
      found = p;
    }
    it = cache.emplace(code, found).first;
  }
  return it->second.has_value() &&
         PeriodicityApplies(*it->second, ReceiptRun().issueMonth, referenceMonth);
}

bool SelectedByConcept(const std::string& conceptCode, int typeIndex) {
  const RunParams& p = ReceiptRun().params;
  if (p.conceptList.find(conceptCode + '\xFF') != std::string::npos) return true;
  return typeIndex >= 1 && typeIndex <= 5 && p.typeSelection[typeIndex - 1] == "S";
}

void PerformRun(const RunParams& params, ProgressSink& progress) {
  ReceiptRunState& run = ReceiptRun();
  run = ReceiptRunState{};
  run.params = params;
  run.progress = &progress;
  run.areas = FindAreas();
  run.feeConcept = FeeConceptCode();
  const RunParams& p = run.params;
  if (p.mode == 'P') SetLockModes("a");
  progress.Open();
  // The issue month is the month of the issue date.
  run.issueMonth = p.issueDate.size() >= 3 ? DigitsValue(UnpackDigits(p.issueDate.substr(2, 1))) : 0;
  run.rememberedRemittance.clear();
  // A listing runs inside one transaction over the scratch summary: its writes need no commit
  // each, an interrupted listing leaves it as it was, and the data files are read as one
  // picture, in one read transaction (no folder is held for it: others write on meanwhile).
  bool summaryTransaction = p.mode != 'P' && DbTransaction(hresrebu::kHandle, 'b') == 0;
  if (p.mode == 'A') EmptySummary();

  std::string& finca = *run.areas.finca;
  std::string& probase = *run.areas.probase;
  std::string firstBuilding = p.fromCoOwner.substr(0, 2);
  std::string lastBuilding = p.toCoOwner.substr(0, 2);
  int status = 0;
  DbGet(hfinca::kHandle, 0, firstBuilding, 1, status);
  PassDamaged(run, hfinca::kHandle, status);
  while (status == 0 && GetText(finca, hfinca::kCode, 2) <= lastBuilding) {
    std::string buildingCode = GetText(finca, hfinca::kCode, 2);
    run.buildingFlag = false;
    run.building = PartialTotals{};
    if (p.mode == 'P' && p.issueDate >= GetText(finca, hfinca::kReceiptsFrom, 4)) {
      PrepareBuilding(run, buildingCode);
    } else if (p.issueDate >= GetText(finca, hfinca::kReceiptsFrom, 4)) {
      int coStatus = 0;
      DbGet(hprobase::kHandle, 0, buildingCode, 1, coStatus);
      PassDamaged(run, hprobase::kHandle, coStatus);
      while (coStatus == 0 && GetText(probase, hprobase::kCode, 2) == buildingCode &&
             GetText(probase, hprobase::kCode, 4) <= p.toCoOwner) {
        std::string code = GetText(probase, hprobase::kCode, 4);
        ShowProgress(run, code);
        run.co = CoOwnerWork{};
        run.co.code = code;
        if (code >= p.fromCoOwner) {
          ++run.coOwners;
          ReadCoOwnerData(run);
          ProcessCoOwner(run);
          if (p.mode == 'V' && run.co.error > 0) {
            PrintErrorLine();
            ++run.counts.listed;
          }
          ReportDamage(run, code);
        }
        DbSkip(hprobase::kHandle, 1, coStatus);
        PassDamaged(run, hprobase::kHandle, coStatus);
      }
    }
    FinishBuilding(run);
    // Reading the co-owners and their data left HFinca where it was: go on from the building.
    DbSkip(hfinca::kHandle, 1, status);
    PassDamaged(run, hfinca::kHandle, status);
  }
  FinishListing(run);
  if (summaryTransaction) (void)DbTransaction(hresrebu::kHandle, 'E');
  if (p.mode == 'P') {
    if (const int synced = DbTransaction(hprobase::kHandle, 'S'); synced != 0) {
      run.failures.push_back(DbStatusText(synced));
      if (run.progress) run.progress->Failure(run.failures.back());
    }
  }
  progress.Close();
  if (p.mode == 'P') SetLockModes("d");
}

CycleResult RunAndPrint(const RunParams& params, ProgressSink& progress, bool print) {
  CycleResult result;
  result.spool = SpoolOpen(SessionState().destination);
  SetCurrency("p");
  PerformRun(params, progress);
  SetCurrency("");
  OsStatus closed = SpoolClose();
  if (result.spool.ok()) result.spool = closed;
  result.failures = ReceiptRun().failures;
  result.coOwners = ReceiptRun().coOwners;
  result.mode = params.mode;
  result.counts = ReceiptRun().counts;
  // A spool that could not be written whole (or not created, so that an earlier run's spool
  // is still there) is not printed: it would pass for this run's complete listing.
  if (print && result.spool.ok()) {
    result.print = RunPrintProgram();
    if (*result.print == PrintOutcome::Missing) {
      result.reportMissingProgram = TakeMissingProgramReport();
    }
  }
  return result;
}

}  // namespace palvorin
