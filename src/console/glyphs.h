// How the screen's CP850 bytes look on a UTF-8 terminal and how typed characters come back
// to CP850. Bytes 1 to 31 and 127 are shown as the classic PC glyphs (16 ►, 17 ◄, 30 ▲,
// 31 ▼, 127 ⌂), since the screens use them as arrows and markers; byte 0 as a space.
#ifndef PALVORIN_CONSOLE_GLYPHS_H_
#define PALVORIN_CONSOLE_GLYPHS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace palvorin {

// The Unicode code point of a CP850 byte as a character of text (bytes 1-31 and 127 as
// their PC glyphs, byte 0 as space).
char32_t Cp850CodePoint(uint8_t byte);

// The UTF-8 bytes a terminal is sent to draw the byte. Same as Cp850CodePoint except that
// the soft hyphen (0xF0) is drawn as "-", since terminals may give it no width at all.
std::string_view GlyphUtf8(uint8_t byte);

// The CP850 byte of a typed character; -1 when the code page has none. Code points below
// 32 and 127 give themselves; the PC glyphs give their byte (► 16).
int Cp850FromCodePoint(char32_t cp);

// The UTF-8 form of CP850 screen text, glyph by glyph.
std::string GlyphsUtf8(std::string_view cp850Text);

}  // namespace palvorin

#endif  // PALVORIN_CONSOLE_GLYPHS_H_
