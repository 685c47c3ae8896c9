// The data tool's readable record form: one JSON object per line, a member per named field of
// the record layout, in layout order. Texts are strings (UTF-8, trailing blanks dropped);
// bytes, words and dwords are integers; amounts are decimal numbers with up to two decimals
// (12.5 is 1250 hundredths); packed digits are digit strings ("2403"); building and co-owner
// codes are dotted ("12.3", "12" for the building itself, "" for zero); dates are "YYYY-MM-DD"
// ("" for the empty date); remittances their four display digits ("0150"). A field whose bytes
// have no such form is written "x:" and its bytes in hex, which reads back exactly. Bytes that
// no field covers appear as "@OFFSET": hex, only when they are not all blanks.
#ifndef PALVORIN_TOOLS_ZEPDATA_FIELDCODEC_H_
#define PALVORIN_TOOLS_ZEPDATA_FIELDCODEC_H_

#include <string>
#include <string_view>

#include "receipts/layouts.h"

namespace palvorin {

// The record (CP850, the layout's length) as one JSON line, without the line end.
std::string RecordToJson(const FileLayout& layout, std::string_view record);

// The record a JSON line describes. Fields it leaves out are blank texts, zero numbers, zero
// packed digits and the empty date. False with `error` for anything it cannot take.
bool RecordFromJson(const FileLayout& layout, std::string_view line, std::string& record,
                    std::string& error);

// Lowercase hex of `bytes`, and back (either case; false for anything else or an odd length).
std::string ToHex(std::string_view bytes);
bool FromHex(std::string_view hex, std::string& bytes);

}  // namespace palvorin

#endif  // PALVORIN_TOOLS_ZEPDATA_FIELDCODEC_H_
