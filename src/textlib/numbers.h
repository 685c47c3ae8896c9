// Numbers as the operator sees them: picture masks, amounts in either currency, compact
// numeric texts, zero padding, and the checks on typed numbers.
//
// A picture mask is a text as long as the result: "9" a digit, "Z"/"z" a digit or a blank,
// "*" a digit or "*" (protection fill), "." the decimal character, "," the thousands
// character, "-" and "+" the sign; anything else is copied. With the default separators
// FmtPic("ZZ,ZZZ,ZZ9", 1234567) is " 1.234.567" and FmtPic("ZZ9.99-", -12.3) is " 12'30-".
// Values that need more digits than the mask has fall back to the plain number, or to "!"s
// when not even that fits.
//
// Rounding to the shown decimals is half to even, decided on the exact value of the double:
// 0.125 shows as 0.12 and 0.375 as 0.38, while 2.675 (just below the half) shows as 2.67.
//
// Amounts are kept in hundredths of the main currency (the euro). Checks return -1 for
// invalid and 0 for valid.
#ifndef PALVORIN_TEXTLIB_NUMBERS_H_
#define PALVORIN_TEXTLIB_NUMBERS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace palvorin {

// The separators written for the mask's "." and ",". Read from Kora.ini [Usuari]
// DecCaracter and MilCaracter on the first FmtPic and kept for the run; 0 until read.
struct NumberSettings {
  char decimalChar = 0;
  char thousandsChar = 0;
};
NumberSettings& Numbers();   // the run's only instance
void ResetNumbersForTest();  // Numbers() = NumberSettings{}

// The currencies FmtAmount works with, one upper-case letter each, 0 when not set. Amounts are
// stored in the main currency; "P" in force means pesetas.
struct CurrencyState {
  char main = 0;
  char second = 0;
  char inForce = 0;
  bool sessionTaken = false;  // the session's currency command has been applied
};
CurrencyState& Currency();    // the run's only instance
void ResetCurrencyForTest();  // Currency() = CurrencyState{}

// Pesetas per euro, a single-precision constant as the suite always held it.
constexpr float kPesetasPerEuro = 166.386f;

// `value` through the picture `mask`; the result is exactly as long as the mask.
std::string FmtPic(std::string_view mask, double value);

// An amount in hundredths through a mask written for whole units: the mask is rebuilt with
// its decimals (two more for the stored currency, as they are in pesetas) and its thousands
// points, then filled by FmtPic. "ZZ,ZZZ,ZZ9-" shows 123456 as "  1.234'56 ".
std::string FmtAmount(std::string_view mask, double amount);

// Changes the currencies: "a,E" makes E the main currency and puts it in force; "x,P" (any
// other first letter) sets the second currency; "p" puts the second currency in force (the
// main one when none is set); anything else without a comma puts the main currency back.
// The session's own command, once it is set up, comes first, the first time the currencies
// are changed or used.
void SetCurrency(std::string_view command);

// A number as a compact text. The format text holds a width before "." and a number of
// decimals after it, and letters in any case: V no decimal point written, Z a 0 before the
// point when nothing else stands there, S "+" for values >= 0, N "N" for negative values,
// M "N" for negative values and a blank otherwise. With a width the text is zero-padded or
// cut to it and the sign takes its first place; without width or "." all decimals the
// value has are written. NumText(-5, "3") is "-05"; NumText(12.5, "") is "12.5".
std::string NumText(double value, std::string_view format);

// NumText with an empty format text: 12.5 gives "12.5", -3 gives "-3", 0 the empty text.
std::string NumStr(double value);

// The value's digits without sign, zero-padded and cut to their last `width` characters:
// ZeroPad(7, 3) is "007".
std::string ZeroPad(double value, int16_t width);

// -1 when a typed number holds anything but blanks, digits and, where `allowed` holds them,
// one point (".") and one leading sign ("-" or "+" allows either). Blank texts, a lone
// point or a lone sign are valid.
int16_t NumberError(std::string_view text, std::string_view allowed);

// -1 when the typed number is not a valid number with at most `decimals` decimals (0 to 16)
// between `minimum` and `maximum` once rounded to those decimals; also -1 when
// maximum < minimum.
int16_t NumberRangeError(std::string_view text, double minimum, double maximum,
                         int16_t decimals);

// The value of a text read the suite's way: leading blanks skipped, an optional sign, then
// digits with at most one point; whatever follows is ignored ("12a" is 12, "abc" is 0).
double Val(std::string_view text);

}  // namespace palvorin

#endif  // PALVORIN_TEXTLIB_NUMBERS_H_
