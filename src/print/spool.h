// The print spool. The module never drives a printer: everything it prints becomes a small
// line-oriented command file, `zodirudi.tmp` in the temporary folder, which the suite's print
// program ZODIRUDI (executables folder) reads and renders on the destination the spool names.
//
// One record per line, CP850, each line ended by CR LF. Numbers are written as the print
// statement writes them: a sign position (blank, or "-" when negative), the digits, one
// trailing blank, so 1 is " 1 " and -5 is "-5 ". The records:
//   DEVICE<destination>        first record of every spool
//   PAGE<n>                    a new page of n lines                    ("PAGE 66 ")
//   *<code>                    a printer attribute ("@e", "q", "b")     ("*b")
//   JUS<code>                  alignment of the following texts         ("JUSD")
//   <col>,<text>,<advance>     text at column col (1-based, 0 = where the last text ended),
//                              then advance that many lines             (" 27 ,NAME, 0 ")
// The writer keeps the page length, the lines used on the page and the column reached on the
// current line, so callers can continue a line and the writer can open a new page by itself.
#ifndef PALVORIN_PRINT_SPOOL_H_
#define PALVORIN_PRINT_SPOOL_H_

#include <string>
#include <string_view>

#include "os/files.h"
#include "os/status.h"

namespace palvorin {

// The spool being written; one per program.
struct PrintState {
  BinaryFile file;
  bool open = false;
  std::string pending;   // records not yet handed to the file
  int64_t written = 0;   // bytes already in the file
  OsStatus failure;      // first write failure since the spool was opened
  int pageLength = 0;    // lines per page, from the last page record (0 before the first)
  int lineCounter = 0;   // lines advanced on the current page
  int columnCounter = 0; // column after the last text of the current line (0 at its start)
  bool missingProgramReported = false;  // the missing print program was reported this session
  int printExitCode = 0;  // the print program's exit code at its last run
};

// The program's only print state.
PrintState& Prints();
// Closes an open spool and clears the state, for tests.
void ResetPrintForTest();

// The spool's path: the session's temporary folder followed by "zodirudi.tmp".
std::string SpoolPath();

// Creates the spool afresh (an earlier spool, or a link in its place, is removed first; the
// spool is never written through a link) and writes the device record for `destination`. A
// spool still open is closed first. On failure nothing is open and later records are dropped.
// The first open holds the temporary folder for the session (HoldFolder): while another live
// process holds it, the open fails saying so in the operator's language and touches nothing.
OsStatus SpoolOpen(std::string_view destination);
// Writes out what is pending and closes the spool. Returns the first write failure since the
// open, if any; Ok when no spool was open.
OsStatus SpoolClose();

// "*" followed by `code`.
void PrintAttribute(std::string_view code);
// "JUS" followed by the code for `argument`: trimmed, its first character upper-cased decides:
// C gives "C"; D or R give "D"; A or B give "A"; N gives "N", the rest of the argument as a
// rounded absolute number, a blank, and the part from its first "\" to its second "\"; anything
// else (an empty argument too) gives "E".
void PrintJustify(std::string_view argument);
// A page record of `length` lines; the line and column counters restart at 0.
void PrintNewPage(int length);
// A text record: `text` at `column`, then `advance` lines. Control characters (codes 0-31,
// 127, 255) print as blanks. When the page is full (line counter at the page length) a page
// record of the same length comes first. Afterwards the column counter is 0 when lines were
// advanced, else the column where the text started plus its length: `column`, or for column 0
// the column counter (column 1 at the start of a line).
void PrintText(int column, std::string_view text, int advance);

// The counters, for callers that continue the current line or check the page.
int PrintColumn();
int PrintLine();

// The print statement's form of a number: " 66 ", "-5 ".
std::string SpoolNumber(long value);

// What became of a request to print the spool.
enum class PrintOutcome {
  Printed,  // the print program ran and ended with exit code 0
  Missing,  // the print program does not exist or could not be started; the spool stays
  Failed,   // it ended with another exit code: PrintFailureMessage says why
};

// The print program's path: the session's executables folder followed by "ZODIRUDI".
std::string PrintProgramPath();
// Runs the print program without arguments and waits for it to end, its standard error kept
// in PrintErrorsPath(). Call after SpoolClose.
PrintOutcome RunPrintProgram();
// Where the print program's standard error is kept: "zodirudi.err" in the temporary folder.
std::string PrintErrorsPath();
// What the operator is told of a Failed outcome, in the session's language: a first line
// with the exit code, then the last lines (at most three) the print program wrote on its
// standard error, each line ended by "\n".
std::string PrintFailureMessage();
// True the first time it is called after a Missing outcome in this session, so the operator
// is told of a missing print program once and not after every run.
bool TakeMissingProgramReport();
// The message for a missing print program, with the path it was looked for at, in the
// session's language.
std::string MissingPrintProgramMessage();

}  // namespace palvorin

#endif  // PALVORIN_PRINT_SPOOL_H_
