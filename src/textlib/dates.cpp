#include "textlib/dates.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <utility>

#include "os/clock.h"
#include "os/codepage.h"
#include "session/language.h"
#include "session/session.h"
#include "textlib/numbers.h"
#include "textlib/text.h"

namespace palvorin {

namespace {

constexpr char kDefaultSeparator = '/';
constexpr std::string_view kDefaultOrder = "DMA";
constexpr int kLargestTypedNumber = 32767;  // typed numbers are 16-bit
constexpr int kMonthSlot = 10;

// Month names in 10-character slots and the connectors of the long form: C1 before a month
// name starting with a consonant, C2 before one starting with a vowel, C3 before a day or year.
struct LanguageTable {
  std::string c1;
  std::string c2;
  std::string c3;
  std::string months;
};

const LanguageTable& TableFor(std::string_view languageCode) {
  static const std::array<LanguageTable, 4> kTables = {{
      {" de ", " d'", " del ",
       cp850("gener     febrer    març      abril     maig      juny      "
             "juliol    agost     setembre  octubre   novembre  desembre  ")},
      {" de ", " de ", " de ",
       cp850("enero     febrero   marzo     abril     mayo      junio     "
             "julio     agosto    septiembreoctubre   noviembre diciembre ")},
      {" de ", " de ", " do ",
       cp850("janeiro   fevereiro março     abril     maio      junho     "
             "julho     agosto    setembro  outubro   novembro  dezembro  ")},
      {" de ", " d'", " deth ",
       cp850("gèr       hereuèr   març      abriu     mai       junh      "
             "junhsega  agost     seteme    octobre   noveme    deseme    ")},
  }};
  switch (LanguageOf(languageCode)) {
    case Language::Spanish: return kTables[1];
    case Language::Galician: return kTables[2];
    case Language::Aranese: return kTables[3];
    case Language::Catalan: break;
  }
  return kTables[0];
}

// The month's slot, blanks included; empty for a month outside 1 to 12.
std::string_view MonthSlot(const LanguageTable& table, int month) {
  if (month < 1 || month > 12) return {};
  return std::string_view(table.months).substr((month - 1) * kMonthSlot, kMonthSlot);
}

void LoadDateSettings() {
  DateSettings& settings = Dates();
  if (settings.separator != 0 && !settings.order.empty()) return;
  const std::string file = RootFolderFromEnvironment() + "Kora.ini";
  if (settings.separator == 0) {
    const std::string value = ReadIniValue(file, "Usuari", "DatCaracter");
    settings.separator =
        value.empty() || value[0] == ' ' || value[0] == '\0' ? kDefaultSeparator : value[0];
  }
  if (settings.order.empty()) {
    const std::string value = ReadIniValue(file, "Usuari", "DatOrdre");
    settings.order = value.empty() || value[0] == ' ' ? std::string(kDefaultOrder)
                                                      : value.substr(0, 3);
  }
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool HasLetter(std::string_view parts, char letter) {
  return std::any_of(parts.begin(), parts.end(), [letter](char c) { return Upper(c) == letter; });
}

// The value of a digit text, held at a bound no date reaches.
int DigitValue(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = std::min(value * 10 + (c - '0'), 1000000);
  return value;
}

struct DateParts {
  int year = 0;
  int month = 0;
  int day = 0;
  auto operator<=>(const DateParts&) const = default;
};

// Year, month and day of a packed date; missing bytes count as zeros.
DateParts Unpack(std::string_view packed) {
  std::string bytes(packed.substr(0, 4));
  bytes.resize(4, static_cast<char>(128));
  const std::string digits = UnpackDigits(bytes);
  const std::string_view view(digits);
  return {DigitValue(view.substr(0, 4)), DigitValue(view.substr(4, 2)), DigitValue(view.substr(6, 2))};
}

std::string TwoDigits(int value) { return ZeroPad(value, 2); }


bool GregorianLeap(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// Leap years as day counts see them: every fourth year before 1582, the Gregorian rule after.
bool CountingLeap(int year) { return year < 1582 ? year % 4 == 0 : GregorianLeap(year); }

int DaysInMonth(int month, bool leap) {
  int days = 30 + (((month + 1) % 9 + 1) % 2);
  if (month == 2) days += leap ? -1 : -2;
  return days;
}

// Days from `from` to `to` (not before it), the October 1582 reform days counted as ordinary.
int64_t DaysBetween(const DateParts& from, const DateParts& to) {
  int64_t days = 0;
  for (int year = from.year + 1; year < to.year; ++year) days += CountingLeap(year) ? 366 : 365;
  const int lastMonth = from.year == to.year ? to.month - 1 : 12;
  for (int month = from.month; month <= lastMonth; ++month)
    days += DaysInMonth(month, CountingLeap(from.year));
  if (from.year != to.year)
    for (int month = 1; month < to.month; ++month)
      days += DaysInMonth(month, CountingLeap(to.year));
  return days - from.day + to.day;
}

// A typed date split into its numbers, before any century is added.
struct TypedDate {
  bool readable = false;
  int day = 0;
  int month = 0;
  int year = 0;
  bool shortYear = false;  // one or two digits, or none
};

// The value of one typed number, or -1 when it does not fit a 16-bit integer.
int TypedNumber(std::string_view text) {
  const double value = Val(text);
  return value > kLargestTypedNumber ? -1 : static_cast<int>(value);
}

TypedDate ReadTyped(std::string_view typed) {
  std::array<std::string_view, 3> numbers{};
  std::array<std::size_t, 3> starts{};
  int separators = 0;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    const char c = typed[i];
    if (c == '.' || c == '/' || c == '-') {
      if (++separators > 2) return {};
      starts[separators] = i + 1;
    } else if (c != ' ' && (c < '0' || c > '9')) {
      return {};
    } else {
      numbers[separators] = typed.substr(starts[separators], i + 1 - starts[separators]);
    }
  }
  if (separators == 1) return {};
  if (separators == 0) {
    const auto part = [typed](std::size_t at, std::size_t count) {
      return at < typed.size() ? typed.substr(at, count) : std::string_view();
    };
    numbers = {part(0, 2), part(2, 2), part(4, std::string_view::npos)};
  }
  TypedDate date;
  date.day = TypedNumber(numbers[0]);
  date.month = TypedNumber(numbers[1]);
  date.year = TypedNumber(numbers[2]);
  if (date.day < 0 || date.month < 0 || date.year < 0) return {};
  const std::string_view year = numbers[2];
  const std::size_t first = year.find_first_not_of(' ');
  const std::size_t digits = first == std::string_view::npos ? 0 : year.find_last_not_of(' ') - first + 1;
  // Three digits name no year an operator means: 202 is neither 2002 nor 2020, nor year 202.
  if (digits == 3) return {};
  date.shortYear = digits < 3;
  date.readable = true;
  return date;
}


int TodayYear() { return Today().year; }

// The year a typed date stands for: a short year of a real day and month is taken in the
// century around today, from 50 years before it to 49 after.
int ResolvedYear(const TypedDate& date) {
  int year = date.year;
  if (date.day > 0 && date.month > 0 && date.shortYear) {
    const int today = TodayYear();
    year += today / 100 * 100;
    if (year > today + 49) year -= 100;
    if (year < today - 50) year += 100;
  }
  return year;
}

// The long form's connector before a part: C2 before a month name starting with a vowel, C1
// before another month name, C3 before a day or a year.
const std::string& Connector(const LanguageTable& table, char letter, std::string_view name) {
  if (letter != 'M') return table.c3;
  const char first = name.empty() ? ' ' : Upper(name[0]);
  return std::string_view("AEIOU").find(first) != std::string_view::npos ? table.c2 : table.c1;
}

}  // namespace

DateSettings& Dates() {
  static DateSettings settings;
  return settings;
}

void ResetDatesForTest() { Dates() = DateSettings{}; }

PackedDate PackDate(int year, int month, int day) {
  return PackDigits(ZeroPad(year, 4) + ZeroPad(month, 2) + ZeroPad(day, 2));
}

PackedDate EmptyDate() { return PackedDate(4, static_cast<char>(128)); }

std::string FmtDate(std::string_view packed, int16_t style, std::string_view parts) {
  LoadDateSettings();
  const DateSettings& settings = Dates();
  const DateParts date = Unpack(packed);
  const std::string year = ZeroPad(date.year, 4);
  if (style == -1) return year + "-" + TwoDigits(date.month) + "-" + TwoDigits(date.day);
  const LanguageTable& table = TableFor(style > 0 ? SessionState().languageCode : "");
  std::string text;
  if (date.month != 0 || date.day != 0) {
    bool first = true;
    for (char orderLetter : settings.order) {
      const char letter = Upper(orderLetter);
      if ((letter != 'D' && letter != 'M' && letter != 'A') || !HasLetter(parts, letter)) continue;
      std::string part;
      if (letter == 'D') {
        part = std::to_string(date.day);
      } else if (letter == 'A') {
        part = year;
      } else if (style <= 0) {
        part = std::to_string(date.month);
      } else {
        const std::string_view slot = MonthSlot(table, date.month);
        part = style == 1 ? slot.substr(0, 3) : slot.substr(0, slot.find_last_not_of(' ') + 1);
      }
      if (!first) {
        if (style < 2) text += settings.separator;
        else text += Connector(table, letter, part);
      }
      text += part;
      first = false;
    }
  }
  if (style >= 2) return text;
  const int width = (HasLetter(parts, 'M') ? style + 2 : 0) + (HasLetter(parts, 'A') ? 4 : 0) +
                    (HasLetter(parts, 'D') ? 2 : 0) + static_cast<int>(parts.size()) - 1;
  text.resize(static_cast<std::size_t>(std::max(width, 0)), ' ');
  return text;
}

PackedDate ParseDate(std::string_view typed) {
  const TypedDate date = ReadTyped(typed);
  if (!date.readable) return EmptyDate();
  const int year = ResolvedYear(date);
  // What does not fit the packed digits cannot be kept without changing the date.
  if (year < 0 || year > 9999 || date.month > 99 || date.day > 99) return EmptyDate();
  return PackDate(year, date.month, date.day);
}

int16_t DateError(std::string_view typed) {
  // The year is resolved as ParseDate resolves it, so the date checked is the date stored.
  const TypedDate date = ReadTyped(typed);
  if (!date.readable) return -1;
  const int year = ResolvedYear(date);
  if (year < 0 || year > 9999) return -1;
  if (year == 1582 && date.month == 10 && date.day > 4 && date.day < 15) return -1;
  if (date.month < 1 || date.month > 12) return -1;
  if (date.day < 1 || date.day > DaysInMonth(date.month, GregorianLeap(year))) return -1;
  return 0;
}

int32_t DateDiff(std::string_view first, std::string_view second, std::string_view unit) {
  DateParts from = Unpack(first);
  DateParts to = Unpack(second);
  if (to < from) std::swap(from, to);
  switch (unit.empty() ? 0 : Upper(unit[0])) {
    case 'D':
      return static_cast<int32_t>(DaysBetween(from, to));
    case 'M':
      return 12 * (to.year - from.year) + to.month - from.month;
    case 'A': {
      const bool notCompleted =
          from.month > to.month || (from.month == to.month && from.day > to.day);
      return to.year - from.year - (notCompleted ? 1 : 0);
    }
    default:
      return 0;
  }
}

int DayOfWeek(std::string_view packed) {
  const DateParts date = Unpack(packed);
  DateParts newYear{date.year, 1, 1};
  const int64_t n = (date < newYear ? DaysBetween(date, newYear) : DaysBetween(newYear, date)) - 1;
  const int64_t y = date.year - 1;
  int64_t weekday;
  if (date < DateParts{1582, 10, 5})
    weekday = ((y + y / 4) % 7 + 6 + n) % 7;
  else
    weekday = ((y + y / 4 - y / 100 + y / 400) % 7 + 1 + n) % 7;
  return static_cast<int>((weekday + 7) % 7) + 1;
}

std::string DateEditText(std::string_view packed) {
  if (packed.size() < 2) return {};
  const std::string unpacked = UnpackDigits(packed);
  const std::string_view digits(unpacked);
  const std::size_t n = digits.size();
  const int day = DigitValue(digits.substr(n - 2));
  const int month = DigitValue(digits.substr(n - 4, 2));
  if (day == 0 && month == 0) return {};
  const int year = DigitValue(digits.substr(0, n - 4));
  const int today = TodayYear();
  const bool near = year >= today - 50 && year <= today + 49;
  return TwoDigits(day) + TwoDigits(month) + (near ? TwoDigits(year % 100) : ZeroPad(year, 4));
}

}  // namespace palvorin
