#include "console/render.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <set>

#include "console/glyphs.h"
#include "vt_screen.h"

namespace palvorin {
namespace {

constexpr int kRows = 25, kCols = 80;

// The SGR colour numbers an attribute must show as, written out per PC colour.
struct Colours {
  int fg, bg;
};
Colours Expected(uint8_t attr) {
  static constexpr int kAnsi[16] = {0, 4, 2, 6, 1, 5, 3, 7, 60, 64, 62, 66, 61, 65, 63, 67};
  return {30 + kAnsi[attr & 15], 40 + kAnsi[attr >> 4]};
}

char32_t ExpectedGlyph(uint8_t ch) { return ch == 0xF0 ? U'-' : Cp850CodePoint(ch); }

class RenderTest : public ::testing::Test {
 protected:
  std::vector<Cell> cells_ = std::vector<Cell>(kRows * kCols);
  CursorView cursor_;
  ScreenRenderer renderer_;

  Cell& At(int row, int col) { return cells_[(row - 1) * kCols + (col - 1)]; }
  std::string Frame(int termRows = kRows, int termCols = kCols) {
    return renderer_.Render(cells_, kRows, kCols, cursor_, termRows, termCols);
  }
  // Every cell of the screen shows on `vt` with its glyph and colours; the cursor too.
  void ExpectShown(const VtScreen& vt) {
    int wrong = 0;
    for (int r = 1; r <= kRows; ++r)
      for (int c = 1; c <= kCols; ++c) {
        const Cell& cell = At(r, c);
        const VtCell& shown = vt.At(r, c);
        const Colours want = Expected(cell.attr);
        if (shown.cp != ExpectedGlyph(cell.ch) || shown.fg != want.fg || shown.bg != want.bg) {
          if (++wrong <= 5)
            ADD_FAILURE() << "cell " << r << "," << c << " byte " << int(cell.ch) << " attr "
                          << int(cell.attr) << " shows U+" << std::hex << int(shown.cp)
                          << std::dec << " " << shown.fg << "/" << shown.bg;
        }
      }
    EXPECT_EQ(vt.cursorVisible, cursor_.visible);
    if (cursor_.visible) {
      EXPECT_EQ(vt.row, cursor_.row);
      EXPECT_EQ(vt.col, cursor_.col);
      EXPECT_EQ(vt.cursorShape, cursor_.insertShape ? 3 : 1);
    }
  }
};

TEST(SgrOfAttr, MapsThePcColoursIncludingBrightBackgrounds) {
  struct Case {
    uint8_t attr;
    const char* want;
  };
  const Case cases[] = {{0x07, "37;40"},  {0x0F, "97;40"},  {0x1E, "93;44"}, {0x70, "30;47"},
                        {0x4F, "97;41"},  {0x36, "33;46"},  {0xC0, "30;101"}, {0xF8, "90;107"},
                        {0x9A, "92;104"}, {0x25, "35;42"}};
  for (const Case& c : cases) EXPECT_EQ(SgrOfAttr(c.attr), c.want) << int(c.attr);
}

TEST(MonochromeSgrOfAttr, ReverseVideoWhereTheBackgroundIsLighterAndNoColourAtAll) {
  EXPECT_EQ(MonochromeSgrOfAttr(0x70), "7");  // black on grey: the selection
  EXPECT_EQ(MonochromeSgrOfAttr(0x30), "7");  // black on cyan, a scheme's input colour
  EXPECT_EQ(MonochromeSgrOfAttr(0x0F), "1");
  EXPECT_EQ(MonochromeSgrOfAttr(0x17), "");  // grey on blue
  ScreenRenderer renderer(CursorShapes::None, true);
  std::vector<Cell> cells(kRows * kCols, Cell{'.', 0x1E});
  cells[5] = Cell{'S', 0x70};
  const std::string out = renderer.Render(cells, kRows, kCols, CursorView{}, kRows, kCols);
  const std::regex sgr("\x1b\\[([0-9;]*)m");
  std::set<std::string> seen;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), sgr); it != std::sregex_iterator();
       ++it)
    seen.insert((*it)[1]);
  EXPECT_EQ(seen, (std::set<std::string>{"0", "0;1", "0;7"}));
}

TEST_F(RenderTest, FirstFrameDrawsEverythingAndAnUnchangedOneSendsNothing) {
  for (int i = 0; i < kRows * kCols; ++i) cells_[i] = Cell{uint8_t(i * 7 % 256), uint8_t(i % 256)};
  cursor_ = {.row = 12, .col = 40, .visible = true, .insertShape = false};
  VtScreen vt(kRows, kCols);
  vt.Apply(Frame());
  ExpectShown(vt);
  EXPECT_EQ(Frame(), "");
  EXPECT_EQ(Frame(), "");
}

