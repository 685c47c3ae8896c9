// The print program's reading of a spool: the records the module leaves in `zodirudi.tmp`
// laid out as pages of fixed-pitch lines, ready for the screen, a text file, a PDF or a queue.
//
// A spool is one record per line (CR LF or LF), code page 850:
//   DEVICE<destination>       the first record: where the listing goes
//   PAGE<n>                   a new page of n lines                          ("PAGE 66 ")
//   *<code>                   a printer attribute: "b" turns bold on and off, a code that
//                             starts with "@" is the printer reset (bold off); others ("q")
//                             have no visible effect on a fixed-pitch page
//   JUS<code>                 alignment of the following texts; on a fixed-pitch page every
//                             text already stands at its column, so alignment changes nothing
//   <col>,<text>,<advance>    text at column col (1-based; 0 = where the last text ended),
//                             then advance that many lines                   (" 27 ,NOM, 0 ")
// Numbers are written with a sign position and a trailing blank (" 27 "); blanks around them
// are not required. The text may itself hold commas: the column ends at the first comma, the
// advance begins after the last.
//
// Texts never print over one another: a text whose column lies left of where the last text
// of its line ended prints right after that text, as a line printer's head would. (A line
// that begins at column 0 makes the module's column bookkeeping one short, and the next text
// would otherwise cover the sign position of an amount.)
//
// A line that fits none of these is a problem, reported with its line number; the rest of the
// spool is still laid out. A text that reaches a full page (its line at the page length) opens
// a new page of the same length, as a printer feeding continuous paper would.
#ifndef PALVORIN_TOOLS_ZODIRUDI_PRINTDOC_H_
#define PALVORIN_TOOLS_ZODIRUDI_PRINTDOC_H_

#include <string>
#include <string_view>
#include <vector>

#include "print/destination.h"

namespace palvorin::zodirudi {

// Pages without a page record before their first text get this many lines.
constexpr int kDefaultPageLength = 66;
// Bounds that keep a damaged spool from asking for absurd pages; beyond them a line is a
// problem and is skipped.
constexpr int kMaxColumn = 999;
constexpr int kMaxAdvance = 999;
constexpr int kMaxPageLength = 999;
// Texts are cut at this column.
constexpr int kMaxLineWidth = 2000;

// One printed line: its characters (CP850, blank where nothing was printed) and, parallel to
// them, '1' for a bold character and '0' otherwise.
struct PrintedLine {
  std::string text;
  std::string bold;
  bool operator==(const PrintedLine&) const = default;
};

struct PrintedPage {
  int length = kDefaultPageLength;  // lines per page, from its page record
  std::vector<PrintedLine> lines;   // line 0 first; trailing empty lines are not kept
};

// A spool line that could not be understood.
struct SpoolProblem {
  int line = 0;        // 1-based line number in the spool
  std::string reason;  // what is wrong, CP850
};

struct PrintedDocument {
  std::string destination;  // the device record's text, as written
  bool hasDevice = false;   // the spool began with a device record
  std::vector<PrintedPage> pages;  // pages on which something was printed
  std::vector<SpoolProblem> problems;

  // The rightmost column any text reaches (0 for an empty document).
  int Width() const;
  // The longest page, in lines: its page length, or more when texts ran past it.
  int Height() const;
};

// Lays out a whole spool.
PrintedDocument ParseSpool(std::string_view spool);

// One problem as the operator reads it: "línia 7: ...".
std::string ProblemText(const SpoolProblem& problem);

// The pages as text, one "\n"-ended line each, trailing blanks removed, every page after the
// first opened by a form feed. `utf8` converts from CP850; otherwise the bytes stay CP850.
std::string RenderText(const PrintedDocument& doc, bool utf8);

}  // namespace palvorin::zodirudi

#endif  // PALVORIN_TOOLS_ZODIRUDI_PRINTDOC_H_
