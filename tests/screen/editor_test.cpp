#include "screen/editor.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/terminal.h"
#include "os/codepage.h"
#include "screen/screen_fixture.h"
#include "support/tmux.h"

namespace palvorin {
namespace {

using testing::ScreenTest;

// The field's first cell: row 2, column 5 of the screen (no window is open).
constexpr int kRow = 2;
constexpr int kCol = 5;

class EditorTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    SetKeys("a", "d,1b,4800,5000,7300,7400");
  }
  struct Result {
    std::string text;
    int pos;
    int key;
  };
  static Result Edit(std::string text, int pos, const std::vector<int>& keysFed, int piece = 0) {
    Headless().FeedKeys(keysFed);
    int key = 0;
    TextEdit(kRow, kCol, piece, text, pos, key);
    return {text, pos, key};
  }
  // Feeds keys that do not end the edit and returns when the editor waits for more.
  static void EditUntilWaiting(std::string& text, int pos, const std::vector<int>& keysFed,
                               int piece = 0) {
    Headless().FeedKeys(keysFed);
    int key = 0;
    EXPECT_THROW(TextEdit(kRow, kCol, piece, text, pos, key), HeadlessInputExhausted);
  }
};

TEST_F(EditorTest, KeysEditTheTextInPlace) {
  using namespace keys;
  struct Case {
    const char* what;
    std::string text;
    int pos;
    bool insert;
    std::vector<int> keys;
    std::string wantText;
    int wantPos, wantKey;
  };
  const Case cases[] = {
      {"insert in front", "abcde     ", 1, true, {'x', kEsc}, "xabcde    ", 2, kEsc},
      {"insert into a full text", "abcdefghij", 1, true, {'x', kEsc}, "abcdefghij", 1, kEsc},
      {"insert at the end", "ab ", 3, true, {'x', 'y', kEsc}, "abx", 4, kEsc},
      {"overwrite", "abcdefghij", 1, false, {'x', 'y', kEsc}, "xycdefghij", 3, kEsc},
      {"overwrite past the end", "abc", 4, false, {'x', kEsc}, "abc", 4, kEsc},
      {"the first and last letter of each range, and the keys just past them", "abcdef", 1,
       false, {' ', '~', 0x80, 0xFE, 0x1F, 0xFF, kEsc}, " ~\x80\xFE" "ef", 5, kEsc},
      {"backspace", "abcdefghij", 4, true, {kBackspace, kEsc}, "abdefghij ", 3, kEsc},
      {"backspace at the start", "abc", 1, true, {kBackspace, kEsc}, "abc", 1, kEsc},
      {"del", "abcd", 2, true, {kDel, kEsc}, "acd ", 2, kEsc},
      {"del at the end", "abcd", 5, true, {kDel, kEsc}, "abcd", 5, kEsc},
      {"left and right stop at the ends", "abc", 2, true,
       {kLeft, kLeft, kRight, kRight, kRight, kRight, kEsc}, "abc", 4, kEsc},
      {"end after the last letter", "ab  ", 1, true, {kEnd, kEsc}, "ab  ", 3, kEsc},
      {"home", "ab  ", 3, true, {kHome, kEsc}, "ab  ", 1, kEsc},
      {"ctrl+y clears", "abc", 3, true, {kCtrlY, kEsc}, "   ", 1, kEsc},
      {"ctrl+home clears", "abc", 3, true, {kCtrlHome, kEsc}, "   ", 1, kEsc},
      {"ctrl+right by words", "one two,three", 1, true, {kCtrlRight, kCtrlRight, kEsc},
       "one two,three", 9, kEsc},
      {"ctrl+right to the end, then out", "one two,three", 9, true, {kCtrlRight, kCtrlRight},
       "one two,three", 14, kCtrlRight},
      {"ctrl+left by words, then out", "one two,three", 14, true,
       {kCtrlLeft, kCtrlLeft, kCtrlLeft, kCtrlLeft}, "one two,three", 1, kCtrlLeft},
      {"pos is clamped", "abc", 99, true, {kEsc}, "abc", 4, kEsc},
      {"pos below 1", "abc", -3, true, {kEsc}, "abc", 1, kEsc},
      {"up on one line ends", "abc", 2, true, {kUp}, "abc", 2, kUp},
      {"down on one line ends", "abc", 2, true, {kDown}, "abc", 2, kDown},
      {"shift+tab is up", "abc", 1, true, {kShiftTab}, "abc", 1, kUp},
      {"tab is enter", "abc", 1, true, {kTab}, "abc", 1, kEnter},
      {"ctrl+f4 is esc", "abc", 1, true, {kCtrlF4}, "abc", 1, kEsc},
      {"alt+f4 is esc", "abc", 1, true, {kAltF4}, "abc", 1, kEsc},
      {"keys not accepted are ignored", "abc ", 1, true, {0x3D00, kPgDn, 'x', kEsc}, "xabc", 2,
       kEsc},
      {"ins switches to overwrite", "abc", 1, true, {kIns, 'x', kEsc}, "xbc", 2, kEsc},
      {"empty text", "", 1, true, {'x', kBackspace, kDel, kEsc}, "", 1, kEsc},
  };
  for (const Case& c : cases) {
    ConSetInsertMode(c.insert);
    const Result r = Edit(c.text, c.pos, c.keys);
    EXPECT_EQ(r.text, c.wantText) << c.what;
    EXPECT_EQ(r.pos, c.wantPos) << c.what;
    EXPECT_EQ(r.key, c.wantKey) << c.what;
    EXPECT_EQ(Headless().Pending(), 0u) << c.what;
  }
}

