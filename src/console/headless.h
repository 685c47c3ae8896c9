// The headless console: a backend without a terminal, for tests. Tests feed it key and mouse
// events and read the screen back as text and attributes. It keeps no clock: a wait with a
// limit on an empty queue returns "nothing came" at once.
//
// A wait without limit (-1) on an empty queue would never end; instead it throws
// HeadlessInputExhausted, which only tests catch (the program itself never runs headless
// without a script). A caller that polls in a loop is stopped the same way after
// kHeadlessEmptyPollLimit polls in a row have found nothing. A test that expects the code
// under test to wait for more keys writes
//   EXPECT_THROW(RunTheForm(), HeadlessInputExhausted);
// Typical use:
//   ResetConsoleForTest();
//   Headless().FeedText("12");
//   Headless().FeedKeys({0x0D, 0x1B});
//   ... run the screen ...
//   EXPECT_EQ(Headless().RowText(3), "  Total: 12");
#ifndef PALVORIN_CONSOLE_HEADLESS_H_
#define PALVORIN_CONSOLE_HEADLESS_H_

#include <deque>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console.h"

namespace palvorin {

// Thrown by a wait without limit when the fed events have all been taken.
class HeadlessInputExhausted : public std::runtime_error {
 public:
  HeadlessInputExhausted() : std::runtime_error("headless console: no more input fed") {}
};

// Polls in a row on an empty queue after which the headless console gives up.
constexpr int kHeadlessEmptyPollLimit = 100000;

class HeadlessConsole : public ConsoleBackend {
 public:
  // Queues key codes as key events without modifiers (0x1B Esc, 0x3B00 F1, 'a').
  void FeedKeys(std::initializer_list<int> keys);
  void FeedKeys(const std::vector<int>& keys);
  // Queues one key with control-key state bits (kModShift/kModCtrl/kModAlt).
  void FeedKey(int key, int mods);
  // Queues every byte of `cp850Text` as a character key.
  void FeedText(std::string_view cp850Text);
  // Queues text pasted into the terminal (CP850): one Ctrl+V carrying it.
  void FeedPaste(std::string_view cp850Text);
  // Queues a mouse press at a 1-based screen cell; button 1 left, 2 right, 3 middle.
  void Click(int row, int col, int button = 1, int mods = 0);
  void FeedEvent(const InputEvent& event);
  // Queues a change of the terminal's size, made when the events fed before it have been
  // taken. The terminal starts as large as the screen.
  void FeedResize(int rows, int cols);
  // Events (and sizes) fed and not yet taken.
  size_t Pending() const { return queue_.size(); }
  // A terminal without colours from now on.
  void SetMonochrome(bool on) { monochrome_ = on; }

  // The screen as the console holds it now (what the next flush shows), CP850: one row of
  // ScreenCols() bytes, or all rows joined by '\n'.
  std::string RowText(int row) const;
  std::string ScreenText() const;
  // The same in UTF-8, with the PC glyphs for bytes 1 to 31 (16 as ►, 17 as ◄).
  std::string RowTextUtf8(int row) const;
  std::string ScreenTextUtf8() const;
  // One attribute byte per cell of the row.
  std::vector<uint8_t> RowAttrs(int row) const;

  // What the last flush showed: cursor place, visibility and shape; how many flushes came.
  int PresentedCursorRow() const { return cursorRow_; }
  int PresentedCursorCol() const { return cursorCol_; }
  bool PresentedCursorVisible() const { return cursorVisible_; }
  bool PresentedInsertShape() const { return insertShape_; }
  int Presents() const { return presents_; }

  // Bell signals given, and the last text sent to the system clipboard.
  int Beeps() const { return beeps_; }
  const std::string& SystemClipboard() const { return systemClipboard_; }
  // How many waits found nothing (timed waits and polls).
  int EmptyWaits() const { return emptyWaits_; }

  void Present(std::span<const Cell> cells, int rows, int cols, int cursorRow, int cursorCol,
               bool cursorVisible, bool insertShape) override;
  std::optional<InputEvent> WaitEvent(int timeoutMs) override;
  void CopyToSystemClipboard(std::string_view text) override;
  void Beep() override { ++beeps_; }
  bool ShowsScreen() const override;
  bool Monochrome() const override { return monochrome_; }

 private:
  struct Fed {
    InputEvent event;
    int rows = 0;  // a resize to rows x cols when not 0
    int cols = 0;
  };
  std::deque<Fed> queue_;
  int rows_ = 0;  // the terminal's size; 0: as large as the screen
  int cols_ = 0;
  bool monochrome_ = false;
  int cursorRow_ = 1;
  int cursorCol_ = 1;
  bool cursorVisible_ = true;
  bool insertShape_ = true;
  int presents_ = 0;
  int beeps_ = 0;
  int emptyWaits_ = 0;
  int emptyInARow_ = 0;
  std::string systemClipboard_;
};

// The console's headless backend: after ResetConsoleForTest() the one in use; installs a
// fresh one when another backend is in use.
HeadlessConsole& Headless();

}  // namespace palvorin

#endif  // PALVORIN_CONSOLE_HEADLESS_H_
