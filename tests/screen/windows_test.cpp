#include "screen/windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen/screen_fixture.h"

namespace palvorin {
namespace {

using testing::ScreenTest;

class WindowsTest : public ScreenTest {
 protected:
  struct Snapshot {
    std::vector<Cell> cells;
    int cursorRow, cursorCol;
    int depth, top, left, bottom, right;
    bool operator==(const Snapshot&) const = default;
  };
  static Snapshot Take() {
    const WindowState& w = Windows();
    return {Cells(), ConCursorRow(), ConCursorCol(), w.depth, w.top, w.left, w.bottom, w.right};
  }
  static void ExpectSame(const Snapshot& want, const std::string& when) {
    const Snapshot got = Take();
    EXPECT_TRUE(got == want) << when << ": screen " << (got.cells == want.cells ? "same" : "differs")
                             << ", cursor " << got.cursorRow << "," << got.cursorCol
                             << ", depth " << got.depth << ", window " << got.top << ","
                             << got.left << "," << got.bottom << "," << got.right;
  }
  // Opens a framed window and writes in it, leaving the cursor somewhere inside.
  static void OpenAndScribble(int top, int left, int bottom, int right, const char* text) {
    WinPush(top, left, bottom, right);
    SetColour("n");
    DrawWindowFrame(2);
    LocateInWindow(1, 1);
    ConPrint(text);
  }
};

TEST_F(WindowsTest, WithoutColoursTheReverseAndInputEntriesAreReverseVideo) {
  Headless().SetMonochrome(true);
  for (const auto& [letters, attr] : {std::pair{"h", 0x0F}, {"n", 0x07}, {"r", 0x70}, {"u", 0x70}}) {
    SetColour(letters);
    EXPECT_EQ(ConAttr(), attr) << letters;
  }
}

TEST_F(WindowsTest, ColourCommandsSelectSaveAndRestoreEntries) {
  struct Step {
    const char* command;
    int index;
    uint8_t attr;
    std::string stack;
  };
  const Step steps[] = {
      {"n", 1, testing::kAttrNormal, ""},
      {"   ", 1, testing::kAttrNormal, ""},  // blank: nothing at all
      {"", 1, testing::kAttrNormal, ""},
      {"+", 0, testing::kAttrHighlight, "\x01"},
      {"RN", 3, testing::kAttrReverseNormal, "\x01"},
      {"nR", 3, testing::kAttrReverseNormal, "\x01"},
      {"+u", 4, testing::kAttrInput, std::string("\x01\x03")},
      {"urn", 4, testing::kAttrInput, std::string("\x01\x03")},  // "u" wins
      {"-", 3, testing::kAttrReverseNormal, "\x01"},
      {"-r", 1, testing::kAttrNormal, ""},  // letters after "-" are not looked at
      {"-", 0, testing::kAttrHighlight, ""},  // nothing saved: entry 0
      {"rh", 2, testing::kAttrReverse, ""},
      {"+-", 2, testing::kAttrReverse, ""},  // save then restore the same entry
  };
  ConSetAttr(0x55);
  for (const Step& s : steps) {
    SetColour(s.command);
    EXPECT_EQ(Windows().colour, s.index) << "after \"" << s.command << "\"";
    EXPECT_EQ(ConAttr(), s.attr) << "after \"" << s.command << "\"";
    EXPECT_EQ(Windows().colourStack, s.stack) << "after \"" << s.command << "\"";
  }
}

TEST_F(WindowsTest, ThreeNestedWindowsComeOffLeavingEachScreenExactlyAsItWas) {
  PaintPattern();
  ConSetCursor(3, 4);
  const Snapshot before = Take();
  OpenAndScribble(2, 2, 10, 40, "first");
  const Snapshot one = Take();
  OpenAndScribble(5, 10, 20, 70, "second");
  const Snapshot two = Take();
  OpenAndScribble(1, 1, 25, 80, "third, the whole screen");
  EXPECT_EQ(Windows().depth, 3);

  WinPop();
  ExpectSame(two, "first pop");
  WinPop();
  ExpectSame(one, "second pop");
  EXPECT_TRUE(StackFileExists());
  WinPop();
  ExpectSame(before, "third pop");
  EXPECT_FALSE(StackFileExists());
}

TEST_F(WindowsTest, StackFileHoldsDigitFieldsCellsAndRecordLength) {
  ConWriteCell(2, 3, Cell{'A', 0x1F});
  ConWriteCell(2, 4, Cell{'B', 0x20});
  ConWriteCell(3, 3, Cell{'C', 0x30});
  ConWriteCell(3, 4, Cell{'D', 0x47});
  ConSetCursor(7, 12);
  WinPush(2, 3, 3, 4);
  const std::string first = std::string("0712") + "00000000" + "02030304" +
                            "A\x1F" "B\x20" "C\x30" "D\x47" + "00033";
  EXPECT_EQ(StackFile(), std::string("\x26\0\0\0", 4) + first);  // next free position 38

  ConSetCursor(1, 1);
  WinPush(1, 1, 1, 1);
  const std::string second = std::string("0101") + "02030304" + "01010101" +
                             " \x07" + "00027";
  EXPECT_EQ(StackFile(), std::string("\x41\0\0\0", 4) + first + second);  // 38 + 27

  WinPop();
  // A popped record stays in the file until a push overwrites it.
  EXPECT_EQ(StackFile(), std::string("\x26\0\0\0", 4) + first + second);

  WinPush(1, 1, ScreenRows(), ScreenCols());  // a whole screen is a 4025-byte record
  EXPECT_EQ(StackFile().size(), 4u + 33u + 4025u);
  EXPECT_EQ(StackFile().substr(4 + 33 + 4020), "04025");
}

TEST_F(WindowsTest, WindowsAtTheScreenEdgesRestoreTheirEdgeCells) {
  struct Rect { int top, left, bottom, right; };
  const Rect rects[] = {{1, 1, 1, 80},     {25, 1, 25, 80},   {1, 80, 25, 80}, {1, 1, 25, 1},
                        {25, 80, 25, 80}, {24, 79, 25, 80}, {9, 9, 3, 3}};  // and upside down
  for (const Rect& r : rects) {
    PaintPattern();
    const Snapshot before = Take();
    WinPush(r.top, r.left, r.bottom, r.right);
    DrawWindowFrame(1);
    EXPECT_EQ(Windows().depth, 1);
    WinPop();
    ExpectSame(before, "window " + std::to_string(r.top) + "," + std::to_string(r.left) + "," +
                           std::to_string(r.bottom) + "," + std::to_string(r.right));
  }
}

TEST_F(WindowsTest, RectangleOutsideTheScreenIsNotPushedAndAnEmptyStackNotPopped) {
  PaintPattern();
  const Snapshot before = Take();
  struct Rect { int top, left, bottom, right; };
  const Rect rects[] = {{0, 1, 5, 5}, {1, 0, 5, 5}, {1, 1, 26, 5}, {1, 1, 5, 81}, {26, 1, 26, 1}};
  for (const Rect& r : rects) WinPush(r.top, r.left, r.bottom, r.right);
  EXPECT_FALSE(StackFileExists());
  WinPop();
  ExpectSame(before, "pushes outside the screen and a pop");
}

TEST_F(WindowsTest, WindowsOfTheProgramThatStartedUsSurviveOurPushesAndPops) {
  // The suite's menu left a window of its own in the stack file before starting us.
  WinPush(5, 5, 6, 6);
  const std::string menu = StackFile();
  ResetWindowsForTest();

  WinPop();  // none of ours is open: the menu's record is not ours to take
  EXPECT_EQ(StackFile(), menu);
  WinPush(1, 1, 2, 2);
  WinPop();
  EXPECT_TRUE(StackFileExists());
  EXPECT_EQ(StackFile().substr(0, 4), menu.substr(0, 4));
}

TEST_F(WindowsTest, WindowsNestAndComeOffEvenWhenTheStackFileCannotBeWritten) {
  SessionState().tempDir = temp_.folder() + "missing/";  // no such folder
  PaintPattern();
  ConSetCursor(3, 4);
  const Snapshot before = Take();
  OpenAndScribble(2, 2, 10, 40, "first");
  EXPECT_EQ(Windows().depth, 1);
  const Snapshot one = Take();
  OpenAndScribble(5, 10, 20, 70, "second");
  LocateInWindow(1, 1);  // inside the second window's frame
  EXPECT_EQ(ConCursorRow(), 6);
  EXPECT_EQ(ConCursorCol(), 11);
  WinPop();
  ExpectSame(one, "first pop");
  SessionState().tempDir = temp_.folder();  // the folder works again meanwhile
  OpenAndScribble(3, 3, 4, 4, "x");
  WinPop();
  ExpectSame(one, "a window kept in the file over one kept aside");
  WinPop();
  ExpectSame(before, "second pop");
  EXPECT_FALSE(StackFileExists());
}

TEST_F(WindowsTest, LocateInWindowCountsFromTheFrame) {
  LocateInWindow(3, 4);
  EXPECT_EQ(ConCursorRow(), 3);
  EXPECT_EQ(ConCursorCol(), 4);
  EXPECT_EQ(WinFirstRow(), 1);
  EXPECT_EQ(WinFirstCol(), 1);
  EXPECT_EQ(WinLastCol(), 80);

  WinPush(5, 10, 12, 40);
  LocateInWindow(0, 0);
  EXPECT_EQ(ConCursorRow(), 5);
  EXPECT_EQ(ConCursorCol(), 10);
  LocateInWindow(1, 1);
  EXPECT_EQ(ConCursorRow(), 6);
  EXPECT_EQ(ConCursorCol(), 11);
  EXPECT_EQ(WinFirstRow(), 6);
  EXPECT_EQ(WinFirstCol(), 11);
  EXPECT_EQ(WinLastCol(), 39);
}

TEST_F(WindowsTest, FramesByStyleClearTheInsideInTheCurrentColour) {
  PaintPattern();
  DrawWindowFrame(1);  // no window: nothing
  WinPush(3, 5, 6, 10);
  SetColour("u");
  struct Case { int style; std::string top, middle, bottom; };
  const Case cases[] = {
      {1, "\xDA\xC4\xC4\xC4\xC4\xBF", "\xB3    \xB3", "\xC0\xC4\xC4\xC4\xC4\xD9"},
      {2, "\xC9\xCD\xCD\xCD\xCD\xBB", "\xBA    \xBA", "\xC8\xCD\xCD\xCD\xCD\xBC"},
      {0, "      ", "      ", "      "},
  };
  for (const Case& c : cases) {
    DrawWindowFrame(c.style);
    EXPECT_EQ(Text(3, 5, 6), c.top) << "style " << c.style;
    EXPECT_EQ(Text(4, 5, 6), c.middle) << "style " << c.style;
    EXPECT_EQ(Text(5, 5, 6), c.middle) << "style " << c.style;
    EXPECT_EQ(Text(6, 5, 6), c.bottom) << "style " << c.style;
    for (int r = 3; r <= 6; ++r) {
      for (int col = 5; col <= 10; ++col) EXPECT_EQ(AttrAt(r, col), testing::kAttrInput);
    }
  }
  EXPECT_NE(Text(3, 4, 1), " ");  // the cells around the window are untouched
  EXPECT_NE(Text(7, 5, 1), " ");
}

TEST_F(WindowsTest, ScrollRegionMovesTheBlockAndBlanksWhatComesFree) {
  struct Case { int lines; std::vector<std::string> rows; };
  const Case cases[] = {
      {1, {"row2", "row3", "row4", "    "}},
      {-1, {"    ", "row1", "row2", "row3"}},
      {0, {"    ", "row1", "row2", "row3"}},  // 0 moves one line down
      {2, {"row3", "row4", "    ", "    "}},
      {4, {"    ", "    ", "    ", "    "}},
  };
  for (const Case& c : cases) {
    ConSetAttr(0x07);
    for (int r = 1; r <= 5; ++r) {
      ConSetCursor(r, 1);
      ConPrint("row" + std::to_string(r) + "!");
    }
    SetColour("u");
    // Block rows 1 to 4, columns 1 to 4: column 5 and row 5 must stay.
    ScrollRegion(0, 0, 3, 3, c.lines);
    for (int r = 1; r <= 4; ++r) {
      EXPECT_EQ(Text(r, 1, 4), c.rows[static_cast<size_t>(r - 1)]) << "lines " << c.lines;
      EXPECT_EQ(Text(r, 5, 1), "!") << "lines " << c.lines;
    }
    EXPECT_EQ(Text(5, 1, 5), "row5!") << "lines " << c.lines;
    if (c.rows[3] == "    ") {
      EXPECT_EQ(AttrAt(4, 1), testing::kAttrInput) << "lines " << c.lines;
    }
  }
}

TEST(FormatParagraph, WrapsAndAlignsLines) {
  using Lines = std::vector<std::string>;
  struct Case {
    std::string text;
    int indent, width;
    const char* align;
    Lines want;
  };
  const Case cases[] = {
      {"abc def ghi", 0, 7, "L", {"abc def", "ghi    "}},
      {"abc def ghi", 0, 7, "e", {"abc def", "ghi    "}},
      {"abc def ghi", 0, 7, "R", {"abc def", "    ghi"}},
      {"abc def ghi", 0, 7, "d", {"abc def", "    ghi"}},
      {"abc def ghi", 0, 7, "C", {"abc def", "  ghi  "}},
      {"ab def ghi", 0, 6, "C", {"ab def", " ghi  "}},
      {"abc def ghi", 0, 7, "N", {"abc def", "ghi----"}},
      {"abc def ghi", 0, 7, "x", {"abc def", "ghi"}},
      {"abc  def", 0, 5, "L", {"abc  ", "def  "}},
      {"aa bb cc dd ee", 0, 10, "A", {"aa  bb  cc", "dd ee"}},
      {"aa bb cc dd ee", 0, 10, "b", {"aa  bb  cc", "dd ee"}},
      {"aaaaaaaaaaaaaa bb", 0, 10, "A", {"aaaaaaaaaa", "aaaa bb"}},  // no inner space: as is
      {"aaa bbb ccc", 2, 7, "L", {"  aaa  ", "bbb ccc"}},
      {"aaa bbb ccc", -2, 7, "L", {"aaa bbb", "  ccc  "}},
      {"\x1E" "abc\x1E def", 0, 3, "L", {"\x1E" "abc\x1E", "def"}},  // toggles take no room
      {"", 0, 10, "L", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatParagraphLines(c.text, c.indent, c.width, c.align), c.want)
        << "\"" << c.text << "\" width " << c.width << " align " << c.align;
  }
}

TEST(FormatParagraph, CutsAWordLongerThanTheLine) {
  const std::string word(100, 'x');
  const auto lines = FormatParagraphLines(word, 0, 76, "L");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(76, 'x'));
  EXPECT_EQ(lines[1], std::string(24, 'x') + std::string(52, ' '));
  EXPECT_EQ(FormatParagraph(word, 0, 76, "L"), lines[0] + lines[1]);
}

TEST(FormatParagraph, WidthWithoutRoomStillEnds) {
  EXPECT_EQ(FormatParagraph("abc", 0, 0, "L"), "abc");
  EXPECT_EQ(FormatParagraph("abc def", 5, 3, "L"), "     abc def");
}

class MessageBoxTest : public WindowsTest {};

TEST_F(MessageBoxTest, ThreeLinesAtRow24FillRows20To24) {
  SetColour("n");
  const std::string text = std::string(70, 'x') + " " + std::string(70, 'y') + " " +
                           std::string(70, 'z');
  PaintPattern();
  const Snapshot before = Take();
  ShowMessageBox(24, text);
  EXPECT_EQ(Windows().depth, 1);
  EXPECT_EQ(Windows().top, 20);
  EXPECT_EQ(Windows().bottom, 24);
  // 70 characters centred on column 41: the frame runs from column 4 to 77.
  EXPECT_EQ(Windows().left, 4);
  EXPECT_EQ(Windows().right, 77);
  EXPECT_EQ(Text(20, 4, 1), "\xDA");
  EXPECT_EQ(Text(24, 77, 1), "\xD9");
  EXPECT_EQ(Text(21, 5, 72), " " + std::string(70, 'x') + " ");
  EXPECT_EQ(Text(23, 6, 70), std::string(70, 'z'));
  EXPECT_EQ(AttrAt(22, 6), testing::kAttrReverse);
  EXPECT_EQ(Windows().colour, 1);  // the caller's colour is back
  EXPECT_EQ(Windows().colourStack, "");
  WinPop();
  ExpectSame(before, "message box closed");
}

TEST_F(MessageBoxTest, ShortMessageCentresOnColumn41AroundTheRow) {
  ShowMessageBox(12, "HOLA");
  EXPECT_EQ(Windows().top, 9);
  EXPECT_EQ(Windows().bottom, 11);
  EXPECT_EQ(Windows().left, 37);
  EXPECT_EQ(Windows().right, 44);
  EXPECT_EQ(Text(10, 37, 8), "\xB3 HOLA \xB3");

  WinPop();
  ShowMessageBox(1, "HOLA");  // the box never starts above row 1
  EXPECT_EQ(Windows().top, 1);
  EXPECT_EQ(Windows().bottom, 3);
}

TEST_F(MessageBoxTest, EveryMessageOpensExactlyOneWindow) {
  PaintPattern();
  const Snapshot before = Take();
  std::string tall;
  for (int i = 0; i < 30; ++i) tall += std::string(70, static_cast<char>('a' + i % 26)) + " ";
  for (const std::string& text : {std::string(), tall}) {
    ShowMessageBox(12, text);
    EXPECT_EQ(Windows().depth, 1) << text.size() << " characters";
    WinPop();
    ExpectSame(before, std::to_string(text.size()) + " characters");
  }
  ShowMessageBox(12, tall);
  EXPECT_EQ(Windows().top, 1);
  EXPECT_EQ(Windows().bottom, 25);
  EXPECT_EQ(Text(24, 6, 3), std::string(3, 'w'));  // the 23rd line is the last shown
}

}  // namespace
}  // namespace palvorin