TEST_F(EditorTest, InsKeyFlipsTheSharedInsertToggleAndTheCursorShape) {
  std::string text = "abc";
  EditUntilWaiting(text, 1, {keys::kIns});
  EXPECT_FALSE(ConInsertMode());
  EXPECT_FALSE(Headless().PresentedInsertShape());
  Edit(text, 1, {keys::kIns, keys::kEsc});
  EXPECT_TRUE(ConInsertMode());
}

TEST_F(EditorTest, TextAreaMovesByLines) {
  const std::string area(40, ' ');
  struct Case { int pos; int key; int wantPos; int wantKey; };
  const Case cases[] = {
      {5, keys::kDown, 25, keys::kEsc},
      {25, keys::kDown, 25, keys::kDown},  // the last line: the edit ends
      {21, keys::kDown, 41, keys::kEsc},
      {25, keys::kUp, 5, keys::kEsc},
      {5, keys::kUp, 5, keys::kUp},
  };
  for (const Case& c : cases) {
    const Result r = Edit(area, c.pos, {c.key, keys::kEsc}, 20);
    EXPECT_EQ(r.pos, c.wantPos) << "pos " << c.pos << " key " << std::hex << c.key;
    EXPECT_EQ(r.key, c.wantKey) << "pos " << c.pos << " key " << std::hex << c.key;
    DiscardPendingKeys();
  }
}

TEST_F(EditorTest, TextAreaShowsOneLinePerPieceAndKeepsTheCursorOnTheLastLine) {
  std::string text = std::string(20, 'a') + std::string(20, 'b');
  EditUntilWaiting(text, 41, {}, 20);
  EXPECT_EQ(Text(kRow, kCol, 21), std::string(20, 'a') + " ");
  EXPECT_EQ(Text(kRow + 1, kCol, 21), std::string(20, 'b') + " ");
  EXPECT_EQ(AttrAt(kRow + 1, kCol), testing::kAttrInput);
  // At the end of a full last line the cursor stays on that line.
  EXPECT_EQ(Headless().PresentedCursorRow(), kRow + 1);
  EXPECT_EQ(Headless().PresentedCursorCol(), kCol + 20);
  EXPECT_TRUE(Headless().PresentedCursorVisible());
}

TEST_F(EditorTest, FieldIsPlacedInTheCurrentWindowAndLeftInHighlight) {
  WinPush(3, 10, 10, 60);
  std::string text = "hello ";
  int piece = 0, pos = 3, key = 0;
  Headless().FeedKeys({'X', keys::kEsc});
  TextEdit(2, 5, piece, text, pos, key);
  EXPECT_EQ(Text(5, 15, 6), "heXllo");
  EXPECT_EQ(AttrAt(5, 15), testing::kAttrInput);
  EXPECT_EQ(Windows().colour, 0);
  EXPECT_EQ(ConCursorRow(), 5);
  EXPECT_EQ(ConCursorCol(), 15);
  EXPECT_FALSE(ConCursorVisible());

  EXPECT_EQ(piece, 7);  // 0 comes back as the end position

  ConSetCursor(20, 30);  // 0 takes the cursor's row and column
  Headless().FeedKeys({keys::kEsc});
  TextEdit(0, 0, piece, text, pos, key);
  EXPECT_EQ(Text(20, 30, 6), "heXllo");
}

