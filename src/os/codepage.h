// Code page 850 is the program's own text form: every text inside is a byte string in it.
// UTF-8 appears only in C++ source literals and at the terminal.
#ifndef PALVORIN_OS_CODEPAGE_H_
#define PALVORIN_OS_CODEPAGE_H_

#include <string>
#include <string_view>

namespace palvorin {

// The CP850 bytes of a UTF-8 text; characters CP850 lacks become "?".
// Used once per accented source literal: cp850("PÀGINA ").
std::string cp850(std::string_view utf8);

// What a strict reading of a UTF-8 text found.
enum class Utf8Reading {
  Ok,
  Malformed,     // a byte sequence that is no UTF-8 character (overlong forms included)
  OutsideCp850,  // a character code page 850 lacks, such as the euro sign
};
// The CP850 bytes of a UTF-8 text, where cp850() would put "?" refusing instead: `out` holds
// the text only when the reading is Ok.
Utf8Reading Cp850FromUtf8(std::string_view utf8, std::string& out);

// A text given from outside (an argument, a path) made safe to write to a terminal: control
// characters (C0, DEL, C1) and bytes that are no part of a UTF-8 character are written as
// \xNN, so nothing typed can move the cursor, clear the screen or retitle the window.
std::string EscapeControls(std::string_view utf8);

// The UTF-8 form of a CP850 text (bytes below 32 stay control characters).
std::string Utf8FromCp850(std::string_view text);

// The Unicode character of a CP850 byte; bytes below 0x80 are themselves.
char32_t Cp850ToUnicode(unsigned char byte);

// Appends the UTF-8 encoding of a code point.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace palvorin

#endif  // PALVORIN_OS_CODEPAGE_H_
