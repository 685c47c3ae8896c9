#include "console/console.h"

#include <gtest/gtest.h>

#include "console/headless.h"

namespace palvorin {
namespace {

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetConsoleForTest(); }
  static std::string Row(int row) { return Headless().RowText(row); }
  // Fills the rectangle with letters 'a', 'b', ... one per row.
  static void FillRows(int top, int bottom, int left, int right) {
    for (int r = top; r <= bottom; ++r)
      for (int c = left; c <= right; ++c)
        ConWriteCell(r, c, Cell{static_cast<uint8_t>('a' + r - top), 0x17});
  }
};

TEST_F(ConsoleTest, StartsBlankWithInsertOnAndCursorHome) {
  EXPECT_EQ(ScreenRows(), 25);
  EXPECT_EQ(ScreenCols(), 80);
  EXPECT_EQ(Row(1), std::string(80, ' '));
  EXPECT_EQ(Headless().RowAttrs(25), std::vector<uint8_t>(80, 0x07));
  EXPECT_EQ(ConCursorRow(), 1);
  EXPECT_EQ(ConCursorCol(), 1);
  EXPECT_TRUE(ConInsertMode());
  EXPECT_EQ(ConAttr(), 0x07);
  EXPECT_TRUE(ConClipboard().empty());
}

TEST_F(ConsoleTest, PrintWritesWithTheAttributeAndWrapsToTheNextRow) {
  ConSetAttr(0x1E);
  ConSetCursor(3, 78);
  ConPrint("ABCDE");
  EXPECT_EQ(Row(3).substr(77), "ABC");
  EXPECT_EQ(Row(4).substr(0, 3), "DE ");
  EXPECT_EQ(ConReadCell(4, 2), (Cell{'E', 0x1E}));
  EXPECT_EQ(ConReadCell(4, 3), (Cell{' ', 0x07}));
  EXPECT_EQ(ConCursorRow(), 4);
  EXPECT_EQ(ConCursorCol(), 3);
}

TEST_F(ConsoleTest, PrintStopsAtTheLastCellOfTheScreen) {
  ConSetCursor(25, 79);
  ConPrint("xyz");
  EXPECT_EQ(Row(25).substr(78), "xy");
  EXPECT_EQ(Row(1)[0], ' ');  // nothing wrapped round to the top
  EXPECT_EQ(ConCursorRow(), 25);
  EXPECT_EQ(ConCursorCol(), 80);
}

TEST_F(ConsoleTest, PrintKeepsEveryByteAsAGlyph) {
  ConPrint(std::string("\x10\x00\x11\xC9", 4));
  EXPECT_EQ(Row(1).substr(0, 4), std::string("\x10\x00\x11\xC9", 4));
  EXPECT_EQ(Headless().RowTextUtf8(1).substr(0, 10), "\u25BA \u25C4\u2554");
}

TEST_F(ConsoleTest, CellsOutsideTheScreenReadBlankAndIgnoreWrites) {
  ConWriteCell(0, 5, Cell{'X', 0x70});
  ConWriteCell(26, 1, Cell{'X', 0x70});
  ConWriteCell(1, 81, Cell{'X', 0x70});
  EXPECT_EQ(ConReadCell(0, 5), Cell{});
  EXPECT_EQ(ConReadCell(1, 81), Cell{});
  EXPECT_EQ(Headless().ScreenText().find('X'), std::string::npos);
}

TEST_F(ConsoleTest, RectanglesRoundTripRowByRow) {
  FillRows(5, 7, 10, 12);
  std::vector<Cell> saved = ConReadRect(5, 10, 7, 12);
  ASSERT_EQ(saved.size(), 9u);
  EXPECT_EQ(saved[0].ch, 'a');
  EXPECT_EQ(saved[3].ch, 'b');
  EXPECT_EQ(saved[8].ch, 'c');
  ConScroll(1, 1, 25, 80, 0, 0x07);
  ConWriteRect(10, 1, 12, 3, saved);
  EXPECT_EQ(Row(10).substr(0, 4), "aaa ");
  EXPECT_EQ(Row(12).substr(0, 4), "ccc ");
  EXPECT_EQ(ConReadCell(11, 2).attr, 0x17);
}

TEST_F(ConsoleTest, RectangleAtTheEdgeKeepsItsShape) {
  // Reading past the edge gives blanks in place, so a later write puts every cell back
  // where it came from.
  ConWriteCell(1, 80, Cell{'Z', 0x4F});
  std::vector<Cell> saved = ConReadRect(1, 79, 2, 81);
  ASSERT_EQ(saved.size(), 6u);
  EXPECT_EQ(saved[1].ch, 'Z');
  ConWriteCell(1, 80, Cell{});
  ConWriteRect(1, 79, 2, 81, saved);
  EXPECT_EQ(ConReadCell(1, 80), (Cell{'Z', 0x4F}));
  EXPECT_EQ(ConReadRect(3, 5, 2, 5).size(), 0u);
}

