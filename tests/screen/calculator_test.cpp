// The calculator: its arithmetic and tape, the text it types, its saved state and its window.
#include "screen/calculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "screen/calendar.h"
#include "screen_fixture.h"
#include "textlib/numbers.h"

namespace palvorin {
namespace {

using Tape = std::vector<std::pair<double, char>>;

// Applies each character of `keys` ('<' is Backspace); false when one was refused.
bool Press(CalculatorState& c, std::string_view keys) {
  bool all = true;
  for (char k : keys) all = CalcApplyKey(c, k == '<' ? 0x08 : static_cast<unsigned char>(k)) && all;
  return all;
}

Tape TapeOf(const CalculatorState& c) {
  Tape tape;
  for (int line = c.firstLine; line <= kCalcTapeLines; ++line) {
    const CalcTapeLine& t = c.tape[static_cast<size_t>(line - 1)];
    tape.emplace_back(t.value, t.op);
  }
  return tape;
}

TEST(CalcApplyKey, WorksLikeAnAddingMachine) {
  struct Case {
    const char* keys;
    Tape tape;
    double x;
  };
  const std::vector<Case> cases = {
      {"2+3=", {{2, '+'}, {3, '='}, {5, ' '}}, 5},
      {"200+10%=", {{200, '+'}, {10, '%'}, {20, '='}, {220, ' '}}, 220},  // % of the accumulator
      {"50*10%", {{50, '*'}, {10, '%'}}, 0.1},                            // % of itself otherwise
      {"12-20=", {{12, '-'}, {20, '='}, {-8, ' '}}, -8},
      {"7/2=", {{7, '/'}, {2, '='}, {3.5, ' '}}, 3.5},
      {"2+=", {{2, '+'}}, 2},  // "=" right after an operator does nothing
      {"2+\r", {{2, '+'}}, 2},
      {"2+3\r", {{2, '+'}, {3, '='}, {5, ' '}}, 5},
      {"0.125R", {{0.12, 'R'}}, 0.12},  // halves go to the even hundredth
      {"0.375R", {{0.38, 'R'}}, 0.38},
      {"0.126R", {{0.13, 'R'}}, 0.13},
      {"0.127TR", {{-0.12, 'R'}}, -0.12},  // a negative value is cut toward zero
      {"123<", {}, 12},
      {"1.25<", {}, 1.2},
      {"1.<<", {}, 0},
      {"1.10<", {}, 1.1},
      {"5T3", {}, -53},  // digits after a sign change lengthen the negative number
  };
  for (const Case& c : cases) {
    CalculatorState calc;
    Press(calc, c.keys);
    ASSERT_EQ(TapeOf(calc).size(), c.tape.size()) << c.keys;
    for (size_t i = 0; i < c.tape.size(); ++i) {
      EXPECT_NEAR(TapeOf(calc)[i].first, c.tape[i].first, 1e-12) << c.keys << " line " << i;
      EXPECT_EQ(TapeOf(calc)[i].second, c.tape[i].second) << c.keys << " line " << i;
    }
    EXPECT_NEAR(calc.x, c.x, 1e-12) << c.keys;
  }
}

TEST(CalcApplyKey, ANegativeResultKeepsTheDecimalsOfItsSize) {
  // Noise beyond the digits a double holds must not show on the tape or be typed.
  const struct {
    const char* keys;
    int decimals;
    const char* typed;
  } cases[] = {
      {"0-123456789.01=", 2, "-12345678901"},
      {"123456789.01=", 2, "12345678901"},
      {"0-98765.43=", 2, "-9876543"},
      {"1-2.2=", 1, "-120"},
  };
  for (const auto& c : cases) {
    CalculatorState calc;
    Press(calc, c.keys);
    EXPECT_EQ(calc.decimals, c.decimals) << c.keys;
    EXPECT_EQ(CalcResultText(calc), c.typed) << c.keys;
  }
}

TEST(CalcApplyKey, ClearBringsBackTheAccumulatorThenClearsThenEmptiesTheTape) {
  CalculatorState c;
  Press(c, "2.5+4");
  Press(c, "C");
  EXPECT_FALSE(c.entering);
  EXPECT_EQ(c.x, 2.5);
  EXPECT_EQ(c.decimals, 1) << "the accumulator shows with its decimals";
  EXPECT_EQ(c.pending, "+");
  Press(c, "C");
  EXPECT_EQ(c.x, 0);
  EXPECT_EQ(c.accumulator, 0);
  EXPECT_TRUE(c.cleared);
  EXPECT_EQ(TapeOf(c).size(), 1u);
  Press(c, "C");
  EXPECT_TRUE(TapeOf(c).empty());
}

TEST(CalcApplyKey, RefusesWhatWouldLeaveNoNumber) {
  CalculatorState c;
  Press(c, "5/");
  EXPECT_FALSE(Press(c, "0="));  // division by zero
  EXPECT_EQ(c.accumulator, 5);
  EXPECT_EQ(TapeOf(c).size(), 1u);
  EXPECT_TRUE(Press(c, "<2="));  // the entry can be corrected
  EXPECT_EQ(c.x, 2.5);

  CalculatorState big;
  EXPECT_TRUE(Press(big, "999999999999999"));
  EXPECT_FALSE(Press(big, "9")) << "a sixteenth digit";
  for (int i = 0; i < 40; ++i) Press(big, "*999999999999999");
  EXPECT_TRUE(std::isfinite(big.accumulator));
  EXPECT_TRUE(std::isfinite(big.x));
}

TEST(CalcApplyKey, TheTapeKeepsTheNewest22Lines) {
  CalculatorState c;
  for (int i = 1; i <= 30; ++i) Press(c, std::to_string(i) + "+");
  EXPECT_EQ(c.firstLine, 2);
  const Tape tape = TapeOf(c);
  ASSERT_EQ(tape.size(), 21u) << "line 1 is never shown";
  EXPECT_EQ(tape.back().first, 30);
  EXPECT_EQ(c.tape[0].value, 9);
}

TEST(CalcResultText, TypesHundredthsWithTheSign) {
  struct Case {
    const char* keys;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"12.5", "1250"}, {"12.345", "1234.5"}, {"0.001", ".1"}, {"0.0001", ".01"}, {"7", "700"},
      {"2-5=", "-300"}, {"1.5T", "-150"},     {"3+4=", "700"}, {"0", ""},
  };
  for (const Case& c : cases) {
    CalculatorState calc;
    Press(calc, c.keys);
    EXPECT_EQ(CalcResultText(calc), c.text) << c.keys;
  }
}

TEST(CalcValueText, ShowsTheDecimalsTyped) {
  Numbers() = {'.', ','};
  EXPECT_EQ(CalcValueText(1234.5, true, 2), std::string(13, ' ') + "1,234.50");
  EXPECT_EQ(CalcValueText(-7, false, 0), std::string(19, ' ') + "-7");
  EXPECT_EQ(CalcValueText(3, true, 0), std::string(19, ' ') + "3.");
  EXPECT_EQ(CalcValueText(0, false, 0).size(), 21u);
  ResetNumbersForTest();
}

TEST(CalcState, RoundTripsThroughItsText) {
  CalculatorState c;
  Press(c, "1.1+2.25*3=12.5");
  c.column = 17;
  c.currentKey = "%";
  CalculatorState back;
  ASSERT_TRUE(ParseCalcState(CalcStateText(c), back));
  EXPECT_EQ(back, c);
  EXPECT_EQ(CalcStateText(c).substr(0, 7), "17,19,1");
}

TEST(CalcState, RefusesDamagedOrTruncatedText) {
  CalculatorState c;
  Press(c, "2+3=");
  const std::string good = CalcStateText(c);
  std::vector<std::string> bad = {
      "",
      good.substr(0, good.size() / 2),
      good.substr(0, good.rfind('\r', good.size() - 3)),  // the last tape line missing
      "x" + good,
      "56" + good.substr(1),                   // a column the window cannot have
      "1,1" + good.substr(good.find(',', 2)),  // first line above the tape
  };
  std::string nan = good;
  nan.replace(nan.find(",5,") + 1, 1, "nan");
  bad.push_back(nan);
  std::string quote = good;
  quote.replace(quote.find("\"+\""), 3, "\"+");
  bad.push_back(quote);
  for (const std::string& text : bad) {
    CalculatorState out;
    out.column = 9;
    EXPECT_FALSE(ParseCalcState(text, out)) << text;
    EXPECT_EQ(out.column, 9);
  }
  // Lines after the 22nd tape line are not read.
  CalculatorState out;
  EXPECT_TRUE(ParseCalcState(good + "1,0,0,\"+\"\r\n", out));
  EXPECT_EQ(out, c);
}

class CalculatorScreenTest : public testing::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ResetCalculatorForTest();
    ResetNumbersForTest();
    Numbers() = {'.', ','};
    SessionState().terminalDir = temp_.folder();
  }
  void TearDown() override { ResetNumbersForTest(); }

  std::string Open(std::initializer_list<int> keys) {
    Headless().FeedKeys(keys);
    return Calculator();
  }
  std::string OpenTyping(std::string_view text, int last) {
    Headless().FeedText(text);
    Headless().FeedKeys({last});
    return Calculator();
  }
};

