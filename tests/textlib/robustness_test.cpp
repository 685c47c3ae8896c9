// Feeds the checks and readers of typed text with generated input: random bytes, texts made
// of digits and separators, and very long texts. Nothing may crash, read out of bounds (the
// sanitizer build watches that) or give a result outside its range.
#include <random>
#include <string>
#include <string_view>

#include "textlib_env.h"

namespace palvorin {
namespace {

constexpr int kInputs = 100000;

class TypedTextSource {
 public:
  explicit TypedTextSource(unsigned seed) : random_(seed) {}

  std::string Next() {
    const int kind = Pick(400);
    if (kind == 0) return Long();
    if (kind < 140) return RandomBytes(Pick(25));
    return FromAlphabet(Pick(17), "0123456789   ./-+,*aZ\t\xff");
  }

 private:
  int Pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

  std::string RandomBytes(int length) {
    std::string text(length, '\0');
    for (char& c : text) c = static_cast<char>(Pick(256));
    return text;
  }
  std::string FromAlphabet(int length, std::string_view alphabet) {
    std::string text(length, ' ');
    for (char& c : text) c = alphabet[Pick(static_cast<int>(alphabet.size()))];
    return text;
  }
  // Texts of thousands of characters: long digit runs with a few separators, or points only.
  std::string Long() {
    const int length = 1000 + Pick(15000);
    switch (Pick(3)) {
      case 0: return FromAlphabet(length, "0123456789");
      case 1: return FromAlphabet(length, "000000000./ -");
      default: return std::string(length, Pick(2) ? '.' : '9');
    }
  }

  std::mt19937 random_;
};

bool IsFlag(int16_t flag) { return flag == 0 || flag == -1; }

bool AllPacked(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) < 128 || static_cast<unsigned char>(c) > 227) return false;
  return true;
}

using RobustnessTest = TextlibTest;

TEST_F(RobustnessTest, TypedDatesNeverBreakTheReaders) {
  TypedTextSource source(20261208);
  for (int i = 0; i < kInputs; ++i) {
    const std::string typed = source.Next();
    const PackedDate date = ParseDate(typed);
    ASSERT_EQ(date.size(), 4u) << typed;
    ASSERT_TRUE(AllPacked(date)) << typed;
    const int16_t error = DateError(typed);
    ASSERT_TRUE(IsFlag(error)) << typed;
    if (error == 0) {
      ASSERT_NE(date, EmptyDate()) << typed;
      ASSERT_EQ(ParseDate(DateEditText(date)), date) << typed;
      ASSERT_GE(DayOfWeek(date), 1);
      ASSERT_LE(DayOfWeek(date), 7);
    }
  }
}

TEST_F(RobustnessTest, TypedNumbersNeverBreakTheChecks) {
  TypedTextSource source(1582);
  for (int i = 0; i < kInputs; ++i) {
    const std::string typed = source.Next();
    const int16_t plain = NumberError(typed, "");
    const int16_t signedDecimal = NumberError(typed, ".-");
    ASSERT_TRUE(IsFlag(plain) && IsFlag(signedDecimal)) << typed;
    if (plain == 0) {
      ASSERT_EQ(signedDecimal, 0) << typed;  // allowing more rejects nothing more
    }
    const int16_t range = NumberRangeError(typed, -1000, 1000, static_cast<int16_t>(i % 4));
    ASSERT_TRUE(IsFlag(range)) << typed;
    if (range == 0) {
      ASSERT_EQ(signedDecimal, 0) << typed;
    }
  }
}

TEST_F(RobustnessTest, TypedCodesNeverBreakTheChecks) {
  TypedTextSource source(2024);
  for (int i = 0; i < kInputs; ++i) {
    const std::string typed = source.Next();
    const std::string packed = PackCode(typed);
    ASSERT_TRUE(AllPacked(packed)) << typed;
    const int16_t error = CodeError(typed);
    ASSERT_TRUE(IsFlag(error)) << typed;
    if (error == 0 && typed.find_first_not_of(' ') != std::string::npos) {
      ASSERT_FALSE(CodeDisplay(packed).empty()) << typed;  // a valid code has no zero group
    }
  }
}

}  // namespace
}  // namespace palvorin
