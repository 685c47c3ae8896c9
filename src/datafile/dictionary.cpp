// Reading the dictionary source and writing create buffers.
#include "datafile/dictionary.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace palvorin {
namespace {

constexpr int kMaxKeyLength = 255;
constexpr int kMaxRecordLength = 1536;
constexpr uint16_t kFlagDuplicates = 0x01;
constexpr uint16_t kFlagModifiable = 0x02;
constexpr uint16_t kFlagBinary = 0x04;
constexpr uint16_t kFlagSegmented = 0x10;
constexpr uint16_t kFlagAcs = 0x20;
constexpr uint8_t kAcsSignature = 0xAC;
constexpr std::string_view kAcsName = "UPPER850";

// Code page 850 letters from code 64 to 237 folded to plain capitals; a blank leaves the byte
// as it is.
constexpr std::string_view kPlainCapitals =
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ      ABCDEFGHIJKLMNOPQRSTUVWXYZ     CUEAAAACEEEIIIAAEAAOOOUUYOUO"
    " O  AIOUNNAO             AAA              AA        DDEEEIIII     I OSOOOO TTUUUYY";
static_assert(kPlainCapitals.size() == 174);

const std::vector<std::string_view> kFieldTypes = {"text",  "byte",   "word", "dword",
                                                   "amount", "digits", "code", "date",
                                                   "remittance"};

bool ToInt(std::string_view text, int& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

void PutWord(std::string& buf, size_t at, int value) {
  buf[at] = static_cast<char>(value & 0xFF);
  buf[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// "0,4,acs" into a segment.
bool ParseSegment(const std::string& text, DictSegment& seg, std::string& why) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string p; std::getline(in, p, ',');) parts.push_back(p);
  if (parts.size() < 2 || !ToInt(parts[0], seg.offset) || !ToInt(parts[1], seg.length) ||
      seg.offset < 0 || seg.length <= 0) {
    why = "segment \"" + text + "\" is not OFFSET,LENGTH";
    return false;
  }
  for (size_t i = 2; i < parts.size(); ++i) {
    if (parts[i] == "acs") {
      seg.acs = true;
    } else if (parts[i] == "binary") {
      seg.binary = true;
    } else {
      why = "unknown segment attribute \"" + parts[i] + "\"";
      return false;
    }
  }
  return true;
}

bool ParseKey(const std::vector<std::string>& words, const DictFile& file, DictKey& key,
              std::string& why) {
  bool expectSegment = true;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "dup" && key.segments.empty()) {
      key.duplicates = true;
    } else if (w == "mod" && key.segments.empty()) {
      key.modifiable = true;
    } else if (w == "+" && !expectSegment) {
      expectSegment = true;
    } else if (expectSegment) {
      DictSegment seg;
      if (!ParseSegment(w, seg, why)) return false;
      if (seg.offset + seg.length > file.recordLength) {
        why = "segment \"" + w + "\" runs past the record";
        return false;
      }
      key.segments.push_back(seg);
      expectSegment = false;
    } else {
      why = "unexpected \"" + w + "\" in a key";
      return false;
    }
  }
  if (key.segments.empty() || expectSegment) {
    why = "a key needs segments joined by \"+\"";
    return false;
  }
  int length = 0;
  for (const DictSegment& s : key.segments) length += s.length;
  if (length > kMaxKeyLength) {
    why = "key longer than 255 bytes";
    return false;
  }
  return true;
}

bool ParseField(const std::vector<std::string>& words, const DictFile& file, DictField& field,
                std::string& why) {
  if (words.size() != 5 || !ToInt(words[2], field.offset) || !ToInt(words[3], field.width) ||
      field.offset < 0 || field.width <= 0) {
    why = "a field is: field NAME OFFSET WIDTH TYPE";
    return false;
  }
  field.name = words[1];
  field.type = words[4];
  if (std::find(kFieldTypes.begin(), kFieldTypes.end(), field.type) == kFieldTypes.end()) {
    why = "unknown field type \"" + field.type + "\"";
    return false;
  }
  if (field.offset + field.width > file.recordLength) {
    why = "field " + field.name + " runs past the record";
    return false;
  }
  for (const DictField& other : file.fields) {
    if (other.name == field.name) {
      why = "field " + field.name + " given twice";
      return false;
    }
    if (field.offset < other.offset + other.width && other.offset < field.offset + field.width) {
      why = "field " + field.name + " overlaps " + other.name;
      return false;
    }
  }
  return true;
}

