// The module's data files and their fixed-length records.
//
// Every record is a byte string of its file's record length, read and written through named
// offsets: texts are fixed-width and blank-padded, "word" and "dword" are signed little-endian
// 16- and 32-bit integers, amounts are dwords counting hundredths, flags are "S" or "N", and
// codes, dates, issue numbers and sequence numbers are packed digits (two decimal digits per
// byte, 128 plus their value, so byte order is numeric order). A building code is 2 packed
// bytes; a co-owner code is 4: the building code and the co-owner's number, 0000 standing for
// the building itself. A packed date holds year, month and day; all-zero digits is the empty
// date.
//
// Each file's namespace gives its name (relative to the installation root, except hresrebu,
// which lives in the temporary folder), the handle the module opens it under, the offsets
// (0-based) and widths of its fields, and its record length.
#ifndef PALVORIN_RECEIPTS_LAYOUTS_H_
#define PALVORIN_RECEIPTS_LAYOUTS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace palvorin {

// ---- Field access ----------------------------------------------------------------------------
// `rec` must hold at least `at` + the field's width bytes; the layouts below never exceed their
// record length.

int GetByte(std::string_view rec, int at);
void PutByte(std::string& rec, int at, int value);
int16_t GetWord(std::string_view rec, int at);
void PutWord(std::string& rec, int at, int16_t value);
int32_t GetDword(std::string_view rec, int at);
void PutDword(std::string& rec, int at, int32_t value);
// The field's bytes as they stand (blanks included).
std::string GetText(std::string_view rec, int at, int width);
// Writes `value` left-aligned, blank-padded or cut to `width`.
void PutText(std::string& rec, int at, int width, std::string_view value);
// A record of `length` bytes, all blanks.
std::string BlankRecord(int length);

// ---- Remittance codes ------------------------------------------------------------------------
// A remittance code is 2 bytes. Remittances 0 to 399 are one of the characters " ", "A", "B",
// "F" (the hundreds) followed by the rest packed in one byte: 150 is "A" and the byte 178.
// Remittance 400 and above is the number's four digits packed.

// The code of remittance `number` (0 to 9999; outside that range it is cut to it).
std::string EncodeRemittance(int number);
// The remittance's four display digits: "A" + byte 178 shows as "0150".
std::string RemittanceDisplay(std::string_view code);
// The code for typed display digits ("150" or "0150"); blanks and non-digits count as 0.
std::string RemittanceCode(std::string_view digits);

// ---- Handles and files -----------------------------------------------------------------------

// Buildings.
namespace hfinca {
constexpr const char* kFile = "DADES\\HFinca";
constexpr int kHandle = 41;
constexpr int kCode = 0;            // building code, 2 packed bytes (key 0)
constexpr int kBuildingName = 2;   // text 40, "SURNAME*Given"
constexpr int kNameWidth = 40;
constexpr int kReceiptsFrom = 264;  // packed date: takes part in runs issued on or after it
constexpr int kReferenceMonth = 268;  // byte 1-12: start month of "own month" periodicities
constexpr int kBalanceRule = 433;     // byte 1-5: rule for balance concepts
constexpr int kBlocked = 442;         // byte: non-zero excludes all its co-owners
constexpr int kLength = 450;
static_assert(kBlocked < kLength);
}  // namespace hfinca

// Co-owners.
namespace hprobase {
constexpr const char* kFile = "DADES\\HProBase";
constexpr int kHandle = 42;
constexpr int kCode = 0;         // co-owner code, 4 (key 0)
constexpr int kBlocked = 4;      // word: non-zero excludes the co-owner
constexpr int kDepartment = 6;   // text 15 (flat, premises)
constexpr int kDepartmentWidth = 15;
constexpr int kOwnerName = 21;   // text 40, "SURNAME*Given" (key 1 with the code)
constexpr int kAddress = 101;    // text 40, postal address (key 2 with the code)
constexpr int kAltAddress = 221;  // text 40
constexpr int kTextWidth = 40;
constexpr int kLength = 300;
static_assert(kAltAddress + kTextWidth <= kLength);
}  // namespace hprobase

// Co-owner economic data.
namespace hproecon {
constexpr const char* kFile = "DADES\\HProEcon";
constexpr int kHandle = 224;
constexpr int kCode = 0;      // co-owner code, 4 (key 0)
constexpr int kBalance = 4;   // dword amount
constexpr int kApplied = 8;   // dword amount: part of the balance already carried into receipts
constexpr int kLength = 32;
static_assert(kApplied + 4 <= kLength);
}  // namespace hproecon

