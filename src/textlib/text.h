// Small text conversions shared by the whole module.
//
// Packed digits are how records keep codes, dates, issue and sequence numbers: two decimal
// digits per byte, the byte holding 128 plus their two-digit value (128 to 227). No byte is 0
// and, for equal lengths, byte order is numeric order, so packed keys sort as plain bytes.
//
// A dotted code is the operator's form of a packed code: groups of digits split by ".", the
// last groups four digits wide and the first taking what is left (building 12, co-owner 3 is
// "12.3"). A stored name with a surname marker is "surname*given part" ("GARCIA*Joan").
//
// Every text is a CP850 byte string and may hold any byte. Checks return -1 for invalid and 0
// for valid.
#ifndef PALVORIN_TEXTLIB_TEXT_H_
#define PALVORIN_TEXTLIB_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace palvorin {

// Packs a digit text, right-aligned on its own length: blanks at both ends are trimmed, the
// rest is zero-padded on the left, inner blanks and any other non-digit count as 0. An odd
// length gets a 0 digit on the right: "123" packs as the values 12 and 30.
std::string PackDigits(std::string_view digits);

// Two digits per byte: the last two decimal digits of (byte AND 127), so a byte that was never
// packed still gives two digits (a blank gives "32").
std::string UnpackDigits(std::string_view packed);

// The dotted form of a packed code: trailing zero groups are dropped, each group is shown
// without leading zeros, an all-zero code gives the empty text.
std::string CodeDisplay(std::string_view packed);

// Packs a dotted code typed by the operator: "12.3" gives the digits 0012 0003, "123456" the
// digits 123456. Check it with CodeError first; this never fails.
std::string PackCode(std::string_view dotted);

// -1 when a typed dotted code is not acceptable: more points than its length allows, a group
// that is zero, not a number, or wider than four digits (six for a lone first group).
// A blank text is acceptable.
int16_t CodeError(std::string_view dotted);

// A stored name in the order it is shown: "GARCIA*Joan" shows as "Joan GARCIA", and a given
// part ending in an apostrophe joins the surname without a blank. Names without the marker
// after their first character come back trimmed.
std::string NameDisplay(std::string_view stored);

// Fold mode for Fold: off (the default) gives CP850 capitals keeping accents; on gives plain
// capitals without accents and blanks for every other character. The text editor switches it
// on for one call of Fold and back off.
struct FoldSettings {
  bool plain = false;
};
FoldSettings& Folding();      // the run's only instance
void ResetFoldingForTest();  // Folding() = FoldSettings{}

// The text in capitals, same length; only the characters 64 to 237 are touched.
std::string Fold(std::string_view text);
// Fold in the plain mode whatever the setting: letters as plain capitals without accents
// ("ñ" gives "N"), every other character of 64 to 237 as a blank.
std::string FoldPlain(std::string_view text);

// -1 when every character of `text` is the character `code` (also for an empty text), else 0.
int16_t AllChar(std::string_view text, int code);

// The column offset that centres `text` in `width`: (width - length) / 2, toward zero.
int CenterOffset(std::string_view text, int width);

// Byte copies between texts and record areas. The caller passes an address and a length that
// lie inside its record.
std::string PeekStr(const void* area, std::size_t length);
void PokeStr(void* area, std::string_view text);

// The same copies on a record held as a text, starting at byte `at`: they never read or write
// past the record's end (what would fall outside is left out).
std::string PeekStr(std::string_view record, std::size_t at, std::size_t length);
void PokeStr(std::string& record, std::size_t at, std::string_view text);

}  // namespace palvorin

#endif  // PALVORIN_TEXTLIB_TEXT_H_
