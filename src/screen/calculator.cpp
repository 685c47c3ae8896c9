// The pop-up calculator: arithmetic, tape, saved state and its window.
#include "screen/calculator.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "console/console.h"
#include "os/codepage.h"
#include "os/files.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"
#include "session/session.h"
#include "textlib/numbers.h"

namespace palvorin {

namespace {

constexpr int kMaxDigits = 15;  // digits a double holds exactly; more are refused
constexpr int kKeyEnter = 0x0D;
constexpr int kKeyEsc = 0x1B;
constexpr int kKeyBackspace = 0x08;
constexpr int kKeyLeft = 0x4B00;
constexpr int kKeyRight = 0x4D00;
constexpr int kKeyCtrlLeft = 0x7300;
constexpr int kKeyCtrlRight = 0x7400;
constexpr int kKeyAltF = 0x2100;

bool IsWhole(double v) { return v == std::trunc(v); }

// Truncates toward zero, taking a value within rounding noise of a whole number as that
// number: 1.1 * 10 must give 11, not 10.
double TruncClean(double v) {
  const double r = std::round(v);
  if (std::fabs(v - r) < 1e-6) return r;
  return std::trunc(v);
}

// Digits before the point; 0 for values below 1, negative ones included.
int IntegerDigits(double x) {
  int n = 0;
  for (double t = x; std::trunc(t) > 0; t /= 10) ++n;
  return n;
}

// Sets the decimals shown from the value itself: as few as show it, at most 15 digits in all.
// A negative value counts its integer digits like a positive one; counted as none, its
// decimals ran past what a double holds and showed rounding noise.
void Normalise(CalculatorState& c) {
  const int n = IntegerDigits(std::fabs(c.x));
  double t = c.x;
  int decimals = 0;
  while (!IsWhole(t) && decimals + n < kMaxDigits) {
    t *= 10;
    ++decimals;
  }
  t = std::trunc(t) + std::round(t - std::trunc(t));
  while (decimals > 0 && IsWhole(t / 10)) {
    t /= 10;
    --decimals;
  }
  c.x = t / std::pow(10.0, decimals);
  c.decimal = decimals > 0;
  c.decimals = decimals;
}

void PutOnTape(CalculatorState& c, char op) {
  if (c.firstLine > 2) --c.firstLine;
  for (int i = 0; i + 1 < kCalcTapeLines; ++i)
    c.tape[static_cast<size_t>(i)] = c.tape[static_cast<size_t>(i + 1)];
  c.tape[kCalcTapeLines - 1] = CalcTapeLine{c.x, c.decimal, c.decimals, op};
}

void StartEntry(CalculatorState& c) {
  if (!c.entering) {
    c.x = 0;
    c.decimal = false;
    c.decimals = 0;
  }
}

bool TypeDigit(CalculatorState& c, int d) {
  StartEntry(c);
  if (!c.decimal) {
    if (IntegerDigits(std::fabs(c.x)) >= kMaxDigits) return false;
    c.x = c.x * 10 + (c.x < 0 ? -d : d);
  } else {
    if (c.decimals + IntegerDigits(std::fabs(c.x)) >= kMaxDigits) return false;
    ++c.decimals;
    const double step = d / std::pow(10.0, c.decimals);
    c.x += c.x < 0 ? -step : step;
  }
  c.entering = true;
  return true;
}

void Backspace(CalculatorState& c) {
  if (!c.decimal) {
    c.x = TruncClean(c.x / 10);
  } else {
    --c.decimals;
    if (c.decimals < 0) {
      c.decimal = false;
      c.decimals = 0;
    } else {
      const double scale = std::pow(10.0, c.decimals);
      c.x = TruncClean(c.x * scale) / scale;
    }
  }
  c.entering = c.entering && c.x != 0;
}

void Clear(CalculatorState& c) {
  c.currentKey = "C";
  if (c.entering) {
    c.entering = false;
    c.x = c.accumulator;
    Normalise(c);  // show the accumulator with its own decimals
    c.currentKey = c.pending;
  } else if (!c.cleared) {
    c.x = 0;
    c.decimal = false;
    c.decimals = 0;
    c.accumulator = 0;
    c.currentKey = "";
    c.cleared = true;
  } else {
    c.firstLine = 23;
    c.cleared = true;
  }
}

void Round(CalculatorState& c) {
  c.currentKey = "R";
  const double t = 100 * c.x;
  double r = std::trunc(t);
  const double f = t - r;
  const bool half = std::fabs(f - 0.5) < 1e-9;
  if (!half && f > 0.5) r += 1;
  if (half && std::fmod(r, 2) != 0) r += 1;
  c.x = r / 100;
  c.accumulator = c.x;
  c.decimal = true;
  c.decimals = 2;
  PutOnTape(c, 'R');
}

void Percent(CalculatorState& c) {
  c.currentKey = "%";
  PutOnTape(c, '%');
  if (c.pending == "+" || c.pending == "-")
    c.x = c.accumulator / 100 * c.x;
  else
    c.x = c.x / 100;
  Normalise(c);
}

bool Operate(CalculatorState& c, char op) {
  double acc = c.accumulator;
  if (c.pending == "+") {
    acc += c.x;
  } else if (c.pending == "-") {
    acc -= c.x;
  } else if (c.pending == "*") {
    acc *= c.x;
  } else if (c.pending == "/") {
    if (c.x == 0) return false;  // the accumulator keeps its value
    acc /= c.x;
  } else {
    acc = c.x;
  }
  if (!std::isfinite(acc)) return false;
  c.currentKey = std::string(1, op);
  c.accumulator = acc;
  PutOnTape(c, op);
  c.x = c.accumulator;
  Normalise(c);
  c.entering = false;
  if (op == '=') {
    c.currentKey = "";
    PutOnTape(c, ' ');
  }
  c.cleared = false;
  c.pending = c.currentKey;
  return true;
}

// ---- The saved state ----------------------------------------------------------------------

std::string NumberText(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string BoolText(bool b) { return b ? "-1" : "0"; }
std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// Splits the file's text into its fields: separated by commas or line ends, a field in double
// quotes keeping whatever it holds.
std::vector<std::string> SplitFields(std::string_view text, bool& good) {
  std::vector<std::string> fields;
  good = true;
  size_t p = 0;
  auto isEnd = [&](size_t at) { return text[at] == '\r' || text[at] == '\n'; };
  while (p < text.size()) {
    while (p < text.size() && (isEnd(p) || text[p] == ' ')) ++p;
    if (p >= text.size()) break;
    std::string field;
    if (text[p] == '"') {
      size_t close = text.find('"', p + 1);
      if (close == std::string_view::npos) {
        good = false;
        return fields;
      }
      field.assign(text.substr(p + 1, close - p - 1));
      p = close + 1;
      while (p < text.size() && text[p] == ' ') ++p;
      if (p < text.size() && text[p] != ',' && !isEnd(p)) {
        good = false;
        return fields;
      }
    } else {
      size_t end = p;
      while (end < text.size() && text[end] != ',' && !isEnd(end)) ++end;
      field.assign(text.substr(p, end - p));
      while (!field.empty() && field.back() == ' ') field.pop_back();
      p = end;
    }
    if (p < text.size() && text[p] == ',') ++p;
    fields.push_back(std::move(field));
  }
  return fields;
}

bool ReadDouble(const std::string& s, double& v) {
  if (s.empty()) return false;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  return res.ec == std::errc() && res.ptr == s.data() + s.size() && std::isfinite(v);
}

bool ReadInt(const std::string& s, int min, int max, int& v) {
  if (s.empty()) return false;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  return res.ec == std::errc() && res.ptr == s.data() + s.size() && v >= min && v <= max;
}

bool ReadBool(const std::string& s, bool& b) {
  int v = 0;
  if (!ReadInt(s, -1, 0, v)) return false;
  b = v != 0;
  return true;
}

bool OneOf(const std::string& s, std::initializer_list<const char*> allowed) {
  for (const char* a : allowed)
    if (s == a) return true;
  return false;
}

// ---- The window ---------------------------------------------------------------------------

constexpr char kTopLeft = '\xDA', kTopRight = '\xBF', kBottomLeft = '\xC0', kBottomRight = '\xD9',
               kHorizontal = '\xC4', kVertical = '\xB3', kTeeLeft = '\xC3', kTeeRight = '\xB4';

void PrintAt(int row, int col, const std::string& text) {
  ConSetCursor(row, col);
  ConPrint(text);
}

std::string Rule(char left, char right) {
  return std::string(1, left) + std::string(kCalcWidth - 2, kHorizontal) + std::string(1, right);
}

void DrawEntry(const CalculatorState& c) {
  SetColour("n");
  PrintAt(24, c.column,
          std::string(1, kVertical) + " " + CalcValueText(c.x, c.decimal, c.decimals) + "  " +
              std::string(1, kVertical));
}

void DrawTape(const CalculatorState& c) {
  SetColour("n");
  const bool empty = c.firstLine >= 23;
  if (!empty) PrintAt(c.firstLine - 1, c.column, Rule(kTopLeft, kTopRight));
  for (int line = c.firstLine; line <= kCalcTapeLines; ++line) {
    const CalcTapeLine& t = c.tape[static_cast<size_t>(line - 1)];
    PrintAt(line, c.column,
            std::string(1, kVertical) + " " + CalcValueText(t.value, t.decimal, t.decimals) + " " +
                std::string(1, t.op) + std::string(1, kVertical));
  }
  PrintAt(23, c.column, empty ? Rule(kTopLeft, kTopRight) : Rule(kTeeLeft, kTeeRight));
  DrawEntry(c);
  PrintAt(25, c.column, Rule(kBottomLeft, kBottomRight));
}

void OpenWindow(const CalculatorState& c) { WinPush(1, c.column, 25, c.column + kCalcWidth - 1); }

// Puts back what the window covered and draws the calculator afresh (after a move or when
// the tape got shorter).
void Redraw(const CalculatorState& c) {
  WinPop();
  OpenWindow(c);
  DrawTape(c);
}

}  // namespace

CalculatorState& CalculatorMemory() {
  static CalculatorState state;
  return state;
}

void ResetCalculatorForTest() { CalculatorMemory() = CalculatorState{}; }

bool CalcApplyKey(CalculatorState& c, int key) {
  if (key > 255 || key < 0) return true;
  int ch = key;
  if (ch >= 'a' && ch <= 'z') ch -= 32;
  if (ch >= '0' && ch <= '9') return TypeDigit(c, ch & 15);
  switch (ch) {
    case '.':
      StartEntry(c);
      if (!c.decimal) {
        c.decimal = true;
        c.decimals = 0;
      }
      c.entering = true;
      return true;
    case kKeyBackspace:
      Backspace(c);
      return true;
    case 'C':
      Clear(c);
      return true;
    case 'R':
      Round(c);
      return true;
    case '%':
      Percent(c);
      return true;
    case '+':
    case '-':
    case '*':
    case '/':
      return Operate(c, static_cast<char>(ch));
    case '=':
    case kKeyEnter:
      return c.entering ? Operate(c, '=') : true;
    case 'T':
      c.x = -c.x;
      return true;
    default:
      return true;
  }
}

std::string CalcResultText(const CalculatorState& c) {
  const int n = std::max(c.decimals, 2);
  const double v = c.entering ? c.x : c.accumulator;
  double y = std::round(std::fabs(v) * std::pow(10.0, n));
  std::string digits;
  while (y >= 1) {
    const double q = std::floor(y / 10);
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(y - 10 * q)));
    y = q;
  }
  if (digits.empty()) return "";
  const size_t fraction = static_cast<size_t>(n - 2);
  std::string text;
  if (fraction == 0) {
    text = digits;
  } else {
    if (digits.size() < fraction) digits.insert(0, fraction - digits.size(), '0');
    text =
        digits.substr(0, digits.size() - fraction) + "." + digits.substr(digits.size() - fraction);
  }
  return v < 0 ? "-" + text : text;
}

