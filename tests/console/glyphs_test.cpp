#include "console/glyphs.h"

#include <iconv.h>

#include <gtest/gtest.h>

namespace palvorin {
namespace {

// The code point glibc gives a CP850 byte, or 0 when it gives none.
char32_t IconvCodePoint(iconv_t cd, uint8_t byte) {
  char in[1] = {static_cast<char>(byte)};
  char32_t out[2] = {};
  char* inp = in;
  size_t inLeft = 1;
  char* outp = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) return 0;
  return out[0];
}

TEST(Glyphs, PrintableBytesMatchTheSystemsCodePage850) {
  iconv_t cd = iconv_open("UTF-32LE", "IBM850");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "iconv has no IBM850 here";
  for (int b = 0x20; b < 0x100; ++b) {
    if (b == 0x7F) continue;
    EXPECT_EQ(Cp850CodePoint(uint8_t(b)), IconvCodePoint(cd, uint8_t(b))) << "byte " << b;
  }
  iconv_close(cd);
}

TEST(Glyphs, ControlBytesShowAsThePcGlyphs) {
  struct Case {
    uint8_t byte;
    const char* utf8;
  };
  const Case cases[] = {{0x00, " "},      {0x01, "\u263A"}, {0x10, "\u25BA"}, {0x11, "\u25C4"},
                        {0x1E, "\u25B2"}, {0x1F, "\u25BC"}, {0x7F, "\u2302"}, {0x18, "\u2191"},
                        {0xF0, "-"},      {0xC9, "\u2554"}, {0xB3, "\u2502"}, {0xDB, "\u2588"}};
  for (const Case& c : cases) EXPECT_EQ(GlyphUtf8(c.byte), c.utf8) << "byte " << int(c.byte);
}

TEST(Glyphs, EveryGlyphTypedComesBackAsItsByte) {
  for (int b = 1; b < 0x100; ++b) {
    // ¶ and § are glyphs of 0x14 and 0x15 and characters 0xF4 and 0xF5: typed, characters.
    const int want = b == 0x14 ? 0xF4 : b == 0x15 ? 0xF5 : b;
    EXPECT_EQ(Cp850FromCodePoint(Cp850CodePoint(uint8_t(b))), want) << "byte " << b;
  }
  EXPECT_EQ(Cp850FromCodePoint(U'\u20AC'), -1);  // the euro sign is not in code page 850
  EXPECT_EQ(Cp850FromCodePoint(U'\r'), '\r');
  EXPECT_EQ(GlyphsUtf8("\xC9\xCD\xBB"), "\u2554\u2550\u2557");
}

}  // namespace
}  // namespace palvorin
