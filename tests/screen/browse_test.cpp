// The browse list over a stand-in for a keyed file: scrolling, paging, sideways scrolling,
// choosing, the row cache, nested lists and the search screen.
#include "screen/browse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "screen/forms.h"
#include "screen_fixture.h"

namespace palvorin {
namespace {

// A keyed file held in memory: its keys in order; positions count from 1.
class FakeFile : public BrowseSource {
 public:
  explicit FakeFile(std::vector<std::string> keys) : keys_(std::move(keys)) {
    std::sort(keys_.begin(), keys_.end());
  }
  int GetAtOrAfter(int file, int keyNumber, const std::string& key) override {
    file_ = file;
    keyNumber_ = keyNumber;
    cur_ = std::lower_bound(keys_.begin(), keys_.end(), key) - keys_.begin();
    return cur_ < keys_.size() ? 0 : 9;
  }
  int Next(int) override {
    ++steps_;
    if (cur_ + 1 >= keys_.size()) return 9;
    ++cur_;
    return 0;
  }
  std::string CurrentKeyCollated(int) override { return Current(); }
  std::string Collated(int, const std::string& key) override { return key; }
  int32_t Position(int) override { return static_cast<int32_t>(cur_ + 1); }
  int ReadAt(int, int32_t position) override {
    cur_ = static_cast<size_t>(position - 1);
    return 0;
  }
  void LockMode(int file, std::string_view commands) override {
    locks_.push_back(std::to_string(file) + std::string(commands));
  }

  std::string Current() const { return cur_ < keys_.size() ? keys_[cur_] : ""; }
  int steps() const { return steps_; }
  int keyNumber() const { return keyNumber_; }
  const std::vector<std::string>& locks() const { return locks_; }

 private:
  std::vector<std::string> keys_;
  size_t cur_ = 0;
  int file_ = 0;
  int keyNumber_ = -1;
  int steps_ = 0;
  std::vector<std::string> locks_;
};

// List 1: file 42, 10 rows of 38 columns. List 2: 5 rows, search screen 1, second list 3.
// List 3: file 43. List 4: no file.
constexpr std::string_view kForm =
    "1,2\r\n"
    "\"d,1b\",2,0,3,10,8,60\r\n"
    "1,2,\"Nom: \",20,0,0,8,0,0,\"\"\r\n"
    "2,2,\"Adr: \",20,0,0,8,0,0,\"\"\r\n"
    "4\r\n"
    "42,0,5,10,16,49,0,\"HEADER\",0\r\n"
    "42,2,5,10,11,49,1,\"H2\",3\r\n"
    "43,0,6,12,12,50,0,\"THIRD\",0\r\n"
    "0,0,6,12,12,50,0,\"FREE\",0\r\n";

std::vector<std::string> Keys(int count) {
  std::vector<std::string> keys;
  for (int i = 1; i <= count; ++i) keys.push_back((i < 10 ? "K0" : "K") + std::to_string(i));
  return keys;
}

class BrowseTest : public testing::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ResetFormsForTest();
    ResetBrowseForTest();
    ASSERT_TRUE(testing::LoadTestForm(kForm));
    Browsing().hooks.row = [this](int) { return row_(file_->Current()); };
  }
  void TearDown() override {
    ResetFormsForTest();
    ResetBrowseForTest();
  }

  void UseFile(std::vector<std::string> keys) {
    auto file = std::make_unique<FakeFile>(std::move(keys));
    file_ = file.get();
    SetBrowseSource(std::move(file));
  }
  int Run(int list, std::initializer_list<int> keys) {
    Headless().FeedKeys(keys);
    const int result = Browse(list);
    EXPECT_EQ(Headless().Pending(), 0u) << "every key fed was used";
    return result;
  }
  // Runs the list and leaves it waiting for a key, so the screen can be read.
  void Show(int list, std::initializer_list<int> keys) {
    Headless().FeedKeys(keys);
    EXPECT_THROW(Browse(list), HeadlessInputExhausted);
  }
  // Row r of list 1's window, inside the frame.
  static std::string ListRow(int r) { return Text(5 + r, 11, 38); }

  FakeFile* file_ = nullptr;
  std::function<std::string(const std::string&)> row_ = [](const std::string& key) {
    return "Row " + key;
  };
};

TEST_F(BrowseTest, AStartBeyondThePrefixShowsAnEmptyList) {
  UseFile(Keys(5));
  for (auto [start, prefix] :
       std::vector<std::pair<std::string, std::string>>{{"Z", ""}, {"K03", "K02"}}) {
    Browsing().hooks.start = [&](int, std::string& s, std::string& p) {
      s = start;
      p = prefix;
      return 0;
    };
    Show(1, {keys::kDown, keys::kPgDn});
    for (int r = 1; r <= 10; ++r)
      EXPECT_EQ(ListRow(r), std::string(38, ' ')) << start << " row " << r;
    ResetKeyboardForTest();
    EXPECT_EQ(Run(1, {keys::kDown, keys::kEnter}), -1) << "Enter chooses nothing";
    EXPECT_EQ(Run(1, {keys::kEsc}), -1);
  }
}

