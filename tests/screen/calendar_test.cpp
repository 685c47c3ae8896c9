// The pop-up calendar: moving the day across months, quarters and years, and its screen.
#include "screen/calendar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/clock.h"
#include "os/codepage.h"
#include "screen_fixture.h"
#include "textlib/dates.h"

namespace palvorin {
namespace {

class CalendarTest : public testing::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ResetDatesForTest();
    Dates() = {'/', "DMA"};
    SessionState().languageCode = "CAT";
  }
  void TearDown() override { ResetDatesForTest(); }

  // Opens the calendar on a work date, presses `keys` and then "F": the date it returns.
  std::string Pick(int year, int month, int day, std::vector<int> keys) {
    SessionState().workDate = PackDate(year, month, day);
    keys.push_back('F');
    Headless().FeedKeys(keys);
    return ShowCalendar();
  }
  // Opens the calendar and presses `keys`, leaving it open for the screen to be read.
  void Show(int year, int month, int day, std::initializer_list<int> keys) {
    SessionState().workDate = PackDate(year, month, day);
    Headless().FeedKeys(keys);
    EXPECT_THROW(ShowCalendar(), HeadlessInputExhausted);
  }
  // A row of the calendar's window, inside its frame.
  static std::string Inside(int windowRow) {
    return Text(kCalendarTop + windowRow, kCalendarLeft + 1, 20);
  }
  static std::string Trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }
};

TEST_F(CalendarTest, MovesTheDayAcrossMonthsAndYears) {
  struct Case {
    const char* what;
    int year, month, day;
    std::vector<int> keys;
    const char* date;
  };
  const std::vector<Case> cases = {
      {"Left on 1 January", 2024, 1, 1, {keys::kLeft}, "31/12/2023"},
      {"Right on 31 March", 2024, 3, 31, {keys::kRight}, "1/4/2024  "},
      {"Down on 25 February, leap year", 2024, 2, 25, {keys::kDown}, "3/3/2024  "},
      {"Down on 25 February, common year", 2023, 2, 25, {keys::kDown}, "4/3/2023  "},
      {"Up on 3 January", 2024, 1, 3, {keys::kUp}, "27/12/2023"},
      {"PgDn from 31 January", 2024, 1, 31, {keys::kPgDn}, "30/4/2024 "},
      {"PgDn from 29 February to next February",
       2024,
       2,
       29,
       {keys::kPgDn, keys::kPgDn, keys::kPgDn, keys::kPgDn},
       "28/2/2025 "},
      {"PgUp from 15 February", 2024, 2, 15, {keys::kPgUp}, "15/11/2023"},
      {"Home keeps the day", 2024, 8, 17, {keys::kHome}, "17/1/2024 "},
      {"End keeps the day", 2024, 2, 9, {keys::kEnd}, "9/12/2024 "},
      {"other keys are ignored", 2024, 6, 5, {'x', keys::kF4}, "5/6/2024  "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Pick(c.year, c.month, c.day, c.keys), c.date) << c.what;
  }
  EXPECT_EQ(Pick(2024, 6, 5, {0x2100}).substr(0, 8), "5/6/2024") << "Alt+F returns too";
}

TEST_F(CalendarTest, EscReturnsNothingAndLeavesTheScreenAsItWas) {
  PaintPattern();
  ConSetCursor(7, 9);
  const std::vector<Cell> before = Cells();
  SessionState().workDate = PackDate(2024, 3, 7);
  Headless().FeedKeys({keys::kPgDn, keys::kLeft, keys::kEsc});
  EXPECT_EQ(ShowCalendar(), "");
  EXPECT_EQ(Cells(), before);
  EXPECT_EQ(ConCursorRow(), 7);
  EXPECT_EQ(ConCursorCol(), 9);
  EXPECT_FALSE(StackFileExists());
}