std::string CalcValueText(double value, bool decimal, int decimals) {
  std::string picture = "-Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9";
  if (decimal) picture += ".";
  picture.append(static_cast<size_t>(std::max(decimals, 0)), '9');
  picture = picture.substr(picture.size() > 21 ? picture.size() - 21 : 0);
  return FmtPic(picture, value);
}

std::string CalcStateText(const CalculatorState& c) {
  std::string s;
  s += std::to_string(c.column) + "," + std::to_string(c.firstLine) + "," + NumberText(c.x) + "," +
       NumberText(c.accumulator) + "\r\n";
  s += BoolText(c.cleared) + "," + BoolText(c.entering) + "," + BoolText(c.decimal) + "," +
       std::to_string(c.decimals) + "\r\n";
  s += Quoted(c.currentKey) + "," + Quoted(c.pending) + "\r\n";
  for (const CalcTapeLine& t : c.tape)
    s += NumberText(t.value) + "," + BoolText(t.decimal) + "," + std::to_string(t.decimals) + "," +
         Quoted(std::string(1, t.op)) + "\r\n";
  return s;
}

bool ParseCalcState(std::string_view text, CalculatorState& out) {
  bool good = true;
  const std::vector<std::string> f = SplitFields(text, good);
  if (!good || f.size() < 10 + 4 * kCalcTapeLines) return false;
  CalculatorState c;
  if (!ReadInt(f[0], 1, kCalcLastColumn, c.column) || !ReadInt(f[1], 2, 23, c.firstLine) ||
      !ReadDouble(f[2], c.x) || !ReadDouble(f[3], c.accumulator) || !ReadBool(f[4], c.cleared) ||
      !ReadBool(f[5], c.entering) || !ReadBool(f[6], c.decimal) ||
      !ReadInt(f[7], 0, kMaxDigits, c.decimals))
    return false;
  if (!OneOf(f[8], {"", "+", "-", "*", "/", "=", "%", "R", "C"}) ||
      !OneOf(f[9], {"", "+", "-", "*", "/"}))
    return false;
  c.currentKey = f[8];
  c.pending = f[9];
  for (int i = 0; i < kCalcTapeLines; ++i) {
    const size_t at = 10 + 4 * static_cast<size_t>(i);
    CalcTapeLine& t = c.tape[static_cast<size_t>(i)];
    if (!ReadDouble(f[at], t.value) || !ReadBool(f[at + 1], t.decimal) ||
        !ReadInt(f[at + 2], 0, kMaxDigits, t.decimals))
      return false;
    const std::string& op = f[at + 3];
    if (op.empty()) {
      t.op = ' ';
    } else if (op.size() == 1 &&
               std::string_view("+-*/=%R ").find(op[0]) != std::string_view::npos) {
      t.op = op[0];
    } else {
      return false;
    }
  }
  out = c;
  return true;
}

