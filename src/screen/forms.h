// Screen forms. A module describes its input screens in its form file, FORMS\<module>.ZPN
// under the installation root, and runs them with FormRun.
//
// The form file is CP850 text, lines ended by CR LF (a bare LF is taken as well). Items follow
// one another, separated by commas or line ends; a text item may be enclosed in double quotes
// and must be when it holds a comma; numbers are decimal. A line whose first character after
// leading spaces is "'" is a comment, but only where a record begins: before the header,
// before each screen, before the list count and before each pick list. The records:
//   header          screen count, maximum field count
//   per screen      key list, field count, next screen, top, left, bottom, right
//     per field     row, column, prompt, width, piece length, extra width, flags, kind,
//                   pick list, help (an option list "|code,label|code,label..." or empty)
//   list count
//   per pick list   file number, key number, top, left, bottom, right, search screen,
//                   header, second list
// Prompts, help texts and list headers are translated (Translate) as they are read.
//
// A screen with top 0 has no window: it uses the whole console and no frame is drawn. A field
// is shown at its row and column relative to the screen's window; its value starts right after
// its prompt. Screens chain: a screen may name a next screen, run as a continuation of it, so
// that a chain of screens behaves as one dialog.
#ifndef PALVORIN_SCREEN_FORMS_H_
#define PALVORIN_SCREEN_FORMS_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace palvorin {

// Field flags.
constexpr int kFieldBlankStart = 1;   // editing starts from a blank text
constexpr int kFieldSecret = 2;       // blank start, typed characters shown as "X"
constexpr int kFieldSkip = 4;         // shown but never edited
constexpr int kFieldCursorAtEnd = 8;  // the cursor starts after the last non-blank character

struct FormField {
  int row = 0;
  int col = 0;
  std::string prompt;  // translated
  int width = 1;
  int pieceLength = 0;  // 0: one line; else width / pieceLength lines of pieceLength characters
  int extraWidth = 0;   // columns after the value where the program shows a description
  int flags = 0;
  int kind = 0;       // the program's own field type
  int pickList = 0;   // pick list opened by F4; 0 none
  std::string help;   // translated; an option list for the field editor, or empty
  std::string value;  // always exactly `width` characters

  // Screen lines the value takes.
  int Lines() const;
};

struct FormScreen {
  std::string keys;  // accepted keys, hexadecimal codes separated by commas
  int nextScreen = 0;
  int top = 0, left = 0, bottom = 0, right = 0;  // top 0: no window
  std::vector<FormField> fields;                 // field f at fields[f - 1]
};

// A pick list (a browse list over a keyed file, or over rows the program prepared).
struct PickListDef {
  int file = 0;  // handle of the keyed file listed; 0: rows prepared in the row cache
  int keyNumber = 0;
  int top = 0, left = 0, bottom = 0, right = 0;
  int searchScreen = 0;  // form screen run before the list; 0 none
  int secondList = 0;    // list opened by F4 from inside this one; 0 none
  std::string header;    // translated column header, shown on the window's top line
};

// What the program does for its forms. Any hook left empty does the plain thing: paint draws
// every prompt and value, display shows the stored value, check stores the typed text,
// acceptance lets every screen end and pick does nothing.
struct FormHooks {
  // Draws the prompts, the fields and anything else of the screen.
  std::function<void(int screen)> paint;
  // Shows a field's stored value.
  std::function<void(int screen, int field)> display;
  // Checks the typed text and stores it; 0 accepts, nonzero refuses (the operator stays in
  // the field with the text as typed).
  std::function<int(int screen, std::string& text, int field, int& key)> check;
  // Called when a screen ends with `key`; 0 lets it end, nonzero keeps the operator in it.
  std::function<int(int screen, int& key)> accept;
  // Called after a row was chosen in `list`: puts the chosen record's code into the field.
  // Setting `list` to 0 shows the list again; moving `field` makes the form go on there.
  // Browse calls it with screen and field 0 after a choice in a second list.
  std::function<int(int& list, int screen, int& field)> pick;
};

// The form tables and the runner's state, kept for the whole run.
struct FormState {
  int maxFields = 0;
  std::vector<FormScreen> screens;  // screen s at screens[s - 1]
  std::vector<PickListDef> lists;   // pick list l at lists[l - 1]
  // The screen the operator last left by PgUp or PgDn across the edge of a chain of screens;
  // the next run of the chain reopens its continuations down to it. 0 none.
  int resumeScreen = 0;
  FormHooks hooks;
};

// The run's only form state.
FormState& Forms();
// FormState{} again, for tests.
void ResetFormsForTest();

// Screen s, field f of screen s, pick list l (all counted from 1). The number must exist.
FormScreen& FormScreenAt(int s);
FormField& FormFieldAt(int s, int f);
PickListDef& PickListAt(int l);
int FormScreenCount();
int PickListCount();

enum class FormLoad {
  Ok,
  Missing,    // the form file does not exist or cannot be read
  Malformed,  // an item is wrong or missing; the message names the line
};

// Reads the module's form file (FORMS\<module>.ZPN under the installation root) into the form
// tables, every value set to blanks. On failure the tables are left as they were and `message`
// says what is wrong, naming the file and, for a malformed file, the line: the program shows
// it and stops rather than run on a half-read form.
FormLoad LoadForm(std::string& message);
// The same for the form file at `path`.
FormLoad LoadFormFile(const std::string& path, std::string& message);
// Reads a form file's content. `fileName` names it in messages; `translate` is applied to
// every prompt, help text and list header. Fills `into` only when the whole content is good.
FormLoad ParseForm(std::string_view text, std::string_view fileName,
                   const std::function<std::string(const std::string&)>& translate, FormState& into,
                   std::string& message);

// Runs screen `screen` of the form (-screen: runs it as a continuation of the screen before
// it). With `leaveUp` nonzero PgUp on the first field leaves the screen, with `leaveDown`
// nonzero PgDn on the last field does. `key` is the key that ended the screen; a screen without
// an editable field is painted, accepted and returns the `key` it was given.
void FormRun(int screen, int leaveUp, int leaveDown, int& key);

// The column where the value of field f of screen s starts, relative to the screen's window.
int FieldValueCol(int s, int f);

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_FORMS_H_
