// The batch runner: one run of receipt generation started from the command line instead of
// the selection screen. It starts as the module does (session, configuration, data files under
// their handles, scratch file, parameter block), takes the selection as options holding the
// texts the operator would type on the form, converts and checks them as the form does,
// performs the run with its spool and print program, reports progress on standard error and
// draws nothing.
#ifndef PALVORIN_TOOLS_PALVORIN_BATCH_BATCH_H_
#define PALVORIN_TOOLS_PALVORIN_BATCH_BATCH_H_

#include <string>
#include <vector>

#include "receipts/run_params.h"

namespace palvorin {

// Exit statuses.
constexpr int kBatchOk = 0;
constexpr int kBatchRefused = 2;  // bad options or a selection the form would refuse
constexpr int kBatchFailed = 3;   // the run could not write its spool or left co-owners out,
                                  // or could not start for want of its parameter file

struct BatchOptions {
  SelectionTexts selection;
  bool print = true;
  std::string answer;  // "--help", "-h" or "--version" when given: answered, nothing run
  // How long a co-owner (or a data file) held by another workstation is waited for.
  int lockWaitSeconds = 60;
};

// Reads the options (after the program name). `args` are the command line's texts as given
// (UTF-8). False with `why` set for an unknown option or one without its value.
bool ParseBatchOptions(const std::vector<std::string>& args, BatchOptions& options,
                       std::string& why);

// The usage text.
std::string BatchUsage();

// Runs the whole batch for `args` and returns the exit status.
int RunBatch(const std::vector<std::string>& args);

}  // namespace palvorin

#endif  // PALVORIN_TOOLS_PALVORIN_BATCH_BATCH_H_