std::string CalculatorFilePath() { return SessionState().terminalDir + "ZEPCALC.TMP"; }

void LoadCalculator() {
  const std::string path = CalculatorFilePath();
  CreateIfMissing(path);
  std::string bytes;
  CalculatorState state;
  if (!ReadWholeFile(path, bytes).ok() || !ParseCalcState(bytes, state)) state = CalculatorState{};
  CalculatorMemory() = state;
}

OsStatus SaveCalculator() {
  return WriteWholeFile(CalculatorFilePath(), CalcStateText(CalculatorMemory()));
}

namespace {

// The tape could not be kept for the next time: the operator is told, and the box stays until
// a key is pressed, so the loss is never silent.
void ReportUnsavedTape(const OsStatus& status) {
  SetColour("+");
  ShowMessageBox(12, Translate(cp850("NO ES POT ESCRIURE EL FITXER DE LA CALCULADORA ")) +
                         status.message);
  int key = 0;
  GetKey(key);
  WinPop();
  SetColour("-");
}

}  // namespace

HeldKeyTables::HeldKeyTables()
    : active(Keyboard().keyTable), saved(Keyboard().savedKeyTable), isSaved(Keyboard().saved) {}

void HeldKeyTables::Restore() const {
  KeyboardState& kb = Keyboard();
  kb.keyTable = active;
  kb.savedKeyTable = saved;
  kb.saved = isSaved;
}

