// The definition of a keyed data file and its byte form, the create buffer handed to Create (and
// given back, with live counts, by Stat). All words little-endian:
//
//   file header, 16 bytes: record length at 0, page size at 2, number of keys at 4,
//     record count at 6 (4 bytes, Stat only), file flags at 10;
//   one 16-byte key segment descriptor per segment, the segments of one key consecutive:
//     position (1-based) at +0, length +2, key flags +4, unique values +6 (4 bytes, Stat only),
//     extended type +10, null value +11, key number +14, ACS number +15;
//   then, when a segment uses an alternate collating sequence, one 265-byte block per table:
//     0xAC, 8-byte name, 256 weights.
//
// Example: a 32-byte record with one key on bytes 0..5 is
//   FileDef{.recordLength = 32, .segments = {{.position = 1, .length = 6}}}.
#ifndef PALVORIN_ENGINE_CREATEBUF_H_
#define PALVORIN_ENGINE_CREATEBUF_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/status.h"

namespace palvorin {

// Key flags of a segment.
constexpr uint16_t kKeyDuplicates = 0x01;
constexpr uint16_t kKeyModifiable = 0x02;
constexpr uint16_t kKeyBinary = 0x04;
constexpr uint16_t kKeyNullAll = 0x08;    // left out of the key when every segment is null
constexpr uint16_t kKeySegmented = 0x10;  // another segment of the same key follows
constexpr uint16_t kKeyAcs = 0x20;
constexpr uint16_t kKeyDescending = 0x40;
constexpr uint16_t kKeyExtendedType = 0x100;
constexpr uint16_t kKeyNullAny = 0x200;  // left out of the key when any segment is null
constexpr uint16_t kKeyNoCase = 0x400;   // without kKeyAcs: letters a-z sort as A-Z

// Extended types understood in byte 10 (with kKeyExtendedType).
constexpr uint8_t kTypeString = 0;
constexpr uint8_t kTypeInteger = 1;  // little-endian two's complement
constexpr uint8_t kTypeZString = 11;
constexpr uint8_t kTypeUnsignedBinary = 14;

constexpr int kFileHeaderSize = 16;
constexpr int kSegmentSize = 16;
constexpr int kAcsBlockSize = 265;
constexpr uint8_t kAcsSignature = 0xAC;

struct KeySegmentDef {
  uint16_t position = 1;  // 1-based offset in the record
  uint16_t length = 0;
  uint16_t flags = 0;
  uint8_t extendedType = 0;
  uint8_t nullValue = 0;
  uint8_t keyNumber = 0;  // as stored; the engine numbers keys by their order
  uint8_t acsNumber = 0;  // which ACS block, when several are given
};

struct AcsTable {
  std::string name;  // up to 8 bytes, blank-padded when written
  std::array<uint8_t, 256> weights{};
};

struct FileDef {
  uint16_t recordLength = 0;
  uint16_t pageSize = 4096;
  uint16_t fileFlags = 0;
  std::vector<KeySegmentDef> segments;  // every key's segments, key after key
  std::vector<AcsTable> acs;
};

// The create buffer of `def`, exactly as many bytes as it needs.
std::string BuildCreateBuffer(const FileDef& def);

// Reads a create buffer (trailing bytes after the last needed block are ignored, as the data-file
// layer pads it to 1536 with spaces) and checks it: record length, key positions and lengths
// inside the record, key length at most 255, known extended types, an ACS block for each ACS
// segment. A key's duplicates, modifiable and null flags are those of its first segment. On
// failure `def` is unspecified and the status says what is wrong (22 truncated, 24, 26..29, 48,
// 49).
[[nodiscard]] EngineStatus ParseCreateBuffer(std::string_view buffer, FileDef& def);

// Number of keys of `def` (a key ends at a segment without kKeySegmented).
int KeyCount(const FileDef& def);

// The identity table named `name`: every byte weighs itself. Callers change the weights they need.
AcsTable IdentityAcs(std::string_view name);

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_CREATEBUF_H_
