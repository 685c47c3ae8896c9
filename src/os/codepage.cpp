#include "os/codepage.h"

#include <array>
#include <cstdint>
#include <utility>

namespace palvorin {
namespace {

// The Unicode character of each byte 0x80 to 0xFF of code page 850. Bytes below 0x80 are ASCII
// (the control range included: the console draws those bytes with its own glyphs).
constexpr std::array<uint16_t, 128> kHighHalf = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// Decodes one UTF-8 character at `at`; advances `at`. A malformed sequence gives U+FFFD and
// consumes one byte, so the caller writes "?" for it and goes on.
char32_t NextCodePoint(std::string_view s, size_t& at) {
  const auto lead = static_cast<unsigned char>(s[at]);
  int extra = 0;
  char32_t cp = 0;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    ++at;
    return 0xFFFD;
  }
  if (at + extra >= s.size()) {  // the sequence is cut short
    ++at;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(s[at + i]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  at += extra + 1;
  return cp;
}

// The byte of code page 850 for a character; 0 when it has none (and for U+0000 itself).
unsigned char Cp850Byte(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(cp);
  for (size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] == cp) return static_cast<unsigned char>(0x80 + i);
  }
  return 0;
}

// Decodes the UTF-8 character at `at` strictly: false, and `at` past one byte, for anything
// but the shortest encoding of a Unicode scalar value.
bool NextStrictCodePoint(std::string_view s, size_t& at, char32_t& cp) {
  const size_t start = at;
  cp = NextCodePoint(s, at);
  std::string shortest;
  AppendUtf8(shortest, cp);
  const bool scalar = cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
  if (scalar && s.substr(start, at - start) == shortest) return true;
  at = start + 1;
  return false;
}

}  // namespace

char32_t Cp850ToUnicode(unsigned char byte) {
  return byte < 0x80 ? char32_t{byte} : char32_t{kHighHalf[byte - 0x80]};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string cp850(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t at = 0;
  while (at < utf8.size()) {
    const char32_t cp = NextCodePoint(utf8, at);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    const unsigned char byte = Cp850Byte(cp);
    out += byte == 0 ? '?' : static_cast<char>(byte);
  }
  return out;
}

Utf8Reading Cp850FromUtf8(std::string_view utf8, std::string& out) {
  std::string text;
  text.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    char32_t cp = 0;
    if (!NextStrictCodePoint(utf8, at, cp)) return Utf8Reading::Malformed;
    const unsigned char byte = Cp850Byte(cp);
    if (byte == 0 && cp != 0) return Utf8Reading::OutsideCp850;
    text += static_cast<char>(byte);
  }
  out = std::move(text);
  return Utf8Reading::Ok;
}

std::string EscapeControls(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    char32_t cp = 0;
    const bool valid = NextStrictCodePoint(utf8, at, cp);
    if (valid && cp >= 0x20 && cp != 0x7F && (cp < 0x80 || cp > 0x9F)) {
      out.append(utf8.substr(start, at - start));
      continue;
    }
    for (size_t i = start; i < at; ++i) {
      const auto byte = static_cast<unsigned char>(utf8[i]);
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string Utf8FromCp850(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, Cp850ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace palvorin
