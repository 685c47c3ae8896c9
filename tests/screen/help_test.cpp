#include "screen/help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "os/clock.h"
#include "os/paths.h"
#include "screen/screen_fixture.h"
#include "support/scoped_env.h"

namespace palvorin {
namespace {

using testing::ScreenTest;

constexpr int kFirstRow = 5;  // screen row of the pager's first line
constexpr int kPage = 17;     // lines per page on 25 rows

// A help file of `count` lines "Line 01", "Line 02" ..., each 80 bytes.
std::string HelpLines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    std::string line = "Line " + std::string(i < 10 ? "0" : "") + std::to_string(i);
    line.resize(80, ' ');
    text += line;
  }
  return text;
}

class HelpTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    oldDir_ = CurrentDir();
    ASSERT_TRUE(SetCurrentDir(temp_.path()).ok());
  }
  void TearDown() override {
    SetCurrentDir(oldDir_);
    ResetOsForTest();
  }

  // Shows `topic` with `keys` fed and returns when the pager waits for more keys.
  static void ShowWithKeys(std::string_view topic, const std::vector<int>& keys) {
    Headless().FeedKeys(keys);
    EXPECT_THROW(ShowHelp(topic), HeadlessInputExhausted);
  }
  // The pager's screen lines, as far as the first 7 characters of each go.
  static std::vector<std::string> Page() {
    std::vector<std::string> rows;
    for (int r = kFirstRow; r < kFirstRow + kPage; ++r) rows.push_back(Text(r, 3, 7));
    return rows;
  }
  static std::vector<std::string> Lines(int first, int last) {
    std::vector<std::string> rows;
    for (int i = first; i <= last; ++i) {
      rows.push_back("Line " + std::string(i < 10 ? "0" : "") + std::to_string(i));
    }
    rows.resize(kPage, "       ");
    return rows;
  }
  // A fresh screen between cases that left a pager open.
  void Restart() {
    ResetConsoleForTest();
    ResetWindowsForTest();
    std::filesystem::remove(temp_ / "WinPush.tmp");
  }

  std::string oldDir_;
};

TEST_F(HelpTest, PagingKeysMoveThroughTheFile) {
  struct Case {
    int fileLines;
    std::vector<int> keys;
    int first, last;  // lines shown
  };
  const Case cases[] = {
      {30, {}, 1, 17},
      {30, {keys::kEnd}, 14, 30},
      {30, {keys::kEnd, keys::kPgUp}, 1, 17},
      {30, {keys::kDown}, 2, 18},
      {30, {keys::kDown, keys::kDown, keys::kUp}, 2, 18},
      {30, {keys::kUp}, 1, 17},
      {30, {keys::kPgUp, keys::kHome}, 1, 17},
      {30, {keys::kPgDn}, 14, 30},  // fewer than a page left: the last page
      {30, {keys::kEnd, keys::kDown, keys::kPgDn}, 14, 30},
      {30, {keys::kEnd, keys::kHome}, 1, 17},
      {30, {keys::kDown, keys::kDown, keys::kDown, keys::kPgUp}, 1, 17},
      {30, {'x', keys::kF2, keys::kLeft}, 1, 17},  // other keys do nothing
      {60, {keys::kPgDn}, 18, 34},
      {60, {keys::kPgDn, keys::kPgDn}, 35, 51},
      {60, {keys::kPgDn, keys::kPgDn, keys::kPgDn}, 44, 60},
      {60, {keys::kPgDn, keys::kPgDn, keys::kPgUp}, 18, 34},
      {10, {keys::kDown, keys::kPgDn, keys::kEnd}, 1, 10},  // a short file never moves
  };
  for (const Case& c : cases) {
    temp_.Write("AJUDA/TOPIC.HLP", HelpLines(c.fileLines));
    ShowWithKeys("TOPIC", c.keys);
    EXPECT_EQ(Page(), Lines(c.first, c.last))
        << c.fileLines << " lines, " << c.keys.size() << " keys, first key " << std::hex
        << (c.keys.empty() ? 0 : c.keys[0]);
    Restart();
  }
}

TEST_F(HelpTest, LineCountRoundsAPartialLastLine) {
  temp_.Write("AJUDA/TOPIC.HLP", HelpLines(30) + "Line 31" + std::string(43, ' '));  // 50 bytes
  ShowWithKeys("TOPIC", {keys::kEnd});
  EXPECT_EQ(Page(), Lines(15, 31));
  Restart();
  temp_.Write("AJUDA/TOPIC.HLP", HelpLines(30) + "Line 31" + std::string(23, ' '));  // 30 bytes
  ShowWithKeys("TOPIC", {keys::kEnd});
  EXPECT_EQ(Page(), Lines(14, 30));
}

