#include "batch.h"

#include <algorithm>
#include <iostream>
#include <map>

#include "datafile/datafile.h"
#include "os/codepage.h"
#include "os/paths.h"
#include "os/program.h"
#include "print/spool.h"
#include "receipts/files.h"
#include "receipts/generation.h"
#include "receipts/summary.h"
#include "session/session.h"
#include "textlib/numbers.h"

namespace palvorin {

namespace {

// A line on standard error. What the caller typed comes back in reasons and paths, so control
// characters are shown escaped rather than sent to the terminal.
void Say(const std::string& cp850Text) {
  std::cerr << EscapeControls(Utf8FromCp850(cp850Text)) << "\n";
}

// Progress of a scripted run: one line per co-owner on standard error.
class StderrProgress : public ProgressSink {
 public:
  void Open() override {}
  void Show(const std::string& coOwner) override { std::cerr << coOwner << "\n"; }
  void Close() override { std::cerr.flush(); }
  void Failure(const std::string& message) override { Say(message); }
};

// The record-file layer's messages go to standard error; nothing waits for a key.
void UseStandardError() {
  DbEnvironment& env = DataFiles().env;
  env.showMessage = [](int, const std::string& text) { Say(text); };
  env.closeMessage = [] {};
  env.beep = [] {};
  env.discardKeys = [] {};
  env.waitKey = [] {};
}

std::vector<std::string> SplitConcepts(const std::string& list) {
  std::vector<std::string> codes;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    codes.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return codes;
}

}  // namespace

std::string BatchUsage() {
  return "usage: palvorin-batch [options]\n"
         "  --mode V|A|P              verify, advance listing or preparing (V)\n"
         "  --date D/M/YYYY           issue date (the work date)\n"
         "  --month M                 month of the issue number (the issue date's)\n"
         "  --from B.C  --to B.C      co-owner range (1.1 to 9999.9999)\n"
         "  --from-remittance N  --to-remittance N   remittance range (0000 to 9999)\n"
         "  --building-totals F|G     a totals block per building (G)\n"
         "  --summary S|N             summaries by concept (S)\n"
         "  --page-per-building F|G   a new page after each building (G)\n"
         "  --types SSSSS             types: other, D, R, S, P (SSSSS)\n"
         "  --concepts C1,C2,...      concepts taken whatever their type\n"
         "  --lock-wait SECONDS       longest wait for another workstation's lock (60);\n"
         "                            past it the co-owner is left as it was (exit 3)\n"
         "  --no-print                leave the spool in the temporary folder\n"
         "  -h, --help  --version     this text / the program's version\n"
         "It works on the installation of ZEPROOT, ZEPEXE and ZEPTMP, or when one is not set on\n"
         "the installation that holds it and the user's temporary folder. What the run did goes\n"
         "to standard error. Exit code 0 on success, 2 for bad options or a refused selection,\n"
         "3 when the listing or a co-owner's receipt could not be written or was left for a lock.\n";
}

bool ParseBatchOptions(const std::vector<std::string>& args, BatchOptions& options,
                       std::string& why) {
  SelectionTexts& s = options.selection;
  const std::map<std::string, std::string*> texts = {
      {"--mode", &s.mode},
      {"--date", &s.issueDate},
      {"--month", &s.month},
      {"--from", &s.fromCoOwner},
      {"--to", &s.toCoOwner},
      {"--from-remittance", &s.fromRemittance},
      {"--to-remittance", &s.toRemittance},
      {"--building-totals", &s.buildingTotals},
      {"--summary", &s.summaryByConcept},
      {"--page-per-building", &s.pagePerBuilding},
  };
  bool monthGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--no-print") {
      options.print = false;
      continue;
    }
    if (arg == "--help" || arg == "-h" || arg == "--version") {
      options.answer = arg;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    if (size_t eq = arg.find('='); eq != std::string::npos && arg.starts_with("--")) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    bool known = texts.count(name) != 0 || name == "--types" || name == "--concepts" ||
                 name == "--lock-wait";
    if (!known) {
      why = "unknown option " + arg;
      return false;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        why = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    value = cp850(value);
    if (auto it = texts.find(name); it != texts.end()) {
      *it->second = value;
    } else if (name == "--lock-wait") {
      if (value.empty() || value.size() > 6 ||
          value.find_first_not_of("0123456789") != std::string::npos) {
        why = "--lock-wait takes a number of seconds";
        return false;
      }
      options.lockWaitSeconds = std::stoi(value);
    } else if (name == "--types") {
      if (value.size() != 5) {
        why = "--types takes five flags S or N, one per type: other, D, R, S, P";
        return false;
      }
      for (size_t t = 0; t < 5; ++t) s.typeFlags[t] = std::string(1, value[t]);
    } else {
      s.concepts = SplitConcepts(value);
    }
    if (name == "--month") monthGiven = true;
  }
  // As on the form, the month follows the issue date unless it is typed.
  if (!monthGiven) s.month = MonthOfTypedDate(s.issueDate);
  return true;
}

int RunBatch(const std::vector<std::string>& args) {
  BatchOptions options;
  std::string why;
  if (!ParseBatchOptions(args, options, why)) return BadUsage("palvorin-batch", why);
  if (!options.answer.empty()) {
    (void)AnswerStandardOption(options.answer, "palvorin-batch", BatchUsage());
    return kBatchOk;
  }
  UseStandardError();
  UseInstallation(InstallationOfProgram());
  DataFiles().lockWaitLimitMs = options.lockWaitSeconds * 1000;
  SessionSetUp();
  Session& session = SessionState();
  if (!session.rootDir.empty()) (void)SetCurrentDir(session.rootDir);
  session.moduleName = "PALVORIN";
  SetCurrency("a,E");
  OsStatus param = OpenReceiptFiles();
  if (!param.ok()) Say(param.message);
  if (ReceiptFiles().paramUnreadable) {
    // Without the parameters the fee line would be guessed: no run.
    CloseReceiptFiles();
    return kBatchFailed;
  }

  RunParams params;
  if (!SelectionToRunParams(options.selection, params, why)) {
    Say("palvorin-batch: " + why);
    CloseReceiptFiles();
    return kBatchRefused;
  }
  RunParameters() = params;
  StderrProgress progress;
  CycleResult result = RunAndPrint(params, progress, options.print);
  CloseReceiptFiles();
  std::cerr << result.coOwners << " copropietaris\n";
  const std::string summary = RunSummary(result);
  for (size_t start = 0; start < summary.size();) {
    const size_t end = std::min(summary.find('\n', start), summary.size());
    Say(summary.substr(start, end - start));
    start = end + 1;
  }
  if (result.print == PrintOutcome::Missing) Say(SpoolPath());
  if (!result.spool.ok() || !result.failures.empty() || result.print == PrintOutcome::Failed) {
    return kBatchFailed;
  }
  return kBatchOk;
}

}  // namespace palvorin
