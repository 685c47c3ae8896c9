#include <array>
#include <string>
#include <string_view>

#include "os/codepage.h"
#include "textlib_env.h"

namespace palvorin {
namespace {

using TextTest = TextlibTest;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

TEST_F(TextTest, PackDigitsRightAlignsOnTheTextsLength) {
  struct Case {
    std::string_view digits;
    std::string want;
  };
  const Case cases[] = {
      {"    ", Bytes({128, 128})}, {"7", Bytes({198})},       {"123", Bytes({140, 158})},
      {"1234", Bytes({140, 162})}, {" 12", Bytes({129, 148})}, {"12 ", Bytes({129, 148})},
      {"1 2", Bytes({138, 148})},  {"12ab", Bytes({140, 128})}, {"", ""},
      {"99999999", Bytes({227, 227, 227, 227})},
  };
  for (const Case& c : cases) EXPECT_EQ(PackDigits(c.digits), c.want) << '"' << c.digits << '"';
}

TEST_F(TextTest, UnpackDigitsGivesTwoDigitsForAnyByte) {
  EXPECT_EQ(UnpackDigits(Bytes({140, 158})), "1230");
  EXPECT_EQ(UnpackDigits(" "), "32");
  EXPECT_EQ(UnpackDigits(Bytes({255})), "27");
  EXPECT_EQ(UnpackDigits(Bytes({0})), "00");
  EXPECT_EQ(UnpackDigits(""), "");
  for (int value = 0; value < 100; ++value) {
    const std::string digits = ZeroPad(value, 2);
    EXPECT_EQ(UnpackDigits(PackDigits(digits)), digits);
  }
}

TEST_F(TextTest, CodeDisplayDropsZeroGroupsAtTheEnd) {
  struct Case {
    std::string_view digits;
    std::string_view want;
  };
  static constexpr Case kCases[] = {
      {"00120003", "12.3"},   {"00120000", "12"},        {"00000003", "0.3"},
      {"00000000", ""},       {"0012", "12"},            {"0000", ""},
      {"123456", "123456"},   {"1234560007", "123456.7"}, {"000100000002", "1.0.2"},
      {"000000000002", "0.0.2"}, {"000100000000", "1"},  {"05", "05"},
      {"99999999", "9999.9999"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(CodeDisplay(PackDigits(c.digits)), c.want) << c.digits;
}

TEST_F(TextTest, PackCodeGivesTheGroupsTheirWidths) {
  struct Case {
    std::string_view dotted;
    std::string_view digits;
  };
  static constexpr Case kCases[] = {
      {"12.3", "00120003"},       {"123456", "123456"},      {"12.", "0012"},
      {"12", "0012"},             {"", "0000"},              {"12345.1", "23450001"},
      {"123456.1234", "1234561234"}, {"1.2.3", "000100020003"}, {" 12 .  3", "00120003"},
      {"-12.3", "00120003"},      {"12a.3", "00120003"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(PackCode(c.dotted), PackDigits(c.digits)) << '"' << c.dotted << '"';
}

TEST_F(TextTest, DottedCodesSurviveTheRoundTrip) {
  for (std::string_view code : {"12.3", "1.1", "9999.9999", "12", "123456", "123456.1234", "0.3"})
    EXPECT_EQ(CodeDisplay(PackCode(code)), code);
}

TEST_F(TextTest, CodeErrorChecksPointsAndGroups) {
  struct Case {
    std::string_view dotted;
    int16_t want;
  };
  static constexpr Case kCases[] = {
      {"12.3", -1},      {"1234.0", -1},     {"10000.1234", -1}, {"0012.0000", -1},
      {"0012.0003", 0},  {"1234", 0},        {"123456", 0},      {"", 0},
      {"      ", 0},     {"12.3   ", 0},     {"12.    ", -1},     {"0", -1},
      {"12345", -1},     {"1234567", -1},    {"12a", -1},        {"-12", -1},
      {"123456.1234", 0}, {"1234567.123", -1}, {"1.2.3.4.5.6.7.8", -1}, {"0001.0001.0001", 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(CodeError(c.dotted), c.want) << '"' << c.dotted << '"';
}

TEST_F(TextTest, NameDisplayPutsTheGivenNameFirst) {
  struct Case {
    std::string_view stored;
    std::string_view want;
  };
  static constexpr Case kCases[] = {
      {"GARCIA*Joan", "Joan GARCIA"},
      {"  GARCIA PUIG * Joan Maria   ", "Joan Maria GARCIA PUIG"},
      {"ESTANY*l'", "l'ESTANY"},
      {"GARCIA Joan  ", "GARCIA Joan"},
      {"*Joan", "*Joan"},
      {" *Joan ", "*Joan"},
      {"A*B*C", "B*C A"},
      {"", ""},
      {"   ", ""},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(NameDisplay(c.stored), c.want) << '"' << c.stored << '"';
}

TEST_F(TextTest, FoldKeepsAccentsByDefault) {
  EXPECT_EQ(Fold("abc xyz @[`{ 123"), "ABC XYZ @[`{ 123");
  EXPECT_EQ(Fold(cp850("çñàéïüåæôöòûùáíóúãõðý")), cp850("ÇÑÀÉÏÜÅÆÔÖÒÛÙÁÍÓÚÃÕÐÝ"));
  const std::string unchanged = cp850("øþÿßµ") + Bytes({213, 0, 255, 238});
  EXPECT_EQ(Fold(unchanged), unchanged);
  EXPECT_EQ(Fold(cp850("ÇÑÀ")), cp850("ÇÑÀ"));
}

TEST_F(TextTest, FoldInPlainModeDropsAccentsAndSigns) {
  Folding().plain = true;
  EXPECT_EQ(Fold(cp850("Façana 1ª, àvia")), "FACANA 1A, AVIA");
  EXPECT_EQ(Fold(cp850("ÇÑÀÉ øÿß")), "CNAE OYS");
  EXPECT_EQ(Fold(Bytes({213, 238, 255, 63})), Bytes({'E', 238, 255, 63}));
}

TEST_F(TextTest, BothFoldModesAgreeOnEveryLetter) {
  // Plain capitals of a character and of its accented capital are the same letter, so the
  // accent-keeping table never pairs a letter with another one.
  for (int code = 0; code < 256; ++code) {
    const std::string c(1, static_cast<char>(code));
    Folding().plain = false;
    const std::string capital = Fold(c);
    Folding().plain = true;
    EXPECT_EQ(Fold(capital), Fold(c)) << "code " << code;
    if (code < 64 || code > 237) {
      EXPECT_EQ(Fold(c), c) << "code " << code;
    }
  }
}

TEST_F(TextTest, AllCharAndCenterOffset) {
  EXPECT_EQ(AllChar("    ", ' '), -1);
  EXPECT_EQ(AllChar("", '*'), -1);
  EXPECT_EQ(AllChar("** *", '*'), 0);
  EXPECT_EQ(AllChar(Bytes({255, 255}), 255), -1);
  EXPECT_EQ(AllChar("a", 'a' + 256), 0);
  EXPECT_EQ(CenterOffset("abcd", 10), 3);
  EXPECT_EQ(CenterOffset("abc", 10), 3);
  EXPECT_EQ(CenterOffset("abcdefghijkl", 10), -1);
  EXPECT_EQ(CenterOffset("abcdefghijk", 10), 0);  // toward zero
  EXPECT_EQ(CenterOffset("", 80), 40);
}

TEST_F(TextTest, PopStrReturnsThePushesInReverseOrder) {
  const std::string binary = Bytes({0, 255, 1, 0});
  const std::string huge(70000, 'x');
  PushStr("first");
  PushStr("");
  PushStr(binary);
  PushStr(huge);
  PushStr("");
  EXPECT_EQ(PopStr(), "");
  EXPECT_EQ(PopStr(), huge);
  EXPECT_EQ(PopStr(), binary);
  EXPECT_EQ(PopStr(), "");
  EXPECT_EQ(PopStr(), "first");
  EXPECT_EQ(PopStr(), "");
  EXPECT_TRUE(Strings().entries.empty());
}

TEST_F(TextTest, PeekAndPokeCopyBytesOfARecord) {
  std::array<char, 8> area{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  EXPECT_EQ(PeekStr(area.data() + 2, 3), "cde");
  PokeStr(area.data() + 6, "XY");
  EXPECT_EQ(std::string(area.data(), area.size()), "abcdefXY");
  EXPECT_EQ(PeekStr(area.data(), 0), "");

  std::string record = "abcdefgh";
  EXPECT_EQ(PeekStr(record, 6, 5), "gh");
  EXPECT_EQ(PeekStr(record, 9, 2), "");
  PokeStr(record, 6, "XYZ");
  EXPECT_EQ(record, "abcdefXY");
  PokeStr(record, 8, "Q");
  EXPECT_EQ(record, "abcdefXY");
  PokeStr(record, 0, Bytes({0, 200}));
  EXPECT_EQ(record, Bytes({0, 200}) + "cdefXY");
}

}  // namespace
}  // namespace palvorin