TEST_F(HelpTest, EscLeavesTheScreenAsItWas) {
  temp_.Write("AJUDA/TOPIC.HLP", HelpLines(30));
  PaintPattern();
  ConSetCursor(7, 9);
  SetColour("+u");
  const std::vector<Cell> before = Cells();
  Headless().FeedKeys({keys::kEnd, keys::kDown, keys::kEsc});
  ShowHelp("TOPIC");
  EXPECT_TRUE(Cells() == before);
  EXPECT_EQ(ConCursorRow(), 7);
  EXPECT_EQ(ConCursorCol(), 9);
  EXPECT_TRUE(ConCursorVisible());
  EXPECT_EQ(Windows().depth, 0);
  EXPECT_EQ(Windows().colour, 4);
  EXPECT_EQ(Windows().colourStack, std::string(1, '\0'));
  EXPECT_FALSE(StackFileExists());
}

TEST_F(HelpTest, MissingFileGivesAnEmptyPager) {
  ShowWithKeys("NOSUCH", {keys::kDown, keys::kEnd});
  EXPECT_EQ(Windows().depth, 1);
  EXPECT_EQ(Text(4, 1, 3), "\xC9\xCD\xCD");
  EXPECT_EQ(Page(), Lines(1, 0));
  Restart();
  PaintPattern();
  const std::vector<Cell> before = Cells();
  Headless().FeedKeys({keys::kEsc});
  ShowHelp("NOSUCH");
  EXPECT_TRUE(Cells() == before);
}

TEST_F(HelpTest, ToggleBytesSwitchColoursAndTakeNoRoom) {
  std::string line = "\x1E" "Bold\x1E plain \x1F" "under\x1F \x10rev\x10 \x1F" "a\x1E" "b\x1E\x1F";
  line.resize(80, ' ');
  std::string full(80, 'x');
  std::string longToggled = "\x1E" + std::string(79, 'y');
  temp_.Write("AJUDA/TOPIC.HLP", line + full + longToggled);
  ShowWithKeys("TOPIC", {});
  EXPECT_EQ(Text(kFirstRow, 3, 23), "Bold plain under rev ab");
  struct Cellwise { int col; uint8_t attr; };
  const Cellwise attrs[] = {
      {3, testing::kAttrHighlight}, {7, testing::kAttrNormal},  {14, testing::kAttrInput},
      {19, testing::kAttrNormal},   {20, testing::kAttrReverse}, {23, testing::kAttrNormal},
      {24, testing::kAttrInput},    {25, testing::kAttrInput},  // highlight is held back under underline
  };
  for (const Cellwise& a : attrs) {
    EXPECT_EQ(AttrAt(kFirstRow, a.col), a.attr) << "column " << a.col;
  }
  // Only 76 characters of a line are shown, toggles or not.
  EXPECT_EQ(Text(kFirstRow + 1, 2, 78), " " + std::string(76, 'x') + " ");
  EXPECT_EQ(Text(kFirstRow + 2, 2, 78), " " + std::string(76, 'y') + " ");
}

TEST_F(HelpTest, F1ShowsTheMenuHelpOverTheTopic) {
  temp_.Write("AJUDA/TOPIC.HLP", HelpLines(30));
  temp_.Write("AJUDA/QOLVENAR.HLP", "Menu help" + std::string(71, ' '));
  ShowWithKeys("TOPIC", {keys::kF1});
  EXPECT_EQ(Windows().depth, 2);
  EXPECT_EQ(Text(kFirstRow, 3, 9), "Menu help");
  Restart();

  ShowWithKeys("TOPIC", {keys::kDown, keys::kF1, keys::kEsc});
  EXPECT_EQ(Windows().depth, 1);
  EXPECT_EQ(Page(), Lines(2, 18));
  Restart();

  ShowWithKeys("QOLVENAR", {keys::kF1});  // not over itself
  EXPECT_EQ(Windows().depth, 1);
}

TEST_F(HelpTest, TheHelpFollowsTheOperatorsLanguageWhereItHasOne) {
  temp_.Write("AJUDA/TOPIC.HLP", "Ajuda" + std::string(75, ' '));
  temp_.Write("AJUDA/SPA/TOPIC.HLP", "Ayuda" + std::string(75, ' '));
  for (const auto& [code, shown] : {std::pair{"SPA", "Ayuda"}, {"GLG", "Ajuda"}, {"CAT", "Ajuda"}}) {
    SessionState().languageCode = code;
    ShowWithKeys("TOPIC", {});
    EXPECT_EQ(Text(kFirstRow, 3, 5), shown) << code;
    Restart();
  }
}

TEST_F(HelpTest, GraphicalSystemHandsThePageToTheSuite) {
  testing::ScopedEnv env("COMSPEC", "C:\\WINDOWS\\CMD.EXE");
  SessionState().platformMode = "WIN";
  SessionState().rootDir = "C:\\ZEP\\";
  std::string program;
  std::vector<std::string> args;
  Os().runAndWait = [&](const std::string& p, const std::vector<std::string>& a) {
    program = p;
    args = a;
    return ChildResult{OsStatus::Success(), 0};
  };
  PaintPattern();
  const std::vector<Cell> before = Cells();
  ShowHelp("TOPIC");
  EXPECT_EQ(program, "C:\\WINDOWS\\CMD.EXE");
  EXPECT_EQ(args, (std::vector<std::string>{"/C", "PELSIT", "C:\\ZEP\\AJUDA\\TOPIC.HTM"}));
  EXPECT_TRUE(Cells() == before);
}

}  // namespace
}  // namespace palvorin
