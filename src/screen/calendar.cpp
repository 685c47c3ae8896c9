// The pop-up calendar.
#include "screen/calendar.h"

#include <algorithm>
#include <array>
#include <string>

#include "console/console.h"
#include "os/clock.h"
#include "screen/calculator.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"
#include "session/session.h"
#include "textlib/dates.h"
#include "textlib/text.h"

namespace palvorin {

namespace {

constexpr int kInsideWidth = kCalendarRight - kCalendarLeft - 1;  // 20
constexpr int kAltF = 0x2100;

// One call's view: the highlighted day and the quarter on the screen.
struct CalendarView {
  int year = 0;
  int month = 1;
  int day = 1;
  int firstShown = 1;                  // first month of the quarter shown
  std::array<int, 12> lengths{};       // month lengths of the shown year
  std::array<int, 12> firstWeekday{};  // weekday of each month's 1st, 1 Monday to 7 Sunday
};

std::string RightAligned(int value, size_t width) {
  std::string s = std::to_string(value);
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

void RebuildTables(CalendarView& v) {
  for (int m = 1; m <= 12; ++m) {
    v.lengths[static_cast<size_t>(m - 1)] = CalendarMonthLength(v.year, m);
    v.firstWeekday[static_cast<size_t>(m - 1)] = DayOfWeek(PackDate(v.year, m, 1));
  }
}

int Length(const CalendarView& v, int month) { return v.lengths[static_cast<size_t>(month - 1)]; }

// Window row of the day's cell and its column.
int DayRow(const CalendarView& v, int month, int day) {
  const int block = 2 + 7 * (month - v.firstShown);
  return block + 1 + (v.firstWeekday[static_cast<size_t>(month - 1)] + day - 2) / 7;
}

int DayCol(const CalendarView& v, int month, int day) {
  const int w = (v.firstWeekday[static_cast<size_t>(month - 1)] + day - 2) % 7 + 1;
  return 3 * w - 2;
}

void PrintDay(const CalendarView& v, int month, int day) {
  LocateInWindow(DayRow(v, month, day), DayCol(v, month, day));
  ConPrint(RightAligned(day, 2));
}

std::string MonthTitle(int year, int month) {
  std::string name = Fold(FmtDate(PackDate(year, month, 1), 2, "m"));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name.substr(0, kInsideWidth);
}

void Draw(CalendarView& v) {
  v.firstShown = (v.month - 1) / 3 * 3 + 1;
  RebuildTables(v);
  SetColour("n");
  const std::string year = " " + RightAligned(v.year, 4) + " ";
  LocateInWindow(0, (kCalendarRight - kCalendarLeft + 1 - static_cast<int>(year.size())) / 2);
  ConPrint(year);
  LocateInWindow(1, 1);
  ConPrint(CalendarWeekdayHeader(SessionState().languageCode));
  for (int b = 0; b < 3; ++b) {
    const int month = v.firstShown + b;
    const int row = 2 + 7 * b;
    SetColour("n");
    LocateInWindow(row, 1);
    ConPrint(std::string(kInsideWidth, ' '));
    const std::string title = MonthTitle(v.year, month);
    LocateInWindow(row, 1 + (kInsideWidth - static_cast<int>(title.size())) / 2);
    ConPrint(title);
    SetColour("h");
    const int w1 = v.firstWeekday[static_cast<size_t>(month - 1)];
    for (int cell = 1; cell <= 42; ++cell) {
      const int day = cell - w1 + 1;
      LocateInWindow(row + 1 + (cell - 1) / 7, 3 * ((cell - 1) % 7 + 1) - 2);
      ConPrint(day >= 1 && day <= Length(v, month) ? RightAligned(day, 2) : "  ");
    }
  }
}

// The keys that pick the day and leave, on the frame's bottom line.
void DrawKeyHint() {
  SetColour("n");
  std::string hint = Translate("Intro:tria Esc:surt").substr(0, kInsideWidth);
  LocateInWindow(kCalendarBottom - kCalendarTop,
                 1 + (kInsideWidth - static_cast<int>(hint.size())) / 2);
  ConPrint(hint);
}

// The starting day: the session's work date, or today when it holds no date.
void StartAtWorkDate(CalendarView& v) {
  const std::string digits = UnpackDigits(SessionState().workDate);
  int year = 0, month = 0, day = 0;
  if (digits.size() == 8) {
    year = std::stoi(digits.substr(0, 4));
    month = std::stoi(digits.substr(4, 2));
    day = std::stoi(digits.substr(6, 2));
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > CalendarMonthLength(year, month)) {
    const LocalDate today = Today();
    year = today.year;
    month = today.month;
    day = today.day;
  }
  v.year = year;
  v.month = month;
  v.day = day;
}

// Moves the day by `delta` days (at most a week), across month and quarter edges.
void MoveDays(CalendarView& v, int delta) {
  v.day += delta;
  if (v.day < 1) {
    --v.month;
    if (v.month < v.firstShown) {
      if (v.month == 0) {
        v.month = 12;
        --v.year;
      }
      Draw(v);
    }
    v.day += Length(v, v.month);
  } else if (v.day > Length(v, v.month)) {
    v.day -= Length(v, v.month);
    ++v.month;
    if (v.month > v.firstShown + 2) {
      if (v.month == 13) {
        v.month = 1;
        ++v.year;
      }
      Draw(v);
    }
  }
}

void MoveQuarter(CalendarView& v, int delta) {
  v.month += delta;
  if (v.month > 12) {
    v.month -= 12;
    ++v.year;
  } else if (v.month < 1) {
    v.month += 12;
    --v.year;
  }
  v.day = std::min(v.day, CalendarMonthLength(v.year, v.month));
  Draw(v);
}

}  // namespace

int CalendarMonthLength(int year, int month) {
  const int leap = (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 1 : 0;
  int days = 30 + (1 + (month + 1) % 9) % 2;
  if (month == 2) days -= 2 - leap;
  return days;
}

std::string CalendarWeekdayHeader(std::string_view code) {
  switch (LanguageOf(code)) {
    case Language::Spanish:
    case Language::Galician: return " L  M  X  J  V  S  D";
    case Language::Aranese: return "DL DT DC DJ DD DS DG";
    case Language::Catalan: break;
  }
  return "DL DT DC DJ DV DS DG";
}

std::string ShowCalendar() {
  const HeldKeyTables keyTables;
  SetKeys("+ea", "4d00,4b00,5000,4800,5100,4900,4700,4f00,2100,d,1b");
  SetColour("+n");
  const bool cursorWasVisible = ConCursorVisible();
  ConShowCursor(false);
  WinPush(kCalendarTop, kCalendarLeft, kCalendarBottom, kCalendarRight);
  DrawWindowFrame(1);
  DrawKeyHint();

  CalendarView v;
  StartAtWorkDate(v);
  Draw(v);

  std::string result;
  for (;;) {
    SetColour("+u");
    PrintDay(v, v.month, v.day);
    int key = 0;
    GetKey(key);
    SetColour("-");
    SetColour("h");
    PrintDay(v, v.month, v.day);
    if (key == keys::kRight) {
      MoveDays(v, 1);
    } else if (key == keys::kLeft) {
      MoveDays(v, -1);
    } else if (key == keys::kDown) {
      MoveDays(v, 7);
    } else if (key == keys::kUp) {
      MoveDays(v, -7);
    } else if (key == keys::kPgDn) {
      MoveQuarter(v, 3);
    } else if (key == keys::kPgUp) {
      MoveQuarter(v, -3);
    } else if (key == keys::kHome) {
      v.month = 1;
      if (v.firstShown != 1) Draw(v);
    } else if (key == keys::kEnd) {
      v.month = 12;
      if (v.firstShown != 10) Draw(v);
    } else if (key == keys::kEnter || key == 'F' || key == 'f' || key == kAltF) {
      result = FmtDate(PackDate(v.year, v.month, v.day), 0, "dma");
      break;
    } else if (key == keys::kEsc) {
      break;
    }
  }

  WinPop();
  ConShowCursor(cursorWasVisible);
  SetColour("-");
  keyTables.Restore();
  return result;
}

void InstallHotKeyTools() { SetHotKeyHandlers(Calculator, ShowCalendar); }

}  // namespace palvorin
