// Keys of a data file and their collation form. A key value is the bytes of its segments taken
// from the record and put one after another (what callers see in the key buffer). Its collation
// form has the same length and compares with memcmp in the engine's order: string segments as
// they are, binary and unsigned segments byte-reversed (little-endian numbers), integers
// byte-reversed with the sign bit flipped, ACS segments through their weight table, letters
// folded for case-blind segments, zero-terminated strings cut at their NUL, and every byte
// inverted in a descending segment. Because every segment keeps its width, concatenated
// segments compare segment by segment.
#ifndef PALVORIN_ENGINE_KEYCODEC_H_
#define PALVORIN_ENGINE_KEYCODEC_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/createbuf.h"

namespace palvorin {

struct SegmentCodec {
  int recordOffset = 0;  // 0-based in the record
  int keyOffset = 0;     // 0-based in the key value
  int length = 0;
  uint16_t flags = 0;
  uint8_t type = kTypeString;  // kTypeString for plain string segments, also for binary ones
  bool binary = false;         // byte-reversed (plain binary or unsigned)
  bool integer = false;        // byte-reversed and sign bit flipped
  uint8_t nullValue = 0;
  const std::array<uint8_t, 256>* acs = nullptr;  // weights, or none
};

struct KeyCodec {
  std::vector<SegmentCodec> segments;
  int length = 0;
  bool duplicates = false;
  bool modifiable = false;
  uint16_t nullRule = 0;  // 0, kKeyNullAll or kKeyNullAny
};

// The keys of `def`; the ACS pointers point into `def.acs`, which must outlive the result.
std::vector<KeyCodec> BuildKeyCodecs(const FileDef& def);

// The key value of `key` in `record` (which holds at least the record length).
std::string KeyFromRecord(const KeyCodec& key, const uint8_t* record);

// Whether the key value `value` (key.length bytes) leaves its record out of the key, by the
// key's null rule.
bool IsNullKey(const KeyCodec& key, const uint8_t* value);

// The collation form of the key value `value` (key.length bytes) into `out`.
void CollateKey(const KeyCodec& key, const uint8_t* value, std::string& out);

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_KEYCODEC_H_
