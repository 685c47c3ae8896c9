// Collation forms sort as the engine orders keys, and create buffers are read back and checked.
#include "engine/keycodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/createbuf.h"
#include "engine_fixture.h"

namespace palvorin::testing {
namespace {

std::string Collated(const KeyCodec& key, const std::string& value) {
  std::string out;
  CollateKey(key, reinterpret_cast<const uint8_t*>(value.data()), out);
  return out;
}

std::string Le(int64_t v, int width) {
  std::string s(width, '\0');
  for (int i = 0; i < width; ++i)
    s[i] = static_cast<char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
  return s;
}

// Sorting values by their collation form must give `expected` (values listed in order).
void ExpectOrder(const FileDef& def, const std::vector<std::string>& expected, const char* what) {
  const std::vector<KeyCodec> keys = BuildKeyCodecs(def);
  ASSERT_EQ(keys.size(), 1u);
  std::vector<std::string> values(expected.rbegin(), expected.rend());
  std::stable_sort(values.begin(), values.end(), [&](const std::string& a, const std::string& b) {
    return Collated(keys[0], a) < Collated(keys[0], b);
  });
  EXPECT_EQ(values, expected) << what;
}

FileDef OneKey(std::vector<KeySegmentDef> segments, uint16_t recordLength = 16) {
  FileDef def;
  def.recordLength = recordLength;
  def.segments = std::move(segments);
  for (size_t i = 0; i + 1 < def.segments.size(); ++i) def.segments[i].flags |= kKeySegmented;
  return def;
}

TEST(KeyCollation, OrdersEachKindOfSegment) {
  ExpectOrder(OneKey({{.position = 1, .length = 3}}), {"AB\x01", "AB\xff", "Ab ", "B  "},
              "string segments compare bytewise");
  ExpectOrder(OneKey({{.position = 1, .length = 2, .flags = kKeyBinary}}),
              {Le(1, 2), Le(255, 2), Le(256, 2), Le(65535, 2)}, "binary is unsigned little-endian");
  ExpectOrder(
      OneKey(
          {{.position = 1, .length = 4, .flags = kKeyExtendedType, .extendedType = kTypeInteger}}),
      {Le(-70000, 4), Le(-1, 4), Le(0, 4), Le(2, 4), Le(300, 4)}, "signed integers");
  ExpectOrder(OneKey({{.position = 1, .length = 2, .flags = kKeyBinary | kKeyDescending}}),
              {Le(300, 2), Le(7, 2), Le(5, 2), Le(0, 2)}, "descending inverts");
  ExpectOrder(OneKey({{.position = 1,
                       .length = 2,
                       .flags = kKeyExtendedType | kKeyDescending,
                       .extendedType = kTypeInteger}}),
              {Le(300, 2), Le(7, 2), Le(-2, 2)}, "descending integers");
  ExpectOrder(OneKey({{.position = 1, .length = 3, .flags = kKeyNoCase}}), {"abc", "ABD", "abE"},
              "case-blind letters");
  ExpectOrder(
      OneKey(
          {{.position = 1, .length = 4, .flags = kKeyExtendedType, .extendedType = kTypeZString}}),
      {std::string("ab\0z", 4), "abc\0"}, "a zero-terminated string");
  const KeyCodec z = BuildKeyCodecs(OneKey(
      {{.position = 1, .length = 4, .flags = kKeyExtendedType, .extendedType = kTypeZString}}))[0];
  EXPECT_EQ(Collated(z, std::string("ab\0z", 4)), Collated(z, std::string("ab\0\0", 4)))
      << "what follows the NUL does not count";
}

TEST(KeyCollation, CompositeKeysCompareSegmentBySegment) {
  const FileDef def = OneKey(
      {{.position = 1, .length = 2, .flags = kKeyExtendedType, .extendedType = kTypeInteger},
       {.position = 3, .length = 2, .flags = kKeyExtendedType, .extendedType = kTypeInteger}});
  ExpectOrder(
      def, {Le(-1, 2) + Le(5, 2), Le(1, 2) + Le(1, 2), Le(2, 2) + Le(0, 2), Le(256, 2) + Le(0, 2)},
      "(int2, int2)");
  const FileDef mixed =
      OneKey({{.position = 1, .length = 1}, {.position = 2, .length = 1, .flags = kKeyDescending}});
  ExpectOrder(mixed, {"az", "aa", "bz", "ba"}, "ascending then descending");
}

TEST(KeyCollation, AcsWeightsMakeNamesCaseAndAccentBlind) {
  FileDef def = OneKey({{.position = 1, .length = 4, .flags = kKeyAcs}});
  def.acs = {IdentityAcs("UPPER850")};
  for (int c = 'a'; c <= 'z'; ++c) def.acs[0].weights[c] = static_cast<uint8_t>(c - 32);
  def.acs[0].weights[0x87] = 'C';  // ç in code page 850
  const std::vector<KeyCodec> keys = BuildKeyCodecs(def);
  EXPECT_EQ(Collated(keys[0], "gar\x87"), Collated(keys[0], "GARC"));
  ExpectOrder(def, {"abcd", "ABCE", "Gar\x87", "GARD"}, "through the table");
}

TEST(KeyCollation, NullRulesLeaveRecordsOutOfTheKey) {
  FileDef def = OneKey({{.position = 1, .length = 2, .flags = kKeyNullAll, .nullValue = ' '},
                        {.position = 3, .length = 2, .flags = kKeyNullAll, .nullValue = ' '}});
  const KeyCodec all = BuildKeyCodecs(def)[0];
  def.segments[0].flags = def.segments[1].flags = kKeyNullAny;
  def.segments[0].flags |= kKeySegmented;
  const KeyCodec any = BuildKeyCodecs(def)[0];
  struct Case {
    const char* value;
    bool allNull;
    bool anyNull;
  };
  for (const Case& c :
       {Case{"    ", true, true}, Case{"ab  ", false, true}, Case{"abcd", false, false}}) {
    const auto* v = reinterpret_cast<const uint8_t*>(c.value);
    EXPECT_EQ(IsNullKey(all, v), c.allNull) << c.value;
    EXPECT_EQ(IsNullKey(any, v), c.anyNull) << c.value;
  }
}

TEST(KeyCollation, KeyValuesComeFromTheirSegmentsInOrder) {
  const FileDef def = OneKey(
      {{.position = 13, .length = 4}, {.position = 1, .length = 4}, {.position = 18, .length = 3}},
      48);
  std::string rec(48, '.');
  rec.replace(0, 4, "CODE");
  rec.replace(12, 4, "DATE");
  rec.replace(17, 3, "SEQ");
  const KeyCodec key = BuildKeyCodecs(def)[0];
  EXPECT_EQ(key.length, 11);
  EXPECT_EQ(KeyFromRecord(key, reinterpret_cast<const uint8_t*>(rec.data())), "DATECODESEQ");
}

TEST(CreateBuffer, ReadsBackWhatWasBuiltAndIgnoresPadding) {
  FileDef def;
  def.recordLength = 300;
  def.segments = {{.position = 1, .length = 4},
                  {.position = 22, .length = 40, .flags = kKeyAcs | kKeyModifiable | kKeySegmented},
                  {.position = 1, .length = 4, .flags = kKeyModifiable}};
  def.acs = {IdentityAcs("UPPER850")};
  std::string buffer = BuildCreateBuffer(def);
  EXPECT_EQ(buffer.size(), 16u + 3 * 16 + 265);
  buffer.resize(1536, ' ');
  FileDef back;
  ASSERT_EQ(ParseCreateBuffer(buffer, back), EngineStatus::Ok);
  EXPECT_EQ(KeyCount(back), 2);
  EXPECT_EQ(back.segments[1].position, 22);
  EXPECT_EQ(back.acs[0].name, "UPPER850");
  EXPECT_EQ(BuildCreateBuffer(back), BuildCreateBuffer(def));
}

TEST(CreateBuffer, RefusesDefinitionsItCannotKeep) {
  auto with = [](auto change) {
    FileDef def = CodesDef();
    change(def);
    return BuildCreateBuffer(def);
  };
  struct Case {
    const char* what;
    std::string buffer;
    EngineStatus status;
  };
  const Case cases[] = {
      {"empty", "", EngineStatus::DataBufferTooShort},
      {"cut inside a segment", with([](FileDef&) {}).substr(0, 40),
       EngineStatus::DataBufferTooShort},
      {"no record", with([](FileDef& d) { d.recordLength = 0; }),
       EngineStatus::InvalidRecordLength},
      {"odd page", with([](FileDef& d) { d.pageSize = 1000; }), EngineStatus::InvalidPageSize},
      {"key past the record", with([](FileDef& d) { d.segments[1].position = 8; }),
       EngineStatus::InvalidKeyPosition},
      {"position 0", with([](FileDef& d) { d.segments[0].position = 0; }),
       EngineStatus::InvalidKeyPosition},
      {"empty segment", with([](FileDef& d) { d.segments[0].length = 0; }),
       EngineStatus::InvalidKeyLength},
      {"unknown type", with([](FileDef& d) {
         d.segments[0].flags |= kKeyExtendedType;
         d.segments[0].extendedType = 2;
       }),
       EngineStatus::InvalidKeyType},
      {"three-byte integer", with([](FileDef& d) {
         d.segments[0].flags |= kKeyExtendedType;
         d.segments[0].extendedType = kTypeInteger;
         d.segments[0].length = 3;
       }),
       EngineStatus::InvalidKeyLength},
      {"ACS missing", with([](FileDef& d) { d.segments[0].flags |= kKeyAcs; }),
       EngineStatus::DataBufferTooShort},
      {"ACS without its mark",
       with([](FileDef& d) { d.segments[0].flags |= kKeyAcs; }) + std::string(265, ' '),
       EngineStatus::InvalidAcs},
  };
  for (const Case& c : cases) {
    FileDef def;
    EXPECT_EQ(ParseCreateBuffer(c.buffer, def), c.status) << c.what;
  }
}

TEST_F(EngineTest, BinaryAndDescendingKeysWalkInNumericOrder) {
  FileDef def;
  def.recordLength = 4;
  def.segments = {
      {.position = 1, .length = 2, .flags = kKeyBinary},
      {.position = 3, .length = 2, .flags = kKeyBinary | kKeyDescending | kKeyDuplicates}};
  ASSERT_EQ(CreateFile("n.dat", def), 0);
  ASSERT_EQ(OpenFile(pb_, "n.dat"), 0);
  for (int v : {256, 2, 65535, 1}) ASSERT_EQ(Insert(Le(v, 2) + Le(v, 2)), 0);
  auto walk = [&](int8_t key) {
    std::vector<int> got;
    for (int st = Get(12, "", key); st == 0; st = Next(key))
      got.push_back(static_cast<uint8_t>(record_[0]) | static_cast<uint8_t>(record_[1]) << 8);
    return got;
  };
  EXPECT_EQ(walk(0), (std::vector<int>{1, 2, 256, 65535}));
  EXPECT_EQ(walk(1), (std::vector<int>{65535, 256, 2, 1}));
  ASSERT_EQ(Get(9, Le(3, 2), 1), 0) << "on a descending key, greater means lower";
  EXPECT_EQ(static_cast<uint8_t>(record_[0]), 2);
}

TEST_F(EngineTest, RecordsWithANullKeyStayOutOfThatKeyOnly) {
  FileDef def = CodesDef();
  def.segments[1].flags |= kKeyNullAll;
  def.segments[1].nullValue = ' ';
  ASSERT_EQ(CreateFile("codes.dat", def), 0);
  ASSERT_EQ(OpenFile(pb_, "codes.dat"), 0);
  ASSERT_EQ(Insert(Rec("0001", "  ")), 0);
  ASSERT_EQ(Insert(Rec("0002", "ab")), 0);
  ASSERT_EQ(Insert(Rec("0003", "  ")), 0);
  EXPECT_EQ(AllCodes(0), (Codes{"0001", "0002", "0003"}));
  EXPECT_EQ(AllCodes(1), (Codes{"0002"}));
  EXPECT_EQ(Get(5, "  ", 1), 4);
}

}  // namespace
}  // namespace palvorin::testing
