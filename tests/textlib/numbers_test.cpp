#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "textlib_env.h"

namespace palvorin {
namespace {

using NumbersTest = TextlibTest;

void UseDefaultSeparators() { Numbers() = {.decimalChar = '\'', .thousandsChar = '.'}; }

struct PicCase {
  std::string_view mask;
  double value;
  std::string_view want;
};

void ExpectPictures(const PicCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const PicCase& c = cases[i];
    EXPECT_EQ(FmtPic(c.mask, c.value), c.want) << "mask \"" << c.mask << "\" value " << c.value;
  }
}

TEST_F(NumbersTest, FmtPicFillsTheSuitesMasks) {
  UseDefaultSeparators();
  static constexpr PicCase kCases[] = {
      {"ZZZ9", 7, "   7"},
      {"ZZ,ZZZ,ZZ9", 1234567, " 1.234.567"},
      {"ZZ9.ZZ", 5, "  5   "},
      {"ZZ9.ZZ", 1.5, "  1'5 "},
      {"ZZ9.99", 0, "  0'00"},
      {"ZZZ", 0, "   "},
      {"ZZ9.99-", -12.3, " 12'30-"},
      {"ZZZ9", -5, "  -5"},
      {"Z9.99", -0.05, " -'05"},
      {"99", 7, "07"},
      {"999", 12345, "!!!"},
      {"99.9", 123.4, "123'"},
  };
  ExpectPictures(kCases, std::size(kCases));
}

TEST_F(NumbersTest, FmtPicFillsThousandsStarsSignsAndLiterals) {
  UseDefaultSeparators();
  static constexpr PicCase kCases[] = {
      {"ZZ,ZZ9", 123, "   123"},        // a "," left of the digits takes the blank fill
      {"**,**9.99", 12.3, "****12'30"},  // and the star fill after "*"
      {"9,999", 123, "0.123"},           // and stays a thousands point after a "9"
      {"ZZZ", 10, " 10"},                // the last position of a mask without "." shows its 0
      {"ZZZ", 100, "100"},
      {"+ZZ9", 5, "+  5"},
      {"+ZZ9", -5, "-  5"},
      {"ZZ9+", 5, "  5+"},
      {"ZZ9-", 5, "  5 "},
      {"-ZZ9.99", -1.5, "-  1'50"},
      {"ZZ9 %", 5, "  5 %"},
      {"ZZ9.99", -0.001, "  -'00"},  // negative before rounding: a negative zero
      {"ZZ9.99-", -0.001, "  0'00-"},
      {"Z,ZZ9", -123, " -123"},      // the minus takes the first free position
      {"ZZZZ9", -1234, "-1234"},
      {"ZZZ9", -1234, "!!!!"},       // no room for the minus: not even the plain number fits
      {"ZZZ9", 12345, "!!!!"},
      {"ZZZZ9.9", 123456, "123456'"},  // the plain number, cut to the mask
      {"ZZZ.99", 1234.5, "1234'5"},
      {"9.99", -1.5, "-1'5"},
      {"", 5, ""},
      {"ABC", 5, "  5"},  // no digit position: the plain number
      {"ABC", 0, "ABC"},
  };
  ExpectPictures(kCases, std::size(kCases));
}

TEST_F(NumbersTest, FmtPicNeverShowsANegativeValueAsPositive) {
  UseDefaultSeparators();
  static constexpr PicCase kCases[] = {
      {"X.99", -0.05, "-'05"},   // no place for the minus: the plain number instead
      {"Z.ZZ", -0.05, "-'05"},   // the minus never lands right of the point
      {"ZZ9.ZZ", -0.05, "  -'05"},
      {"X9", -0.3, "X0"},        // shown as zero, so no sign is needed
  };
  ExpectPictures(kCases, std::size(kCases));
}

TEST_F(NumbersTest, FmtPicRoundsHalfToEvenOnTheExactValue) {
  UseDefaultSeparators();
  static constexpr PicCase kCases[] = {
      {"9.99", 0.125, "0'12"},  // exactly half-way: to the even neighbour
      {"9.99", 0.375, "0'38"},
      {"9", 0.5, "0"},
      {"9", 1.5, "2"},
      {"9", 2.5, "2"},
      {"9.99", 2.675, "2'67"},  // below the half, though 2.675 x 100 gives 267.5 in doubles
      {"9.99", 1.005, "1'00"},
      {"9.9", 0.25000000000000006, "0'3"},    // just above the half
      {"ZZZ,ZZ9.99", 1234.565, "  1.234'57"},  // above the half, though x 100 gives a tie

  };
  ExpectPictures(kCases, std::size(kCases));
}

TEST_F(NumbersTest, FmtPicShowsValuesItCannotWriteAsExclamationMarks) {
  UseDefaultSeparators();
  EXPECT_EQ(FmtPic("ZZ9.99", std::numeric_limits<double>::infinity()), "!!!!!!");
  EXPECT_EQ(FmtPic("ZZ9", std::nan("")), "!!!");
  EXPECT_EQ(FmtPic("ZZ9", 1e300), "!!!");
  const std::string wide = FmtPic(std::string(400, '9'), 1e300);  // 301 digits
  EXPECT_EQ(wide.substr(98, 3), "010");
}

TEST_F(NumbersTest, SeparatorsDefaultWhenKoraIniLacksThem) {
  EXPECT_EQ(FmtPic("Z,ZZ9.99", 1234.5), "1.234'50");
}

TEST_F(NumbersTest, SeparatorsAreReadOnceFromKoraIni) {
  WriteKoraIni("DecCaracter=,x\r\nMilCaracter= \r\n");
  EXPECT_EQ(FmtPic("Z,ZZ9.99", 1234.5), "1.234,50");  // a blank value keeps the default
  WriteKoraIni("DecCaracter=.\r\nMilCaracter=,\r\n");
  EXPECT_EQ(FmtPic("Z,ZZ9.99", 1234.5), "1.234,50");
  EXPECT_EQ(Numbers().decimalChar, ',');
  EXPECT_EQ(Numbers().thousandsChar, '.');
}

struct AmountCase {
  std::string_view mask;
  double amount;
  std::string_view want;
};

TEST_F(NumbersTest, FmtAmountShowsHundredthsOfTheStoredCurrency) {
  UseDefaultSeparators();
  SetCurrency("a,E");
  static constexpr AmountCase kCases[] = {
      {"ZZ,ZZZ,ZZ9-", 123456, "  1.234'56 "},
      {"ZZ,ZZZ,ZZ9-", -123456, "  1.234'56-"},
      {"ZZ,ZZZ,ZZ9-", 0, "      0'00 "},
      {"ZZ,ZZZ,ZZ9-", 5, "      0'05 "},
      {"ZZZZZZZ", 0, "       "},        // zero without a "9": nothing at all
      {"ZZZZZZZ", 150, "   1'50"},
      {"**,***,**9", 123456, "**1.234'56"},
      {"ZZZ,ZZ9", 123456, "1234'56"},   // too narrow for the rebuilt mask
      {"ZZ,ZZZ,ZZ9.9", 123456, "   1.234'560"},
      {"ZZZ,ZZZ,ZZ9", -5000, "     -50'00"},
  };
  for (const AmountCase& c : kCases)
    EXPECT_EQ(FmtAmount(c.mask, c.amount), c.want) << c.mask << " with " << c.amount;
}

TEST_F(NumbersTest, FmtAmountConvertsToPesetasWhenTheyAreInForce) {
  UseDefaultSeparators();
  SetCurrency("a,E");
  SetCurrency("x,P");
  SetCurrency("p");
  EXPECT_EQ(FmtAmount("ZZ,ZZZ,ZZ9", 100), "       166");
  EXPECT_EQ(FmtAmount("ZZ,ZZZ,ZZ9", 600000), "   998.316");
  EXPECT_EQ(FmtAmount("ZZ,ZZZ,ZZ9.9", 100), "       166'4");
  SetCurrency("");
  EXPECT_EQ(FmtAmount("ZZ,ZZZ,ZZ9", 100), "      1'00");
}

TEST_F(NumbersTest, TheSessionsCurrencyCommandComesBeforeTheFirstChange) {
  SessionState().currencyCommand = "a,E";
  SetCurrency("x,P");
  EXPECT_EQ(Currency().main, 'E');
  EXPECT_EQ(Currency().second, 'P');
  SetCurrency("a,D");  // taken once: a later change is not undone by it
  EXPECT_EQ(Currency().main, 'D');
}

TEST_F(NumbersTest, SetCurrencyFollowsItsCommands) {
  struct Step {
    std::string_view command;
    char main, second, inForce;
  };
  static constexpr Step kSteps[] = {
      {"a,E", 'E', 0, 'E'},
      {"p", 'E', 0, 'E'},   // no second currency: amounts stay in the main one
      {"x, p", 'E', 'P', 'E'},
      {"P", 'E', 'P', 'P'},
      {"", 'E', 'P', 'E'},
      {"x,", 'E', 'E', 'E'},  // no letter: the main currency
      {"A,", 'E', 'E', 'E'},
      {"a,d", 'D', 'E', 'D'},
      {"q", 'D', 'E', 'D'},
  };
  for (const Step& s : kSteps) {
    SetCurrency(s.command);
    EXPECT_EQ(Currency().main, s.main) << s.command;
    EXPECT_EQ(Currency().second, s.second) << s.command;
    EXPECT_EQ(Currency().inForce, s.inForce) << s.command;
  }
}

TEST_F(NumbersTest, NumTextWritesWidthsDecimalsAndSigns) {
  struct Case {
    double value;
    std::string_view spec;
    std::string_view want;
  };
  static constexpr Case kCases[] = {
      {12.5, "", "12.5"},      {-3, "", "-3"},          {0, "", ""},
      {0.5, "", ".5"},         {0.5, "z", "0.5"},       {0.1, "", ".1"},
      {1e20, "", "100000000000000000000"},
      {5, "3", "005"},         {-5, "3", "-05"},        {1234, "2", "34"},
      {12.5, ".2", "12.50"},   {0.125, ".2", ".12"},    {0.375, ".2", ".38"},
      {0, ".2", ".00"},        {0, "2", "00"},          {7, "3.1V", "0070"},
      {12.345, "5.2v", "0001235"},  // 12.345 is just above the half in binary
      {3, "S", "+3"},          {-3, "S", "-3"},         {-3, "N", "N3"},
      {3, "N", "3"},           {3, "M", " 3"},          {-3, "m", "N3"},
      {-3, "3M", "N03"},       {3, "3S", "+03"},        {-0.25, ".1Z", "-0.2"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(NumText(c.value, c.spec), c.want) << c.value << " with \"" << c.spec << "\"";
  EXPECT_EQ(NumStr(12.5), "12.5");
  EXPECT_EQ(NumStr(-3), "-3");
  EXPECT_EQ(NumStr(0), "");
}

TEST_F(NumbersTest, ZeroPadKeepsTheLastDigitsWithoutSign) {
  EXPECT_EQ(ZeroPad(7, 3), "007");
  EXPECT_EQ(ZeroPad(-7, 3), "007");
  EXPECT_EQ(ZeroPad(12345, 3), "345");
  EXPECT_EQ(ZeroPad(0, 2), "00");
  EXPECT_EQ(ZeroPad(2024, 4), "2024");
  EXPECT_EQ(ZeroPad(5, 0), "");
  EXPECT_EQ(ZeroPad(5, -2), "");
}

TEST_F(NumbersTest, NumberErrorAcceptsOnlyWhatIsAllowed) {
  struct Case {
    std::string_view text, allowed;
    int16_t want;
  };
  static constexpr Case kCases[] = {
      {"-1", "", -1},     {"1.5", "", -1},   {"1a", "", -1},    {" 12 ", "", 0},
      {"", "", 0},        {"   ", "", 0},    {" 1 2 ", "", 0},  {"-1.5", ".-", 0},
      {"+1", "-", 0},     {"-1", "+", 0},    {"1-", "-", -1},   {"--1", "-", -1},
      {"1.2.3", ".", -1}, {".", ".", 0},     {"-", "-", 0},     {"- 1", "-", 0},
      {".-1", ".-", -1},  {"1a2", ".-", -1}, {"\t1", "", -1},   {"1,5", ".", -1},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(NumberError(c.text, c.allowed), c.want) << '"' << c.text << "\" allowed \"" << c.allowed << '"';
}

TEST_F(NumbersTest, NumberRangeErrorChecksBoundsAtTheGivenDecimals) {
  struct Case {
    std::string_view text;
    double minimum, maximum;
    int16_t decimals;
    int16_t want;
  };
  static constexpr Case kCases[] = {
      {"0", 1, 12, 0, -1},       {"13", 1, 12, 0, -1},     {"12", 1, 12, 0, 0},
      {"1", 1, 12, 0, 0},        {"", 1, 12, 0, -1},       {" 7 ", 1, 12, 0, 0},
      {"5", 12, 1, 0, -1},       {"5", 1, 12, -1, -1},     {"5", 1, 12, 17, -1},
      {"5", 1, 12, 16, 0},       {"9.999", 0, 10, 2, 0},   {"10.006", 0, 10, 2, -1},
      {"1.5", 1, 12, 0, -1},     {"-5", -5, 5, 0, 0},      {"-5.1", -5, 5, 0, -1},
      {"-6", -5, 5, 0, -1},      {"-1", 0, 5, 0, -1},      {"0.004", 0.01, 1, 2, -1},
      {"0.005", 0.01, 1, 2, 0},  {"12a", 1, 12, 0, -1},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(NumberRangeError(c.text, c.minimum, c.maximum, c.decimals), c.want)
        << '"' << c.text << "\" in " << c.minimum << ".." << c.maximum << " with " << c.decimals;
}

TEST_F(NumbersTest, ValReadsTheLeadingNumber) {
  struct Case {
    std::string_view text;
    double want;
  };
  static constexpr Case kCases[] = {
      {"  12", 12}, {"-3.5x", -3.5}, {"+7", 7}, {".5", 0.5},  {"1.2.3", 1.2},
      {"abc", 0},   {"", 0},         {"1 2", 1}, {"- 5", 0},  {"0012", 12},
  };
  for (const Case& c : kCases) EXPECT_EQ(Val(c.text), c.want) << '"' << c.text << '"';
  EXPECT_TRUE(std::isinf(Val(std::string(400, '9'))));
  EXPECT_EQ(Val("0." + std::string(400, '0') + "1"), 0);
}

}  // namespace
}  // namespace palvorin
