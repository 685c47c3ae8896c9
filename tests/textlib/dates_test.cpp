#include <string>
#include <string_view>

#include "os/codepage.h"
#include "textlib_env.h"

namespace palvorin {
namespace {

using DatesTest = TextlibTest;

TEST_F(DatesTest, FmtDateWritesTheCatalanForms) {
  const PackedDate march7 = Date(2024, 3, 7);
  EXPECT_EQ(FmtDate(march7, 0, "dma"), "7/3/2024  ");
  EXPECT_EQ(FmtDate(march7, 1, "dma"), "7/mar/2024 ");
  EXPECT_EQ(FmtDate(march7, 2, "dma"), cp850("7 de març del 2024"));
  EXPECT_EQ(FmtDate(Date(2024, 4, 1), 2, "dma"), "1 d'abril del 2024");
  EXPECT_EQ(FmtDate(Date(2024, 10, 12), 2, "DMA"), "12 d'octubre del 2024");
  EXPECT_EQ(FmtDate(march7, -1, "d"), "2024-03-07");
  EXPECT_EQ(FmtDate(Date(2024, 11, 30), 0, "ma"), "11/2024");
  EXPECT_EQ(FmtDate(march7, 0, "ma"), "3/2024 ");
  EXPECT_EQ(FmtDate(march7, 0, "d"), "7 ");
  EXPECT_EQ(FmtDate(march7, 2, "ma"), cp850("març del 2024"));
  EXPECT_EQ(FmtDate(march7, 3, "m"), cp850("març"));
}

TEST_F(DatesTest, FmtDateOfTheEmptyDate) {
  EXPECT_EQ(FmtDate(EmptyDate(), 0, "dma"), std::string(10, ' '));
  EXPECT_EQ(FmtDate(EmptyDate(), 1, "dma"), std::string(11, ' '));
  EXPECT_EQ(FmtDate(EmptyDate(), 2, "dma"), "");
  EXPECT_EQ(FmtDate(EmptyDate(), -1, "dma"), "0000-00-00");
  EXPECT_EQ(FmtDate("", 0, "dma"), std::string(10, ' '));
}

TEST_F(DatesTest, FmtDateUsesTheOperatorsLanguage) {
  struct Case {
    std::string_view language;
    int month;
    std::string_view want;  // UTF-8
  };
  static constexpr Case kCases[] = {
      {"SPA", 3, "7 de marzo de 2024"},    {"SPA", 4, "7 de abril de 2024"},
      {"GLG", 3, "7 de março do 2024"},    {"GLG", 8, "7 de agosto do 2024"},
      {"OCI", 1, "7 de gèr deth 2024"},    {"OCI", 4, "7 d'abriu deth 2024"},
      {"OCI", 10, "7 d'octobre deth 2024"}, {"CAT", 8, "7 d'agost del 2024"},
      {"XYZ", 2, "7 de febrer del 2024"},  {"", 2, "7 de febrer del 2024"},
  };
  for (const Case& c : kCases) {
    SetLanguage(std::string(c.language));
    EXPECT_EQ(FmtDate(Date(2024, c.month, 7), 2, "dma"), cp850(c.want)) << c.language << c.month;
  }
}

TEST_F(DatesTest, FmtDateNamesEveryMonthOfEveryLanguage) {
  struct Language {
    std::string_view code;
    std::string_view names[12];  // UTF-8
  };
  static constexpr Language kLanguages[] = {
      {"CAT", {"gener", "febrer", "març", "abril", "maig", "juny", "juliol", "agost", "setembre",
               "octubre", "novembre", "desembre"}},
      {"SPA", {"enero", "febrero", "marzo", "abril", "mayo", "junio", "julio", "agosto",
               "septiembre", "octubre", "noviembre", "diciembre"}},
      {"GLG", {"janeiro", "fevereiro", "março", "abril", "maio", "junho", "julho", "agosto",
               "setembro", "outubro", "novembro", "dezembro"}},
      {"OCI", {"gèr", "hereuèr", "març", "abriu", "mai", "junh", "junhsega", "agost", "seteme",
               "octobre", "noveme", "deseme"}},
  };
  for (const Language& language : kLanguages) {
    SetLanguage(std::string(language.code));
    for (int month = 1; month <= 12; ++month) {
      const std::string name = cp850(language.names[month - 1]);
      EXPECT_EQ(FmtDate(Date(2024, month, 1), 2, "m"), name) << language.code << month;
      EXPECT_EQ(FmtDate(Date(2024, month, 1), 1, "m"), name.substr(0, 3)) << language.code << month;
    }
  }
}

TEST_F(DatesTest, DateSettingsComeOnceFromKoraIni) {
  WriteKoraIni("DatCaracter=-\r\nDatOrdre=amdx\r\n");
  EXPECT_EQ(FmtDate(Date(2024, 3, 7), 0, "dma"), "2024-3-7  ");
  EXPECT_EQ(FmtDate(Date(2024, 3, 7), 2, "dma"), cp850("2024 de març del 7"));
  WriteKoraIni("DatCaracter=.\r\n");
  EXPECT_EQ(FmtDate(Date(2024, 3, 7), 0, "dma"), "2024-3-7  ");
  EXPECT_EQ(Dates().order, "amd");
}

TEST_F(DatesTest, DateSettingsDefaultWhenBlank) {
  WriteKoraIni("DatCaracter= .\r\nDatOrdre=\r\n");
  EXPECT_EQ(FmtDate(Date(2024, 3, 7), 0, "dma"), "7/3/2024  ");
}

TEST_F(DatesTest, ParseDateReadsDayMonthYear) {
  struct Case {
    std::string_view typed;
    int year, month, day;  // all 0: the empty date
  };
  static constexpr Case kCases[] = {
      {"7/3/24", 2024, 3, 7},       {"7.3.24", 2024, 3, 7},   {"7-3-2024", 2024, 3, 7},
      {"070324", 2024, 3, 7},       {"07032024", 2024, 3, 7}, {" 7/ 3/24 ", 2024, 3, 7},
      {"7/3.024", 0, 0, 0},         {"7/3/76", 1976, 3, 7},   {"7/3/75", 2075, 3, 7},
      {"7/3/", 2000, 3, 7},         {"29/2/2023", 2023, 2, 29},  // no range check here
      {"0/3/24", 24, 3, 0},         {"99/99/1", 2001, 99, 99},
      {"7/3", 0, 0, 0},             {"7/3/2024/1", 0, 0, 0},  {"", 0, 0, 0},
      {"7/3/x", 0, 0, 0},           {"7,3,24", 0, 0, 0},      {"1/1/99999", 0, 0, 0},
      {"1/1/12345", 0, 0, 0},       {"100/1/2024", 0, 0, 0},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(ParseDate(c.typed), Date(c.year, c.month, c.day)) << '"' << c.typed << '"';
}

TEST_F(DatesTest, ParseDateIgnoresTheDateOrder) {
  WriteKoraIni("DatOrdre=AMD\r\n");
  EXPECT_EQ(FmtDate(Date(2024, 3, 7), 0, "dma"), "2024/3/7  ");
  EXPECT_EQ(ParseDate("7/3/2024"), Date(2024, 3, 7));
}

TEST_F(DatesTest, TwoDigitYearsFollowToday) {
  Os().today = [] { return LocalDate{2001, 1, 1}; };
  EXPECT_EQ(ParseDate("1/1/99"), Date(1999, 1, 1));
  EXPECT_EQ(ParseDate("1/1/50"), Date(2050, 1, 1));
  EXPECT_EQ(DateError("29/2/00"), 0);  // 2000
  Os().today = [] { return LocalDate{2099, 1, 1}; };
  EXPECT_EQ(ParseDate("1/1/48"), Date(2148, 1, 1));
  EXPECT_EQ(ParseDate("1/1/49"), Date(2049, 1, 1));
}

TEST_F(DatesTest, DateErrorAcceptsOnlyRealDates) {
  struct Case {
    std::string_view typed;
    int16_t want;
  };
  static constexpr Case kCases[] = {
      {"29/2/2023", -1}, {"31/4/2024", -1}, {"10/10/1582", -1}, {"0/1/2024", -1},
      {"29/2/2024", 0},  {"29/2/2000", 0},  {"29/2/1900", -1},  {"4/10/1582", 0},
      {"5/10/1582", -1}, {"14/10/1582", -1}, {"15/10/1582", 0}, {"31/12/24", 0},
      {"31/1/2024", 0},  {"32/1/2024", -1}, {"30/6/2024", 0},   {"31/6/2024", -1},
      {"31/7/2024", 0},  {"31/8/2024", 0},  {"31/9/2024", -1},  {"31/10/2024", 0},
      {"31/11/2024", -1}, {"1/13/2024", -1}, {"1/0/2024", -1},  {"", -1},
      {"7/3", -1},       {"7/3/x", -1},     {"1/1/12345", -1},  {"070324", 0},
      {"1/1/0", 0},      {"29/2/76", 0},     {"15/3/202", -1},   {"15/3/150", -1},
  };
  for (const Case& c : kCases) EXPECT_EQ(DateError(c.typed), c.want) << '"' << c.typed << '"';
}

TEST_F(DatesTest, DateDiffCountsDaysMonthsAndYears) {
  struct Case {
    PackedDate first, second;
    std::string_view unit;
    int32_t want;
  };
  const Case cases[] = {
      {Date(2024, 2, 28), Date(2024, 3, 1), "D", 2},
      {Date(2023, 2, 28), Date(2023, 3, 1), "D", 1},
      {Date(2024, 3, 1), Date(2024, 2, 28), "d", 2},
      {Date(2023, 12, 31), Date(2024, 1, 1), "D", 1},
      {Date(2000, 1, 1), Date(2001, 1, 1), "D", 366},
      {Date(1900, 1, 1), Date(1901, 1, 1), "D", 365},
      {Date(2024, 3, 7), Date(2024, 3, 7), "D", 0},
      {Date(1500, 2, 28), Date(1500, 3, 1), "D", 2},  // Julian leap year
      {Date(1582, 10, 4), Date(1582, 10, 15), "D", 11},
      {Date(1999, 5, 10), Date(2026, 5, 10), "D", 9862},
      {Date(2024, 1, 31), Date(2024, 3, 1), "M", 2},
      {Date(2024, 3, 1), Date(2022, 11, 30), "m", 16},
      {Date(2020, 3, 7), Date(2024, 3, 6), "A", 3},
      {Date(2020, 3, 7), Date(2024, 3, 7), "a", 4},
      {Date(2024, 3, 7), Date(2020, 4, 1), "A", 3},
      {Date(2024, 3, 7), Date(2020, 4, 1), "x", 0},
      {Date(2024, 3, 7), Date(2020, 4, 1), "", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DateDiff(c.first, c.second, c.unit), c.want)
        << FmtDate(c.first, -1, "") << " to " << FmtDate(c.second, -1, "") << " in " << c.unit;
}

TEST_F(DatesTest, DayOfWeekAcrossTheReform) {
  EXPECT_EQ(DayOfWeek(Date(2024, 1, 1)), 1);
  EXPECT_EQ(DayOfWeek(Date(1582, 10, 15)), 5);
  EXPECT_EQ(DayOfWeek(Date(1582, 10, 4)), 4);
  EXPECT_EQ(DayOfWeek(Date(2024, 3, 7)), 4);
  EXPECT_EQ(DayOfWeek(Date(2000, 2, 29)), 2);
  EXPECT_EQ(DayOfWeek(Date(2026, 12, 8)), 2);
  EXPECT_EQ(DayOfWeek(Date(1970, 1, 1)), 4);
}

TEST_F(DatesTest, DayOfWeekAdvancesOneDayAtATime) {
  PackedDate previous = Date(1999, 12, 31);
  int previousDay = DayOfWeek(previous);
  for (int year = 2000; year <= 2004; ++year)
    for (int month = 1; month <= 12; ++month)
      for (int day = 1; day <= 31; ++day) {
        const std::string typed = std::to_string(day) + "/" + std::to_string(month) + "/" +
                                  std::to_string(year);
        if (DateError(typed) != 0) continue;
        const PackedDate date = Date(year, month, day);
        ASSERT_EQ(DateDiff(previous, date, "D"), 1) << typed;
        ASSERT_EQ(DayOfWeek(date), previousDay % 7 + 1) << typed;
        previous = date;
        previousDay = DayOfWeek(date);
      }
}

TEST_F(DatesTest, DateEditTextReadsBackToTheSameDate) {
  struct Case {
    PackedDate date;
    std::string_view want;
  };
  const Case cases[] = {
      {Date(2024, 3, 7), "070324"},   {Date(1976, 1, 1), "010176"},
      {Date(1975, 12, 31), "31121975"}, {Date(2075, 6, 1), "010675"},
      {Date(2076, 6, 1), "01062076"}, {Date(1582, 10, 4), "04101582"},
      {Date(2000, 2, 29), "290200"},  {EmptyDate(), ""},
      {Date(2024, 0, 0), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateEditText(c.date), c.want) << FmtDate(c.date, -1, "");
    if (!c.want.empty()) {
      EXPECT_EQ(ParseDate(DateEditText(c.date)), c.date) << c.want;
    }
  }
  EXPECT_EQ(DateEditText(""), "");
}

TEST_F(DatesTest, PackedDatesSortAsBytes) {
  EXPECT_EQ(EmptyDate(), std::string(4, static_cast<char>(128)));
  EXPECT_EQ(Date(2024, 3, 7), PackDigits("20240307"));
  EXPECT_LT(Date(2023, 12, 31), Date(2024, 1, 1));
  EXPECT_LT(Date(2024, 1, 9), Date(2024, 1, 10));
  EXPECT_LT(EmptyDate(), Date(1, 1, 1));
}

}  // namespace
}  // namespace palvorin