TEST_F(CalculatorScreenTest, TheTapeAndStateSurviveClosingAndRestarting) {
  PaintPattern();
  const std::vector<Cell> before = Cells();
  EXPECT_EQ(OpenTyping("2+3=", keys::kEsc), "");
  EXPECT_EQ(Cells(), before) << "the screen is left as it was";
  EXPECT_TRUE(temp_.Exists("ZEPCALC.TMP"));

  ResetCalculatorForTest();  // a new run of the program reads the file again
  EXPECT_EQ(Open({'*', '4', '=', 'F'}), "2000");
  ResetCalculatorForTest();
  Headless().FeedKeys({'=', 0x2100});
  EXPECT_EQ(Calculator(), "2000");
  EXPECT_EQ(TapeOf(CalculatorMemory()).size(), 6u);
}

TEST_F(CalculatorScreenTest, DrawsTheTapeAboveTheEntry) {
  EXPECT_EQ(OpenTyping("2+3=", keys::kEsc), "");
  // The screen is read while the calculator waits for its next key.
  Headless().FeedKeys({'7'});
  EXPECT_THROW(Calculator(), HeadlessInputExhausted);
  const std::string bar = "\xB3";
  EXPECT_EQ(Text(19, 1, 26), "\xDA" + std::string(24, '\xC4') + "\xBF");
  EXPECT_EQ(Text(20, 1, 26), bar + std::string(21, ' ') + "2 +" + bar);
  EXPECT_EQ(Text(21, 1, 26), bar + std::string(21, ' ') + "3 =" + bar);
  EXPECT_EQ(Text(22, 1, 26), bar + std::string(21, ' ') + "5  " + bar);
  EXPECT_EQ(Text(23, 1, 26), "\xC3" + std::string(24, '\xC4') + "\xB4");
  EXPECT_EQ(Text(24, 1, 26), bar + std::string(21, ' ') + "7  " + bar);
  EXPECT_EQ(Text(25, 1, 26), "\xC0" + std::string(24, '\xC4') + "\xD9");
}

