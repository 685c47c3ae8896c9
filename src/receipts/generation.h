// Receipt generation: one run over the selected buildings and co-owners for one issue.
//
// For every co-owner in the range the run checks the remittance, the bank account, blocking
// and existing collections, then builds the receipt in two passes over the co-owner's standing
// charges (DADES\HRebuts) and one-off charges (DADES\HNOTIFIC) whose periodicity applies in
// the issue month: pass 1 takes every concept type but "S", pass 2 only the balance concepts
// "S", adjusted by the building's balance rule. A collection fee follows. What the run does
// with the receipt depends on its mode:
//   V  verify: nothing is computed; each co-owner that fails a check gets an error line;
//   A  advance listing: the receipts are printed with totals; only the scratch summary file
//      hresrebu changes;
//   P  preparing: the receipts are stored (storage.h). Co-owners are stored in transactions of
//      the engine, each holding whole co-owners (from before the undo of an earlier preparation
//      to after the economic record is written back) of one building, so an interrupted run
//      leaves every co-owner fully prepared or as it was. A co-owner held by another
//      workstation is waited for, never while holding the data folder; past the layer's
//      lock-wait limit it is left as it was and counts among the run's failures.
//
// Error codes of a co-owner: 0 none, -1 skipped without message (remittance outside the range,
// building or co-owner blocked, no collection data), 1 remittance missing, 4 a receipt of this
// issue is already in collection, 5 the remittance needs a bank account and there is none.
#ifndef PALVORIN_RECEIPTS_GENERATION_H_
#define PALVORIN_RECEIPTS_GENERATION_H_

#include <map>
#include <unordered_map>
#include <optional>
#include <string>
#include <vector>

#include "print/spool.h"
#include "receipts/charges.h"
#include "receipts/run_params.h"

namespace palvorin {

// Where a run shows how far it has come: the progress window on screen, or standard error
// for scripted runs.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Open() = 0;
  // The co-owner being looked at, in display form, right-aligned in 9 characters.
  virtual void Show(const std::string& coOwner) = 0;
  virtual void Close() = 0;
  // A co-owner left as it was because storing its receipt failed.
  virtual void Failure(const std::string& message) { (void)message; }
};

// Shows nothing; for tests.
class SilentProgress : public ProgressSink {
 public:
  void Open() override {}
  void Show(const std::string&) override {}
  void Close() override {}
};

enum class ChargeSource { Standing, OneOff };

// The working values of the co-owner being processed.
struct CoOwnerWork {
  std::string code;  // K, 4 bytes
  int error = 0;
  PartialTotals totals;
  bool firstReceipt = true;
  bool pendingCollection = false;
  bool linesWritten = false;
  bool headerPrinted = false;  // advance listing: its header is on the page
  int pass = 1;
  ChargeSource source = ChargeSource::Standing;
  std::string charge;  // the current charge, a DADES\HRebuts-shaped record
  // Sequence numbers of the standing charges that gave a line in this receipt (a merged
  // one-off counts for the standing charge it went into): only these are counted down.
  std::vector<std::string> billed;
  bool hasEconomicRecord = true;
  int storageStatus = 0;  // a storage failure that stops this co-owner's transaction
  std::vector<std::string> damage;  // damaged records met while storing it
  bool headerStored = false;  // preparing: its receipt header was written
};

// What a run did, counted as it goes, for the operator.
struct RunCounts {
  int listed = 0;           // verify: co-owners listed; advance listing: receipts listed
  int stored = 0;           // preparing: receipts stored
  int64_t storedTotal = 0;  // preparing: the sum of their totals, in hundredths
  // Preparing: each co-owner left as it was (its code, then why), in the order of the run.
  std::vector<std::string> left;
};

// The record areas of the files a run works on, found once at its start.
struct RunAreas {
  std::string* finca = nullptr;
  std::string* probase = nullptr;
  std::string* proecon = nullptr;
  std::string* probanc = nullptr;
  std::string* rebuts = nullptr;
  std::string* caprebu = nullptr;
  std::string* linrebu = nullptr;
  std::string* resrebu = nullptr;
  std::string* notific = nullptr;
  std::string* transfe = nullptr;
  std::string* cobros = nullptr;
  std::string* remeses = nullptr;
};

// The run's state; one per program.
struct ReceiptRunState {
  RunAreas areas;
  RunParams params;
  int issueMonth = 0;
  std::string feeConcept;     // from the parameter block; blank: no collection fee
  int pageCounter = 0;        // listing pages, 0 = no page started
  bool buildingFlag = false;  // a receipt line of the current building was printed
  bool printedLines = false;  // any receipt line was printed in this run
  PartialTotals building;
  PartialTotals general;
  std::string rememberedRemittance;  // code of the remittance record held; empty: none
  std::map<std::string, std::string> remittances;  // the remittance records read, by code
  CoOwnerWork co;
  int coOwners = 0;  // co-owners processed in this run
  std::vector<std::string> failures;
  RunCounts counts;
  ProgressSink* progress = nullptr;
  // Read-only files looked up again and again in a run: read once per run.
  std::map<std::string, char> conceptTypes;
  std::map<std::string, std::optional<Periodicity>> periodicities;
  std::map<std::string, std::string> translations;
  // Summary amounts by group and concept added since they were last written to hresrebu, in
  // the order they were first added (the order the file keeps on its group key).
  struct SummaryAmount {
    std::string key;  // group + concept
    int32_t amount = 0;
    bool inFile = false;  // hresrebu held the key when it was first added
  };
  std::vector<SummaryAmount> summary;
  std::unordered_map<std::string, size_t> summaryIndex;
};

ReceiptRunState& ReceiptRun();
void ResetReceiptRunForTest();

// Performs one run for `params` with the data files open (files.h) and, for the verify and
// advance-listing modes, the spool open. Returns when every selected co-owner is done.
void PerformRun(const RunParams& params, ProgressSink& progress);

// What happened around a run: the spool and the print program.
struct CycleResult {
  OsStatus spool;  // opening or writing the spool
  std::optional<PrintOutcome> print;  // empty when the print program was not run
  bool reportMissingProgram = false;  // the first missing print program of the session
  std::vector<std::string> failures;  // co-owners whose receipt could not be stored
  int coOwners = 0;
  char mode = 'V';
  RunCounts counts;
};
// One cycle as after the selection: opens the spool for the session's destination, switches
// amounts to their printed currency, performs the run, switches back, closes the spool and,
// when `print` and the spool was written without failure, runs the print program and waits
// for it.
CycleResult RunAndPrint(const RunParams& params, ProgressSink& progress, bool print);

// The type of concept `code` ("" when it does not exist), through the run's cache.
char ConceptType(const std::string& code);
// Whether periodicity `code` applies in the run's issue month for the current building.
bool PeriodicityAppliesNow(const std::string& code, int referenceMonth);
// Whether a charge of concept `conceptCode` and type index `typeIndex` is taken by the
// selection (concept list or type flags).
bool SelectedByConcept(const std::string& conceptCode, int typeIndex);
// The Catalan text (UTF-8 literal) in the operator's language, CP850; cached per run.
const std::string& Tr(const char* catalan);

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_GENERATION_H_