TEST_F(RenderTest, PcGlyphsAndBoxDrawingReachTheTerminalAsUtf8) {
  const char row[] = "\xC9\xCD\xBB\x10\x11\x1E\x1F\x82\x7F";
  for (int i = 0; row[i]; ++i) At(3, 5 + i) = Cell{uint8_t(row[i]), 0x1F};
  std::string out = Frame();
  EXPECT_NE(out.find("\u2554\u2550\u2557\u25BA\u25C4\u25B2\u25BC\u00E9\u2302"), std::string::npos);
  EXPECT_NE(out.find("\x1b[0;97;44m"), std::string::npos);
}

TEST_F(RenderTest, OnlyChangesAreSentAndTheResultMatchesTheCells) {
  std::mt19937 rng(7);
  VtScreen vt(kRows, kCols);
  vt.Apply(Frame());
  const size_t full = kRows * kCols;
  for (int round = 0; round < 300; ++round) {
    const int changes = rng() % 12;
    for (int k = 0; k < changes; ++k) {
      cells_[rng() % full] = Cell{uint8_t(rng() % 256), uint8_t(rng() % 256)};
    }
    const bool run = rng() % 3 == 0;
    if (run) {
      // a run along one row, as printing does, sometimes to the last column
      const int r = 1 + rng() % kRows;
      for (int c = 70 + rng() % 10; c <= kCols; ++c) At(r, c) = Cell{'x', uint8_t(rng())};
    }
    cursor_ = {.row = int(1 + rng() % kRows), .col = int(1 + rng() % kCols),
               .visible = rng() % 4 != 0, .insertShape = rng() % 2 == 0};
    std::string out = Frame();
    if (changes == 0 && !run) {
      EXPECT_LT(out.size(), 40u) << "only the cursor may change in round " << round;
    }
    vt.Apply(out);
    ExpectShown(vt);
    if (HasFailure()) break;
  }
}

TEST_F(RenderTest, ALargerTerminalShowsTheScreenInTheTopLeftCorner) {
  At(25, 80) = Cell{'Z', 0x4E};
  At(1, 1) = Cell{'A', 0x07};
  VtScreen vt(40, 132);
  vt.Apply(Frame(40, 132));
  EXPECT_EQ(vt.At(25, 80).cp, U'Z');
  EXPECT_EQ(vt.At(1, 1).cp, U'A');
  EXPECT_EQ(vt.At(26, 1).cp, U' ');
  EXPECT_EQ(vt.At(26, 1).fg, 39);  // cleared with the terminal's own colours
  At(25, 80) = Cell{'Y', 0x4E};
  vt.Apply(Frame(40, 132));
  EXPECT_EQ(vt.At(25, 80).cp, U'Y');
  EXPECT_EQ(vt.At(25, 81).cp, U' ');
}

TEST_F(RenderTest, ATooSmallTerminalGetsANoticeThenAFullRedrawWhenItFits) {
  At(10, 10) = Cell{'Q', 0x1E};
  VtScreen small(20, 60);
  small.Apply(Frame(20, 60));
  EXPECT_TRUE(renderer_.ShowingNotice());
  EXPECT_EQ(small.At(1, 1).cp, U'T');
  EXPECT_FALSE(small.cursorVisible);
  EXPECT_EQ(Frame(20, 60), "");  // the notice is not sent again while nothing changes
  At(10, 11) = Cell{'R', 0x1E};
  EXPECT_EQ(Frame(20, 60), "");

  // A terminal that scribbled over itself meanwhile is drawn over completely.
  VtScreen fits(25, 80);
  fits.Apply("\x1b[5;5Hjunk");
  fits.Apply(Frame());
  EXPECT_FALSE(renderer_.ShowingNotice());
  ExpectShown(fits);
}

TEST_F(RenderTest, CursorShapeFollowsTheInsertToggle) {
  Frame();
  cursor_.insertShape = false;
  EXPECT_EQ(Frame(), "\x1b[1 q");
  cursor_.insertShape = true;
  EXPECT_EQ(Frame(), "\x1b[3 q");
  cursor_.visible = false;
  EXPECT_EQ(Frame(), "\x1b[?25l");
  ScreenRenderer plain(CursorShapes::None);
  std::string out = plain.Render(cells_, kRows, kCols, CursorView{}, kRows, kCols);
  EXPECT_EQ(out.find(" q"), std::string::npos);

  // The Linux console has its own sequence: lower half while inserting, a full block else.
  ScreenRenderer linux(CursorShapes::LinuxConsole);
  CursorView cursor;
  out = linux.Render(cells_, kRows, kCols, cursor, kRows, kCols);
  EXPECT_NE(out.find("\x1b[?4c"), std::string::npos);
  EXPECT_EQ(out.find(" q"), std::string::npos);
  cursor.insertShape = false;
  EXPECT_EQ(linux.Render(cells_, kRows, kCols, cursor, kRows, kCols), "\x1b[?6c");
}

TEST_F(RenderTest, InvalidateRedrawsEverything) {
  VtScreen vt(kRows, kCols);
  At(2, 2) = Cell{'k', 0x2A};
  vt.Apply(Frame());
  renderer_.Invalidate();
  VtScreen fresh(kRows, kCols);
  fresh.Apply(Frame());
  ExpectShown(fresh);
}

}  // namespace
}  // namespace palvorin
