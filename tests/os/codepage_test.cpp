#include "os/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace palvorin {
namespace {

// glibc's own conversion of one CP850 byte to UTF-8.
std::string IconvFromIbm850(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-8", "IBM850");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* inPtr = in;
  char* outPtr = out;
  size_t inLeft = 1;
  size_t outLeft = sizeof out;
  iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  return std::string(out, sizeof out - outLeft);
}

TEST(CodePage, EveryByteMatchesGlibcIbm850) {
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(Utf8FromCp850(byte), IconvFromIbm850(static_cast<unsigned char>(b))) << "byte " << b;
  }
}

TEST(CodePage, EveryByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(cp850(Utf8FromCp850(byte)), byte) << "byte " << b;
  }
}

TEST(CodePage, ConvertsTheSuitesAccentedTexts) {
  EXPECT_EQ(cp850("PÀGINA "), "P\xB7GINA ");
  EXPECT_EQ(cp850("març"), "mar\x87");
  EXPECT_EQ(cp850("NON SE PÒT ACCEDIR ATH FICHÈR "), "NON SE P\xE3T ACCEDIR ATH FICH\xD4R ");
  EXPECT_EQ(cp850("►◄"), "??");  // control-range glyphs are screen drawing, not text
  EXPECT_EQ(Utf8FromCp850("\x10\x11"), "\x10\x11");
  EXPECT_EQ(Utf8FromCp850("\xC9\xCD\xBB"), "╔═╗");
}

TEST(CodePage, MalformedUtf8BecomesQuestionMarks) {
  EXPECT_EQ(cp850("a\xC3"), "a?");           // cut short at the end
  EXPECT_EQ(cp850("a\xC3" "b"), "a?b");      // continuation byte missing
  EXPECT_EQ(cp850("\x80z"), "?z");           // stray continuation byte
  EXPECT_EQ(cp850("€"), "?");                // not in the code page
  EXPECT_EQ(cp850("\xF0\x9F\x98\x80x"), "?x");  // outside the basic plane
}

// The first and last of each range of control characters become \xNN; their neighbours stay.
TEST(CodePage, EscapeControlsTurnsEveryControlIntoHexAndKeepsItsNeighbours) {
  EXPECT_EQ(EscapeControls(std::string("\0\x1f ~\x7f", 5)), "\\x00\\x1f ~\\x7f");
  EXPECT_EQ(EscapeControls("\xC2\x80\xC2\x9F\xC2\xA0\xFF"), "\\xc2\\x80\\xc2\\x9f\xC2\xA0\\xff");
  // U+D7FF, the surrogates U+D800 and U+DFFF (no characters), U+E000, U+10FFFF.
  EXPECT_EQ(EscapeControls("\xED\x9F\xBF\xED\xA0\x80\xED\xBF\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF"),
            "\xED\x9F\xBF\\xed\\xa0\\x80\\xed\\xbf\\xbf\xEE\x80\x80\xF4\x8F\xBF\xBF");
}

}  // namespace
}  // namespace palvorin
