#include "textlib/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "textlib/numbers.h"

namespace palvorin {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

bool AllZeroDigits(std::string_view digits) {
  for (char c : digits)
    if (IsDigit(c) && c != '0') return false;
  return true;
}

// The groups of a dotted code, split at every ".".
std::vector<std::string_view> SplitGroups(std::string_view dotted) {
  std::vector<std::string_view> groups;
  std::size_t start = 0;
  for (;;) {
    const std::size_t point = dotted.find('.', start);
    if (point == std::string_view::npos) {
      groups.push_back(dotted.substr(start));
      return groups;
    }
    groups.push_back(dotted.substr(start, point - start));
    start = point + 1;
  }
}

// The whole part of a group's value without sign, zero-padded and cut to its last `width`
// digits.
std::string GroupDigits(std::string_view group, std::size_t width) {
  double value = std::fabs(std::trunc(Val(group)));
  if (!std::isfinite(value)) value = 0;
  std::array<char, 400> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 0);
  std::string digits(buffer.data(), result.ptr);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits.substr(digits.size() - width);
}

// CP850 capitals keeping accents. The letters without a capital in the code page, and the
// ones the suite always left alone (ø, þ, ÿ, ß, µ and 213), stay as they are.
constexpr std::array<unsigned char, 256> MakeCapitals() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 'a' + 'A');
  constexpr unsigned char kPairs[][2] = {
      {0x81, 0x9A}, {0x82, 0x90}, {0x83, 0xB6}, {0x84, 0x8E}, {0x85, 0xB7}, {0x86, 0x8F},
      {0x87, 0x80}, {0x88, 0xD2}, {0x89, 0xD3}, {0x8A, 0xD4}, {0x8B, 0xD8}, {0x8C, 0xD7},
      {0x8D, 0xDE}, {0x91, 0x92}, {0x93, 0xE2}, {0x94, 0x99}, {0x95, 0xE3}, {0x96, 0xEA},
      {0x97, 0xEB}, {0xA0, 0xB5}, {0xA1, 0xD6}, {0xA2, 0xE0}, {0xA3, 0xE9}, {0xA4, 0xA5},
      {0xC6, 0xC7}, {0xD0, 0xD1}, {0xE4, 0xE5}, {0xEC, 0xED}};
  for (const auto& pair : kPairs) table[pair[0]] = pair[1];
  return table;
}
constexpr std::array<unsigned char, 256> kCapitals = MakeCapitals();

// Plain capitals for the characters 64 to 237: every letter without its accent, everything
// else a blank.
constexpr std::string_view kPlainCapitals =
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ      ABCDEFGHIJKLMNOPQRSTUVWXYZ     CUEAAAACEEEIIIAAEAAOOOUUYOUO"
    " O  AIOUNNAO             AAA              AA        DDEEEEIII     I OSOOOO TTUUUYY";
static_assert(kPlainCapitals.size() == 174);

constexpr int kFirstFolded = 64;
constexpr int kLastFolded = 237;

}  // namespace

std::string PackDigits(std::string_view digits) {
  const std::size_t n = digits.size();
  std::string text(Trim(digits));
  text.insert(0, n - text.size(), '0');
  std::string packed((n + 1) / 2, '\0');
  for (std::size_t i = 0; i < packed.size(); ++i) {
    const char high = text[2 * i];
    const char low = 2 * i + 1 < n ? text[2 * i + 1] : '0';
    const int value = (IsDigit(high) ? high - '0' : 0) * 10 + (IsDigit(low) ? low - '0' : 0);
    packed[i] = static_cast<char>(128 + value);
  }
  return packed;
}

std::string UnpackDigits(std::string_view packed) {
  std::string digits;
  digits.reserve(packed.size() * 2);
  for (char byte : packed) {
    const int value = (static_cast<unsigned char>(byte) & 127) % 100;
    digits += static_cast<char>('0' + value / 10);
    digits += static_cast<char>('0' + value % 10);
  }
  return digits;
}

