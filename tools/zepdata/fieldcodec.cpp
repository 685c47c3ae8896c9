// Records to JSON lines and back, field by field through the record layouts.
#include "fieldcodec.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "os/codepage.h"
#include "textlib/dates.h"

namespace palvorin {
namespace {

constexpr std::string_view kHexPrefix = "x:";

// One member value of a JSON line: a string's text (UTF-8) or a number's literal.
struct JsonValue {
  bool isString = false;
  std::string text;
};

using Members = std::vector<std::pair<std::string, JsonValue>>;

// ---- JSON ------------------------------------------------------------------------------------

std::string JsonString(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : utf8) {
    auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A reader for the one shape the tool exchanges: a flat object of strings and numbers.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}

  bool Object(Members& members, std::string& error) {
    Skip();
    if (!Take('{')) return Fail("a line must be one JSON object", error);
    Skip();
    if (Take('}')) return End(error);
    for (;;) {
      std::string name;
      Skip();
      if (!String(name)) return Fail("expected a member name in quotes", error);
      Skip();
      if (!Take(':')) return Fail("expected \":\" after \"" + name + "\"", error);
      Skip();
      JsonValue value;
      if (Peek() == '"') {
        value.isString = true;
        if (!String(value.text)) return Fail("bad string for \"" + name + "\"", error);
      } else if (!Number(value.text)) {
        return Fail("\"" + name + "\" must be a string or a number", error);
      }
      members.emplace_back(std::move(name), std::move(value));
      Skip();
      if (Take('}')) return End(error);
      if (!Take(',')) return Fail("expected \",\" or \"}\"", error);
    }
  }

