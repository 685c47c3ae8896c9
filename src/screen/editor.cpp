// The field editor: single-line fields, text areas, secret fields and option fields.
#include "screen/editor.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "textlib/text.h"

namespace palvorin {
namespace {

constexpr char kLeftArrow = 17;   // ◄
constexpr char kRightArrow = 16;  // ►
constexpr std::string_view kWordBreaks = " ,.;:";

struct Option {
  std::string code;
  std::string label;
};

// The options of a field help text: entries of "|", a code, "," and a label.
std::vector<Option> ParseOptions(std::string_view help) {
  std::vector<Option> options;
  for (size_t bar = help.find('|'); bar != std::string_view::npos;) {
    const size_t next = help.find('|', bar + 1);
    std::string_view entry =
        help.substr(bar + 1, next == std::string_view::npos ? std::string_view::npos
                                                            : next - bar - 1);
    const size_t comma = entry.find(',');
    Option option{std::string(entry.substr(0, comma)), std::string()};
    if (comma != std::string_view::npos) option.label = std::string(entry.substr(comma + 1));
    options.push_back(std::move(option));
    bar = next;
  }
  return options;
}

std::string_view TrimRight(std::string_view text) {
  const size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

std::string_view Trim(std::string_view text) {
  const size_t start = text.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string_view() : TrimRight(text.substr(start));
}

// A character as a plain capital without accent (blank for anything but a letter).
char PlainCapital(char c) { return FoldPlain(std::string_view(&c, 1))[0]; }

bool IsBreak(char c) { return kWordBreaks.find(c) != std::string_view::npos; }

// One edit in progress.
class Editor {
 public:
  Editor(int row, int col, int piece, std::string& text, int pos, bool marked)
      : row_(row),
        col_(col),
        n_(static_cast<int>(text.size()) + 1),
        piece_(piece > 0 ? piece : n_),
        text_(text),
        pos_(std::clamp(pos, 1, n_)),
        options_(ParseOptions(Keyboard().fieldHelp)) {
    const int length = n_ - 1;
    lines_ = (length + piece_ - 1) / piece_;
    const std::string_view typed = TrimRight(text_);
    for (size_t i = 0; i < options_.size(); ++i) {
      labelWidth_ = std::max(labelWidth_, static_cast<int>(options_[i].label.size()));
      if (TrimRight(options_[i].code) == typed && current_ == options_.size()) current_ = i;
    }
    if (current_ == options_.size()) current_ = 0;
    marked_ = marked && !HasOptions();
  }

  int Run();
  int piece() const { return piece_; }
  int pos() const { return pos_; }
  bool marked() const { return marked_; }

 private:
  bool HasOptions() const { return !options_.empty(); }
  void Show();
  void PlaceCursor() const;
  void PutArrows(char left, char right) const;
  int Await();
  // Handles a key that does not end the edit; false for one that ends it.
  bool Handle(int key);
  bool HandleClick(int key);
  bool HandleEditingKey(int key, bool options);
  void Type(char c);
  void DeleteAt(int at);
  void WordLeft();
  void WordRight();
  void Paste();
  // A character or a paste over a marked text: the text goes first.
  void ReplaceMarked();

  int row_, col_;  // the field's first cell on the screen
  int n_;          // the position after the last character
  int piece_;
  std::string& text_;
  int pos_;
  int lines_ = 0;
  std::vector<Option> options_;
  size_t current_ = options_.size();  // set by the constructor
  int labelWidth_ = 0;
  bool marked_ = false;  // the text is marked: typing replaces it
  uint8_t input_ = 0;    // the input colour's attribute
};

void Editor::PutArrows(char left, char right) const {
  ConWriteCell(row_, col_ - 1, Cell{static_cast<uint8_t>(left), ConAttr()});
  ConWriteCell(row_, col_ + labelWidth_, Cell{static_cast<uint8_t>(right), ConAttr()});
}

void Editor::Show() {
  ConSetAttr(input_);
  if (HasOptions()) {
    const Option& option = options_[current_];
    std::string code = option.code;
    code.resize(text_.size(), ' ');
    text_ = code;
    std::string label = option.label;
    label.resize(static_cast<size_t>(labelWidth_), ' ');
    ConSetCursor(row_, col_);
    ConPrint(label);
    return;
  }
  const char mask = static_cast<char>(Keyboard().maskChar);
  // A marked text shows in the input colour turned round: background and foreground swapped.
  const uint8_t turned = static_cast<uint8_t>((input_ << 4) | (input_ >> 4));
  const size_t markEnd = marked_ ? TrimRight(text_).size() : 0;
  for (int line = 0; line < lines_; ++line) {
    const size_t start = static_cast<size_t>(line * piece_);
    std::string part = text_.substr(start, static_cast<size_t>(piece_));
    if (mask != 0) part.assign(part.size(), mask);
    const size_t inMark = markEnd > start ? std::min(part.size(), markEnd - start) : 0;
    ConSetCursor(row_ + line, col_);
    ConSetAttr(turned);
    ConPrint(std::string_view(part).substr(0, inMark));
    ConSetAttr(input_);
    ConPrint(std::string_view(part).substr(inMark));
  }
}

void Editor::PlaceCursor() const {
  if (HasOptions()) {  // the label is the field: no cursor in it
    ConShowCursor(false);
    return;
  }
  int line = (pos_ - 1) / piece_, column = (pos_ - 1) % piece_;
  if (pos_ == n_ && column == 0 && pos_ > 1) {  // after a full last line: stay at its end
    --line;
    column = piece_;
  }
  ConSetCursor(row_ + line, col_ + column);
  ConShowCursor(true);
}

// The next key, Ins handled; a mouse press comes as -(column * 100 + row).
int Editor::Await() {
  for (;;) {
    int key = 0, button = 0, row = 0, col = 0;
    AwaitKey(key, button, row, col);
    if (key == keys::kIns) {
      ConSetInsertMode(!ConInsertMode());
      if (marked_) {
        marked_ = false;
        Show();
      }
      PlaceCursor();
      continue;
    }
    ConShowCursor(false);
    return key != 0 ? key : -(col * 100 + row);
  }
}

void Editor::Type(char c) {
  if (ConInsertMode()) {
    if (pos_ < n_ && text_.back() == ' ') {
      text_.insert(static_cast<size_t>(pos_ - 1), 1, c);
      text_.pop_back();
      ++pos_;
    }
  } else if (pos_ < n_) {
    text_[static_cast<size_t>(pos_ - 1)] = c;
    ++pos_;
  }
}

void Editor::DeleteAt(int at) {
  text_.erase(static_cast<size_t>(at - 1), 1);
  text_.push_back(' ');
}

void Editor::WordLeft() {
  int j = pos_ - 1;  // the character before the cursor
  while (j >= 1 && IsBreak(text_[static_cast<size_t>(j - 1)])) --j;
  while (j >= 1 && !IsBreak(text_[static_cast<size_t>(j - 1)])) --j;
  pos_ = j + 1;
}

void Editor::WordRight() {
  int j = pos_;
  while (j < n_ && !IsBreak(text_[static_cast<size_t>(j - 1)])) ++j;
  while (j < n_ && IsBreak(text_[static_cast<size_t>(j - 1)])) ++j;
  pos_ = j;
}

// Writes the clipboard's text over the text from the cursor on, without its control
// characters and outer spaces; the length and the cursor stay.
void Editor::Paste() {
  std::string clean;
  for (char c : ConClipboard()) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 32 && b != 127 && b != 255) clean.push_back(c);
  }
  const std::string_view pasted = Trim(clean);
  for (size_t i = 0; i < pasted.size() && pos_ - 1 + i < text_.size(); ++i) {
    text_[pos_ - 1 + i] = pasted[i];
  }
}

void Editor::ReplaceMarked() {
  if (!marked_) return;
  marked_ = false;
  text_.assign(text_.size(), ' ');
  pos_ = 1;
}

bool Editor::HandleClick(int key) {
  const int row = -key % 100, col = -key / 100;
  if (HasOptions()) {
    if (row != row_ || col < col_ - 1 || col > col_ + labelWidth_) return false;
    if (col == col_ - 1) return Handle(keys::kLeft);
    if (col == col_ + labelWidth_) return Handle(keys::kRight);
    return true;
  }
  if (row < row_ || row >= row_ + lines_ || col < col_ || col >= col_ + piece_) return false;
  pos_ = std::min(n_, (row - row_) * piece_ + (col - col_) + 1);
  marked_ = false;
  return true;
}

bool Editor::Handle(int key) {
  if (key < 0) return HandleClick(key);
  const bool options = HasOptions();
  const bool printable =
      (key >= (options ? 33 : 32) && key <= 126) || (key >= 128 && key <= 254);
  if (printable) {
    const char c = static_cast<char>(key);
    if (!options) {
      ReplaceMarked();
      Type(c);
      return true;
    }
    // The next option whose code or label starts with the letter typed, accents and case
    // aside: "S" chooses the option labelled "Sí" whatever its code.
    const char want = PlainCapital(c);
    const auto startsWith = [want](const std::string& t) {
      return !t.empty() && PlainCapital(t[0]) == want;
    };
    for (size_t step = 1; step <= options_.size(); ++step) {
      const size_t i = (current_ + step) % options_.size();
      if (startsWith(options_[i].code) || startsWith(options_[i].label)) {
        current_ = i;
        break;
      }
    }
    return true;
  }
  if (key == keys::kAltC || key == keys::kAltX) {
    // What the tool typed ahead replaces the text, as if the operator had typed it.
    if (!Keyboard().typeAhead.empty() && !options) marked_ = true;
    return false;
  }
  if (key == keys::kCtrlC) {
    ConSetClipboard(Trim(options ? options_[current_].label : text_));
    return true;
  }
  if (key == keys::kCtrlV) {
    if (!options) {
      ReplaceMarked();
      Paste();
    }
    return true;
  }
  // A screen that turns End into another key takes End for itself: the edit ends with it.
  int returned = 0;
  if (key == keys::kEnd && LookUpKey(keys::kEnd, returned) && returned != keys::kEnd) {
    return false;
  }
  // Every other key the editor handles moves the cursor or edits the text as it stands.
  const bool handled = HandleEditingKey(key, options);
  if (handled) marked_ = false;
  return handled;
}

bool Editor::HandleEditingKey(int key, bool options) {
  switch (key) {
    case keys::kLeft:
      if (options) {
        current_ = (current_ + options_.size() - 1) % options_.size();
      } else if (pos_ > 1) {
        --pos_;
      }
      return true;
    case ' ':  // reaches here only in an option field
    case keys::kRight:
      if (options) {
        current_ = (current_ + 1) % options_.size();
      } else if (pos_ < n_) {
        ++pos_;
      }
      return true;
    case keys::kBackspace:
      if (!options && pos_ > 1) DeleteAt(--pos_);
      return true;
    case keys::kDel:
      if (!options && pos_ < n_) DeleteAt(pos_);
      return true;
    case keys::kHome:
      pos_ = 1;
      return true;
    case keys::kEnd:
      pos_ = static_cast<int>(TrimRight(text_).size()) + 1;
      return true;
    case keys::kCtrlHome:
    case keys::kCtrlY:
      if (!options) {
        text_.assign(text_.size(), ' ');
        pos_ = 1;
      }
      return true;
    case keys::kUp:
    case keys::kShiftTab:
      if (options || pos_ <= piece_) return false;
      pos_ -= piece_;
      return true;
    case keys::kDown:
      if (options || pos_ > n_ - piece_) return false;
      pos_ += piece_;
      return true;
    case keys::kCtrlLeft:
      if (options || pos_ == 1) return false;
      WordLeft();
      return true;
    case keys::kCtrlRight:
      if (options || pos_ == n_) return false;
      WordRight();
      return true;
    default:
      return false;
  }
}

int Editor::Run() {
  if (HasOptions()) PutArrows(kLeftArrow, kRightArrow);
  SetColour("u");
  input_ = ConAttr();
  int result = 0;
  for (;;) {
    Show();
    PlaceCursor();
    const int key = Await();
    if (Handle(key)) continue;
    int ending = key;
    if (ending == keys::kShiftTab) ending = keys::kUp;
    if (ending == keys::kTab) ending = keys::kEnter;
    int endAs = 0;
    if (ending == keys::kEnter && LookUpKey(keys::kEnd, endAs) && endAs == keys::kEnd) {
      ending = keys::kEnd;
    }
    if (ending == keys::kCtrlF4 || ending == keys::kAltF4) ending = keys::kEsc;
    if (Keyboard().keyTable.empty() || ending < 0) {
      result = ending;
      break;
    }
    if (LookUpKey(ending, result)) break;
    // A key the screen does not accept: editing goes on.
  }
  SetColour("h");
  if (HasOptions()) PutArrows(' ', ' ');
  ConSetCursor(row_, col_);
  return result;
}

}  // namespace

void TextEdit(int row, int col, int& piece, std::string& text, int& pos, int& key,
              bool& marked) {
  const WindowState& w = Windows();
  const int top = w.depth == 0 ? 0 : w.top, left = w.depth == 0 ? 0 : w.left;
  const int screenRow = row == 0 ? ConCursorRow() : top + row;
  const int screenCol = col == 0 ? ConCursorCol() : left + col;
  Editor editor(screenRow, screenCol, piece, text, pos, marked);
  key = editor.Run();
  piece = editor.piece();
  pos = editor.pos();
  marked = editor.marked();
}

void TextEdit(int row, int col, int& piece, std::string& text, int& pos, int& key) {
  bool marked = false;
  TextEdit(row, col, piece, text, pos, key, marked);
}

}  // namespace palvorin
