// The selection form: what the operator fills in before each run, and the module's hooks that
// the form runner and the browse list call while the operator works on it.
//
// Screen 1 holds the selection: run mode (kind 5), issue date (kind 1), issue month (kind 3),
// first and last co-owner (kind 2, "12.3"), first and last remittance (kind 4), and three
// options of the advance listing (building totals, summary by concept, page per building) that
// can be edited only while the run mode is "A". Screen 2, its continuation, holds the five
// concept-type flags and the single concept codes (kind 6). Screen 3 asks for the go-ahead.
// The co-owner pick list runs a search screen (name or address) before it opens.
//
// Field kinds decide how a typed text is checked and how a stored value is shown:
//   1 date      shown day/month/year; a blank entry stands for the work date
//   2 co-owner  a dotted code
//   3 month     digits only; shown as the issue number, the year's two digits then the month
//   4 number    digits only
//   5 run mode  V, A or P in either case, kept in capitals
//   6 concept   folded to capitals, cut to three characters, and a concept that exists
// Any other kind is kept as typed; with an option list ("|code,label|code,label") the label of
// the value's entry is shown instead of the value.
#ifndef PALVORIN_RECEIPTS_SELECTION_H_
#define PALVORIN_RECEIPTS_SELECTION_H_

#include <string>

#include "receipts/run_params.h"

namespace palvorin {

// The form's screens.
constexpr int kSelectionScreen = 1;
constexpr int kConceptScreen = 2;
constexpr int kConfirmScreen = 3;

// Field kinds.
constexpr int kKindDate = 1;
constexpr int kKindCoOwner = 2;
constexpr int kKindMonth = 3;
constexpr int kKindNumber = 4;
constexpr int kKindRunMode = 5;
constexpr int kKindConcept = 6;

// The pick lists.
constexpr int kCoOwnerList = 1;
constexpr int kConceptList = 2;
constexpr int kRemittanceList = 3;

// Puts the module's hooks into the form runner and the browse list, and lets the browse list
// read the keyed files through the record-file layer.
void InstallSelectionHooks();

// Whether the loaded form has what the selection works on: three screens, the ten fields of
// the selection, the five type flags of the concept window and the confirmation field. False
// with `why` naming the form file when it has not (an edited or damaged form file).
bool SelectionFormFits(std::string& why);

// Fills the form's fields with their values before the first selection: run mode "V", the
// work date and its month, every co-owner, every remittance, the listing options off but the
// summary, and every concept type taken. Needs the form tables loaded.
void SetInitialSelection();

// Runs the selection form. Returns the key that ended it: Esc when the operator left, and
// then nothing is stored; any other key means the selection was accepted and confirmed and
// RunParameters() holds it.
int RunSelection();

// ---- The hooks ------------------------------------------------------------------------------

// Draws what the form file does not (screen 1: the session's window title centred on row 1;
// screen 2: its title on the window's top line), then every prompt and every field.
void SelectionPaint(int screen);
// Shows a field's stored value after its prompt, formatted by its kind. The run-mode field
// first makes the last three fields of its screen editable (mode "A") or skipped.
void SelectionDisplay(int screen, int field);
// Checks `text` typed into a field by its kind. Accepted: the (possibly rewritten) text is
// stored padded to the field's width, the field is shown again and 0 is returned. Refused: -1,
// nothing stored.
int SelectionCheck(int screen, std::string& text, int field, int& key);
// Called when a screen ends. Esc and every screen but the selection pass at once. For the
// selection the fields are converted and checked as a whole; a refused selection is explained
// and keeps the operator in the form (-1). A good one is confirmed on screen 3 and, with "S",
// stored as the run parameters (0).
int SelectionAccept(int screen, int& key);

// The row text of the current record of pick list `list`.
std::string PickRow(int list);
// Where pick list `list` starts and ends. For the co-owner list: by name (key 1) when the
// search screen's name is filled, else by address (key 2), starting and ending at the text
// searched for; the column title of the header follows the order. Other lists run whole.
int PickStart(int list, std::string& startKey, std::string& prefix);
// Puts the chosen record's code into the field through the field check; the check's result.
int PickChoose(int& list, int screen, int& field);

// The selection texts as the form holds them now.
SelectionTexts SelectionFromForm();

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_SELECTION_H_
