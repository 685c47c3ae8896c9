// Colours and windows. Every screen of the module draws through here.
//
// Colours come from the session's five-entry colour table: entry 0 highlight ("h", or no
// letter), 1 normal ("n"), 2 reverse ("r"), 3 reverse-normal ("rn"), 4 input ("u"). A colour
// command may save the current entry first ("+") or bring back the last saved one ("-"). On a
// console without colours the entries are bright white, grey, and reverse video for the last
// three, whatever the table says.
//
// A window is a rectangle of the screen whose cells, together with the cursor and the window
// that was current, are saved by WinPush and put back by WinPop. The saved rectangles are kept
// as a stack in the file "WinPush.tmp" of the temporary folder, one record per window, so
// dialogs nest to any depth: offset 0 holds the next free position (4-byte little-endian,
// counted from 1; 5 when empty), then the records, oldest first. A record is ten 2-digit
// fields (cursor row and column, the previous window's top, left, bottom, right, the saved
// rectangle's top, left, bottom, right), the cells row by row as character and attribute
// bytes, and a 5-digit record length. The file is deleted by the pop that empties it.
//
// Rows and columns are 1-based screen cells; inside a window, (1, 1) is the first cell within
// the frame and (0, 0) the frame's top-left corner.
#ifndef PALVORIN_SCREEN_WINDOWS_H_
#define PALVORIN_SCREEN_WINDOWS_H_

#include <string>
#include <string_view>
#include <vector>

namespace palvorin {

// The window and colour state of the run.
struct WindowState {
  int depth = 0;  // windows pushed and not yet popped
  int top = 0;    // the current window's frame corners, absolute; all 0 with no window
  int left = 0;
  int bottom = 0;
  int right = 0;
  int colour = 0;            // index of the colour entry last selected, 0 to 4
  std::string colourStack;   // one byte per saved colour index, newest last
  // Records of windows that could not be written to the stack file (its folder missing or
  // not writable), kept here instead, each with the depth it was pushed at, newest last.
  struct KeptRecord {
    int depth = 0;
    std::string bytes;  // the record as the stack file would hold it
  };
  std::vector<KeptRecord> kept;
};

// The run's only window state.
WindowState& Windows();
// WindowState{} again, for tests. The stack file is left alone.
void ResetWindowsForTest();

// Selects a colour by its letters, case-insensitive: "+" saves the current entry first; "-"
// brings back the newest saved entry (entry 0 when none is saved) and ignores the letters;
// otherwise "u" selects entry 4, else "r" counts 2 and "n" counts 1 (so "h" or no letter is
// entry 0, "rn" entry 3). A text that is empty or only spaces changes nothing.
void SetColour(std::string_view flags);

// Puts the cursor at (row, col) of the current window, or of the screen with no window open.
void LocateInWindow(int row, int col);

// The first row and column inside the current window (1 with no window), and its last column
// (the screen's last column with no window).
int WinFirstRow();
int WinFirstCol();
int WinLastCol();

// Saves the rectangle's cells, the cursor and the current window, and makes the rectangle the
// current window. Draws nothing. A rectangle reaching outside the screen saves nothing and
// changes nothing. When the stack file cannot be written the record is kept in memory, so
// the window still comes off again.
void WinPush(int top, int left, int bottom, int right);
// Puts back the newest saved rectangle, cursor and window. With nothing saved it does
// nothing. The console is left with the attribute of the last cell put back: select a colour
// before printing again.
void WinPop();

// Draws the current window's frame in the current colour and clears its inside: style 0 with
// spaces, 1 with single lines, 2 with double lines. Nothing happens with no window open.
void DrawWindowFrame(int style);

// Moves the block from row top + 1, column left + 1 to row bottom + 1, column right + 1 up by
// `lines` (down by -lines when negative; 0 moves it down one line). The lines that come free
// are blanks in the current colour. Callers pass a frame's top and left and its bottom - 2
// and right - 2, which moves exactly the window's inside.
void ScrollRegion(int top, int left, int bottom, int right, int lines);

// Word-wraps `text` into lines of `width` characters and returns them one after another.
// Bytes below 32 (colour toggles of help texts) take no room. `indent` > 0 indents the first
// line by that much; < 0 indents every line but the first by -indent. `align`: "L", "E" or
// "I" pad on the right, "N" pads with "-", "R" or "D" pad on the left, "C" centres, "A" or
// "B" justify every line but the last; any other letter leaves lines unpadded. A word longer
// than a line is cut.
std::string FormatParagraph(std::string_view text, int indent, int width,
                            std::string_view align);
// The same lines, one entry each.
std::vector<std::string> FormatParagraphLines(std::string_view text, int indent, int width,
                                              std::string_view align);

// Gives the console the texts it shows by itself (the notice of a terminal too small for the
// screen) in the operator's language. Called once the session is read and the program named.
void TranslateConsoleTexts();

// Shows `text` in reverse colour in a single-line frame centred on column 41 around `row`,
// each of its lines ("\n" ends one) wrapped at 76 characters, and leaves that window open: the caller closes it with WinPop
// when the message has been read or the condition it reports is over. A message too tall
// for the screen shows its first lines; the window is always opened, so every call is
// matched by exactly one WinPop.
void ShowMessageBox(int row, std::string_view text);

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_WINDOWS_H_
