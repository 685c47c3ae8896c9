#include "engine/keycodec.h"

#include <algorithm>
#include <cstring>

namespace palvorin {

std::vector<KeyCodec> BuildKeyCodecs(const FileDef& def) {
  std::vector<KeyCodec> keys;
  bool startNew = true;
  for (const KeySegmentDef& s : def.segments) {
    if (startNew) {
      keys.emplace_back();
      keys.back().duplicates = (s.flags & kKeyDuplicates) != 0;
      keys.back().modifiable = (s.flags & kKeyModifiable) != 0;
      keys.back().nullRule = s.flags & (kKeyNullAll | kKeyNullAny);
      if (keys.back().nullRule & kKeyNullAny) keys.back().nullRule = kKeyNullAny;
    }
    KeyCodec& key = keys.back();
    SegmentCodec c;
    c.recordOffset = s.position - 1;
    c.keyOffset = key.length;
    c.length = s.length;
    c.flags = s.flags;
    c.nullValue = s.nullValue;
    if (s.flags & kKeyExtendedType) {
      c.type = s.extendedType;
      c.binary = s.extendedType == kTypeUnsignedBinary;
      c.integer = s.extendedType == kTypeInteger;
    } else {
      c.binary = (s.flags & kKeyBinary) != 0;
    }
    if ((s.flags & kKeyAcs) && !c.binary && !c.integer) {
      const size_t index = (s.flags & kKeyNoCase) ? s.acsNumber : 0;
      if (index < def.acs.size()) c.acs = &def.acs[index].weights;
    }
    key.segments.push_back(c);
    key.length += s.length;
    startNew = !(s.flags & kKeySegmented);
  }
  return keys;
}

std::string KeyFromRecord(const KeyCodec& key, const uint8_t* record) {
  std::string value(key.length, '\0');
  for (const SegmentCodec& s : key.segments)
    std::memcpy(value.data() + s.keyOffset, record + s.recordOffset, s.length);
  return value;
}

bool IsNullKey(const KeyCodec& key, const uint8_t* value) {
  if (key.nullRule == 0) return false;
  bool anyNull = false;
  bool allNull = true;
  for (const SegmentCodec& s : key.segments) {
    const uint8_t* p = value + s.keyOffset;
    const bool isNull = std::all_of(p, p + s.length, [&](uint8_t b) { return b == s.nullValue; });
    anyNull = anyNull || isNull;
    allNull = allNull && isNull;
  }
  return key.nullRule == kKeyNullAny ? anyNull : allNull;
}

void CollateKey(const KeyCodec& key, const uint8_t* value, std::string& out) {
  out.resize(key.length);
  uint8_t* o = reinterpret_cast<uint8_t*>(out.data());
  for (const SegmentCodec& s : key.segments) {
    const uint8_t* in = value + s.keyOffset;
    uint8_t* dst = o + s.keyOffset;
    if (s.binary || s.integer) {
      for (int i = 0; i < s.length; ++i) dst[i] = in[s.length - 1 - i];
      if (s.integer) dst[0] ^= 0x80;
    } else if (s.type == kTypeZString) {
      const uint8_t* end = static_cast<const uint8_t*>(std::memchr(in, 0, s.length));
      const int used = end ? static_cast<int>(end - in) : s.length;
      std::memcpy(dst, in, used);
      std::memset(dst + used, 0, s.length - used);
    } else if (s.acs) {
      for (int i = 0; i < s.length; ++i) dst[i] = (*s.acs)[in[i]];
    } else if (s.flags & kKeyNoCase) {
      for (int i = 0; i < s.length; ++i)
        dst[i] = (in[i] >= 'a' && in[i] <= 'z') ? static_cast<uint8_t>(in[i] - 32) : in[i];
    } else {
      std::memcpy(dst, in, s.length);
    }
    if (s.flags & kKeyDescending)
      for (int i = 0; i < s.length; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
  }
}

}  // namespace palvorin
