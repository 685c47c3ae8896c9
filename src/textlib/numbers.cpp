#include "textlib/numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

#include "session/session.h"

namespace palvorin {

namespace {

constexpr char kDefaultDecimalChar = '\'';
constexpr char kDefaultThousandsChar = '.';

// Widths and decimals beyond this come only from damaged masks or specifications.
constexpr int kMaxDigits = 4096;

constexpr std::array<double, 17> kPowersOfTen = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7, 1e8,
                                                 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsDigitPosition(char c) { return c == '9' || c == 'Z' || c == 'z' || c == '*'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The first character of a configuration value, or `fallback` when the value is empty or
// starts with a blank.
char FirstCharOr(const std::string& value, char fallback) {
  if (value.empty() || value[0] == ' ' || value[0] == '\0') return fallback;
  return value[0];
}

void LoadSeparators() {
  NumberSettings& settings = Numbers();
  if (settings.decimalChar != 0 && settings.thousandsChar != 0) return;
  const std::string file = RootFolderFromEnvironment() + "Kora.ini";
  if (settings.decimalChar == 0)
    settings.decimalChar =
        FirstCharOr(ReadIniValue(file, "Usuari", "DecCaracter"), kDefaultDecimalChar);
  if (settings.thousandsChar == 0)
    settings.thousandsChar =
        FirstCharOr(ReadIniValue(file, "Usuari", "MilCaracter"), kDefaultThousandsChar);
}

// The digits of text written by to_chars, without its point and leading zeros; the empty text
// for zero.
std::string DigitsWithoutPoint(const char* first, const char* last) {
  std::string digits;
  for (const char* c = first; c != last; ++c)
    if (IsDigit(*c) && !(digits.empty() && *c == '0')) digits += *c;
  return digits;
}

// |value| x 10^decimals rounded half to even on the exact value of the double, as a digit
// text without leading zeros (empty for zero). `magnitude` must be finite and not negative.
std::string ScaledDigits(double magnitude, int decimals) {
  // A double has at most 309 digits before the point; the usual few decimals fit on the stack.
  constexpr int kOnStack = 64;
  std::array<char, 400 + kOnStack> small;
  std::string large;
  char* first = small.data();
  char* last = first + small.size();
  if (decimals > kOnStack) {
    large.resize(static_cast<std::size_t>(decimals) + 400);
    first = large.data();
    last = first + large.size();
  }
  const auto result =
      std::to_chars(first, last, magnitude, std::chars_format::fixed, decimals);
  return DigitsWithoutPoint(first, result.ptr);
}

// The shortest decimal text that reads back as `magnitude`, as digits without leading zeros
// and the number of decimals among them.
std::string ShortestDigits(double magnitude, int& decimals) {
  std::array<char, 400> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                    std::chars_format::fixed);
  const std::string_view text(buffer.data(), result.ptr - buffer.data());
  const std::size_t point = text.find('.');
  decimals = point == std::string_view::npos ? 0 : static_cast<int>(text.size() - point - 1);
  return DigitsWithoutPoint(text.data(), text.data() + text.size());
}

// The layout of a picture mask.
struct MaskShape {
  int length = 0;         // L
  int afterPoint = 0;     // A: digit and sign positions after the first "."
  int decimals = 0;       // D: digit positions right after the "."
  bool hasSign = false;   // S: the mask holds "-" or "+"
};

MaskShape ShapeOf(std::string_view mask) {
  MaskShape shape;
  shape.length = static_cast<int>(mask.size());
  shape.hasSign = mask.find_first_of("-+") != std::string_view::npos;
  const std::size_t point = mask.find('.');
  if (point == std::string_view::npos) return shape;
  for (std::size_t i = point + 1; i < mask.size(); ++i)
    if (IsDigitPosition(mask[i]) || mask[i] == '-' || mask[i] == '+') ++shape.afterPoint;
  for (std::size_t i = point + 1; i < mask.size() && IsDigitPosition(mask[i]); ++i)
    ++shape.decimals;
  return shape;
}

// The number without a mask, for values the mask cannot hold: sign, integer digits, decimal
// character and decimals, right-aligned in the mask's width (its leftmost part when longer);
// all "!" when not even the sign and the integer digits fit.
std::string PlainNumber(const std::string& digits, int decimals, bool negative, int length,
                        char decimalChar) {
  const int integerDigits = std::max(0, static_cast<int>(digits.size()) - decimals);
  if (length < integerDigits + (negative ? 1 : 0)) return std::string(length, '!');
  std::string plain = negative ? "-" : "";
  plain += digits.substr(0, integerDigits);
  if (decimals > 0) {
    std::string fraction = digits.substr(integerDigits);
    fraction.insert(0, decimals - fraction.size(), '0');
    plain += decimalChar;
    plain += fraction;
  }
  if (static_cast<int>(plain.size()) >= length) return plain.substr(0, length);
  return std::string(length - plain.size(), ' ') + plain;
}

// Fills a picture mask from the right. Positions p and digit indexes j are 1-based, as the
// mask language counts them; j also steps over a sign written after the decimals.
class MaskFiller {
 public:
  MaskFiller(std::string_view mask, const MaskShape& shape, std::string digits, bool negative,
             const NumberSettings& separators)
      : mask_(mask),
        shape_(shape),
        digits_(std::move(digits)),
        negative_(negative),
        decimalChar_(separators.decimalChar),
        thousandsChar_(separators.thousandsChar),
        out_(mask),
        afterPoint_(shape.afterPoint) {}

