// Keys, mouse presses and hot keys. All input of the module's screens comes through here.
//
// A key code is the character's code for a key that types one (1 to 255, code page 850) and
// the keyboard scan code times 256 for an extended key (F1 0x3B00, Up 0x4800, Alt+X 0x2D00).
// Codes are held in an int from 0 to 0xFFFF; the editors code a mouse click as a negative
// number, -(column * 100 + row).
//
// Alt+X and Alt+C open the calculator and the calendar from any wait for a key; what they
// return is then delivered as if typed. The current screen names the keys it accepts in the
// key table, each with the code it is to be returned as; the field editor ends only on those.
#ifndef PALVORIN_SCREEN_KEYBOARD_H_
#define PALVORIN_SCREEN_KEYBOARD_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"

namespace palvorin {

// Key codes the library uses.
namespace keys {
constexpr int kCtrlC = 0x03;
constexpr int kBackspace = 0x08;
constexpr int kTab = 0x09;
constexpr int kEnter = 0x0D;
constexpr int kCtrlV = 0x16;
constexpr int kCtrlY = 0x19;
constexpr int kEsc = 0x1B;
constexpr int kShiftTab = 0x0F00;
constexpr int kAltE = 0x1200;
constexpr int kAltX = 0x2D00;
constexpr int kAltC = 0x2E00;
constexpr int kF1 = 0x3B00;
constexpr int kF2 = 0x3C00;
constexpr int kF4 = 0x3E00;
constexpr int kF10 = 0x4400;
constexpr int kHome = 0x4700;
constexpr int kUp = 0x4800;
constexpr int kPgUp = 0x4900;
constexpr int kLeft = 0x4B00;
constexpr int kPad5 = 0x4C00;
constexpr int kRight = 0x4D00;
constexpr int kEnd = 0x4F00;
constexpr int kDown = 0x5000;
constexpr int kPgDn = 0x5100;
constexpr int kIns = 0x5200;
constexpr int kDel = 0x5300;
constexpr int kCtrlF4 = 0x6100;
constexpr int kAltF4 = 0x6B00;
constexpr int kCtrlLeft = 0x7300;
constexpr int kCtrlRight = 0x7400;
constexpr int kCtrlHome = 0x7700;
constexpr int kF11 = 0x8500;
constexpr int kF12 = 0x8600;
}  // namespace keys

// One entry of the key table: the key accepted and the code it is returned as.
struct KeyEntry {
  int accepted = 0;
  int returned = 0;
  bool operator==(const KeyEntry&) const = default;
};

// The input state of the run.
struct KeyboardState {
  std::string typeAhead;  // characters still to be delivered as keys, first first
  // 0 not yet set up, 1 mouse input on, 2 mouse present but input off, 3 no mouse.
  int mouseState = 0;
  bool calculatorRunning = false;
  bool calendarRunning = false;
  std::vector<KeyEntry> keyTable;
  std::vector<KeyEntry> savedKeyTable;
  bool saved = false;  // a table is saved by "+"
  int maskChar = 0;    // 0, or the character shown instead of typed text ('X')
  std::string fieldHelp;  // option list or help of the field being edited
  // An event taken from the console that ended an Alt+keypad entry; delivered next.
  std::optional<InputEvent> pushedBack;
  // The pop-up tools Alt+X and Alt+C open; each returns the text to type (empty: nothing).
  std::function<std::string()> calculator;
  std::function<std::string()> calendar;
};

// The run's only input state.
KeyboardState& Keyboard();
// KeyboardState{} again (hot-key tools removed), for tests.
void ResetKeyboardForTest();

// Installs the tools that Alt+X (calculator) and Alt+C (calendar) open. Until then both keys
// open nothing and are simply returned.
void SetHotKeyHandlers(std::function<std::string()> calculator,
                       std::function<std::string()> calendar);

// Takes the next key or mouse press without waiting: `key` is its code, 0 for a mouse press
// or when nothing is pending; `button` (1 left, 2 right), `row` and `col` (1-based screen
// cell) describe a press and are 0 for keys. Applies Alt+keypad character entry, the Shift,
// Ctrl and Alt forms of the function keys, Alt+E as the byte 0xD5, and runs the hot-key
// tools (the hot key itself is still returned).
void ReadKey(int& key, int& button, int& row, int& col);
// The same, but waits (using no CPU) until a key or press comes. Should the input go away for
// good (the terminal closed), it answers Esc so that every screen winds down.
void AwaitKey(int& key, int& button, int& row, int& col);
// Waits for a key or a mouse press; a press is coded as column * 256 + button * 64 + row.
void GetKey(int& key);

// Throws away every key typed ahead and every pending console event.
void DiscardPendingKeys();

// Edits the key table. The letters of `commands`, left to right, case-insensitive:
// "a" adds each comma-separated hexadecimal code of `list` ("1b", or "d=4f00" to accept Enter
// and return End); "d" removes the first entry of each code of `list`; "e" empties the table;
// "+" saves the table unless one is already saved (one level); "-" brings the saved table
// back; "h" masks typed text with "X"; "v" shows it again. Other letters are ignored.
void SetKeys(std::string_view commands, std::string_view list);

// Whether `key` is in the key table; `returned` gets the code it is returned as.
bool LookUpKey(int key, int& returned);

// Sets the option list or help text of the field about to be edited.
void SetFieldHelp(std::string_view text);

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_KEYBOARD_H_
