#include "console/glyphs.h"

#include "os/codepage.h"

#include <array>
#include <unordered_map>

namespace palvorin {
namespace {

// The PC glyphs of bytes 0x00-0x1F (0x00 is drawn as a space); 0x7F is the house, and every
// other byte is its character of the code page.
constexpr std::array<char32_t, 32> kLowGlyphs = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18
};
constexpr char32_t kHouse = 0x2302;

char32_t GlyphOf(int byte) {
  if (byte < 0x20) return kLowGlyphs[byte];
  if (byte == 0x7F) return kHouse;
  return Cp850ToUnicode(static_cast<unsigned char>(byte));
}

struct GlyphTables {
  std::array<std::string, 256> utf8;
  std::unordered_map<char32_t, uint8_t> reverse;
};

const GlyphTables& Tables() {
  static const GlyphTables tables = [] {
    GlyphTables t;
    for (int b = 0; b < 256; ++b) {
      AppendUtf8(t.utf8[b], b == 0xF0 ? U'-' : GlyphOf(b));
      if (b >= 0x20 && b != 0x7F) t.reverse.emplace(GlyphOf(b), static_cast<uint8_t>(b));
    }
    // The PC glyphs ¶ and § are also characters of the code page (0xF4, 0xF5): typed, they
    // are those characters.
    for (int b = 1; b < 0x20; ++b) t.reverse.emplace(GlyphOf(b), static_cast<uint8_t>(b));
    t.reverse.emplace(kHouse, 0x7F);
    return t;
  }();
  return tables;
}

}  // namespace

char32_t Cp850CodePoint(uint8_t byte) { return GlyphOf(byte); }

std::string_view GlyphUtf8(uint8_t byte) { return Tables().utf8[byte]; }

int Cp850FromCodePoint(char32_t cp) {
  if (cp < 0x20 || cp == 0x7F) return static_cast<int>(cp);
  const auto& rev = Tables().reverse;
  auto it = rev.find(cp);
  return it == rev.end() ? -1 : it->second;
}

std::string GlyphsUtf8(std::string_view cp850Text) {
  std::string out;
  out.reserve(cp850Text.size() * 2);
  for (char c : cp850Text) out += GlyphUtf8(static_cast<uint8_t>(c));
  return out;
}

}  // namespace palvorin