  std::string Run() {
    int p = shape_.length;
    int j = static_cast<int>(digits_.size()) + (shape_.afterPoint - shape_.decimals);
    for (; p >= 1 && j > 0; --p) Put(p, FillDigit(p, j));
    const bool unsignedNegative = negative_ && !shape_.hasSign;
    if (j > 0 || (unsignedNegative && p == 0)) return Plain();
    bool minusPlaced = false;
    for (; p >= 1; --p) {
      if (unsignedNegative && !minusPlaced && TakesMinus(p)) {
        Put(p, '-');
        minusPlaced = true;
      } else {
        Put(p, Complete(p));
      }
    }
    // A minus with nowhere to go would show a negative amount as positive.
    if (unsignedNegative && !minusPlaced && !digits_.empty()) return Plain();
    return out_;
  }

 private:
  char Digit(int j) const {
    return j >= 1 && j <= static_cast<int>(digits_.size()) ? digits_[j - 1] : 0;
  }
  bool DigitsFromAreZero(int j) const {
    for (int k = std::max(j, 1); k <= static_cast<int>(digits_.size()); ++k)
      if (digits_[k - 1] != '0') return false;
    return true;
  }
  // Right of the point until the "." has been passed; with no "." the last position.
  bool RightOfPoint(int p) const { return p >= shape_.length - afterPoint_; }
  char Sign(char maskChar) const {
    if (negative_) return '-';
    return maskChar == '+' ? '+' : ' ';
  }
  bool TakesMinus(int p) const {
    const char m = mask_[p - 1];
    return (IsDigitPosition(m) || m == ',') && !RightOfPoint(p);
  }

  // Records what position p shows and what a "," or "." left of it takes from it.
  void Put(int p, char shown) {
    const char m = mask_[p - 1];
    out_[p - 1] = shown;
    blanked_ = IsDigitPosition(m) && shown == ' ';
    if (m == '9')
      fill_ = thousandsChar_;
    else if (m == '*')
      fill_ = '*';
    else if (m != ',')
      fill_ = ' ';
  }

  char FillDigit(int p, int& j) {
    const char m = mask_[p - 1];
    const char digit = Digit(j);
    switch (m) {
      case '9':
        --j;
        return digit ? digit : '0';
      case 'Z':
      case 'z': {
        char shown;
        if (!RightOfPoint(p))
          shown = digit ? digit : ' ';
        else if (afterPoint_ != 0 && DigitsFromAreZero(j))
          shown = ' ';
        else
          shown = digit ? digit : '0';
        --j;
        return shown;
      }
      case '*': {
        const char shown = digit ? digit : (RightOfPoint(p) ? '0' : '*');
        --j;
        return shown;
      }
      case '.':
        return PassPoint();
      case ',':
        return thousandsChar_;
      case '-':
      case '+':
        if (afterPoint_ != 0) --j;
        return Sign(m);
      default:
        return m;
    }
  }

  char Complete(int p) {
    const char m = mask_[p - 1];
    switch (m) {
      case '9':
        return '0';
      case 'Z':
      case 'z':
        return !RightOfPoint(p) || digits_.empty() ? ' ' : '0';
      case '*':
        return RightOfPoint(p) ? '0' : '*';
      case ',':
        return fill_;
      case '.':
        return PassPoint();
      case '-':
      case '+':
        return Sign(m);
      default:
        return m;
    }
  }