TEST_F(EditorTest, MaskShowsXForEveryCharacter) {
  SetKeys("h", "");
  const Result r = Edit("     ", 1, {'s', 'e', 'c', keys::kEsc});
  EXPECT_EQ(r.text, "sec  ");
  EXPECT_EQ(Text(kRow, kCol, 6), "XXXXX ");
}

TEST_F(EditorTest, EnterEndsAsEndWhenTheScreenAcceptsEnd) {
  SetKeys("a", "4f00");
  EXPECT_EQ(Edit("abc", 1, {keys::kEnter}).key, keys::kEnd);
  SetKeys("ea", "d=4900");  // accepted Enter comes back translated
  EXPECT_EQ(Edit("abc", 1, {keys::kEnter}).key, keys::kPgUp);
  SetKeys("e", "");  // no table: any key the editor does not handle ends it
  EXPECT_EQ(Edit("abc", 1, {0x3D00}).key, 0x3D00);
  EXPECT_EQ(Edit("abc", 1, {keys::kPgDn}).key, keys::kPgDn);
}

TEST_F(EditorTest, ClickInsideMovesTheCursorAndOutsideEndsTheEdit) {
  Headless().Click(kRow, kCol + 2);
  Headless().Click(kRow + 1, 7);
  int piece = 0, pos = 1, key = 0;
  std::string text = "abcdef";
  TextEdit(kRow, kCol, piece, text, pos, key);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(key, -(7 * 100 + kRow + 1));

  piece = 3;  // a text area of two lines of three
  pos = 1;
  Headless().Click(kRow + 1, kCol + 1);
  Headless().Click(kRow, kCol + 3);  // just right of the area
  TextEdit(kRow, kCol, piece, text, pos, key);
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(key, -((kCol + 3) * 100 + kRow));
}

TEST_F(EditorTest, ClipboardCopiesTrimmedAndPastesOverTheText) {
  Edit("  ab c  ", 1, {keys::kCtrlC, keys::kEsc});
  EXPECT_EQ(ConClipboard(), "ab c");

  struct Case { std::string clip, text; int pos; std::string want; };
  const Case cases[] = {
      {"12345", "abc", 2, "a12"},
      {"  \x01" "9\x7F" "8\xFF  ", "abcd", 1, "98cd"},
      {"", "abc", 1, "abc"},
      {"zz", "abc", 4, "abc"},
  };
  for (const Case& c : cases) {
    ConSetClipboard(c.clip);
    const Result r = Edit(c.text, c.pos, {keys::kCtrlV, keys::kEsc});
    EXPECT_EQ(r.text, c.want) << "pasting into " << c.text;
    EXPECT_EQ(r.pos, c.pos) << "pasting into " << c.text;
  }
}

TEST_F(EditorTest, TextPastedIntoTheTerminalIsWrittenOverTheFieldNotTyped) {
  ConSetInsertMode(true);
  Headless().FeedPaste("  4567\r\n89  ");
  Headless().FeedKeys({keys::kEsc});
  int piece = 0, pos = 2, key = 0;
  std::string text = "abcdefghij";
  TextEdit(kRow, kCol, piece, text, pos, key);
  EXPECT_EQ(text, "a456789hij");  // the line end neither ends the edit nor takes room
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(key, keys::kEsc);
  EXPECT_EQ(ConClipboard(), "  4567\r\n89  ");  // the system's text is the clipboard now
}

TEST_F(EditorTest, HotKeyToolTypesIntoTheField) {
  SetHotKeyHandlers([] { return std::string("12"); }, nullptr);
  const Result r = Edit("      ", 1, {keys::kAltX, keys::kEsc});
  EXPECT_EQ(r.text, "12    ");
  EXPECT_EQ(r.pos, 3);
}

class OptionFieldTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    SetFieldHelp("|S,Si|N,No|T,Tots");
  }
};

TEST_F(OptionFieldTest, KeysChooseAmongTheOptions) {
  using namespace keys;
  struct Case {
    std::string text;
    std::vector<int> keys;
    std::string want;
    int wantKey;
  };
  const Case cases[] = {
      {"N", {kRight}, "T", kEsc},
      {"N", {kLeft}, "S", kEsc},
      {"S", {kLeft}, "T", kEsc},  // from the first to the last
      {"T", {kRight}, "S", kEsc},
      {"S", {' ', ' '}, "T", kEsc},
      {"S", {'n'}, "N", kEsc},
      {"N", {'n'}, "N", kEsc},  // only match: stays
      {"N", {'q'}, "N", kEsc},
      {"?", {}, "S", kEsc},  // no match: the first option
      {"S", {kBackspace, kDel, kCtrlY, kCtrlV}, "S", kEsc},
  };
  for (const Case& c : cases) {
    std::vector<int> fed = c.keys;
    if (c.keys.empty() || c.keys.back() != kEsc) fed.push_back(kEsc);
    const Result r = Edit(c.text, 1, fed);
    EXPECT_EQ(r.key, c.wantKey);
    EXPECT_EQ(r.text, c.want) << c.text << " with " << c.keys.size() << " keys";
  }
  EXPECT_EQ(Edit("S", 1, {kUp}).key, kUp);
  EXPECT_EQ(Edit("S", 1, {kDown}).key, kDown);
}

TEST_F(OptionFieldTest, ShowsTheLabelBetweenArrowsAndClearsThemAtTheEnd) {
  std::string text = "N  ";
  EditUntilWaiting(text, 1, {});
  EXPECT_EQ(Text(kRow, kCol - 1, 6), "\x11No  \x10");
  EXPECT_EQ(text, "N  ");
  EditUntilWaiting(text, 1, {keys::kRight});
  EXPECT_EQ(Text(kRow, kCol - 1, 6), "\x11Tots\x10");
  EXPECT_EQ(text, "T  ");
  EXPECT_FALSE(Headless().PresentedCursorVisible());

  const Result r = Edit("S", 1, {keys::kCtrlC, keys::kEsc});
  EXPECT_EQ(ConClipboard(), "Si");
  EXPECT_EQ(Text(kRow, kCol - 1, 6), " Si   ");
  EXPECT_EQ(r.key, keys::kEsc);
}

TEST_F(OptionFieldTest, AccentsAndCaseDoNotMatterWhenTypingACode) {
  SetFieldHelp(cp850("|A,Alta|E,Èxit|O,Obert"));
  EXPECT_EQ(Edit("A", 1, {0x82, keys::kEsc}).text, "E");  // é
  EXPECT_EQ(Edit("A", 1, {0xA2, keys::kEsc}).text, "O");  // ó
}

TEST_F(OptionFieldTest, ClicksOnTheArrowsStepAndElsewhereEnd) {
  // Label width 4 ("Tots"): the arrows are at columns 4 and 9.
  Headless().Click(kRow, kCol - 1);  // previous
  Headless().Click(kRow, kCol + 1);  // on the label: nothing
  Headless().Click(kRow, kCol + 4);  // next
  Headless().Click(kRow, kCol + 4);
  Headless().Click(kRow + 3, kCol);  // elsewhere: ends
  int piece = 0, pos = 1, key = 0;
  std::string text = "N";
  TextEdit(kRow, kCol, piece, text, pos, key);
  EXPECT_EQ(text, "T");  // N, back to S, then on to N and T
  EXPECT_EQ(key, -(kCol * 100 + kRow + 3));
}


// ---- The screen library on a real terminal ----------------------------------------------
//
// The test program itself is the small program: run with PALVORIN_EDITOR_ON_TTY set, the
// first test below takes the terminal, shows a message box and a framed window with a field,
// and edits the field until Enter or Esc. The second runs it inside tmux and types.

