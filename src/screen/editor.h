// The field editor: edits one fixed-length text in place on the screen.
//
// The text keeps its length: a typed character replaces one, or is inserted at the cost of the
// last character (only when that is a space); deleting one adds a space at the end. The cursor
// position runs from 1 to length + 1. A text area shows its text as lines of `piece`
// characters one under another. Insert and overwrite follow the console's Insert toggle, which
// Ins flips for every editor of the program.
//
// The field help set with SetFieldHelp, when it holds entries "|code,label", makes the field an
// option field: the text is one of the codes, its label is shown between the arrows 17 and 16
// (◄ ►), and Left, Right, Space or the first letter of a code choose another option. A mask
// set with SetKeys("h") shows "X" for every character.
//
// The edit ends on a key of the key table (SetKeys), returned as the table translates it; with
// an empty table, on every key the editor does not handle itself. Tab counts as Enter, Enter as
// End when the table accepts End (as End), Shift+Tab as Up, Ctrl+F4 and Alt+F4 as Esc. A table
// that turns End into another key ("4f00=2") takes End for itself: End then ends the edit
// instead of moving the cursor after the text, and Enter stays Enter. A mouse press outside
// the field ends it too, coded -(column * 100 + row) in screen cells.
#ifndef PALVORIN_SCREEN_EDITOR_H_
#define PALVORIN_SCREEN_EDITOR_H_

#include <string>

namespace palvorin {

// Edits `text` at (row, col) of the current window (0 for either: the cursor's row or column).
// `piece` is the number of characters per line; 0 means the whole text on one line and is
// written back as length + 1. `pos` is the starting cursor position, clamped to 1..length + 1,
// and comes back as the final one. `key` gets the key that ended the edit.
void TextEdit(int row, int col, int& piece, std::string& text, int& pos, int& key);

// The same for a field whose text may be marked, as a form marks a field's value when the
// operator enters it. While `marked`, the text up to its last non-blank character shows in
// the input colour turned round, and the first character typed (or a paste) clears the text
// before it goes in, so a new value replaces the old one; a movement or editing key first
// (arrows, Home, End, Backspace, Del, Ins, a click in the field) unmarks it and edits the text
// as it stands. Text that a pop-up tool (Alt+C, Alt+X) types marks the text again, so a picked
// date or a computed result replaces the value too. Option fields ignore the mark. `marked`
// comes back false once the text was unmarked or typed over.
void TextEdit(int row, int col, int& piece, std::string& text, int& pos, int& key, bool& marked);

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_EDITOR_H_