TEST_F(CalendarTest, ShowsAQuarterWithTheDaysUnderTheirWeekdays) {
  Show(2024, 3, 7, {});
  EXPECT_EQ(Text(1, 59, 22).substr(8, 6), " 2024 ");
  EXPECT_EQ(Inside(1), "DL DT DC DJ DV DS DG");
  EXPECT_EQ(Trim(Inside(2)), "GENER");
  EXPECT_EQ(Trim(Inside(9)), "FEBRER");
  EXPECT_EQ(Trim(Inside(16)), cp850("MARÇ"));
  // 1 January 2024 was a Monday; 1 March a Friday; 31 March a Sunday.
  EXPECT_EQ(Inside(3), " 1  2  3  4  5  6  7");
  EXPECT_EQ(Inside(17), "             1  2  3");
  EXPECT_EQ(Inside(21), "25 26 27 28 29 30 31");
  EXPECT_EQ(Inside(22), std::string(20, ' '));
  // Days in the highlight colour, the chosen day in the input colour.
  EXPECT_EQ(AttrAt(kCalendarTop + 3, kCalendarLeft + 2), testing::kAttrHighlight);
  EXPECT_EQ(AttrAt(kCalendarTop + 2, kCalendarLeft + 9), testing::kAttrNormal);
  EXPECT_EQ(AttrAt(kCalendarTop + 18, kCalendarLeft + 11), testing::kAttrInput) << "7 March";
}

TEST_F(CalendarTest, RedrawsTheQuarterReachedAndMovesTheHighlight) {
  Show(2024, 1, 1, {keys::kLeft});
  EXPECT_EQ(Text(1, 59, 22).substr(8, 6), " 2023 ");
  EXPECT_EQ(Trim(Inside(2)), "OCTUBRE");
  EXPECT_EQ(Trim(Inside(16)), "DESEMBRE");
  // 31 December 2023 was a Sunday, in the fifth week row of December's block.
  EXPECT_EQ(AttrAt(kCalendarTop + 17 + 4, kCalendarLeft + 20), testing::kAttrInput);

  Show(2024, 5, 10, {keys::kRight});  // within the quarter: only the highlight moves
  EXPECT_EQ(Trim(Inside(2)), "ABRIL");
  EXPECT_EQ(AttrAt(kCalendarTop + 10 + 1, kCalendarLeft + 17), testing::kAttrInput) << "11 May";
  EXPECT_EQ(AttrAt(kCalendarTop + 10 + 1, kCalendarLeft + 14), testing::kAttrHighlight) << "10 May";
}

TEST_F(CalendarTest, TheWeekdayHeaderFollowsTheLanguage) {
  EXPECT_EQ(CalendarWeekdayHeader("SPA"), " L  M  X  J  V  S  D");
  EXPECT_EQ(CalendarWeekdayHeader("GLG"), " L  M  X  J  V  S  D");
  EXPECT_EQ(CalendarWeekdayHeader("OCI"), "DL DT DC DJ DD DS DG");
  EXPECT_EQ(CalendarWeekdayHeader("CAT"), "DL DT DC DJ DV DS DG");
  EXPECT_EQ(CalendarWeekdayHeader("XYZ"), "DL DT DC DJ DV DS DG");
  SessionState().languageCode = "SPA";
  Show(2024, 3, 7, {});
  EXPECT_EQ(Inside(1), " L  M  X  J  V  S  D");
  EXPECT_EQ(Trim(Inside(2)), "ENERO");
}

TEST_F(CalendarTest, MonthLengths) {
  const std::vector<int> common = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int m = 1; m <= 12; ++m) EXPECT_EQ(CalendarMonthLength(2023, m), common[m - 1]) << m;
  EXPECT_EQ(CalendarMonthLength(2024, 2), 29);
  EXPECT_EQ(CalendarMonthLength(1900, 2), 28);
  EXPECT_EQ(CalendarMonthLength(2000, 2), 29);
}

TEST_F(CalendarTest, AnEmptyWorkDateStartsToday) {
  Os().today = [] { return LocalDate{2025, 7, 14}; };
  SessionState().workDate = EmptyDate();
  Headless().FeedKeys({'f'});
  EXPECT_EQ(ShowCalendar(), "14/7/2025 ");
  ResetOsForTest();
}

TEST_F(CalendarTest, AltCTypesTheChosenDateIntoTheWaitingInput) {
  InstallHotKeyTools();
  SessionState().workDate = PackDate(2024, 3, 7);
  Headless().FeedKeys({keys::kAltC, keys::kRight, 'F'});
  std::vector<int> got;
  for (int i = 0; i < 4; ++i) {
    int key = 0;
    GetKey(key);
    got.push_back(key);
  }
  EXPECT_EQ(got, (std::vector<int>{keys::kAltC, '8', '/', '3'}));
}

}  // namespace
}  // namespace palvorin
