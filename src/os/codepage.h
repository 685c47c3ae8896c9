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

// The UTF-8 form of a CP850 text (bytes below 32 stay control characters).
std::string Utf8FromCp850(std::string_view text);

// The Unicode character of a CP850 byte; bytes below 0x80 are themselves.
char32_t Cp850ToUnicode(unsigned char byte);

// Appends the UTF-8 encoding of a code point.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace palvorin

#endif  // PALVORIN_OS_CODEPAGE_H_