  char PassPoint() {
    afterPoint_ = 0;
    return blanked_ ? ' ' : decimalChar_;
  }

  std::string Plain() const {
    return PlainNumber(digits_, shape_.decimals, negative_, shape_.length, decimalChar_);
  }

  std::string_view mask_;
  MaskShape shape_;
  std::string digits_;
  bool negative_;
  char decimalChar_;
  char thousandsChar_;
  std::string out_;
  int afterPoint_;
  bool blanked_ = false;  // the digit position just right was left blank
  char fill_ = ' ';       // what a "," shows left of the last digit
};

}  // namespace

NumberSettings& Numbers() {
  static NumberSettings settings;
  return settings;
}

void ResetNumbersForTest() { Numbers() = NumberSettings{}; }

CurrencyState& Currency() {
  static CurrencyState state;
  return state;
}

void ResetCurrencyForTest() { Currency() = CurrencyState{}; }

namespace {

// The currencies after the session's command, which the session's set-up leaves for the
// amounts (the suite's menu gives every module the euro as its main currency).
CurrencyState& CurrencyInUse() {
  CurrencyState& state = Currency();
  const std::string& command = SessionState().currencyCommand;
  if (!state.sessionTaken && !command.empty()) {
    state.sessionTaken = true;
    SetCurrency(command);
  }
  return state;
}

}  // namespace

std::string FmtPic(std::string_view mask, double value) {
  LoadSeparators();
  const MaskShape shape = ShapeOf(mask);
  if (!std::isfinite(value) || shape.decimals > kMaxDigits)
    return std::string(mask.size(), '!');
  MaskFiller filler(mask, shape, ScaledDigits(std::fabs(value), shape.decimals), value < 0,
                    Numbers());
  return filler.Run();
}

std::string FmtAmount(std::string_view mask, double amount) {
  const int length = static_cast<int>(mask.size());
  int count = 0;  // 1 at the first ".", one more for each "9" after it
  bool seenPoint = false;
  bool nineBeforePoint = false;
  bool thousands = false;
  char fill = 'Z';
  char leadingSign = 0;
  char trailingSign = 0;
  for (int i = 0; i < length; ++i) {
    const char c = mask[i];
    if (c == '.' && !seenPoint) {
      seenPoint = true;
      count = 1;
    } else if (c == '9') {
      if (seenPoint) ++count;
      else nineBeforePoint = true;
    } else if (c == '-' || c == '+') {
      (i == 0 ? leadingSign : trailingSign) = c;
    } else if (c == ',') {
      thousands = true;
    } else if (c == '*' || c == 'Z') {
      fill = c;
    }
  }
  const bool showDigits = amount != 0 || nineBeforePoint;
  // Keeps the rightmost `length` characters, as every step of the rebuilding does.
  auto rightmost = [length](const std::string& text) {
    return static_cast<int>(text.size()) > length ? text.substr(text.size() - length) : text;
  };
  std::string rebuilt(length, fill);
  if (showDigits && length > 0) rebuilt = rightmost(rebuilt + '9');
  if (thousands)
    for (int p = length - 3; p >= 1; p -= 4)
      rebuilt = rightmost(rebuilt.substr(0, p) + ',' + rebuilt.substr(p));
  double value = amount / 100;
  if (CurrencyInUse().inForce == 'P') {
    value *= static_cast<double>(kPesetasPerEuro);
  } else {
    count += count == 0 ? 3 : 2;
  }
  if (count != 0) rebuilt += '.' + std::string(count - 1, showDigits ? '9' : 'Z');
  if (trailingSign) rebuilt += trailingSign;
  if (leadingSign && !rebuilt.empty()) rebuilt[0] = leadingSign;
  return FmtPic(rightmost(rebuilt), value);
}

void SetCurrency(std::string_view command) {
  CurrencyState& state = CurrencyInUse();
  const std::size_t comma = command.find(',');
  if (comma != std::string_view::npos) {
    const std::size_t letter = command.find_first_not_of(' ', comma + 1);
    const char given = letter == std::string_view::npos ? 0 : Upper(command[letter]);
    if (Upper(command[0]) == 'A') {
      state.main = given ? given : 'E';
      state.inForce = state.main;
    } else {
      state.second = given ? given : state.main;
    }
    return;
  }
  if (!command.empty() && Upper(command[0]) == 'P')
    state.inForce = state.second ? state.second : state.main;
  else
    state.inForce = state.main;
}

std::string NumText(double value, std::string_view format) {
  int width = 0;
  int decimals = 0;
  bool point = false;
  bool implied = false, leadingZero = false, plus = false, letterN = false, letterM = false;
  for (char c : format) {
    if (IsDigit(c)) {
      int& target = point ? decimals : width;
      target = std::min(target * 10 + (c - '0'), kMaxDigits);
      continue;
    }
    switch (Upper(c)) {
      case '.': point = true; break;
      case 'V': implied = true; break;
      case 'Z': leadingZero = true; break;
      case 'S': plus = true; break;
      case 'N': letterN = true; break;
      case 'M': letterM = true; break;
      default: break;
    }
  }
  const double magnitude = std::isfinite(value) ? std::fabs(value) : 0;
  std::string digits = width > 0 || point ? ScaledDigits(magnitude, decimals)
                                          : ShortestDigits(magnitude, decimals);
  if (static_cast<int>(digits.size()) < decimals) digits.insert(0, decimals - digits.size(), '0');
  std::string integer = digits.substr(0, digits.size() - decimals);
  std::string fraction = digits.substr(digits.size() - decimals);
  if (!implied && !fraction.empty()) fraction.insert(0, 1, '.');
  if (leadingZero && integer.empty()) integer = "0";
  if (width > 0) {
    if (static_cast<int>(integer.size()) < width) integer.insert(0, width - integer.size(), '0');
    integer = integer.substr(integer.size() - width);
  }
  char sign = 0;
  if (plus && value >= 0) sign = '+';
  else if (letterN && value < 0) sign = 'N';
  else if (letterM) sign = value < 0 ? 'N' : ' ';
  else if (value < 0) sign = '-';
  if (sign) {
    if (width > 0) integer[0] = sign;
    else integer.insert(0, 1, sign);
  }
  return integer + fraction;
}

std::string NumStr(double value) { return NumText(value, ""); }

std::string ZeroPad(double value, int16_t width) {
  if (width <= 0) return {};
  std::string text = NumStr(std::isfinite(value) ? std::fabs(value) : 0);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text.substr(text.size() - width);
}

int16_t NumberError(std::string_view text, std::string_view allowed) {
  const bool pointAllowed = allowed.find('.') != std::string_view::npos;
  const bool signAllowed = allowed.find_first_of("-+") != std::string_view::npos;
  bool started = false;  // a digit, point or sign has been seen
  bool seenPoint = false;
  for (char c : text) {
    if (c == ' ') continue;
    if (IsDigit(c)) {
      started = true;
    } else if (c == '.' && pointAllowed && !seenPoint) {
      started = seenPoint = true;
    } else if ((c == '-' || c == '+') && signAllowed && !started) {
      started = true;
    } else {
      return -1;
    }
  }
  return 0;
}

int16_t NumberRangeError(std::string_view text, double minimum, double maximum,
                         int16_t decimals) {
  if (!(maximum >= minimum) || decimals < 0 || decimals > 16) return -1;
  std::string allowed;
  if (decimals > 0) allowed += '.';
  if (minimum < 0) allowed += '-';
  if (NumberError(text, allowed) != 0) return -1;
  const double scale = kPowersOfTen[decimals];
  const double typed = std::floor(Val(text) * scale + 0.5);
  const double low = std::floor(minimum * scale);
  const double high = std::floor(maximum * scale + 0.5);
  return typed < low || typed > high ? -1 : 0;
}

double Val(std::string_view text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string_view::npos) return 0;
  bool negative = false;
  if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
  std::string number = "0";  // a leading 0 lets ".5" read as 0.5
  bool seenPoint = false;
  bool wholeDigits = false;  // a non-zero digit before the point
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else if (!IsDigit(c)) {
      break;
    } else if (!seenPoint && c != '0') {
      wholeDigits = true;
    }
    number += c;
  }
  double value = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::fixed);
  // Beyond the range of a double: huge numbers read as infinite, tiny ones as 0.
  if (result.ec == std::errc::result_out_of_range) value = wholeDigits ? HUGE_VAL : 0;
  return negative ? -value : value;
}

}  // namespace palvorin
