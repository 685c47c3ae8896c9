#include "screen/keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen/screen_fixture.h"

namespace palvorin {
namespace {

using testing::ScreenTest;

class KeyboardTest : public ScreenTest {
 protected:
  static InputEvent KeypadKey(int key, int mods = kModAlt) {
    InputEvent e;
    e.key = key;
    e.mods = mods;
    e.keypad = true;
    return e;
  }
  // The next key ReadKey gives, without waiting.
  static int Read() {
    int key = -1, button = -1, row = -1, col = -1;
    ReadKey(key, button, row, col);
    return key;
  }
  static std::vector<KeyEntry> Table() { return Keyboard().keyTable; }
};

TEST_F(KeyboardTest, AltWithKeypadDigitsTypesTheCharacterOfThatCode) {
  struct Case {
    std::vector<int> keys;  // keypad keys as reported with Num Lock off or on
    int want;
  };
  const Case cases[] = {
      {{keys::kEnd, keys::kPgDn, keys::kIns}, 130},  // 1 3 0: é
      {{keys::kPgDn, keys::kDown, keys::kEnd}, 65},  // 321 mod 256
      {{'1', '3', '0'}, 130},
      {{keys::kHome, keys::kUp, keys::kPgUp, keys::kLeft, keys::kPad5, keys::kRight}, 789456 % 256},
  };
  for (const Case& c : cases) {
    for (int k : c.keys) Headless().FeedEvent(KeypadKey(k));
    Headless().FeedKeys({keys::kEnter});
    EXPECT_EQ(Read(), c.want);
    EXPECT_EQ(Read(), keys::kEnter) << "the key that ended the entry is kept";
    EXPECT_EQ(Read(), 0);
  }
}

TEST_F(KeyboardTest, KeypadKeysWithoutAltAndAltWithoutKeypadAreOrdinaryKeys) {
  Headless().FeedEvent(KeypadKey(keys::kEnd, 0));
  Headless().FeedKey(keys::kEnd, kModAlt);
  Headless().FeedEvent(KeypadKey('7', 0));
  EXPECT_EQ(Read(), keys::kEnd);
  EXPECT_EQ(Read(), keys::kEnd);
  EXPECT_EQ(Read(), '7');
}

TEST_F(KeyboardTest, ModifiersGiveTheShiftedCtrlAndAltCodes) {
  struct Case { int key, mods, want; };
  const Case cases[] = {
      {keys::kF1, kModCtrl, 0x5E00},        {keys::kF1, kModAlt, 0x6800},
      {keys::kF1, kModShift, 0x5400},       {keys::kF10, kModShift, 0x5D00},
      {keys::kF10, kModCtrl, 0x6700},       {keys::kF10, kModAlt, 0x7100},
      {keys::kF11, kModShift, 0x8700},      {keys::kF12, kModCtrl, 0x8A00},
      {keys::kF12, kModAlt, 0x8C00},        {keys::kHome, kModCtrl, 0x7700},
      {keys::kLeft, kModCtrl, 0x7300},      {keys::kRight, kModCtrl, 0x7400},
      {keys::kF1, kModAlt | kModCtrl, 0x6800},  // Alt first
      {keys::kF1, kModCtrl | kModShift, 0x5E00},
      {keys::kHome, kModShift, keys::kHome},
      {keys::kAltE, kModAlt, 0xD5},
      {0x5E00, kModCtrl, 0x5E00},  // already combined: unchanged
      {'a', kModShift, 'a'},
  };
  for (const Case& c : cases) {
    Headless().FeedKey(c.key, c.mods);
    EXPECT_EQ(Read(), c.want) << std::hex << "key " << c.key << " mods " << c.mods;
  }
}

TEST_F(KeyboardTest, ToolTextIsTypedAfterTheHotKeyWithoutWaiting) {
  Headless().FeedKey(keys::kAltX, kModAlt);  // no tool installed yet: just a key
  EXPECT_EQ(Read(), keys::kAltX);
  EXPECT_EQ(Read(), 0);
  int calls = 0;
  SetHotKeyHandlers([&] { ++calls; return std::string("125"); }, nullptr);
  Headless().FeedKey(keys::kAltX, kModAlt);
  EXPECT_EQ(Read(), keys::kAltX);
  EXPECT_EQ(Read(), '1');
  EXPECT_EQ(Read(), '2');
  EXPECT_EQ(Read(), '5');
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Headless().EmptyWaits(), 2) << "only the reads after the keys looked at the console";
}

TEST_F(KeyboardTest, HotKeyInsideItsOwnToolReachesTheToolAsAKey) {
  std::vector<int> seenByCalculator;
  int opened = 0;
  SetHotKeyHandlers(
      [&] {
        ++opened;
        int key = 0;
        do {
          GetKey(key);
          seenByCalculator.push_back(key);
        } while (key != keys::kEsc);
        return std::string("7");
      },
      [] { return std::string("01/02/2026"); });
  Headless().FeedKey(keys::kAltX, kModAlt);
  Headless().FeedKey(keys::kAltX, kModAlt);
  Headless().FeedKeys({keys::kEsc});
  int key = 0;
  GetKey(key);
  EXPECT_EQ(key, keys::kAltX);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(seenByCalculator, (std::vector<int>{keys::kAltX, keys::kEsc}));
  GetKey(key);
  EXPECT_EQ(key, '7');
  EXPECT_FALSE(Keyboard().calculatorRunning);

  Headless().FeedKey(keys::kAltC, kModAlt);  // the calendar is its own tool
  GetKey(key);
  EXPECT_EQ(key, keys::kAltC);
  EXPECT_EQ(Keyboard().typeAhead, "01/02/2026");
}

TEST_F(KeyboardTest, MousePressesComeWithButtonAndCell) {
  Headless().Click(5, 12, 2);
  int key = -1, button = -1, row = -1, col = -1;
  ReadKey(key, button, row, col);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(button, 2);
  EXPECT_EQ(row, 5);
  EXPECT_EQ(col, 12);

  Headless().Click(25, 80, 1);
  GetKey(key);
  EXPECT_EQ(key, 80 * 256 + 64 + 25);
}

TEST_F(KeyboardTest, GetKeyWaitsWithoutPolling) {
  int key = 0;
  EXPECT_THROW(GetKey(key), HeadlessInputExhausted);
  EXPECT_EQ(Headless().EmptyWaits(), 0);
}

TEST_F(KeyboardTest, DiscardPendingKeysDropsTypeAheadAndQueuedInput) {
  Keyboard().typeAhead = "12";
  Headless().FeedKeys({'a', 'b'});
  DiscardPendingKeys();
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(Headless().Pending(), 0u);
}

TEST_F(KeyboardTest, KeyTableAddsTranslatesAndDeletes) {
  SetKeys("a", "1b,d=4f00");
  int returned = 0;
  ASSERT_TRUE(LookUpKey(0x1B, returned));
  EXPECT_EQ(returned, 0x1B);
  ASSERT_TRUE(LookUpKey(0x0D, returned));
  EXPECT_EQ(returned, 0x4F00);
  SetKeys("d", "1b");
  EXPECT_FALSE(LookUpKey(0x1B, returned));
  EXPECT_TRUE(LookUpKey(0x0D, returned));

  SetKeys("E", "");
  EXPECT_TRUE(Table().empty());
  SetKeys("ea", "3B00, 5000,zz,,4b00x");  // a non-number reads as 0; blank items are skipped
  EXPECT_EQ(Table(), (std::vector<KeyEntry>{{0x3B00, 0x3B00}, {0x5000, 0x5000}, {0, 0},
                                            {0x4B00, 0x4B00}}));
  SetKeys("a", "1b");
  SetKeys("a", "1b=d");
  SetKeys("d", "1b");  // only the first entry goes
  ASSERT_TRUE(LookUpKey(0x1B, returned));
  EXPECT_EQ(returned, 0x0D);

  SetKeys("qh", "");  // unknown letters are ignored
  EXPECT_EQ(Keyboard().maskChar, 'X');
  SetKeys("V", "");
  EXPECT_EQ(Keyboard().maskChar, 0);
}

TEST_F(KeyboardTest, OneLevelOfSavedTable) {
  SetKeys("a", "d,1b");
  SetKeys("+ea", "4800");  // the form's field table
  SetKeys("+ea", "5000");  // a tool opened inside: saves nothing
  EXPECT_EQ(Table(), (std::vector<KeyEntry>{{0x5000, 0x5000}}));
  SetKeys("-", "");  // the tool closes: the table before the field is back
  EXPECT_EQ(Table(), (std::vector<KeyEntry>{{0x0D, 0x0D}, {0x1B, 0x1B}}));
  EXPECT_FALSE(Keyboard().saved);
  SetKeys("-", "");  // nothing saved: nothing happens
  EXPECT_EQ(Table().size(), 2u);
}

}  // namespace
}  // namespace palvorin