 private:
  char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  bool Take(char c) {
    if (Peek() != c || i_ >= s_.size()) return false;
    ++i_;
    return true;
  }
  void Skip() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
  }
  bool Fail(const std::string& why, std::string& error) {
    error = why;
    return false;
  }
  bool End(std::string& error) {
    Skip();
    return i_ == s_.size() || Fail("text after the object", error);
  }
  bool Hex4(uint32_t& value) {
    if (i_ + 4 > s_.size()) return false;
    auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, value, 16);
    if (ec != std::errc() || end != s_.data() + i_ + 4) return false;
    i_ += 4;
    return true;
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    while (i_ < s_.size()) {
      char c = s_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t cp = 0;
          if (!Hex4(cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00) {  // a surrogate pair
            uint32_t low = 0;
            if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low >= 0xE000) {
              return false;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  // -?digits(.digits)?, kept as written.
  bool Number(std::string& out) {
    size_t start = i_;
    Take('-');
    size_t digits = i_;
    while (Peek() >= '0' && Peek() <= '9') ++i_;
    if (i_ == digits) return false;
    if (Take('.')) {
      size_t fraction = i_;
      while (Peek() >= '0' && Peek() <= '9') ++i_;
      if (i_ == fraction) return false;
    }
    out = std::string(s_.substr(start, i_ - start));
    return true;
  }

  std::string_view s_;
  size_t i_ = 0;
};

// ---- Field values ----------------------------------------------------------------------------

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Packed bytes as their digits; false when a byte is no packed pair.
bool Unpacked(std::string_view bytes, std::string& digits) {
  digits.clear();
  for (char c : bytes) {
    int b = static_cast<unsigned char>(c);
    if (b < 128 || b > 227) return false;
    digits += static_cast<char>('0' + (b - 128) / 10);
    digits += static_cast<char>('0' + (b - 128) % 10);
  }
  return true;
}

std::string Packed(std::string_view digits) {
  std::string bytes;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes += static_cast<char>(128 + (digits[i] - '0') * 10 + (digits[i + 1] - '0'));
  }
  return bytes;
}

std::string LeftPadded(std::string_view digits, size_t width) {
  return std::string(width - digits.size(), '0') + std::string(digits);
}

std::string Trimmed(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

bool ParseInteger(const JsonValue& v, int64_t low, int64_t high, int64_t& out) {
  if (v.isString || v.text.find('.') != std::string::npos) return false;
  auto [end, ec] = std::from_chars(v.text.data(), v.text.data() + v.text.size(), out);
  return ec == std::errc() && end == v.text.data() + v.text.size() && out >= low && out <= high;
}

// Control characters (NUL included) would come back from a record as no text an operator typed.
bool HasControl(std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

// "-12.5" as -1250 hundredths.
bool ParseAmount(const JsonValue& v, int32_t& out) {
  if (v.isString) return false;
  std::string text = v.text;
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  size_t dot = text.find('.');
  std::string whole = text.substr(0, dot);
  std::string cents = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (whole.empty() || whole.size() > 10 || cents.size() > 2 || !AllDigits(whole) ||
      !AllDigits(cents)) {
    return false;
  }
  cents.resize(2, '0');
  int64_t value = std::stoll(whole) * 100 + std::stoll(cents);
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  out = static_cast<int32_t>(value);
  return true;
}

std::string FormatAmount(int32_t hundredths) {
  int64_t v = hundredths;
  std::string sign = v < 0 ? "-" : "";
  if (v < 0) v = -v;
  std::string cents = std::to_string(v % 100);
  return sign + std::to_string(v / 100) + "." + (cents.size() < 2 ? "0" : "") + cents;
}

// A dotted code "B" or "B.N" into its digits, each group up to four digits.
bool ParseCode(std::string_view text, int width, std::string& bytes) {
  std::string digits;
  if (!text.empty()) {
    size_t dot = text.find('.');
    std::string_view first = text.substr(0, dot);
    std::string_view second = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    if (first.empty() || first.size() > 4 || !AllDigits(first)) return false;
    if (dot != std::string_view::npos && (width < 4 || second.empty() || second.size() > 4 ||
                                          !AllDigits(second))) {
      return false;
    }
    digits = LeftPadded(first, 4) + LeftPadded(second, 4);
  }
  digits.resize(2 * width, '0');
  bytes = Packed(digits);
  return true;
}

std::string FormatCode(const std::string& digits) {
  int first = std::stoi(digits.substr(0, 4));
  int second = digits.size() >= 8 ? std::stoi(digits.substr(4, 4)) : 0;
  if (first == 0 && second == 0) return "";
  return std::to_string(first) + (second != 0 ? "." + std::to_string(second) : "");
}

// The field's value from JSON into exactly `f.width` bytes.
bool Encode(const FieldInfo& f, const JsonValue& v, std::string& bytes, std::string& why) {
  std::string_view text = v.text;
  if (v.isString && text.substr(0, kHexPrefix.size()) == kHexPrefix) {
    if (!FromHex(text.substr(kHexPrefix.size()), bytes) ||
        bytes.size() != static_cast<size_t>(f.width)) {
      why = "needs " + std::to_string(2 * f.width) + " hex digits after \"x:\"";
      return false;
    }
    return true;
  }
  int64_t n = 0;
  std::string scratch(f.width, '\0');
  switch (f.type) {
    case FieldType::Text: {
      if (!v.isString) break;
      std::string cp;
      switch (Cp850FromUtf8(text, cp)) {
        case Utf8Reading::Ok: break;
        case Utf8Reading::Malformed: why = "is not valid UTF-8"; return false;
        case Utf8Reading::OutsideCp850:
          why = "holds a character that code page 850 lacks";
          return false;
      }
      if (HasControl(cp)) {
        why = "holds a control character";
        return false;
      }
      if (cp.size() > static_cast<size_t>(f.width)) {
        why = "is longer than " + std::to_string(f.width) + " characters";
        return false;
      }
      cp.resize(f.width, ' ');
      bytes = cp;
      return true;
    }
    case FieldType::Byte:
      if (!ParseInteger(v, 0, 255, n)) break;
      bytes = std::string(1, static_cast<char>(n));
      return true;
    case FieldType::Word:
      if (!ParseInteger(v, INT16_MIN, INT16_MAX, n)) break;
      PutWord(scratch, 0, static_cast<int16_t>(n));
      bytes = scratch;
      return true;
    case FieldType::Dword:
      if (!ParseInteger(v, INT32_MIN, INT32_MAX, n)) break;
      PutDword(scratch, 0, static_cast<int32_t>(n));
      bytes = scratch;
      return true;
    case FieldType::Amount: {
      int32_t hundredths = 0;
      if (!ParseAmount(v, hundredths)) break;
      PutDword(scratch, 0, hundredths);
      bytes = scratch;
      return true;
    }
    case FieldType::Digits:
      if (!v.isString || !AllDigits(text) || text.size() > static_cast<size_t>(2 * f.width)) {
        break;
      }
      bytes = Packed(LeftPadded(text, 2 * f.width));
      return true;
    case FieldType::Code:
      if (!v.isString || !ParseCode(text, f.width, bytes)) break;
      return true;
    case FieldType::Date:
      if (!v.isString) break;
      if (text.empty()) {
        bytes = std::string(f.width, '\x80');
        return true;
      }
      if (f.width != 4 || text.size() != 10 || text[4] != '-' || text[7] != '-' ||
          !AllDigits(text.substr(0, 4)) || !AllDigits(text.substr(5, 2)) ||
          !AllDigits(text.substr(8, 2))) {
        break;
      }
      // Read as the operator types dates, so that only a day of the calendar passes.
      if (DateError(std::string(text.substr(8, 2)) + "/" + std::string(text.substr(5, 2)) + "/" +
                    std::string(text.substr(0, 4))) != 0) {
        why = "is no day of the calendar";
        return false;
      }
      bytes = Packed(std::string(text.substr(0, 4)) + std::string(text.substr(5, 2)) +
                     std::string(text.substr(8, 2)));
      return true;
    case FieldType::Remittance:
      if (!v.isString || text.empty() || text.size() > 4 || !AllDigits(text)) break;
      bytes = RemittanceCode(text);
      return true;
  }
  static const char* kExpected[] = {
      "a string",         "an integer 0 to 255", "an integer -32768 to 32767",
      "a 32-bit integer", "an amount with up to two decimals",
      "a digit string",   "a dotted code such as \"12.3\"",
      "a date YYYY-MM-DD or \"\"", "up to four digits"};
  why = std::string("must be ") + kExpected[static_cast<int>(f.type)];
  return false;
}

// The field's bytes as a JSON value, falling back to hex when the readable form would not read
// back as the same bytes.
std::string Decode(const FieldInfo& f, std::string_view bytes) {
  std::optional<JsonValue> v;
  std::string digits;
  switch (f.type) {
    case FieldType::Text: v = JsonValue{true, Utf8FromCp850(Trimmed(bytes))}; break;
    case FieldType::Byte: v = JsonValue{false, std::to_string(GetByte(bytes, 0))}; break;
    case FieldType::Word: v = JsonValue{false, std::to_string(GetWord(bytes, 0))}; break;
    case FieldType::Dword: v = JsonValue{false, std::to_string(GetDword(bytes, 0))}; break;
    case FieldType::Amount: v = JsonValue{false, FormatAmount(GetDword(bytes, 0))}; break;
    case FieldType::Digits:
      if (Unpacked(bytes, digits)) v = JsonValue{true, digits};
      break;
    case FieldType::Code:
      if (Unpacked(bytes, digits)) v = JsonValue{true, FormatCode(digits)};
      break;
    case FieldType::Date:
      if (Unpacked(bytes, digits) && digits.size() == 8) {
        v = JsonValue{true, digits == "00000000" ? ""
                                                 : digits.substr(0, 4) + "-" +
                                                       digits.substr(4, 2) + "-" +
                                                       digits.substr(6, 2)};
      }
      break;
    case FieldType::Remittance: v = JsonValue{true, RemittanceDisplay(bytes)}; break;
  }
  std::string back, why;
  if (v && Encode(f, *v, back, why) && back == bytes) {
    return v->isString ? JsonString(v->text) : v->text;
  }
  return JsonString(std::string(kHexPrefix) + ToHex(bytes));
}

}  // namespace

std::string ToHex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    out += kHex[u >> 4];
    out += kHex[u & 15];
  }
  return out;
}

bool FromHex(std::string_view hex, std::string& bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
    if (ec != std::errc() || end != hex.data() + i + 2) return false;
    bytes += static_cast<char>(value);
  }
  return true;
}