TEST_F(BrowseTest, ThePrefixEndsTheList) {
  UseFile({"A1", "A2", "B1", "B2", "C1"});
  Browsing().hooks.start = [](int, std::string& s, std::string& p) {
    s = "B";
    p = "B";
    return 0;
  };
  Show(1, {});
  EXPECT_EQ(ListRow(1).substr(0, 6), "Row B1");
  EXPECT_EQ(ListRow(2).substr(0, 6), "Row B2");
  EXPECT_EQ(ListRow(3), std::string(38, ' '));
}

TEST_F(BrowseTest, AShortListKeepsTheCursorOnItsRows) {
  UseFile(Keys(3));
  EXPECT_EQ(Run(1, {keys::kDown, keys::kDown, keys::kDown, keys::kDown, keys::kEnter}), 0);
  EXPECT_EQ(file_->Current(), "K03") << "the chosen record is the file's current one";
  EXPECT_EQ(Run(1, {keys::kUp, keys::kEnter}), 0);
  EXPECT_EQ(file_->Current(), "K01");
  Show(1, {keys::kDown});
  EXPECT_EQ(ListRow(3).substr(0, 7), "Row K03");
  for (int r = 4; r <= 10; ++r) EXPECT_EQ(ListRow(r), std::string(38, ' ')) << r;
  EXPECT_EQ(AttrAt(5 + 2, 11), testing::kAttrInput) << "the current row";
  EXPECT_EQ(AttrAt(5 + 1, 11), testing::kAttrHighlight);
}

TEST_F(BrowseTest, PagesMoveByTheWindowsHeight) {
  UseFile(Keys(25));
  struct Case {
    std::vector<int> keys;
    const char* chosen;
  };
  const std::vector<Case> cases = {
      {{keys::kPgDn}, "K11"},
      {{keys::kDown, keys::kDown, keys::kDown, keys::kPgDn}, "K14"},
      {{keys::kDown, keys::kDown, keys::kDown, keys::kPgDn, keys::kPgDn}, "K24"},
      {{keys::kPgDn, keys::kPgDn, keys::kPgDn, keys::kDown, keys::kDown, keys::kDown, keys::kDown,
        keys::kDown, keys::kDown},
       "K25"},  // no page after the last; Down stops on the last row
      {{keys::kDown, keys::kDown, keys::kDown, keys::kPgDn, keys::kPgDn, keys::kPgUp}, "K14"},
      {{keys::kDown, keys::kDown, keys::kDown, keys::kPgDn, keys::kPgUp, keys::kPgUp}, "K04"},
      // The page can go back only 2 rows: the cursor follows the record.
      {std::vector<int>(11, keys::kDown), "K12"},
      {[] {
         std::vector<int> k(11, keys::kDown);
         k.push_back(keys::kPgUp);
         return k;
       }(),
       "K02"},
  };
  for (const Case& c : cases) {
    std::vector<int> keys = c.keys;
    keys.push_back(keys::kEnter);
    Headless().FeedKeys(keys);
    EXPECT_EQ(Browse(1), 0);
    EXPECT_EQ(file_->Current(), c.chosen) << c.keys.size() << " keys";
  }
  std::vector<int> keys(11, keys::kDown);
  keys.push_back(keys::kPgUp);
  Headless().FeedKeys(keys);
  EXPECT_THROW(Browse(1), HeadlessInputExhausted);
  EXPECT_EQ(ListRow(1).substr(0, 7), "Row K01");
  EXPECT_EQ(AttrAt(5 + 2, 11), testing::kAttrInput) << "K02 on the second row";
}

TEST_F(BrowseTest, LongRowsScrollSidewaysByEightColumns) {
  UseFile(Keys(2));
  row_ = [](const std::string& key) {
    std::string row;
    for (int i = 0; i < 100; ++i) row += static_cast<char>('A' + i % 26);
    return key + row.substr(0, 97);
  };
  const char right = 16, left = 17;
  Show(1, {});
  EXPECT_EQ(Text(5, 10, 1), "\xC9");
  EXPECT_EQ(Text(5, 49, 1), std::string(1, right)) << "more lies to the right";
  ResetKeyboardForTest();
  Show(1, std::initializer_list<int>{keys::kRight, keys::kRight, keys::kRight, keys::kRight,
                                     keys::kRight, keys::kRight, keys::kRight});
  EXPECT_EQ(Text(5, 10, 1), std::string(1, left));
  EXPECT_EQ(Text(5, 49, 1), std::string(1, right)) << "from column 57";
  EXPECT_EQ(ListRow(1).substr(0, 3), "BCD") << "column 57 of K01 + the alphabet";
  ResetKeyboardForTest();
  Show(1, std::initializer_list<int>{keys::kRight, keys::kRight, keys::kRight, keys::kRight,
                                     keys::kRight, keys::kRight, keys::kRight, keys::kRight,
                                     keys::kRight, keys::kRight});
  EXPECT_EQ(ListRow(1), "JKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRS  ") << "stops at column 65";
  EXPECT_EQ(Text(5, 49, 1), "\xBB");
  ResetKeyboardForTest();
  Show(1, {keys::kRight, keys::kRight, keys::kLeft, keys::kLeft, keys::kLeft});
  EXPECT_EQ(Text(5, 10, 8), "\xC9HEADER\xCD");
  EXPECT_EQ(ListRow(1).substr(0, 4), "K01A");
}

