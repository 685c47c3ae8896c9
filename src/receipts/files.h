// The module's data files as a run uses them: every keyed file open under its fixed handle
// and bound to a record area, the scratch summary file hresrebu created afresh in the
// temporary folder, and the parameter block of DADES\HParam.tab read and normalised to its 97
// bytes. The run reaches a file's record area through the open-file table (RecordArea), so it
// works on the files whoever opened them.
#ifndef PALVORIN_RECEIPTS_FILES_H_
#define PALVORIN_RECEIPTS_FILES_H_

#include <map>
#include <string>

#include "os/status.h"

namespace palvorin {

struct ReceiptFilesState {
  std::map<int, std::string> areas;  // record areas of the files opened by OpenReceiptFiles
  std::string paramBlock;            // the 97-byte parameter block; defaults until read
  std::string unbound;               // what RecordArea gives for a handle that is not open
  bool open = false;
  bool paramUnreadable = false;  // HParam.tab exists but could not be read: defaults in use
};

ReceiptFilesState& ReceiptFiles();
void ResetReceiptFilesForTest();

// Opens the module's files in the start-up's order under the installation root of the session
// (its temporary folder for hresrebu): HFinca, HProBase, HProEcon, HProBanc, HRebuts,
// HConcept, HCapRebu, HLinRebu; hresrebu after deleting any earlier one; HNOTIFIC, HTransfe,
// HCobros, Remeses; then normalises DADES\HParam.tab (its first 97 bytes over the defaults,
// written back as exactly 97 bytes when that changes the file) and opens HPeriodi. A file that
// cannot be opened ends the process inside the record-file layer. Returns the failure to read
// or write HParam.tab, if any: a file that exists but cannot be read is never replaced (the
// block then holds the defaults and paramUnreadable is set).
OsStatus OpenReceiptFiles();
// Releases every keyed file and deletes the scratch file.
void CloseReceiptFiles();

// The record area bound to `handle` in the open-file table; a blank scratch area when the
// handle is not open.
std::string& RecordArea(int handle);

// The parameter block's collection-fee concept code (3 characters).
std::string FeeConceptCode();

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_FILES_H_
