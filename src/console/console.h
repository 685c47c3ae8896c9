// The text console the screen library draws on: an in-memory screen of cells (one CP850
// byte and one attribute byte each, attribute = background * 16 + foreground), a cursor,
// and a queue of key and mouse events. A backend shows the cells and supplies the events:
// the terminal backend on a real terminal, the headless backend in tests. Rows and columns
// are 1-based, as the screen library counts them.
#ifndef PALVORIN_CONSOLE_CONSOLE_H_
#define PALVORIN_CONSOLE_CONSOLE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace palvorin {

struct Cell {
  uint8_t ch = ' ';
  uint8_t attr = 0x07;
  bool operator==(const Cell&) const = default;
};

// Control-key state bits of an event.
constexpr int kModShift = 1;
constexpr int kModCtrl = 2;
constexpr int kModAlt = 4;

// One key press or mouse press. A key is its key code: a character key its CP850 code, an
// extended key its scan code * 256 (F1 0x3B00, Up 0x4800, Alt+X 0x2D00, Shift+Tab 0x0F00).
// As on a PC keyboard, a function or cursor key keeps its own code whatever is held with
// it, and `mods` says what was held: Ctrl+F1 is key 0x3B00 with kModCtrl, Ctrl+Home key
// 0x4700 with kModCtrl (the keyboard layer makes 0x5E00 and 0x7700 of them). Alt with a
// letter or digit gives that key's Alt code with kModAlt (Alt+X 0x2D00, Alt+1 0x7800).
//
// Text pasted into the terminal is the system clipboard's text reaching the program: it comes
// as one Ctrl+V (key 0x16 with kModCtrl) carrying the text (CP850) in `pasted`, and the
// console makes that text its clipboard before the key is handed on, so the field editor's
// Ctrl+V writes it in.
struct InputEvent {
  enum class Kind { Key, Mouse };
  Kind kind = Kind::Key;
  int key = 0;          // Kind::Key
  int mods = 0;         // kMod* bits held with the key or the press
  bool keypad = false;  // Kind::Key: a digit key of the numeric keypad
  int button = 0;       // Kind::Mouse: 1 left, 2 right, 3 middle
  int row = 0;          // Kind::Mouse: 1-based screen cell of the press
  int col = 0;
  std::optional<std::string> pasted = std::nullopt;  // Kind::Key: the text of a paste
};

// What a backend does for the console. The console owns the cells; the backend shows them
// and delivers input.
class ConsoleBackend {
 public:
  virtual ~ConsoleBackend() = default;
  // Shows the console's cells and cursor as they now are (a terminal sends only changes).
  virtual void Present(std::span<const Cell> cells, int rows, int cols, int cursorRow,
                       int cursorCol, bool cursorVisible, bool insertShape) = 0;
  // The next event, waiting at most `timeoutMs` (0: do not wait; -1: until one comes).
  // nullopt when none came in time.
  virtual std::optional<InputEvent> WaitEvent(int timeoutMs) = 0;
  // Puts `text` (CP850) on the system clipboard where the backend has one.
  virtual void CopyToSystemClipboard(std::string_view text) { (void)text; }
  // A short audible signal.
  virtual void Beep() {}
  // False while the terminal is too small to show the screen: the operator cannot see what a
  // key would do there, so the console throws input away meanwhile.
  virtual bool ShowsScreen() const { return true; }
  // True for a terminal that is to show no colours (NO_COLOR set, TERM=dumb).
  virtual bool Monochrome() const { return false; }
};

// ---- The console state: one screen, one cursor, one backend. -----------------------------

int ScreenRows();  // 25
int ScreenCols();  // 80

void ConSetCursor(int row, int col);
int ConCursorRow();
int ConCursorCol();
void ConShowCursor(bool visible);
bool ConCursorVisible();
// The cursor's shape follows the Insert toggle: half height while inserting, full otherwise.

// The attribute that ConPrint writes with.
void ConSetAttr(uint8_t attr);
uint8_t ConAttr();

// Writes `text` (CP850 bytes, every byte a glyph) at the cursor with the current attribute
// and moves the cursor past it; writing stops at the end of the screen's last cell.
void ConPrint(std::string_view text);

Cell ConReadCell(int row, int col);  // a blank cell outside the screen
void ConWriteCell(int row, int col, Cell cell);
// Copies the rectangle's cells out, row by row / back in the same order.
std::vector<Cell> ConReadRect(int top, int left, int bottom, int right);
void ConWriteRect(int top, int left, int bottom, int right, std::span<const Cell> cells);

// Scrolls the rectangle up by `lines` (down when negative); rows brought in are blanks with
// attribute `fill`. `lines` 0 or beyond the height clears the rectangle.
void ConScroll(int top, int left, int bottom, int right, int lines, uint8_t fill);

// Sends the screen to the backend (done before every wait for input).
void ConFlush();

// The next event without waiting, or nullopt. A paste's text becomes the clipboard. Keys,
// presses and pastes that come while the terminal is too small to show the screen are thrown
// away.
std::optional<InputEvent> ConPollEvent();
// The next event, waiting at most `timeoutMs` (-1: without limit) and using no CPU meanwhile;
// what comes while the terminal is too small is thrown away as by ConPollEvent.
std::optional<InputEvent> ConWaitEvent(int timeoutMs);

// True when the screen is drawn without colours; the screen library then keeps to bright,
// normal and reverse video.
bool ConMonochrome();

// The notice a terminal too small for the screen shows instead of it (CP850): "%1" stands for
// the size the screen needs and "%2" for the terminal's ("80x25", "60x20"). The program gives
// it in the operator's language; until then it is English.
void ConSetSmallTerminalNotice(std::string_view text);
const std::string& ConSmallTerminalNotice();

// The keyboard's Insert toggle, shared by every editor of the program. On at start.
bool ConInsertMode();
void ConSetInsertMode(bool on);

// The program's clipboard (CP850); setting it also sets the terminal's where possible.
const std::string& ConClipboard();
void ConSetClipboard(std::string_view text);

void ConBeep();

// Replaces the backend (the headless one until the shell installs the terminal's).
void ConUseBackend(std::unique_ptr<ConsoleBackend> backend);
// Blank screen, cursor at 1,1, attribute 7, Insert on, empty clipboard, a fresh headless
// backend: for tests.
void ResetConsoleForTest();

}  // namespace palvorin

#endif  // PALVORIN_CONSOLE_CONSOLE_H_