TEST_F(BrowseTest, RowsWithoutTextAreLeftOut) {
  UseFile(Keys(6));
  // Keys typed while left-out records are passed over are dropped: these come once the last
  // record has been read.
  std::vector<int> typed;
  row_ = [&](const std::string& key) {
    if (key == "K06") Headless().FeedKeys(typed);
    return (key.back() - '0') % 2 == 0 ? "Row " + key : "   ";
  };
  typed = {keys::kDown, keys::kEnter};
  EXPECT_EQ(Browse(1), 0);
  EXPECT_EQ(file_->Current(), "K04");
  typed = {keys::kDown, keys::kDown, keys::kDown, keys::kEnter};
  EXPECT_EQ(Browse(1), 0);
  EXPECT_EQ(file_->Current(), "K06");
}

TEST_F(BrowseTest, EscStopsTheReadingOfLeftOutRecords) {
  UseFile(Keys(50));
  row_ = [](const std::string& key) { return key == "K50" ? "last" : ""; };
  EXPECT_EQ(Run(1, {keys::kEsc, keys::kEsc}), -1);
  EXPECT_EQ(file_->steps(), 1) << "the first Esc was taken after the first record";
}

TEST_F(BrowseTest, TheRowCacheHoldsTheRowsReadInItsFormat) {
  UseFile(Keys(2));
  row_ = [](const std::string& key) { return "Row " + key + "   "; };
  Show(1, {});
  const std::string cache = temp_.Read("Browse.tmp");
  const std::string want = std::string("\0\0\0\0\1\0\0\0\7\0", 10) + "Row K01" +
                           std::string("\1\0\0\0\2\0\0\0\7\0", 10) + "Row K02";
  EXPECT_EQ(cache, want);
  ResetKeyboardForTest();
  EXPECT_EQ(Run(1, {keys::kEsc}), -1);
  EXPECT_FALSE(temp_.Exists("Browse.tmp")) << "deleted when the list closes";
  EXPECT_EQ(file_->locks(), (std::vector<std::string>{"42+d", "42+d", "42-"}))
      << "the first list was stopped by the test while open";
}

TEST_F(BrowseTest, AListWithoutAFileShowsTheRowsTheProgramWrote) {
  BrowseCacheClear();
  BrowseCacheAppend(101, "first  ");
  BrowseCacheAppend(202, "second");
  EXPECT_EQ(temp_.Read("Browse.tmp"), std::string("\0\0\0\0\x65\0\0\0\5\0", 10) + "first" +
                                          std::string("\1\0\0\0\xCA\0\0\0\6\0", 10) + "second");
  EXPECT_EQ(Run(4, {keys::kDown, keys::kDown, keys::kEnter}), 0);
  EXPECT_EQ(Browsing().chosenItem, 202);
  EXPECT_EQ(Browsing().chosenText, "second");
}

TEST_F(BrowseTest, ASecondListOpensWithF4AfterTheSearchScreen) {
  UseFile(Keys(4));
  std::vector<std::tuple<int, int, int>> picks;
  Forms().hooks.pick = [&](int& list, int s, int& f) {
    picks.emplace_back(list, s, f);
    return 0;
  };
  Headless().FeedKeys({keys::kEnter, keys::kEnter});  // the search screen's two fields
  EXPECT_EQ(Run(2, {keys::kF4, keys::kDown, keys::kEnter}), 0);
  EXPECT_EQ(picks, (std::vector<std::tuple<int, int, int>>{{3, 0, 0}}));
  EXPECT_EQ(file_->Current(), "K02");
  EXPECT_EQ(file_->locks(), (std::vector<std::string>{"42+d", "43+d", "43-", "42-"}));
  EXPECT_FALSE(StackFileExists()) << "both windows closed";
  EXPECT_EQ(file_->keyNumber(), 0) << "the second list reads by its own key";
}

TEST_F(BrowseTest, EscOnTheSearchScreenOrAStartRefusalEndsAtOnce) {
  UseFile(Keys(4));
  EXPECT_EQ(Run(2, {keys::kEsc}), -1);
  Browsing().hooks.start = [](int, std::string&, std::string&) { return 7; };
  EXPECT_EQ(Run(1, {}), 7);
  EXPECT_TRUE(file_->locks().empty());
  EXPECT_FALSE(StackFileExists());
}

TEST_F(BrowseTest, OtherKeysAndClicksLeaveWithoutAChoice) {
  UseFile(Keys(4));
  EXPECT_EQ(Run(1, {'a'}), -1);
  EXPECT_EQ(Run(1, {keys::kF4}), -1) << "list 1 has no second list";
  Headless().Click(7, 20);
  EXPECT_EQ(Browse(1), -1);
}

}  // namespace
}  // namespace palvorin
