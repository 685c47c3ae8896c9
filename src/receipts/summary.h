// What the operator is told after a run: what it did in its mode, where its listing went, and
// what went wrong around it.
#ifndef PALVORIN_RECEIPTS_SUMMARY_H_
#define PALVORIN_RECEIPTS_SUMMARY_H_

#include <string>

#include "receipts/generation.h"

namespace palvorin {

// The summary of `result`, one line each ended by "\n", CP850, in the session's language:
//   preparing  the receipts stored and their total; the co-owners left as they were, with
//              the first one's code and reason;
//   verify     the co-owners listed;          advance listing  the receipts listed;
// then, for a listing the print program delivered, where it went (a file by its full path);
// a spool that could not be written; the print program's failure with its last words; and,
// when `result` asks for it, the missing print program.
std::string RunSummary(const CycleResult& result);

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_SUMMARY_H_
