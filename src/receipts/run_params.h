// The run parameters: the selection a run of receipt generation works from. The selection
// form writes them on acceptance; a scripted run fills them from its options. Both go through
// SelectionToRunParams, so a selection is converted and checked the same way wherever it was
// typed.
#ifndef PALVORIN_RECEIPTS_RUN_PARAMS_H_
#define PALVORIN_RECEIPTS_RUN_PARAMS_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace palvorin {

struct RunParams {
  char mode = 'V';                  // 'V' verify, 'A' advance listing, 'P' preparing
  std::string issueDate;            // packed date, 4 bytes
  std::string issueNumber;          // packed, 2 bytes: two digits of the year, then the month
  std::string fromCoOwner;          // co-owner codes, 4 bytes; their first 2 bytes bound the
  std::string toCoOwner;            //   buildings
  std::string fromRemittance;       // remittance codes, 2 bytes
  std::string toRemittance;
  std::string buildingTotals = "G";   // "F": a totals block after each building
  bool summaryByConcept = true;       // keep and print the summaries by concept
  std::string pagePerBuilding = "G";  // "F": a new page after each building's block
  std::string conceptList;            // concept codes taken whatever their type, each + '\xFF'
  // "S" or "N" for: types not among "DRSP", "D", "R", "S", "P".
  std::array<std::string, 5> typeSelection{"S", "S", "S", "S", "S"};
};

// The module's run parameters, as the selection last set them.
RunParams& RunParameters();
void ResetRunParametersForTest();

// The selection as the operator types it on the form: each text as the field holds it
// (blank-padded or not).
struct SelectionTexts {
  std::string mode = "V";             // "V", "A" or "P" (either case)
  std::string issueDate;              // day, month, year: "15/3/2025"
  std::string month;                  // the issue's month number: "3"
  std::string fromCoOwner = "1.1";    // building "." co-owner
  std::string toCoOwner = "9999.9999";
  std::string fromRemittance = "0000";
  std::string toRemittance = "9999";
  std::string buildingTotals = "G";
  std::string summaryByConcept = "S";
  std::string pagePerBuilding = "G";
  std::array<std::string, 5> typeFlags{"S", "S", "S", "S", "S"};
  std::vector<std::string> concepts;  // single concept codes; blank ones are ignored
};

// Converts and checks a selection. Each field is checked as the form checks it when typed
// (run mode one of V, A, P; issue date a valid date, an empty one standing for the work date;
// month digits and blanks only, at most 99, so that it fits the issue number's two digits: an
// issue number need not name a calendar month, and a blank month is 0; co-owner codes in dotted form; remittances digits only; concept
// codes that exist in DADES\HConcept), then the whole as the form's acceptance does: the from
// co-owner not after the to co-owner, the from remittance not after the to remittance, and at
// least one concept code or type flag "S". On success fills `params` and returns true; on
// refusal leaves `params` alone, puts the reason in `why` (in the operator's language) and
// returns false. The concept check reads DADES\HConcept only when `checkConcepts`.
// The month of a typed issue date as the form's month field takes it ("3"), the work date's
// when the text is blank; "" when the text is no valid date.
std::string MonthOfTypedDate(const std::string& typedDate);

bool SelectionToRunParams(const SelectionTexts& texts, RunParams& params, std::string& why,
                          bool checkConcepts = true);

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_RUN_PARAMS_H_