std::string RecordToJson(const FileLayout& layout, std::string_view record) {
  std::string out = "{";
  auto member = [&out](const std::string& name, const std::string& value) {
    if (out.size() > 1) out += ",";
    out += JsonString(name) + ":" + value;
  };
  auto gap = [&](int from, int to) {
    if (to <= from) return;
    std::string_view bytes = record.substr(from, to - from);
    if (bytes.find_first_not_of(' ') == std::string_view::npos) return;
    member("@" + std::to_string(from), JsonString(ToHex(bytes)));
  };
  int at = 0;
  for (const FieldInfo& f : layout.fields) {
    gap(at, f.offset);
    member(f.name, Decode(f, record.substr(f.offset, f.width)));
    at = f.offset + f.width;
  }
  gap(at, layout.length);
  return out + "}";
}

bool RecordFromJson(const FileLayout& layout, std::string_view line, std::string& record,
                    std::string& error) {
  Members members;
  if (!JsonReader(line).Object(members, error)) return false;
  record = BlankRecord(layout.length);
  for (const FieldInfo& f : layout.fields) {
    switch (f.type) {
      case FieldType::Byte: case FieldType::Word: case FieldType::Dword: case FieldType::Amount:
        record.replace(f.offset, f.width, std::string(f.width, '\0'));
        break;
      case FieldType::Digits: case FieldType::Code: case FieldType::Date:
        record.replace(f.offset, f.width, std::string(f.width, '\x80'));
        break;
      case FieldType::Remittance:
        record.replace(f.offset, f.width, EncodeRemittance(0));
        break;
      case FieldType::Text:
        break;
    }
  }
  std::vector<std::string> seen;
  for (const auto& [name, value] : members) {
    for (const std::string& s : seen) {
      if (s == name) {
        error = "\"" + name + "\" given twice";
        return false;
      }
    }
    seen.push_back(name);
    std::string bytes, why;
    if (!name.empty() && name[0] == '@') {
      int offset = -1;
      auto [end, ec] = std::from_chars(name.data() + 1, name.data() + name.size(), offset);
      if (ec != std::errc() || end != name.data() + name.size() || offset < 0 ||
          !value.isString || !FromHex(value.text, bytes) ||
          offset + bytes.size() > static_cast<size_t>(layout.length)) {
        error = "\"" + name + "\" must be the hex of bytes inside the record";
        return false;
      }
      record.replace(offset, bytes.size(), bytes);
      continue;
    }
    const FieldInfo* field = nullptr;
    for (const FieldInfo& f : layout.fields) {
      if (name == f.name) field = &f;
    }
    if (field == nullptr) {
      error = "no field \"" + name + "\" in " + layout.name;
      return false;
    }
    if (!Encode(*field, value, bytes, why)) {
      error = "\"" + name + "\" " + why;
      return false;
    }
    record.replace(field->offset, field->width, bytes);
  }
  return true;
}

}  // namespace palvorin