std::string CodeDisplay(std::string_view packed) {
  const std::string digits = UnpackDigits(packed);
  const int length = static_cast<int>(digits.size());
  std::string text = digits;
  int end = length + 1;  // first position (1-based) after the group being shown
  bool trimming = true;
  // Groups of four from the right; the first group takes whatever is left.
  for (int p = length - 3; p >= 1; p -= 4) {
    if (p < 4) p = 1;
    const std::string group = text.substr(p - 1, end - p);
    const std::size_t firstNonZero = group.find_first_not_of('0');
    std::string shown = firstNonZero == std::string::npos ? "0" : group.substr(firstNonZero);
    if (p != 1) shown.insert(0, 1, '.');
    text = text.substr(0, p - 1) + shown + text.substr(end - 1);
    // Zero groups at the end of a code are not shown.
    if (trimming && firstNonZero == std::string::npos)
      text.resize(p - 1);
    else
      trimming = false;
    end = p;
  }
  if (AllZeroDigits(text)) return {};
  return text;
}

std::string PackCode(std::string_view dotted) {
  const auto points = std::count(dotted.begin(), dotted.end(), '.');
  const std::size_t firstWidth =
      (dotted.size() == 6 && points == 0) || (dotted.size() == 11 && points < 2) ? 6 : 4;
  std::vector<std::string_view> groups = SplitGroups(dotted);
  if (points > 0 && Trim(groups.back()).empty()) groups.pop_back();
  std::string digits;
  for (std::size_t i = 0; i < groups.size(); ++i)
    digits += GroupDigits(groups[i], i == 0 ? firstWidth : 4);
  return PackDigits(digits);
}

int16_t CodeError(std::string_view dotted) {
  if (Trim(dotted).empty()) return 0;
  const auto points = std::count(dotted.begin(), dotted.end(), '.');
  if (points > static_cast<std::ptrdiff_t>(dotted.size() / 7)) return -1;
  const double firstMaximum = (dotted.size() - 1) % 5 == 0 ? 999999 : 9999;
  const std::vector<std::string_view> groups = SplitGroups(dotted);
  for (std::size_t i = 0; i < groups.size(); ++i)
    if (NumberRangeError(groups[i], 1, i == 0 ? firstMaximum : 9999, 0) != 0) return -1;
  return 0;
}

std::string NameDisplay(std::string_view stored) {
  const std::string_view name = Trim(stored);
  const std::size_t marker = name.empty() ? std::string_view::npos : name.find('*', 1);
  if (marker == std::string_view::npos) return std::string(name);
  std::string shown(Trim(name.substr(marker + 1)));
  if (name.back() != '\'') shown += ' ';
  shown += Trim(name.substr(0, marker));
  return shown;
}

FoldSettings& Folding() {
  static FoldSettings settings;
  return settings;
}

void ResetFoldingForTest() { Folding() = FoldSettings{}; }

std::string Fold(std::string_view text) {
  const bool plain = Folding().plain;
  std::string folded(text);
  for (char& c : folded) {
    const int code = static_cast<unsigned char>(c);
    if (code < kFirstFolded || code > kLastFolded) continue;
    c = plain ? kPlainCapitals[code - kFirstFolded] : static_cast<char>(kCapitals[code]);
  }
  return folded;
}

std::string FoldPlain(std::string_view text) {
  FoldSettings& folding = Folding();
  const bool was = folding.plain;
  folding.plain = true;
  std::string folded = Fold(text);
  folding.plain = was;
  return folded;
}

int16_t AllChar(std::string_view text, int code) {
  for (char c : text)
    if (static_cast<unsigned char>(c) != code) return 0;
  return -1;
}

int CenterOffset(std::string_view text, int width) {
  const long long offset = (static_cast<long long>(width) - static_cast<long long>(text.size())) / 2;
  return static_cast<int>(offset);
}

std::string PeekStr(const void* area, std::size_t length) {
  if (length == 0) return {};
  return std::string(static_cast<const char*>(area), length);
}

void PokeStr(void* area, std::string_view text) {
  if (!text.empty()) std::memcpy(area, text.data(), text.size());
}

std::string PeekStr(std::string_view record, std::size_t at, std::size_t length) {
  if (at >= record.size()) return {};
  return std::string(record.substr(at, length));
}

void PokeStr(std::string& record, std::size_t at, std::string_view text) {
  if (at >= record.size()) return;
  const std::size_t fits = std::min(text.size(), record.size() - at);
  record.replace(at, fits, text.substr(0, fits));
}

}  // namespace palvorin