// Co-owner collection data.
namespace hprobanc {
constexpr const char* kFile = "DADES\\HProBanc";
constexpr int kHandle = 219;
constexpr int kCode = 0;         // co-owner code, 4 (key 0)
constexpr int kRemittance = 4;   // remittance code, 2
constexpr int kAccount = 6;      // text 34: 4 country and check characters, then the domestic account
constexpr int kAccountWidth = 34;
constexpr int kBic = 40;         // text 11
constexpr int kBicWidth = 11;
constexpr int kAddress1 = 51;    // text 40
constexpr int kAddress2 = 91;    // text 40
constexpr int kAddressWidth = 40;
constexpr int kLength = 140;
static_assert(kAddress2 + kAddressWidth <= kLength);
}  // namespace hprobanc

// Standing charges (one-off charges are merged into it).
namespace hrebuts {
constexpr const char* kFile = "DADES\\HRebuts";
constexpr int kHandle = 45;
constexpr int kCode = 0;         // co-owner code, 4
constexpr int kSequence = 4;     // packed 2: sequence within the co-owner (key 0: code + sequence)
constexpr int kConcept = 6;      // text 3 (key 1: code + concept, duplicates)
constexpr int kClass = 9;        // text 1: charge class, carried into receipt lines
constexpr int kRemaining = 10;   // word: 0 unlimited, else issues still to charge
constexpr int kAmount = 12;      // dword amount per issue
constexpr int kPeriodicity = 17;  // text 4
constexpr int kLength = 21;
static_assert(kPeriodicity + 4 == kLength);
}  // namespace hrebuts

// Receipt concepts.
namespace hconcept {
constexpr const char* kFile = "DADES\\HConcept";
constexpr int kHandle = 49;
constexpr int kCode = 0;          // text 3 (key 0)
constexpr int kDescription = 3;   // text 20
constexpr int kDescriptionWidth = 20;
constexpr int kType = 23;         // text 1: "D", "R", "S", "P", "F", "N" or other
constexpr int kFurtherCode = 24;  // text 3
constexpr int kLength = 32;
static_assert(kFurtherCode + 3 <= kLength);
}  // namespace hconcept

// Receipt headers.
namespace hcaprebu {
constexpr const char* kFile = "DADES\\HCapRebu";
constexpr int kHandle = 63;
constexpr int kCode = 0;         // co-owner code, 4
constexpr int kIssue = 4;        // packed 2 (key 0: code + issue)
constexpr int kIssueDate = 6;    // packed date
constexpr int kTotal = 10;       // dword amount
constexpr int kRemittance = 15;  // remittance code, 2
constexpr int kFirstReceipt = 26;   // flag
constexpr int kPendingEarlier = 27;  // flag
constexpr int kAccount = 28;     // text 34
constexpr int kBic = 62;         // text 11
constexpr int kLength = 80;
static_assert(kBic + 11 <= kLength);
}  // namespace hcaprebu

// Receipt lines.
namespace hlinrebu {
constexpr const char* kFile = "DADES\\HLinRebu";
constexpr int kHandle = 64;
constexpr int kCode = 0;         // co-owner code, 4
constexpr int kIssue = 4;        // packed 2 (key 0: code + issue, duplicates)
constexpr int kSequence = 6;     // packed 2: the standing charge the line came from
constexpr int kConcept = 8;      // text 3
constexpr int kClass = 11;       // text 1
constexpr int kRemaining = 12;   // word: the charge's remaining count before the run
constexpr int kAmount = 15;      // dword amount
constexpr int kIssueDate = 19;   // packed date
constexpr int kPeriodicity = 23;  // text 4
constexpr int kLength = 32;
static_assert(kPeriodicity + 4 <= kLength);
}  // namespace hlinrebu

// Summary of amounts by group and concept for the advance listing (temporary folder).
namespace hresrebu {
constexpr const char* kFile = "hresrebu";
constexpr int kHandle = 69;
constexpr int kGroup = 0;    // packed 2: building code, or 0000 for the general level
constexpr int kConcept = 2;  // text 3 (key 0: group + concept; key 1: group, duplicates)
constexpr int kAmount = 5;   // dword amount
constexpr int kLength = 9;
static_assert(kAmount + 4 == kLength);
}  // namespace hresrebu

// One-off charges notified for a co-owner.
namespace hnotific {
constexpr const char* kFile = "DADES\\HNOTIFIC";
constexpr int kHandle = 47;
constexpr int kDate = 0;         // packed date: due from (key 0: code + date + concept)
constexpr int kBlank = 4;        // text 8, written blank
constexpr int kCode = 12;        // co-owner code, 4
constexpr int kZero = 16;        // packed 1, written 00
constexpr int kConcept = 17;     // text 3
constexpr int kAmount = 24;      // dword amount
constexpr int kClass = 28;       // text 1
constexpr int kRemaining = 29;   // word
constexpr int kDone = 31;        // flag, written "N"
constexpr int kPeriodicity = 37;  // text 4
constexpr int kLength = 48;
static_assert(kPeriodicity + 4 <= kLength);
}  // namespace hnotific

