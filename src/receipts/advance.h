// The advance listing and the error listing, written to the print spool.
//
// Page header (both listings): a page of 66 lines, the installation name, the page number at
// column 85, the title with the issue number and date, and the column heads. Advance listing:
// per co-owner a header line (code, department, name, remittance, where the receipt is
// collected) followed by its lines as amount-and-concept pairs across the page (one-off
// charges between two "b" attributes), wrapping once a pair ends past column 110, and "= "
// with the receipt total at column 123; per building, when asked for, a block with its PF, FR,
// SA, GP and total, its summary lines by concept and a closing separator; at the end the
// general total, the general summary lines and a separator with a page break. Error listing:
// one line per co-owner that cannot be receipted, with the reason at column 68.
//
// Everything here reads the run's working values (generation.h).
#ifndef PALVORIN_RECEIPTS_ADVANCE_H_
#define PALVORIN_RECEIPTS_ADVANCE_H_

#include <string>

namespace palvorin {

// Opens a new page: the page counter goes up by one and the header is printed.
void PrintPageHeader();
// The current charge as a receipt line: a page header first when no page is started or more
// than 52 lines are used, the co-owner header when it is not printed yet.
void PrintReceiptLine();
// The co-owner's code, department, name, remittance and collection address.
void PrintCoOwnerHeader();
// "= " and the co-owner's receipt total at column 123, when its header was printed.
void PrintCoOwnerTotal();
// The building's code and name, then its PF, FR, SA, GP and total from column 50.
void PrintBuildingBlock();
// "TOTAL GENERAL" and the run's PF, FR, SA, GP and total.
void PrintGeneralTotal();
// The line that closes a building or the run; with `pageBreak` a line of "=" after which the
// next printed line opens a new page numbered 1.
void PrintClosingSeparator(bool pageBreak);
// The verify mode's line for the current co-owner and its error code.
void PrintErrorLine();
// Why the current co-owner cannot be receipted, as its error line says it
// ("*** remesa 0400 inexistent ***").
std::string CoOwnerErrorText();

// Adds a charge (a DADES\HRebuts-shaped record) to the summary by concept in hresrebu: a
// co-owner's charge to its building's group, a building's summary line to the general group,
// and a general line to nothing. Only when the run keeps summaries. The amounts are kept in
// memory and written by FlushSummary, which must run before hresrebu is read.
void AddToSummary(const std::string& charge);
void FlushSummary();

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_ADVANCE_H_