TEST_F(CalculatorScreenTest, TheWindowWrapsAroundTheScreen) {
  PaintPattern();
  const std::vector<Cell> before = Cells();
  EXPECT_EQ(Open({keys::kLeft, keys::kEsc}), "");
  EXPECT_EQ(CalculatorMemory().column, kCalcLastColumn);
  EXPECT_EQ(Cells(), before);
  ResetCalculatorForTest();
  Headless().FeedKeys({keys::kRight, keys::kCtrlLeft});
  EXPECT_THROW(Calculator(), HeadlessInputExhausted);
  EXPECT_EQ(Text(25, 80, 1), "\xD9") << "column 55 reaches the right edge";
  EXPECT_EQ(Text(25, 55, 1), "\xC0");
}

TEST_F(CalculatorScreenTest, ADamagedStateFileStartsACleanCalculator) {
  temp_.Write("ZEPCALC.TMP", "17,5,\"garbage");
  EXPECT_EQ(OpenTyping("4", 'F'), "400");
  EXPECT_EQ(CalculatorMemory().column, 1);
  temp_.Write("ZEPCALC.TMP", "1,23,0,0\r\n");  // truncated
  ResetCalculatorForTest();
  EXPECT_EQ(Open({'F'}), "");
}

TEST_F(CalculatorScreenTest, DivisionByZeroBeeps) {
  EXPECT_EQ(OpenTyping("8/0=C", 'F'), "800");
  EXPECT_EQ(Headless().Beeps(), 1);
  EXPECT_EQ(CalculatorMemory().accumulator, 8);
}

TEST_F(CalculatorScreenTest, ATapeThatCannotBeWrittenIsReportedUntilAKeyIsPressed) {
  SessionState().terminalDir = temp_.folder() + "missing/";
  // The screen is read while the box waits for its key.
  EXPECT_THROW(OpenTyping("2+3=", 'F'), HeadlessInputExhausted);
  bool shown = false;
  for (int r = 1; r <= ScreenRows(); ++r) {
    shown = shown || Row(r).find("NO ES POT ESCRIURE EL FITXER DE LA CALCULADORA") !=
                         std::string::npos;
  }
  EXPECT_TRUE(shown);
}

TEST_F(CalculatorScreenTest, AfterAnUnwrittenTapeTheResultIsTypedAndTheScreenRestored) {
  SessionState().terminalDir = temp_.folder() + "missing/";
  PaintPattern();
  const std::vector<Cell> before = Cells();
  Headless().FeedText("2+3=F");
  Headless().FeedKeys({keys::kEnter});  // the key that closes the message box
  EXPECT_EQ(Calculator(), "500");
  EXPECT_EQ(Cells(), before);
}

TEST_F(CalculatorScreenTest, GivesBackTheKeyTablesAsItFoundThem) {
  SetKeys("ea", "1b");
  SetKeys("+ea", "d,4800");  // a form field's table, the one before it saved
  EXPECT_EQ(Open({'5', keys::kEsc}), "");
  int returned = 0;
  EXPECT_TRUE(LookUpKey(keys::kUp, returned));
  EXPECT_FALSE(LookUpKey(keys::kEsc, returned));
  ASSERT_TRUE(Keyboard().saved);
  ASSERT_EQ(Keyboard().savedKeyTable.size(), 1u);
  EXPECT_EQ(Keyboard().savedKeyTable[0].accepted, keys::kEsc);
}

TEST_F(CalculatorScreenTest, AltXTypesTheResultIntoTheWaitingInput) {
  InstallHotKeyTools();
  Headless().FeedKeys({keys::kAltX});
  Headless().FeedText("6*7=f");
  std::vector<int> got;
  for (int i = 0; i < 5; ++i) {
    int key = 0;
    GetKey(key);
    got.push_back(key);
  }
  EXPECT_EQ(got, (std::vector<int>{keys::kAltX, '4', '2', '0', '0'}));
}

}  // namespace
}  // namespace palvorin