// Outgoing transfers.
namespace htransfe {
constexpr const char* kFile = "DADES\\HTransfe";
constexpr int kHandle = 65;
constexpr int kChannel = 0;      // text 2, from the remittance (Remeses offset 77)
constexpr int kType = 12;        // text 1: "C" for refunds of negative receipts (key 1: type + code)
constexpr int kCode = 13;        // co-owner code, 4 (key 0: code + issue, duplicates)
constexpr int kIssue = 17;       // packed 2
constexpr int kOwnerName = 19;   // text 40, display order
constexpr int kIssueDate = 59;   // packed date
constexpr int kAmount = 63;      // dword amount, positive
constexpr int kFreeText = 67;    // text 83
constexpr int kFreeTextWidth = 83;
constexpr int kAccount = 150;    // text 34
constexpr int kBic = 184;        // text 11
constexpr int kZeros = 195;      // packed 6, twelve zero digits
constexpr int kLength = 210;
static_assert(kZeros + 6 <= kLength);
}  // namespace htransfe

// Collections: receipts already handed to collection.
namespace hcobros {
constexpr const char* kFile = "DADES\\HCobros";
constexpr int kHandle = 67;
constexpr int kCode = 0;     // co-owner code, 4
constexpr int kIssue = 4;    // packed 2 (key 0: code + issue)
constexpr int kDate = 6;     // packed date (key 1: code + date, duplicates)
constexpr int kAmount = 10;  // dword amount
constexpr int kState = 18;   // text 1: "P" while pending
constexpr int kLength = 32;
static_assert(kState < kLength);
}  // namespace hcobros

// Remittances: collection channels.
namespace remeses {
constexpr const char* kFile = "DADES\\Remeses";
constexpr int kHandle = 62;
constexpr int kCode = 0;             // remittance code, 2 (key 0)
constexpr int kDescription = 2;      // text 40
constexpr int kDescriptionWidth = 40;
constexpr int kLookForPending = 51;  // flag
constexpr int kNeedsAccount = 52;    // flag: the co-owner must have a domestic account
constexpr int kTransferChannel = 77;  // text 2, copied into transfers
constexpr int kFeeRate = 79;         // word, ten-thousandths
constexpr int kFeeMinimum = 82;      // dword amount
constexpr int kFeeMaximum = 86;      // dword amount
constexpr int kFeeFixed = 90;        // dword amount
constexpr int kLength = 100;
static_assert(kFeeFixed + 4 <= kLength);
}  // namespace remeses

// Periodicities.
namespace hperiodi {
constexpr const char* kFile = "DADES\\HPeriodi";
constexpr int kHandle = 317;
constexpr int kCode = 0;        // text 4 (key 0)
constexpr int kKind = 44;       // text 1: "I" explicit months, "N" every n months from January,
                                // other: every n months from the building's reference month
constexpr int kInterval = 45;   // word n
constexpr int kExclusion = 47;  // word m
constexpr int kMonths = 49;     // 12 words, January to December: non-zero charges that month
constexpr int kLength = 80;
static_assert(kMonths + 24 <= kLength);
}  // namespace hperiodi

// ---- The parameter block of DADES\HParam.tab ---------------------------------------------------
// A plain file whose first 97 bytes are one block of blank-padded texts.
namespace hparam {
constexpr const char* kFile = "DADES\\HParam.tab";
constexpr int kFeeConcept = 4;  // concept code of the collection fee, 3
constexpr int kLength = 97;
}  // namespace hparam

// The block with every default: "N", "VAR", "COB", "N", "HON" ... "S", "S".
std::string DefaultParamBlock();
// The block a file holding `fileBytes` gives: its first 97 bytes over the defaults (all of it
// when shorter). The file is to be written back as exactly this.
std::string ParamBlockFrom(std::string_view fileBytes);

// ---- Field tables ------------------------------------------------------------------------------
// Every file's fields by name, for the data tool's readable exchange format.

enum class FieldType {
  Text,        // CP850 text, blank-padded
  Byte,        // unsigned byte
  Word,        // signed 16-bit
  Dword,       // signed 32-bit
  Amount,      // dword of hundredths
  Digits,      // packed digits (issue and sequence numbers)
  Code,        // packed building or co-owner code, shown dotted: 12.3
  Date,        // packed date
  Remittance,  // remittance code
};

struct FieldInfo {
  const char* name;
  int offset;
  int width;
  FieldType type;
};

struct FileLayout {
  const char* name;  // as the module opens it: "DADES\\HFinca", "hresrebu"
  int handle;
  int length;
  std::span<const FieldInfo> fields;  // in offset order, not overlapping
};

// Every file of the module.
std::span<const FileLayout> FileLayouts();
// The layout whose base name (the part after the last "\" or "/", before any extension) equals
// that of `path`, without regard to case; nullptr when none does.
const FileLayout* FindLayout(std::string_view path);

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_LAYOUTS_H_