bool ParseFileLine(const std::vector<std::string>& words, DictFile& file, std::string& why) {
  bool ok = words.size() == 3 || (words.size() == 5 && words[3] == "page");
  ok = ok && ToInt(words[2], file.recordLength);
  if (ok && words.size() == 5) ok = ToInt(words[4], file.pageSize);
  if (!ok) {
    why = "a file is: file BASE LENGTH [page SIZE]";
    return false;
  }
  if (file.recordLength <= 0 || file.recordLength > kMaxRecordLength) {
    why = "record length must be 1 to 1536";
    return false;
  }
  if (file.pageSize < 512 || file.pageSize > 4096 || file.pageSize % 512 != 0) {
    why = "page size must be a multiple of 512 up to 4096";
    return false;
  }
  file.base = words[1];
  return true;
}

}  // namespace

bool ParseDictionarySource(std::string_view text, std::vector<DictFile>& files,
                           std::string& error) {
  files.clear();
  std::istringstream in{std::string(text)};
  int number = 0;
  std::string why;
  auto fail = [&](int at) {
    error = "line " + std::to_string(at) + ": " + why;
    return false;
  };
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    if (words[0] == "file") {
      if (!files.empty() && files.back().keys.empty()) {
        why = "file " + files.back().base + " has no key";
        return fail(number);
      }
      DictFile file;
      if (!ParseFileLine(words, file, why)) return fail(number);
      files.push_back(std::move(file));
    } else if (files.empty()) {
      why = "\"" + words[0] + "\" before the first file";
      return fail(number);
    } else if (words[0] == "key") {
      DictKey key;
      if (!ParseKey(words, files.back(), key, why)) return fail(number);
      files.back().keys.push_back(std::move(key));
    } else if (words[0] == "field") {
      DictField field;
      if (!ParseField(words, files.back(), field, why)) return fail(number);
      files.back().fields.push_back(std::move(field));
    } else {
      why = "unknown word \"" + words[0] + "\"";
      return fail(number);
    }
  }
  if (!files.empty() && files.back().keys.empty()) {
    why = "file " + files.back().base + " has no key";
    return fail(number);
  }
  for (DictFile& f : files) {
    std::sort(f.fields.begin(), f.fields.end(),
              [](const DictField& a, const DictField& b) { return a.offset < b.offset; });
  }
  return true;
}

std::array<uint8_t, 256> Upper850Table() {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    table[b] = static_cast<uint8_t>(b);
    if (b >= 64 && b < 64 + static_cast<int>(kPlainCapitals.size()) &&
        kPlainCapitals[b - 64] != ' ') {
      table[b] = static_cast<uint8_t>(kPlainCapitals[b - 64]);
    }
  }
  return table;
}

std::string CreateBuffer(const DictFile& file) {
  size_t segments = 0;
  bool usesAcs = false;
  for (const DictKey& k : file.keys) {
    segments += k.segments.size();
    for (const DictSegment& s : k.segments) usesAcs = usesAcs || s.acs;
  }
  std::string buf(16 + 16 * segments + (usesAcs ? 265 : 0), '\0');
  PutWord(buf, 0, file.recordLength);
  PutWord(buf, 2, file.pageSize);
  PutWord(buf, 4, static_cast<int>(file.keys.size()));
  size_t at = 16;
  for (size_t k = 0; k < file.keys.size(); ++k) {
    const DictKey& key = file.keys[k];
    for (size_t i = 0; i < key.segments.size(); ++i) {
      const DictSegment& s = key.segments[i];
      uint16_t flags = 0;
      if (key.duplicates) flags |= kFlagDuplicates;
      if (key.modifiable) flags |= kFlagModifiable;
      if (s.binary) flags |= kFlagBinary;
      if (s.acs) flags |= kFlagAcs;
      if (i + 1 < key.segments.size()) flags |= kFlagSegmented;
      PutWord(buf, at, s.offset + 1);
      PutWord(buf, at + 2, s.length);
      PutWord(buf, at + 4, flags);
      buf[at + 14] = static_cast<char>(k);
      at += 16;
    }
  }
  if (usesAcs) {
    buf[at] = static_cast<char>(kAcsSignature);
    buf.replace(at + 1, kAcsName.size(), kAcsName);
    std::array<uint8_t, 256> table = Upper850Table();
    for (int b = 0; b < 256; ++b) buf[at + 9 + b] = static_cast<char>(table[b]);
  }
  return buf;
}

std::string DictionaryBytes(const DictFile& file) {
  std::string create = CreateBuffer(file);
  std::string bytes(2, '\0');
  PutWord(bytes, 0, static_cast<int>(create.size()));
  return bytes + create;
}

}  // namespace palvorin
