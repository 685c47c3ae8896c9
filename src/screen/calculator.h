// The pop-up calculator (Alt+X from any input): an adding machine with one entry value and an
// accumulator, the operators + - * / and percent, rounding to hundredths ("R"), sign change
// ("T") and clear ("C"), and a paper tape of the last 22 values. "F" (or Alt+F) closes it and
// types the result into the waiting input as a number of hundredths (12.5 types 1250, 12.345
// types 1234.5), with a leading "-" when it is negative; Esc closes it typing nothing.
//
// Its whole state is kept between uses in the text file ZEPCALC.TMP of the terminal folder,
// so each terminal has its own tape, which survives closing the calculator and restarting the
// program. The file holds comma-separated fields, texts in double quotes, booleans as -1 and 0:
//   line 1      column, first tape line shown, entry value, accumulator
//   line 2      cleared, entering, decimal flag, decimals
//   line 3      current key, pending operator
//   lines 4-25  tape lines 1 to 22 (22 the newest): value, decimal flag, decimals, operator
// A file that cannot be read as that starts a clean calculator.
#ifndef PALVORIN_SCREEN_CALCULATOR_H_
#define PALVORIN_SCREEN_CALCULATOR_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "os/status.h"
#include "screen/keyboard.h"

namespace palvorin {

constexpr int kCalcTapeLines = 22;
constexpr int kCalcWidth = 26;       // columns of the calculator's window
constexpr int kCalcLastColumn = 55;  // the window's left column runs from 1 to this

struct CalcTapeLine {
  double value = 0;
  bool decimal = false;  // shown with a decimal point
  int decimals = 0;      // decimals shown
  char op = ' ';         // "+", "-", "*", "/", "=", "%", "R"; blank for a result line
  bool operator==(const CalcTapeLine&) const = default;
};

struct CalculatorState {
  int column = 1;      // left column of the window, 1 to 55
  int firstLine = 23;  // first tape line shown: 23 for an empty tape, never below 2
  double x = 0;        // the entry value
  double accumulator = 0;
  bool cleared = true;    // the last action was a clear
  bool entering = false;  // a number is being typed
  bool decimal = false;   // how x is shown and where new digits go
  int decimals = 0;
  std::string currentKey;
  std::string pending;                              // "", "+", "-", "*" or "/"
  std::array<CalcTapeLine, kCalcTapeLines> tape{};  // tape[0] is line 1

  bool operator==(const CalculatorState&) const = default;
};

// The calculator as last read from or written to ZEPCALC.TMP.
CalculatorState& CalculatorMemory();
// CalculatorState{} again, for tests (the file is left alone).
void ResetCalculatorForTest();

// Opens the calculator over the screen and returns the text to type ahead ("" after Esc).
std::string Calculator();

// ---- The parts, for the screen above and for tests ----------------------------------------

// Applies one key (a key code; characters are taken in capitals) to the arithmetic: digits,
// ".", Backspace, the operators, "=" and Enter, "T". Returns false when the key was refused
// (division by zero, an overflow, a sixteenth digit): nothing changed and the caller beeps.
// Keys that are not arithmetic are ignored and return true.
bool CalcApplyKey(CalculatorState& calc, int key);

// The text "F" types: the shown value as hundredths, "-" first when it is negative.
std::string CalcResultText(const CalculatorState& calc);

// A value as the tape and the entry line show it: 21 characters.
std::string CalcValueText(double value, bool decimal, int decimals);

// The state in the file's form, and back. Parsing fails (false, `calc` untouched) for a text
// that is truncated, damaged or holds values the calculator cannot have.
std::string CalcStateText(const CalculatorState& calc);
bool ParseCalcState(std::string_view text, CalculatorState& calc);

// The key tables (the active one and the one saved by SetKeys "+") as a pop-up tool found
// them. The tool puts them back exactly when it closes, so the input it was opened from goes
// on with its own keys: SetKeys keeps one saved table only, and a form field has saved its
// screen's table already.
struct HeldKeyTables {
  HeldKeyTables();
  void Restore() const;
  std::vector<KeyEntry> active, saved;
  bool isSaved = false;
};

// Reads ZEPCALC.TMP into the memory (a clean state when it is missing or unreadable) and writes
// the memory back to it (never leaving it half written). A failed write is returned; the
// calculator shows it to the operator in a message box.
void LoadCalculator();
OsStatus SaveCalculator();
// The file's path.
std::string CalculatorFilePath();

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_CALCULATOR_H_
