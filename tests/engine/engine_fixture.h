// A fixture that speaks to the engine through the raw BTRCALL signature, with verbs for the
// test files used here. The "codes" file has 8-byte records: a 4-byte code (key 0, unique),
// a 2-byte group (key 1, duplicates, modifiable) and 2 bytes of text.
#ifndef PALVORIN_TESTS_ENGINE_ENGINE_FIXTURE_H_
#define PALVORIN_TESTS_ENGINE_ENGINE_FIXTURE_H_

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/btrcall.h"
#include "engine/createbuf.h"
#include "engine/engine.h"
#include "engine/status.h"
#include "support/store_choice.h"
#include "support/temp_dir.h"

namespace palvorin::testing {

using Block = std::array<uint8_t, kPosBlockSize>;
using Codes = std::vector<std::string>;

// One raw call: `data` and `key` go in with their sizes as lengths; `data` comes back cut to
// the length the engine returned.
inline int Call(uint16_t op, Block& pb, std::string& data, std::string& key, int8_t keyNum) {
  uint32_t dataLen = static_cast<uint32_t>(data.size());
  const int16_t st = BTRCALL(op, pb.data(), data.data(), &dataLen, key.data(),
                             static_cast<uint8_t>(key.size()), keyNum);
  if (dataLen <= data.size()) data.resize(dataLen);
  return st;
}

inline FileDef CodesDef() {
  FileDef def;
  def.recordLength = 8;
  def.segments = {{.position = 1, .length = 4},
                  {.position = 5, .length = 2, .flags = kKeyDuplicates | kKeyModifiable}};
  return def;
}

// A codes record: code padded to 4, group padded to 2, text padded to 2.
inline std::string Rec(std::string code, std::string group = "g1", std::string text = "..") {
  code.resize(4, ' ');
  group.resize(2, ' ');
  text.resize(2, ' ');
  return code + group + text;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngineForTest();
    EngineConfig() = EngineSettings{.busyTimeoutMs = 200, .lockWaitMs = 200};
    pb_.fill(0);
  }
  void TearDown() override { ResetEngineForTest(); }

  std::string PathOf(const std::string& name) const { return dir_.path() + "/" + name; }

  int CreateFile(const std::string& name, const FileDef& def, int8_t mode = kCreateNew) {
    std::string data = BuildCreateBuffer(def);
    std::string key = PathOf(name) + std::string(1, '\0');
    Block scratch{};
    return Call(14, scratch, data, key, mode);
  }
  int OpenFile(Block& pb, const std::string& name, int8_t mode = kOpenNormal) {
    std::string data = "0000";
    std::string key = PathOf(name) + std::string(1, '\0');
    key.resize(255, ' ');
    return Call(0, pb, data, key, mode);
  }
  // Creates and opens the codes file on the fixture's position block.
  void OpenCodes(const std::string& name = "codes.dat") {
    ASSERT_EQ(CreateFile(name, CodesDef()), 0);
    ASSERT_EQ(OpenFile(pb_, name), 0);
  }
  int Close(Block& pb) {
    std::string data, key;
    return Call(1, pb, data, key, 0);
  }

  int Insert(const std::string& rec, int8_t keyNum = 0) { return Insert(pb_, rec, keyNum); }
  int Insert(Block& pb, std::string rec, int8_t keyNum = 0) {
    std::string key(255, '\0');
    return Call(2, pb, rec, key, keyNum);
  }
  void InsertCodes(const Codes& codes) {
    for (const std::string& c : codes) ASSERT_EQ(Insert(Rec(c)), 0) << c;
  }
  int Update(const std::string& rec, int8_t keyNum = 0) {
    std::string data = rec, key(255, '\0');
    return Call(3, pb_, data, key, keyNum);
  }
  int Delete() {
    std::string data(8, '\0'), key(255, '\0');
    return Call(4, pb_, data, key, 0);
  }

  // A read: `value` is the key searched for (padded with NULs); the record and key reached
  // land in record_ and key_.
  int Get(uint16_t op, const std::string& value = "", int8_t keyNum = 0) {
    return Get(pb_, op, value, keyNum);
  }
  int Get(Block& pb, uint16_t op, const std::string& value = "", int8_t keyNum = 0) {
    record_.assign(64, '\0');
    key_ = value;
    key_.resize(255, '\0');
    return Call(op, pb, record_, key_, keyNum);
  }
  int GetEqual(const std::string& code) { return Get(5, code); }
  int Next(int8_t keyNum = 0) { return Get(6, key_, keyNum); }
  int Prev(int8_t keyNum = 0) { return Get(7, key_, keyNum); }
  std::string Code() const { return record_.substr(0, 4); }
  std::string Trim(std::string s) const {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
  }

  uint32_t Position(Block& pb) {
    std::string data(4, '\0'), key;
    if (Call(22, pb, data, key, 0) != 0) return 0;
    uint32_t pos;
    std::memcpy(&pos, data.data(), 4);
    return pos;
  }
  int GetDirect(uint32_t pos, int8_t keyNum = 0) {
    record_.assign(64, '\0');
    std::memcpy(record_.data(), &pos, 4);
    key_.assign(255, '\0');
    return Call(23, pb_, record_, key_, keyNum);
  }

  // Every code of the file in the order of `keyNum`, walked with Get First / Get Next.
  Codes AllCodes(int8_t keyNum = 0) { return Walk(pb_, keyNum); }
  Codes Walk(Block& pb, int8_t keyNum) {
    Codes codes;
    for (int st = Get(pb, 12, "", keyNum); st == 0; st = Get(pb, 6, key_, keyNum))
      codes.push_back(Trim(Code()));
    return codes;
  }
  Codes AllCodesBackwards(int8_t keyNum = 0) {
    Codes codes;
    for (int st = Get(13, "", keyNum); st == 0; st = Prev(keyNum)) codes.push_back(Trim(Code()));
    return codes;
  }

  TempDir dir_;
  Block pb_{};
  std::string record_;
  std::string key_;
};

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_ENGINE_ENGINE_FIXTURE_H_
