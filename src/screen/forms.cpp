// The form tables, the form-file reader and the form runner.
#include "screen/forms.h"

#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "console/console.h"
#include "os/codepage.h"
#include "os/files.h"
#include "os/paths.h"
#include "screen/browse.h"
#include "screen/editor.h"
#include "screen/help.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"
#include "session/session.h"

namespace palvorin {

FormState& Forms() {
  static FormState state;
  return state;
}

void ResetFormsForTest() { Forms() = FormState{}; }

int FormField::Lines() const {
  if (pieceLength <= 0) return 1;
  return (width + pieceLength - 1) / pieceLength;
}

FormScreen& FormScreenAt(int s) { return Forms().screens.at(static_cast<size_t>(s - 1)); }

FormField& FormFieldAt(int s, int f) {
  return FormScreenAt(s).fields.at(static_cast<size_t>(f - 1));
}

PickListDef& PickListAt(int l) { return Forms().lists.at(static_cast<size_t>(l - 1)); }

int FormScreenCount() { return static_cast<int>(Forms().screens.size()); }
int PickListCount() { return static_cast<int>(Forms().lists.size()); }

int FieldValueCol(int s, int f) {
  const FormField& field = FormFieldAt(s, f);
  return field.col + static_cast<int>(field.prompt.size());
}

namespace {

// Reads the items of a form file one after another, keeping count of lines for messages.
class ItemReader {
 public:
  explicit ItemReader(std::string_view text) : text_(text) {}

  // Where a record begins: passes over blank lines and comment lines.
  void SkipComments() {
    if (afterComma_) return;
    for (;;) {
      size_t p = pos_;
      while (p < text_.size() && IsBlank(text_[p])) ++p;
      if (p < text_.size() && text_[p] == '\'') {
        while (p < text_.size() && !IsLineEnd(p)) ++p;
        pos_ = p;
        ConsumeLineEnd();
      } else if (p < text_.size() && IsLineEnd(p)) {
        pos_ = p;
        ConsumeLineEnd();
      } else {
        return;
      }
    }
  }

  bool ReadText(std::string& out, std::string& error) { return ReadItem(out, error); }

  bool ReadNumber(int& out, std::string& error) {
    std::string item;
    if (!ReadItem(item, error)) return false;
    size_t b = item.find_first_not_of(" \t");
    size_t e = item.find_last_not_of(" \t");
    std::string digits = b == std::string::npos ? std::string() : item.substr(b, e - b + 1);
    if (!digits.empty() && digits[0] == '+') digits.erase(0, 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      error = cp850("s'esperava un nombre i hi ha \"") + item + "\"";
      return false;
    }
    out = std::stoi(digits);
    if (out > 32767) {
      error = cp850("el nombre ") + digits + cp850(" és massa gran");
      return false;
    }
    return true;
  }

  int itemLine() const { return itemLine_; }
  int line() const { return line_; }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t'; }
  bool IsLineEnd(size_t at) const { return text_[at] == '\r' || text_[at] == '\n'; }
  bool AtLineEnd() const { return pos_ < text_.size() && IsLineEnd(pos_); }