TEST_F(ConsoleTest, ScrollMovesOnlyTheRectangle) {
  struct Case {
    int lines;
    std::string want;  // column 2 of rows 1..6 after scrolling rows 2..5
  };
  const Case cases[] = {{1, "acde_f"}, {2, "ade__f"}, {-1, "a_bcdf"}, {-3, "a___bf"},
                        {0, "a____f"},  {4, "a____f"}, {-9, "a____f"}};
  for (const Case& c : cases) {
    ResetConsoleForTest();
    FillRows(1, 6, 1, 3);
    ConScroll(2, 2, 5, 2, c.lines, 0x30);
    std::string col;
    for (int r = 1; r <= 6; ++r) {
      Cell cell = ConReadCell(r, 2);
      col += cell.ch == ' ' ? '_' : static_cast<char>(cell.ch);
      if (cell.ch == ' ') {
        EXPECT_EQ(cell.attr, 0x30) << "lines " << c.lines << " row " << r;
      }
    }
    EXPECT_EQ(col, c.want) << "lines " << c.lines;
    EXPECT_EQ(ConReadCell(3, 1).ch, 'c') << "column outside the rectangle moved";
    EXPECT_EQ(ConReadCell(3, 3).ch, 'c') << "column outside the rectangle moved";
  }
}

TEST_F(ConsoleTest, ScrollClipsARectanglePartlyOffTheScreen) {
  FillRows(24, 25, 1, 80);
  ConScroll(24, 70, 30, 90, 1, 0x07);
  EXPECT_EQ(ConReadCell(24, 70).ch, 'b');
  EXPECT_EQ(ConReadCell(25, 80).ch, ' ');
  EXPECT_EQ(ConReadCell(24, 69).ch, 'a');
}

TEST_F(ConsoleTest, WaitFlushesTheScreenFirst) {
  ConSetCursor(7, 9);
  ConShowCursor(false);
  ConSetInsertMode(false);
  Headless().FeedKeys({'a'});
  auto e = ConWaitEvent(-1);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->key, 'a');
  EXPECT_EQ(Headless().Presents(), 1);
  EXPECT_EQ(Headless().PresentedCursorRow(), 7);
  EXPECT_EQ(Headless().PresentedCursorCol(), 9);
  EXPECT_FALSE(Headless().PresentedCursorVisible());
  EXPECT_FALSE(Headless().PresentedInsertShape());
}

TEST_F(ConsoleTest, EventsComeInTheOrderFed) {
  Headless().FeedText("A\x82");
  Headless().FeedKeys({0x3B00, 0x1B});
  Headless().FeedKey(0x3B00, kModCtrl);
  Headless().Click(4, 60, 2);
  std::vector<int> keys;
  for (int i = 0; i < 5; ++i) {
    auto e = ConPollEvent();
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->kind, InputEvent::Kind::Key);
    keys.push_back(e->key);
    EXPECT_EQ(e->mods, i == 4 ? kModCtrl : 0);
  }
  EXPECT_EQ(keys, (std::vector<int>{'A', 0x82, 0x3B00, 0x1B, 0x3B00}));
  auto click = ConWaitEvent(100);
  ASSERT_TRUE(click.has_value());
  EXPECT_EQ(click->kind, InputEvent::Kind::Mouse);
  EXPECT_EQ(click->button, 2);
  EXPECT_EQ(click->row, 4);
  EXPECT_EQ(click->col, 60);
  EXPECT_FALSE(ConPollEvent().has_value());
  EXPECT_FALSE(ConWaitEvent(500).has_value());
}

TEST_F(ConsoleTest, WaitWithoutLimitOnAnEmptyQueueThrowsInsteadOfHanging) {
  EXPECT_THROW(ConWaitEvent(-1), HeadlessInputExhausted);
}

TEST_F(ConsoleTest, EndlessPollingIsStopped) {
  auto pollForever = [] {
    for (;;)
      if (ConPollEvent()) return;
  };
  EXPECT_THROW(pollForever(), HeadlessInputExhausted);
}

TEST_F(ConsoleTest, ClipboardReachesTheSystemClipboard) {
  ConSetClipboard("Rebut 12");
  EXPECT_EQ(ConClipboard(), "Rebut 12");
  EXPECT_EQ(Headless().SystemClipboard(), "Rebut 12");
  ConBeep();
  EXPECT_EQ(Headless().Beeps(), 1);
}

TEST_F(ConsoleTest, ResetClearsEverything) {
  ConPrint("x");
  ConSetInsertMode(false);
  ConSetClipboard("y");
  Headless().FeedKeys({1, 2});
  ResetConsoleForTest();
  EXPECT_EQ(Row(1)[0], ' ');
  EXPECT_TRUE(ConInsertMode());
  EXPECT_TRUE(ConClipboard().empty());
  EXPECT_EQ(Headless().Pending(), 0u);
}

TEST_F(ConsoleTest, HeadlessIsReinstalledOverAnotherBackend) {
  struct Silent : ConsoleBackend {
    void Present(std::span<const Cell>, int, int, int, int, bool, bool) override {}
    std::optional<InputEvent> WaitEvent(int) override { return InputEvent{.key = 'q'}; }
  };
  ConUseBackend(std::make_unique<Silent>());
  EXPECT_EQ(ConPollEvent()->key, 'q');
  Headless().FeedKeys({'h'});
  EXPECT_EQ(ConPollEvent()->key, 'h');
}

}  // namespace
}  // namespace palvorin
