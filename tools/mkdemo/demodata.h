// The demo installation: a small, consistent set of buildings, co-owners, charges and
// collections that lets a newcomer run every mode of the receipt module at once, together
// with the configuration and session files the suite's menu would leave.
//
// The data is the same on every run (fixed seed). For the issue of March 2025 (the work date
// 1 March 2025 of KoraTerm.ini) it holds:
//   - four buildings: one with a balance rule for every taste (only debts carried, credits
//     returned, balances as they stand, only credits), one counting its quarters from March,
//     and one that joins the administration in April and so takes no part in March;
//   - some forty co-owners with Catalan and Spanish names, flats and premises, accounts with
//     valid check digits, a few living elsewhere;
//   - concepts of every type (D, F, N, R, S, P and another), periodicities of every kind
//     (monthly and every n months from January, explicit months, from the building's own
//     month, with an exclusion interval), standing charges with and without a remaining count,
//     one-off charges (one due after the issue date, one whose periodicity skips March, one
//     credit note);
//   - debts paid in instalments, a credit larger than the receipt, a credit refund that makes
//     a receipt negative, earlier collections with one still pending;
//   - and, for the verify mode to report, a co-owner without the bank account his remittance
//     requires, one paying through a remittance that does not exist, one whose March receipt
//     is already in collection, and a blocked co-owner.
#ifndef PALVORIN_TOOLS_MKDEMO_DEMODATA_H_
#define PALVORIN_TOOLS_MKDEMO_DEMODATA_H_

#include <map>
#include <string>

namespace palvorin::mkdemo {

// The work date of the demo terminal (KoraTerm.ini [Sistema] Data).
inline constexpr const char* kDemoWorkDate = "20250301";

// Records written per data file, by base name ("HFinca" ... "HPeriodi").
using RecordCounts = std::map<std::string, int>;

struct DemoOptions {
  std::string root;      // installation root, a folder text ending in a separator
  std::string tmp;       // temporary folder, the same
  bool replace = false;  // empty data files that already hold records instead of refusing
};

// Creates the demo data files under root + "DADES" (from the dictionaries in root + "ddf"),
// DADES\HParam.tab and Kora.ini in the root, Sessio.ini and KoraTerm.ini in tmp. The records
// go in through the record-file layer in one transaction: on any failure nothing of them is
// kept. Data files that already hold records are a failure unless `replace`. Returns true on
// success with `counts` filled; otherwise `message` says why. Every file is left closed.
bool MakeDemo(const DemoOptions& options, RecordCounts& counts, std::string& message);

}  // namespace palvorin::mkdemo

#endif  // PALVORIN_TOOLS_MKDEMO_DEMODATA_H_
