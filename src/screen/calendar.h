// The pop-up calendar (Alt+C from any input). It shows one quarter of a year in a framed
// window at the right of the screen, starting at the session's work date, and lets the
// operator move a highlighted day: Left and Right by a day, Up and Down by a week, PgUp and
// PgDn by three months, Home and End to January and December. Enter or "F" (or Alt+F) returns
// the day in the shown date form (day, month, year with the configured separator), which the
// keyboard then types into the waiting input; Esc returns the empty text. The window's bottom
// line says so. Either way the screen is left as it was.
#ifndef PALVORIN_SCREEN_CALENDAR_H_
#define PALVORIN_SCREEN_CALENDAR_H_

#include <string>
#include <string_view>

namespace palvorin {

// The calendar's window: rows 1 to 24, columns 59 to 80.
constexpr int kCalendarTop = 1;
constexpr int kCalendarLeft = 59;
constexpr int kCalendarBottom = 24;
constexpr int kCalendarRight = 80;

std::string ShowCalendar();

// Days of `month` (1 to 12) in `year`, with the leap years of the Gregorian rule.
int CalendarMonthLength(int year, int month);

// The weekday header for a language code: "SPA" and "GLG" " L  M  X  J  V  S  D", "OCI"
// "DL DT DC DJ DD DS DG", any other code "DL DT DC DJ DV DS DG".
std::string CalendarWeekdayHeader(std::string_view languageCode);

// Installs ShowCalendar and Calculator as the tools Alt+C and Alt+X open.
void InstallHotKeyTools();

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_CALENDAR_H_