TEST(EditorOnATerminal, EditsAFieldInAFramedWindowOverAMessage) {
  if (std::getenv("PALVORIN_EDITOR_ON_TTY") == nullptr) {
    GTEST_SKIP() << "run by EditorOnATerminal.TypedKeysReachTheFieldThroughTmux";
  }
  testing::TempDir temp;
  testing::ResetHeadlessScreen();
  SessionState().tempDir = temp.folder();
  SessionState().colours = {{{15, 0}, {7, 0}, {0, 7}, {0, 7}, {14, 1}}};
  std::string error;
  auto terminal = TerminalConsole::Open(&error);
  ASSERT_NE(terminal, nullptr) << error;
  ConUseBackend(std::move(terminal));

  SetColour("n");
  ConScroll(1, 1, ScreenRows(), ScreenCols(), 0, ConAttr());
  ShowMessageBox(5, "Missatge de prova");
  SetColour("+h");
  WinPush(15, 10, 19, 50);
  DrawWindowFrame(2);
  LocateInWindow(0, 2);
  ConPrint(" Camp ");
  SetColour("-");
  SetKeys("+ea", "d,1b");
  std::string text = "hello     ";
  int piece = 0, pos = 1, key = 0;
  TextEdit(2, 3, piece, text, pos, key);
  SetKeys("-", "");
  WinPop();
  WinPop();
  ConUseBackend(nullptr);
  std::printf("edited=[%s] pos=%d key=%04X\n", text.c_str(), pos, key);
}

class EditorOnTmux : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::TmuxInstalled()) GTEST_SKIP() << "tmux is not installed";
    const std::string program = std::string(PALVORIN_BINARY_DIR) + "/tests/test_screen";
    if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << program;
    tmux_.Start(80, 25,
                "PALVORIN_EDITOR_ON_TTY=1 " + program +
                    " --gtest_filter=EditorOnATerminal.EditsAFieldInAFramedWindowOverAMessage; "
                    "sleep 600");
  }
  std::string Screen() { return tmux_.Screen(); }
  std::string Row(int row) {
    const std::string screen = Screen();
    size_t at = 0;
    for (int r = 1; r < row && at != std::string::npos; ++r) {
      at = screen.find('\n', at);
      if (at != std::string::npos) ++at;
    }
    return at == std::string::npos ? "" : screen.substr(at, screen.find('\n', at) - at);
  }
  bool WaitFor(const std::string& text) { return tmux_.WaitForText(text); }
  std::string Cursor() { return tmux_.Display("#{cursor_y},#{cursor_x} #{cursor_flag}"); }
  void Send(const std::string& keys) { tmux_.Send(keys); }

  testing::TmuxSession tmux_{"palvorin-editor", "ed"};
};

TEST_F(EditorOnTmux, TypedKeysReachTheFieldThroughTmux) {
  ASSERT_TRUE(WaitFor("hello")) << Screen();
  // The message box, centred on column 41 around row 5, and the framed window under it.
  std::string line;
  for (int i = 0; i < 19; ++i) line += "\u2500";
  EXPECT_EQ(Row(2), std::string(29, ' ') + "\u250C" + line + "\u2510") << Screen();
  EXPECT_EQ(Row(3).find("\u2502 Missatge de prova \u2502"), 29u) << Screen();
  EXPECT_EQ(Row(15).find("\u2554\u2550 Camp \u2550"), 9u) << Screen();
  EXPECT_EQ(Row(17).find("\u2551  hello"), 9u) << Screen();
  // The cursor waits on the field's first character, which is row 17, column 13.
  EXPECT_EQ(Cursor(), "16,12 1");

  Send("-l xy");  // inserted: the trailing blanks make room
  ASSERT_TRUE(WaitFor("xyhello")) << Screen();
  Send("IC");     // overwrite from here on
  Send("Home");
  Send("-l Q");
  ASSERT_TRUE(WaitFor("Qyhello")) << Screen();
  EXPECT_EQ(Cursor(), "16,13 1");
  Send("F5");     // not accepted by the screen: ignored
  Send("Enter");
  ASSERT_TRUE(WaitFor("edited=[Qyhello   ] pos=2 key=000D")) << Screen();
  EXPECT_EQ(Screen().find("Missatge"), std::string::npos) << "the terminal's own screen is back";
}

}  // namespace
}  // namespace palvorin