std::string Calculator() {
  LoadCalculator();
  CalculatorState& c = CalculatorMemory();
  const HeldKeyTables keyTables;
  SetKeys("+e", "");
  SetColour("+n");
  const bool cursorWasVisible = ConCursorVisible();
  ConShowCursor(false);
  OpenWindow(c);
  DrawTape(c);

  std::string result;
  for (;;) {
    DrawEntry(c);
    int key = 0;
    GetKey(key);
    const bool character = key >= 0 && key <= 255;  // not an extended key or a mouse press
    int ch = key;
    if (character && ch >= 'a' && ch <= 'z') ch -= 32;
    if (ch == 'F' || key == kKeyAltF) {
      result = CalcResultText(c);
      break;
    }
    if (key == kKeyEsc) break;
    if (key == kKeyLeft || key == kKeyCtrlLeft) {
      c.column = c.column == 1 ? kCalcLastColumn : c.column - 1;
      Redraw(c);
      continue;
    }
    if (key == kKeyRight || key == kKeyCtrlRight) {
      c.column = c.column + kCalcWidth - 1 >= ScreenCols() ? 1 : c.column + 1;
      Redraw(c);
      continue;
    }
    const int firstLine = c.firstLine;
    if (!CalcApplyKey(c, key)) {
      ConBeep();
      continue;
    }
    if (c.firstLine > firstLine)
      Redraw(c);  // the tape was emptied: bring back what it covered
    else if (character &&
             std::string_view("+-*/=%RC\r").find(static_cast<char>(ch)) != std::string_view::npos)
      DrawTape(c);
  }

  WinPop();
  const OsStatus saved = SaveCalculator();
  if (!saved.ok()) ReportUnsavedTape(saved);
  SetColour("-");
  keyTables.Restore();
  ConShowCursor(cursorWasVisible);
  return result;
}

}  // namespace palvorin