  void ConsumeLineEnd() {
    if (pos_ >= text_.size()) return;
    if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  // After an item: its separator, a comma or a line end (or the end of the text).
  bool ConsumeSeparator(std::string& error) {
    SkipBlanks();
    if (pos_ >= text_.size()) {
      afterComma_ = false;
    } else if (text_[pos_] == ',') {
      ++pos_;
      afterComma_ = true;
    } else if (AtLineEnd()) {
      ConsumeLineEnd();
      afterComma_ = false;
    } else {
      error = cp850("després de les cometes de tancament hi ha \"") +
              std::string(text_.substr(pos_, 10)) + "\"";
      return false;
    }
    return true;
  }

  bool ReadItem(std::string& out, std::string& error) {
    out.clear();
    SkipBlanks();
    if (!afterComma_) {
      while (AtLineEnd()) {
        ConsumeLineEnd();
        SkipBlanks();
      }
    }
    itemLine_ = line_;
    if (pos_ >= text_.size()) {
      if (afterComma_) {
        afterComma_ = false;
        return true;
      }
      error = cp850("el fitxer s'acaba abans d'hora");
      return false;
    }
    if (text_[pos_] == ',') {
      ++pos_;
      afterComma_ = true;
      return true;
    }
    if (AtLineEnd()) {  // a comma closed the line: an empty item
      ConsumeLineEnd();
      afterComma_ = false;
      return true;
    }
    if (text_[pos_] == '"') {
      size_t close = pos_ + 1;
      while (close < text_.size() && text_[close] != '"' && !IsLineEnd(close)) ++close;
      if (close >= text_.size() || text_[close] != '"') {
        error = cp850("falten les cometes de tancament");
        return false;
      }
      out.assign(text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      return ConsumeSeparator(error);
    }
    size_t end = pos_;
    while (end < text_.size() && text_[end] != ',' && !IsLineEnd(end)) ++end;
    out.assign(text_.substr(pos_, end - pos_));
    pos_ = end;
    return ConsumeSeparator(error);
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
  int itemLine_ = 1;
  bool afterComma_ = false;
};

// Reads one form file into a FormState, stopping at the first fault with its line.
class FormParser {
 public:
  FormParser(std::string_view text, const std::function<std::string(const std::string&)>& tr)
      : in_(text), translate_(tr) {}

  bool Parse(FormState& out) {
    in_.SkipComments();
    int screenCount = 0;
    if (!Number(screenCount, 1, 999, cp850("el nombre de pantalles"))) return false;
    if (!Number(out.maxFields, 1, 999, cp850("el màxim de camps per pantalla"))) return false;
    out.screens.resize(static_cast<size_t>(screenCount));
    for (int s = 1; s <= screenCount; ++s) {
      in_.SkipComments();
      if (!ReadScreen(s, screenCount, out.maxFields, out.screens[static_cast<size_t>(s - 1)]))
        return false;
    }
    in_.SkipComments();
    int listCount = 0;
    if (!Number(listCount, 0, 999, cp850("el nombre de llistes"))) return false;
    out.lists.resize(static_cast<size_t>(listCount));
    for (int l = 1; l <= listCount; ++l) {
      in_.SkipComments();
      if (!ReadList(l, screenCount, listCount, out.lists[static_cast<size_t>(l - 1)])) return false;
    }
    return CheckReferences(out);
  }

  int line() const { return errorLine_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(std::string what, int line) {
    error_ = std::move(what);
    errorLine_ = line;
    return false;
  }

  bool Number(int& out, int min, int max, const std::string& what) {
    std::string error;
    if (!in_.ReadNumber(out, error)) return Fail(what + ": " + error, in_.itemLine());
    if (out < min || out > max)
      return Fail(what + cp850(" ha de ser entre ") + std::to_string(min) + " i " +
                      std::to_string(max) + cp850(" i és ") + std::to_string(out),
                  in_.itemLine());
    return true;
  }

  bool Text(std::string& out, const std::string& what) {
    std::string error;
    if (!in_.ReadText(out, error)) return Fail(what + ": " + error, in_.itemLine());
    return true;
  }

  static bool KeyListIsGood(const std::string& keys) {
    if (keys.empty()) return true;
    size_t start = 0;
    for (;;) {
      size_t comma = keys.find(',', start);
      std::string item =
          keys.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      size_t eq = item.find('=');
      for (const std::string& code :
           {item.substr(0, eq), eq == std::string::npos ? std::string("0") : item.substr(eq + 1)}) {
        size_t b = code.find_first_not_of(' ');
        size_t e = code.find_last_not_of(' ');
        if (b == std::string::npos) return false;
        std::string hex = code.substr(b, e - b + 1);
        if (hex.size() > 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
          return false;
      }
      if (comma == std::string::npos) return true;
      start = comma + 1;
    }
  }

  bool ReadWindow(int& top, int& left, int& bottom, int& right, bool required,
                  const std::string& what) {
    const int rows = ScreenRows();
    const int cols = ScreenCols();
    int line = 0;
    if (!Number(top, 0, rows, what + cp850(": la fila de dalt"))) return false;
    line = in_.itemLine();
    if (!Number(left, 0, cols, what + cp850(": la columna esquerra"))) return false;
    if (!Number(bottom, 0, rows, what + cp850(": la fila de baix"))) return false;
    if (!Number(right, 0, cols, what + cp850(": la columna dreta"))) return false;
    if (top == 0 && !required) return true;
    const int minSpan = required ? 2 : 1;  // a list needs a row and a column inside its frame
    if (top < 1 || left < 1 || bottom - top < minSpan || right - left < minSpan)
      return Fail(what + cp850(": la finestra ") + std::to_string(top) + "," +
                      std::to_string(left) + "," + std::to_string(bottom) + "," +
                      std::to_string(right) + cp850(" no és vàlida"),
                  line);
    return true;
  }

  bool ReadScreen(int s, int screenCount, int maxFields, FormScreen& screen) {
    const std::string name = cp850("pantalla ") + std::to_string(s);
    if (!Text(screen.keys, name + cp850(": les tecles"))) return false;
    if (!KeyListIsGood(screen.keys))
      return Fail(name + cp850(": la llista de tecles \"") + screen.keys +
                      cp850("\" no és de codis hexadecimals separats per comes"),
                  in_.itemLine());
    int fieldCount = 0;
    if (!Number(fieldCount, 0, maxFields, name + cp850(": el nombre de camps"))) return false;
    if (!Number(screen.nextScreen, 0, screenCount, name + cp850(": la pantalla següent")))
      return false;
    if (screen.nextScreen == s)
      return Fail(name + cp850(": una pantalla no pot continuar-se a ella mateixa"),
                  in_.itemLine());
    if (!ReadWindow(screen.top, screen.left, screen.bottom, screen.right, false, name))
      return false;
    screen.fields.resize(static_cast<size_t>(fieldCount));
    for (int f = 1; f <= fieldCount; ++f) {
      if (!ReadField(screen, name + ", camp " + std::to_string(f),
                     screen.fields[static_cast<size_t>(f - 1)]))
        return false;
    }
    return true;
  }

  bool ReadField(const FormScreen& screen, const std::string& name, FormField& field) {
    if (!Number(field.row, 0, ScreenRows(), name + ": la fila")) return false;
    const int line = in_.itemLine();
    if (!Number(field.col, 0, ScreenCols(), name + ": la columna")) return false;
    if (!Text(field.prompt, name + ": el text")) return false;
    field.prompt = translate_(field.prompt);
    if (!Number(field.width, 1, 255, name + cp850(": l'amplada"))) return false;
    if (!Number(field.pieceLength, 0, field.width, name + cp850(": la llargada de tros")))
      return false;
    if (!Number(field.extraWidth, 0, ScreenCols(), name + cp850(": l'amplada de descripció")))
      return false;
    if (!Number(field.flags, 0, 15, name + ": els indicadors")) return false;
    if (!Number(field.kind, 0, 32767, name + ": el tipus")) return false;
    if (!Number(field.pickList, 0, 999, name + ": la llista")) return false;
    if (!Text(field.help, name + cp850(": l'ajuda"))) return false;
    field.help = translate_(field.help);
    field.value.assign(static_cast<size_t>(field.width), ' ');

    // The field must lie on the screen, inside the frame of the screen's window.
    const int span = field.pieceLength > 0 ? field.pieceLength : field.width;
    const int lastRow = field.row + field.Lines() - 1;
    const int lastCol =
        field.col + static_cast<int>(field.prompt.size()) + span + field.extraWidth - 1;
    const int maxRow = screen.top == 0 ? ScreenRows() : screen.bottom - screen.top - 1;
    const int maxCol = screen.top == 0 ? ScreenCols() : screen.right - screen.left - 1;
    if (field.row < 1 || field.col < 1 || lastRow > maxRow || lastCol > maxCol)
      return Fail(name + cp850(": el camp no hi cap (fila ") + std::to_string(lastRow) +
                      cp850(" de ") + std::to_string(maxRow) + ", columna " +
                      std::to_string(lastCol) + cp850(" de ") + std::to_string(maxCol) + ")",
                  line);
    return true;
  }

  bool ReadList(int l, int screenCount, int listCount, PickListDef& list) {
    const std::string name = "llista " + std::to_string(l);
    if (!Number(list.file, 0, 32767, name + ": el fitxer")) return false;
    if (!Number(list.keyNumber, 0, 119, name + ": la clau")) return false;
    if (!ReadWindow(list.top, list.left, list.bottom, list.right, true, name)) return false;
    if (!Number(list.searchScreen, 0, screenCount, name + ": la pantalla de cerca")) return false;
    if (!Text(list.header, name + cp850(": la capçalera"))) return false;
    list.header = translate_(list.header);
    if (!Number(list.secondList, 0, listCount, name + ": la segona llista")) return false;
    if (list.secondList == l)
      return Fail(name + cp850(": una llista no pot obrir-se a ella mateixa"), in_.itemLine());
    return true;
  }

  // Pick lists named by fields must exist, and a chain of screens must end.
  bool CheckReferences(const FormState& out) {
    const int listCount = static_cast<int>(out.lists.size());
    for (size_t s = 0; s < out.screens.size(); ++s) {
      for (size_t f = 0; f < out.screens[s].fields.size(); ++f) {
        if (out.screens[s].fields[f].pickList > listCount)
          return Fail(cp850("pantalla ") + std::to_string(s + 1) + ", camp " +
                          std::to_string(f + 1) + ": la llista " +
                          std::to_string(out.screens[s].fields[f].pickList) + " no existeix",
                      in_.line());
      }
      std::set<size_t> seen{s};
      for (int next = out.screens[s].nextScreen; next != 0;
           next = out.screens[static_cast<size_t>(next - 1)].nextScreen) {
        if (!seen.insert(static_cast<size_t>(next - 1)).second)
          return Fail(cp850("pantalla ") + std::to_string(s + 1) +
                          cp850(": la cadena de pantalles següents torna a començar"),
                      in_.line());
      }
    }
    return true;
  }

  ItemReader in_;
  const std::function<std::string(const std::string&)>& translate_;
  std::string error_;
  int errorLine_ = 0;
};

std::string FormFilePath() {
  const Session& session = SessionState();
  const std::string module = session.moduleName.empty() ? "PALVORIN" : session.moduleName;
  return session.rootDir + "FORMS\\" + module + ".ZPN";
}

}  // namespace

FormLoad ParseForm(std::string_view text, std::string_view fileName,
                   const std::function<std::string(const std::string&)>& translate, FormState& into,
                   std::string& message) {
  FormState parsed;
  FormParser parser(text, translate);
  if (!parser.Parse(parsed)) {
    message = cp850("Error al fitxer de pantalles ") + std::string(fileName) + cp850(", línia ") +
              std::to_string(parser.line()) + ": " + parser.error() + ".";
    return FormLoad::Malformed;
  }
  parsed.hooks = std::move(into.hooks);
  into = std::move(parsed);
  message.clear();
  return FormLoad::Ok;
}

FormLoad LoadFormFile(const std::string& path, std::string& message) {
  std::string bytes;
  const std::string linuxPath = OsPath(path);
  OsStatus status = ReadWholeFile(path, bytes);
  if (!status.ok()) {
    message = cp850("No es pot llegir el fitxer de pantalles ") + linuxPath + ".";
    return FormLoad::Missing;
  }
  return ParseForm(
      bytes, linuxPath, [](const std::string& t) { return Translate(t); }, Forms(), message);
}

FormLoad LoadForm(std::string& message) { return LoadFormFile(FormFilePath(), message); }

// ---- The runner ----------------------------------------------------------------------------

namespace {

bool IsSkip(const FormField& field) { return (field.flags & kFieldSkip) != 0; }

// The lowest and highest editable field of screen s; both 0 when there is none.
void EditableRange(int s, int& first, int& last) {
  first = last = 0;
  const std::vector<FormField>& fields = FormScreenAt(s).fields;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (IsSkip(fields[i])) continue;
    if (first == 0) first = static_cast<int>(i + 1);
    last = static_cast<int>(i + 1);
  }
}

bool AllBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string TrimRightCopy(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// Prints `text` at the field's value place, in pieces for a text area, followed on its first
// line by `extra` blanks.
void PrintValue(int s, int f, const std::string& text, int extra) {
  const FormField& field = FormFieldAt(s, f);
  const int col = FieldValueCol(s, f);
  const size_t piece = field.pieceLength > 0 ? static_cast<size_t>(field.pieceLength) : text.size();
  int line = 0;
  for (size_t at = 0; at < text.size() || line == 0; at += std::max<size_t>(piece, 1), ++line) {
    LocateInWindow(field.row + line, col);
    std::string part = at < text.size() ? text.substr(at, piece) : std::string();
    if (line == 0) part += std::string(static_cast<size_t>(extra), ' ');
    ConPrint(part);
    if (piece == 0) break;
  }
}

void DisplayField(int s, int f) {
  FormHooks& hooks = Forms().hooks;
  if (hooks.display) {
    hooks.display(s, f);
    return;
  }
  const FormField& field = FormFieldAt(s, f);
  if ((field.flags & kFieldSecret) == 0) PrintValue(s, f, field.value, 0);
}

void PaintScreen(int s) {
  FormHooks& hooks = Forms().hooks;
  if (hooks.paint) {
    hooks.paint(s);
    return;
  }
  const int count = static_cast<int>(FormScreenAt(s).fields.size());
  for (int f = 1; f <= count; ++f) {
    const FormField& field = FormFieldAt(s, f);
    SetColour("n");
    LocateInWindow(field.row, field.col);
    ConPrint(field.prompt);
    SetColour("h");
    DisplayField(s, f);
  }
}

int CheckField(int s, std::string& text, int f, int& key) {
  FormHooks& hooks = Forms().hooks;
  if (hooks.check) return hooks.check(s, text, f, key);
  FormFieldAt(s, f).value = text;
  DisplayField(s, f);
  return 0;
}

int AcceptScreen(int s, int& key) {
  FormHooks& hooks = Forms().hooks;
  return hooks.accept ? hooks.accept(s, key) : 0;
}

// Keys with which a continuation screen ends the whole chain.
bool EndsChain(int key) {
  return key == keys::kPgUp || key == keys::kPgDn || key == keys::kEnd || key == 2 ||
         key == keys::kEnter || key == keys::kDown || key == keys::kUp;
}

// Whether screen `target` follows screen s along its chain of next screens.
bool FollowsInChain(int s, int target) {
  int next = FormScreenAt(s).nextScreen;
  for (int steps = 0; next != 0 && steps < FormScreenCount(); ++steps) {
    if (next == target) return true;
    next = FormScreenAt(next).nextScreen;
  }
  return false;
}

// The editable field whose place holds the clicked cell; 0 for none. `click` is the editor's
// code of a mouse press, -(column * 100 + row).
int FieldAtClick(int s, int click) {
  const FormScreen& screen = FormScreenAt(s);
  const int code = -click;
  const int row = code % 100 - screen.top;
  const int col = code / 100 - screen.left;
  for (size_t i = 0; i < screen.fields.size(); ++i) {
    const FormField& field = screen.fields[i];
    if (IsSkip(field)) continue;
    const int span = field.pieceLength > 0 ? field.pieceLength : field.width;
    const int lastCol =
        field.col + static_cast<int>(field.prompt.size()) + span + field.extraWidth - 1;
    if (row >= field.row && row <= field.row + field.Lines() - 1 && col >= field.col &&
        col <= lastCol)
      return static_cast<int>(i + 1);
  }
  return 0;
}

// Opens the field's pick list until the operator chooses a row the program takes, or leaves
// it. Returns false when nothing was picked; `f` may be moved by the pick hook.
bool PickFromList(int s, int& f) {
  for (;;) {
    int list = FormFieldAt(s, f).pickList;
    if (Browse(list) != 0) return false;
    int field = f;
    const int refused = Forms().hooks.pick ? Forms().hooks.pick(list, s, field) : 0;
    if (list == 0) continue;  // the program asks for the list again
    if (refused != 0) return false;
    if (field >= 1 && field <= static_cast<int>(FormScreenAt(s).fields.size())) f = field;
    return true;
  }
}

// Edits the fields of screen s from its first editable field until the operator leaves it;
// `key` is the key that left.
void EditFields(int s, bool continuation, int leaveUp, int leaveDown, int& key) {
  FormState& state = Forms();
  int first = 0, last = 0;
  EditableRange(s, first, last);
  int f = first;
  const std::string& screenKeys = FormScreenAt(s).keys;
  const std::string keyList = screenKeys.empty() ? "3b00" : screenKeys + ",3b00";
  bool leave = false;
  while (!leave && first != 0 && f >= first && f <= last) {
    const int nextScreen = FormScreenAt(s).nextScreen;
    SetKeys("+ea", keyList);
    FormField* field = &FormFieldAt(s, f);
    const bool secret = (field->flags & kFieldSecret) != 0;
    std::string text = (field->flags & (kFieldBlankStart | kFieldSecret)) != 0
                           ? std::string(static_cast<size_t>(field->width), ' ')
                           : field->value;
    if (field->extraWidth > 0 && !IsSkip(*field)) {
      const int span = field->pieceLength > 0 ? field->pieceLength : field->width;
      LocateInWindow(field->row, FieldValueCol(s, f) + span);
      ConPrint(std::string(static_cast<size_t>(field->extraWidth), ' '));
    }
    if (IsSkip(*field)) {
      // Passed over in the direction the operator was going.
      if (key != keys::kUp && key != keys::kEnter) key = keys::kDown;
    } else {
      // The value is marked as the operator enters the field, so that typing replaces it; a
      // field whose cursor starts after its text is there to be added to, and is not marked.
      const bool marks = (field->flags & kFieldCursorAtEnd) == 0;
      bool marked = marks;
      for (;;) {
        bool refused = false;
        // Again before every edit: a list or pop-up tool opened from the field may have
        // given back the key table of before the field.
        SetKeys("+ea", keyList);
        if (secret) SetKeys("h", "");
        SetFieldHelp(field->help);
        int piece = field->pieceLength;
        int pos = (field->flags & kFieldCursorAtEnd) != 0
                      ? static_cast<int>(TrimRightCopy(text).size()) + 1
                      : 1;
        TextEdit(field->row, FieldValueCol(s, f), piece, text, pos, key, marked);
        if (key == keys::kF1) {
          // After the help the operator goes on with the text as typed.
          const std::string topic = TrimRightCopy(SessionState().menuName);
          if (!topic.empty()) ShowHelp(topic);
          key = 0;
          continue;
        }
        if (key == keys::kF4) {
          key = 0;
          if (field->pickList != 0) {
            const int before = f;
            if (!PickFromList(s, f)) {
              refused = true;
            } else if (f == before) {
              key = (f == last && nextScreen == 0) ? keys::kEnter : keys::kDown;
            } else if (IsSkip(FormFieldAt(s, f)) && f != last) {
              key = keys::kDown;
            }
            field = &FormFieldAt(s, f);
          }
        } else {
          if (field->extraWidth > 0 && !IsSkip(*field)) {
            // A secret text goes back masked, as the editor showed it.
            const std::string shown = secret ? std::string(text.size(), 'X') : text;
            PrintValue(s, f, shown, field->extraWidth);
          }
          if (key == keys::kEsc) {
            DisplayField(s, f);
          } else {
            if (AllBlank(text) && (field->flags & (kFieldBlankStart | kFieldSecret)) != 0)
              text = field->value;
            refused = CheckField(s, text, f, key) != 0;
          }
        }
        EditableRange(s, first, last);
        if (!refused) break;
        ConBeep();
        marked = marks;  // the field is entered again
      }
    }
    if (secret) SetKeys("v", "");
    SetKeys("-", "");
    if (first == 0) break;

    if (key == keys::kPgUp) {
      if (f > first || leaveUp == 0) {
        f = first;
        state.resumeScreen = 0;
      } else {
        leave = true;
        state.resumeScreen = s;
      }
    } else if (key == keys::kPgDn) {
      if (f < last || leaveDown == 0) {
        f = last;
        state.resumeScreen = 0;
      } else {
        leave = true;
        state.resumeScreen = s;
      }
    } else if (key == keys::kEnd || key == 2) {
      leave = true;
    } else if (key == keys::kEsc) {
      if (f > first)
        f = first;
      else
        leave = true;
    } else if (key == keys::kEnter || key == keys::kDown || key == keys::kF2) {
      if ((f == last || key == keys::kF2) && nextScreen != 0) {
        int chained = key;
        FormRun(-nextScreen, leaveUp, leaveDown, chained);
        if (EndsChain(chained)) {
          key = chained;
          leave = true;
        }
      } else if (key == keys::kDown) {
        if (f < last) ++f;
      } else if (key == keys::kEnter) {
        ++f;
      }
    } else if (key == keys::kUp) {
      if (f > first) {
        --f;
      } else if (continuation) {
        key = keys::kEsc;
        leave = true;
      }
    } else if (key < 0) {
      const int clicked = FieldAtClick(s, key);
      if (clicked != 0) f = clicked;
    } else if (key != 0) {
      leave = true;
    }
  }
}

// Runs screen s, as a continuation of the screen before it or on its own.
void RunScreen(int s, bool continuation, int leaveUp, int leaveDown, int& key) {
  FormState& state = Forms();
  const FormScreen& def = FormScreenAt(s);
  const bool windowed = def.top != 0;

  // A continuation without a window of its own is drawn over the screen before it, which
  // must look as it did when the operator goes back there.
  std::vector<Cell> underneath;
  int cursorRow = 0, cursorCol = 0;
  if (windowed) {
    SetColour("+n");
    WinPush(def.top, def.left, def.bottom, def.right);
    DrawWindowFrame(2);
    SetColour("-");
  } else if (continuation) {
    underneath = ConReadRect(1, 1, ScreenRows(), ScreenCols());
    cursorRow = ConCursorRow();
    cursorCol = ConCursorCol();
  }

  PaintScreen(s);
  int first = 0, last = 0;
  EditableRange(s, first, last);
  bool edit = first != 0;
  if (edit) {
    // Coming back to a chain the operator left further down: reopen it down to that screen.
    if (state.resumeScreen != 0 && state.resumeScreen != s &&
        !FollowsInChain(s, state.resumeScreen))
      state.resumeScreen = 0;
    if (state.resumeScreen != 0 && state.resumeScreen != s && def.nextScreen != 0) {
      int chained = key;
      FormRun(-def.nextScreen, leaveUp, leaveDown, chained);
      if (EndsChain(chained)) {
        key = chained;
        edit = false;
      }
    } else {
      state.resumeScreen = 0;
    }
  }

  for (;;) {
    if (edit) EditFields(s, continuation, leaveUp, leaveDown, key);
    if (AcceptScreen(s, key) == 0) break;
    EditableRange(s, first, last);
    if (first == 0) break;  // nothing the operator could change to be accepted
    edit = true;
  }

  if (windowed) {
    WinPop();
  } else if (continuation) {
    ConWriteRect(1, 1, ScreenRows(), ScreenCols(), underneath);
    ConSetCursor(cursorRow, cursorCol);
  }
}

}  // namespace

void FormRun(int screen, int leaveUp, int leaveDown, int& key) {
  const bool continuation = screen < 0;
  const int s = continuation ? -screen : screen;
  if (s < 1 || s > FormScreenCount()) return;
  RunScreen(s, continuation, leaveUp, leaveDown, key);
}

}  // namespace palvorin
