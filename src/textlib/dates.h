// Dates as records keep them and as the operator sees and types them.
//
// A packed date is the 4-byte form kept in records: the packed digits of year (4), month (2)
// and day (2) in that order, so packed dates sort as plain bytes. The empty date packs
// 00000000 (four bytes 128). Dates before the October 1582 reform are Julian, the days 5 to
// 14 October 1582 do not exist.
//
// Shown dates follow the installation's date order and separator (Kora.ini [Usuari]
// DatOrdre, default "DMA", and DatCaracter, default "/") and, for month names, the operator's
// language. Typed dates are always day, month, year, with ".", "/" or "-" between them or as
// plain digits (ddmmyy or ddmmyyyy); a year of one or two digits is taken near today, one of
// three digits is no date.
#ifndef PALVORIN_TEXTLIB_DATES_H_
#define PALVORIN_TEXTLIB_DATES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace palvorin {

using PackedDate = std::string;  // 4 bytes of packed digits

// The date settings, read from Kora.ini [Usuari] on the first FmtDate and kept for the run;
// 0 and empty until read.
struct DateSettings {
  char separator = 0;  // between the parts of a short date
  std::string order;   // "DMA": the order of day (D), month (M) and year (A)
};
DateSettings& Dates();     // the run's only instance
void ResetDatesForTest();  // Dates() = DateSettings{}

// The packed form of year, month and day (each cut to its 4 or 2 last digits).
PackedDate PackDate(int year, int month, int day);
// The empty date: four bytes 128.
PackedDate EmptyDate();

// A packed date as text, with the parts named in `parts` ("dma", any case, in the date order):
//   style -1: year-month-day as 2024-03-07, whatever the parts (0000-00-00 for the empty date);
//   style 0:  numbers, 7/3/2024;  style 1: short month name, 7/mar/2024;
//   style 2 and more: long form in the operator's language, 7 de març del 2024 (no padding).
// Styles below 2 are padded with blanks to a fixed width, so the empty date gives blanks.
std::string FmtDate(std::string_view packed, int16_t style, std::string_view parts);

// Reads a date typed by the operator (day, month, year); the empty date when it cannot be
// read. Nothing checks that the date exists: use DateError for that.
PackedDate ParseDate(std::string_view typed);

// -1 when a typed date cannot be read or does not exist (month outside 1 to 12, day outside
// the month, the days the 1582 reform removed); 0 when it is a real date. Empty is invalid.
int16_t DateError(std::string_view typed);

// The count between two packed dates, in either order and never negative: unit "D" days,
// "M" months (days ignored), "A" completed years; any other unit gives 0.
int32_t DateDiff(std::string_view first, std::string_view second, std::string_view unit);

// The day of the week, 1 for Monday to 7 for Sunday.
int DayOfWeek(std::string_view packed);

// The date as the operator types it, without separators: ddmmyy when the year lies from 50
// years before to 49 after today's, ddmmyyyy otherwise; empty for the empty date. ParseDate
// reads it back to the same date.
std::string DateEditText(std::string_view packed);

}  // namespace palvorin

#endif  // PALVORIN_TEXTLIB_DATES_H_
