#include "engine/createbuf.h"

#include <algorithm>

namespace palvorin {
namespace {

constexpr int kMaxKeys = 119;

uint16_t Word(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

void PutWord(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

bool UsesAcs(const KeySegmentDef& s) { return (s.flags & kKeyAcs) != 0; }

// Which ACS block a segment reads: numbered ACS (0x420) names it in byte 15; a plain ACS
// segment uses the first block.
int AcsIndex(const KeySegmentDef& s) { return (s.flags & kKeyNoCase) ? s.acsNumber : 0; }

EngineStatus CheckSegmentType(const KeySegmentDef& s) {
  if (!(s.flags & kKeyExtendedType)) return EngineStatus::Ok;
  switch (s.extendedType) {
    case kTypeString:
    case kTypeZString:
      return EngineStatus::Ok;
    case kTypeInteger:
    case kTypeUnsignedBinary:
      if (s.length == 1 || s.length == 2 || s.length == 4 || s.length == 8) return EngineStatus::Ok;
      return EngineStatus::InvalidKeyLength;
    default:
      return EngineStatus::InvalidKeyType;
  }
}

}  // namespace

int KeyCount(const FileDef& def) {
  int keys = 0;
  for (const KeySegmentDef& s : def.segments)
    if (!(s.flags & kKeySegmented)) ++keys;
  return keys;
}

AcsTable IdentityAcs(std::string_view name) {
  AcsTable t;
  t.name = std::string(name.substr(0, 8));
  for (int i = 0; i < 256; ++i) t.weights[i] = static_cast<uint8_t>(i);
  return t;
}

std::string BuildCreateBuffer(const FileDef& def) {
  std::string b(
      kFileHeaderSize + kSegmentSize * def.segments.size() + kAcsBlockSize * def.acs.size(),
      '\0');
  PutWord(b, 0, def.recordLength);
  PutWord(b, 2, def.pageSize);
  PutWord(b, 4, static_cast<uint16_t>(KeyCount(def)));
  PutWord(b, 10, def.fileFlags);
  size_t at = kFileHeaderSize;
  for (const KeySegmentDef& s : def.segments) {
    PutWord(b, at + 0, s.position);
    PutWord(b, at + 2, s.length);
    PutWord(b, at + 4, s.flags);
    b[at + 10] = static_cast<char>(s.extendedType);
    b[at + 11] = static_cast<char>(s.nullValue);
    b[at + 14] = static_cast<char>(s.keyNumber);
    b[at + 15] = static_cast<char>(s.acsNumber);
    at += kSegmentSize;
  }
  for (const AcsTable& t : def.acs) {
    b[at] = static_cast<char>(kAcsSignature);
    std::string name = t.name.substr(0, 8);
    name.resize(8, ' ');
    std::copy(name.begin(), name.end(), b.begin() + at + 1);
    std::copy(t.weights.begin(), t.weights.end(), b.begin() + at + 9);
    at += kAcsBlockSize;
  }
  return b;
}

EngineStatus ParseCreateBuffer(std::string_view b, FileDef& def) {
  def = FileDef{};
  if (b.size() < kFileHeaderSize) return EngineStatus::DataBufferTooShort;
  def.recordLength = Word(b, 0);
  def.pageSize = Word(b, 2);
  const int keys = Word(b, 4);
  def.fileFlags = Word(b, 10);
  if (def.recordLength == 0) return EngineStatus::InvalidRecordLength;
  if (def.pageSize == 0 || def.pageSize % 512 != 0) return EngineStatus::InvalidPageSize;
  if (keys > kMaxKeys) return EngineStatus::InvalidNumberOfKeys;

  size_t at = kFileHeaderSize;
  int acsBlocks = 0;
  for (int key = 0; key < keys; ++key) {
    int keyLength = 0;
    for (;;) {
      if (b.size() < at + kSegmentSize) return EngineStatus::DataBufferTooShort;
      KeySegmentDef s;
      s.position = Word(b, at);
      s.length = Word(b, at + 2);
      s.flags = Word(b, at + 4);
      s.extendedType = static_cast<uint8_t>(b[at + 10]);
      s.nullValue = static_cast<uint8_t>(b[at + 11]);
      s.keyNumber = static_cast<uint8_t>(b[at + 14]);
      s.acsNumber = static_cast<uint8_t>(b[at + 15]);
      at += kSegmentSize;
      if (s.length == 0) return EngineStatus::InvalidKeyLength;
      if (s.position == 0 || s.position + s.length - 1 > def.recordLength)
        return EngineStatus::InvalidKeyPosition;
      keyLength += s.length;
      if (keyLength > kMaxKeyLength) return EngineStatus::InvalidKeyLength;
      if (EngineStatus st = CheckSegmentType(s); st != EngineStatus::Ok) return st;
      if (UsesAcs(s)) acsBlocks = std::max(acsBlocks, AcsIndex(s) + 1);
      def.segments.push_back(s);
      if (!(s.flags & kKeySegmented)) break;
    }
  }
  for (int i = 0; i < acsBlocks; ++i) {
    if (b.size() < at + kAcsBlockSize) return EngineStatus::DataBufferTooShort;
    if (static_cast<uint8_t>(b[at]) != kAcsSignature) return EngineStatus::InvalidAcs;
    AcsTable t;
    t.name = std::string(b.substr(at + 1, 8));
    std::copy(b.begin() + at + 9, b.begin() + at + kAcsBlockSize, t.weights.begin());
    def.acs.push_back(t);
    at += kAcsBlockSize;
  }
  return EngineStatus::Ok;
}

std::string_view StatusName(EngineStatus status) {
  switch (status) {
    case EngineStatus::Ok:
      return "Ok";
    case EngineStatus::InvalidOperation:
      return "InvalidOperation";
    case EngineStatus::IoError:
      return "IoError";
    case EngineStatus::FileNotOpen:
      return "FileNotOpen";
    case EngineStatus::KeyNotFound:
      return "KeyNotFound";
    case EngineStatus::DuplicateKey:
      return "DuplicateKey";
    case EngineStatus::InvalidKeyNumber:
      return "InvalidKeyNumber";
    case EngineStatus::DifferentKeyNumber:
      return "DifferentKeyNumber";
    case EngineStatus::InvalidPositioning:
      return "InvalidPositioning";
    case EngineStatus::EndOfFile:
      return "EndOfFile";
    case EngineStatus::KeyNotModifiable:
      return "KeyNotModifiable";
    case EngineStatus::FileNotFound:
      return "FileNotFound";
    case EngineStatus::DiskFull:
      return "DiskFull";
    case EngineStatus::KeyBufferTooShort:
      return "KeyBufferTooShort";
    case EngineStatus::DataBufferTooShort:
      return "DataBufferTooShort";
    case EngineStatus::InvalidPageSize:
      return "InvalidPageSize";
    case EngineStatus::InvalidNumberOfKeys:
      return "InvalidNumberOfKeys";
    case EngineStatus::InvalidKeyPosition:
      return "InvalidKeyPosition";
    case EngineStatus::InvalidRecordLength:
      return "InvalidRecordLength";
    case EngineStatus::InvalidKeyLength:
      return "InvalidKeyLength";
    case EngineStatus::NotADataFile:
      return "NotADataFile";
    case EngineStatus::DamagedRecord:
      return "DamagedRecord";
    case EngineStatus::TransactionActive:
      return "TransactionActive";
    case EngineStatus::NoTransaction:
      return "NoTransaction";
    case EngineStatus::InvalidRecordAddress:
      return "InvalidRecordAddress";
    case EngineStatus::AccessDenied:
      return "AccessDenied";
    case EngineStatus::InvalidAcs:
      return "InvalidAcs";
    case EngineStatus::InvalidKeyType:
      return "InvalidKeyType";
    case EngineStatus::FileExists:
      return "FileExists";
    case EngineStatus::RecordLocked:
      return "RecordLocked";
    case EngineStatus::FileLocked:
      return "FileLocked";
    case EngineStatus::ConnectionLost:
      return "ConnectionLost";
  }
  return "Unknown";
}

}  // namespace palvorin
