#include "receipts/selection.h"

#include <cmath>

#include "console/console.h"
#include "receipts/browse_source.h"
#include "datafile/datafile.h"
#include "os/codepage.h"
#include "os/paths.h"
#include "receipts/files.h"
#include "receipts/layouts.h"
#include "screen/browse.h"
#include "screen/forms.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"
#include "session/session.h"
#include "textlib/dates.h"
#include "textlib/numbers.h"
#include "textlib/text.h"

namespace palvorin {

namespace {

std::string Padded(std::string_view text, int width) {
  std::string out(text.substr(0, static_cast<size_t>(std::max(width, 0))));
  out.resize(static_cast<size_t>(std::max(width, 0)), ' ');
  return out;
}

std::string Trimmed(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  const size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

std::string TrimmedRight(std::string_view s) {
  const size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}

bool Blank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

int FieldCount(int screen) { return static_cast<int>(FormScreenAt(screen).fields.size()); }

// The work date as the date field shows it.
std::string WorkDateText() { return Trimmed(FmtDate(SessionState().workDate, 0, "dma")); }

// The month of a typed date, as the month field holds it ("3").
std::string MonthOf(std::string_view typedDate) {
  const PackedDate date = ParseDate(Trimmed(typedDate));
  return NumStr(Val(UnpackDigits(date.substr(2, 1))));
}

// The concept record for `code` (3 characters) in the concept file's record area; false when
// there is none or it cannot be read.
bool ReadConcept(const std::string& code) {
  return DbGetStatus(hconcept::kHandle, 0, code, 0) == 0;
}

// The label of the entry of option list `help` whose code is exactly `value`; false when no
// entry has it. Entries start at a "|"; text before the first one belongs to none.
bool OptionLabel(const std::string& help, const std::string& value, std::string& label) {
  size_t at = help.find('|');
  while (at != std::string::npos) {
    const size_t next = help.find('|', at + 1);
    const std::string entry =
        help.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    const size_t comma = entry.find(',');
    const std::string code = entry.substr(0, comma);
    if (code == value) {
      label = comma == std::string::npos ? std::string() : entry.substr(comma + 1);
      return true;
    }
    at = next;
  }
  return false;
}

// The listing options can be edited only for an advance listing.
void UpdateListingOptions(int screen, const std::string& mode) {
  const int count = FieldCount(screen);
  for (int f = std::max(1, count - 2); f <= count; ++f) {
    FormField& field = FormFieldAt(screen, f);
    if (mode == "A") {
      field.flags &= ~kFieldSkip;
    } else {
      field.flags |= kFieldSkip;
    }
    SelectionDisplay(screen, f);
  }
}

// Stores an accepted text and shows it.
int Store(int screen, int f, const std::string& text) {
  FormField& field = FormFieldAt(screen, f);
  field.value = Padded(text, field.width);
  SelectionDisplay(screen, f);
  return 0;
}

// A refused selection is explained until the operator presses a key.
void ExplainRefusal(const std::string& why) {
  SetColour("+");
  ShowMessageBox(12, why);
  int key = 0;
  GetKey(key);
  WinPop();
  SetColour("-");
}

}  // namespace

void InstallSelectionHooks() {
  FormHooks& hooks = Forms().hooks;
  hooks.paint = SelectionPaint;
  hooks.display = SelectionDisplay;
  hooks.check = SelectionCheck;
  hooks.accept = SelectionAccept;
  hooks.pick = PickChoose;
  BrowseHooks& lists = Browsing().hooks;
  lists.start = PickStart;
  lists.row = PickRow;
  UseDataFilesForBrowse();
}

bool SelectionFormFits(std::string& why) {
  const int needed[] = {10, 5, 1};  // fields of the selection, concept and confirmation screens
  bool fits = FormScreenCount() >= kConfirmScreen;
  for (int s = kSelectionScreen; fits && s <= kConfirmScreen; ++s) {
    fits = FieldCount(s) >= needed[s - 1];
  }
  if (fits) return true;
  const Session& session = SessionState();
  const std::string path = OsPath(session.rootDir + "FORMS\\" + session.moduleName + ".ZPN");
  why = cp850("El fitxer de pantalles ") + path +
        cp850(" no té la selecció de rebuts: calen 3 pantalles de 10, 5 i 1 camps.");
  return false;
}

void SetInitialSelection() {
  const std::string workDate = WorkDateText();
  const std::string initial[] = {"V",    workDate, MonthOf(workDate), "1.1", "9999.9999",
                                 "0000", "9999",   "G",               "S",   "G"};
  const int count = std::min(FieldCount(kSelectionScreen), 10);
  for (int f = 1; f <= count; ++f) {
    FormField& field = FormFieldAt(kSelectionScreen, f);
    field.value = Padded(initial[f - 1], field.width);
  }
  for (int f = 1; f <= std::min(FieldCount(kConceptScreen), 5); ++f) {
    FormField& field = FormFieldAt(kConceptScreen, f);
    field.value = Padded("S", field.width);
  }
  // The listing options follow the run mode from the start.
  const int options = FieldCount(kSelectionScreen);
  for (int f = std::max(1, options - 2); f <= options; ++f) {
    FormField& field = FormFieldAt(kSelectionScreen, f);
    field.flags |= kFieldSkip;
  }
  RunParameters().typeSelection = {"S", "S", "S", "S", "S"};
}

int RunSelection() {
  int key = 0;
  FormRun(kSelectionScreen, 0, 0, key);
  return key;
}

void SelectionPaint(int screen) {
  SetColour("rh");
  if (screen == kSelectionScreen) {
    // The menu's title, " " + title + " ", in the operator's language.
    std::string title = SessionState().windowTitle;
    if (title.size() > 2) title = " " + Translate(title.substr(1, title.size() - 2)) + " ";
    const long half = std::lrint(static_cast<double>(title.size()) / 2.0);  // halves to even
    LocateInWindow(1, static_cast<int>(std::max(1L, 41 - half)));
    ConPrint(title);
  } else if (screen == kConceptScreen) {
    LocateInWindow(0, 1);
    ConPrint(Translate(cp850(" CONCEPTES SELECCIONATS ")));
    // The keys that accept the window from any field, on its bottom line.
    const FormScreen& window = FormScreenAt(kConceptScreen);
    LocateInWindow(window.bottom - window.top, 1);
    ConPrint(Translate(cp850(" Fi o F2: accepta els conceptes ")));
  }
  for (int f = 1; f <= FieldCount(screen); ++f) {
    const FormField& field = FormFieldAt(screen, f);
    SetColour("n");
    LocateInWindow(field.row, field.col);
    ConPrint(field.prompt);
  }
  for (int f = 1; f <= FieldCount(screen); ++f) {
    SetColour("h");
    SelectionDisplay(screen, f);
  }
}

void SelectionDisplay(int screen, int f) {
  const FormField& field = FormFieldAt(screen, f);
  if (field.kind == kKindRunMode) UpdateListingOptions(screen, Trimmed(field.value));
  SetColour("+h");
  LocateInWindow(field.row, FieldValueCol(screen, f));
  const int shown = field.width + field.extraWidth;
  std::string label;
  if ((field.flags & kFieldSkip) != 0) {
    ConPrint(std::string(static_cast<size_t>(shown), '-'));
  } else if ((field.flags & kFieldSecret) != 0) {
    // Never drawn.
  } else if (field.kind == kKindDate) {
    ConPrint(Padded(FmtDate(ParseDate(Trimmed(field.value)), 0, "dma"), field.width));
  } else if (field.kind == kKindMonth) {
    // The year comes from the screen's issue date, field 2.
    std::string year = "00";
    if (FieldCount(screen) >= 2) {
      year = UnpackDigits(ParseDate(Trimmed(FormFieldAt(screen, 2).value)).substr(1, 1));
    }
    ConPrint(year + FmtPic("99", Val(field.value)));
  } else if (field.kind == kKindConcept) {
    std::string description(hconcept::kDescriptionWidth, ' ');
    if (!Blank(field.value) && ReadConcept(Padded(field.value, 3))) {
      description = GetText(RecordArea(hconcept::kHandle), hconcept::kDescription,
                            hconcept::kDescriptionWidth);
    }
    ConPrint(field.value + "  " + description);
  } else if (!field.help.empty()) {
    if (OptionLabel(field.help, field.value, label)) ConPrint(Padded(label, shown));
  } else if (field.pieceLength > 0) {
    const size_t piece = static_cast<size_t>(field.pieceLength);
    int line = 0;
    for (size_t at = 0; at < field.value.size(); at += piece, ++line) {
      LocateInWindow(field.row + line, FieldValueCol(screen, f));
      ConPrint(field.value.substr(at, piece));
    }
  } else {
    ConPrint(field.value);
  }
  SetColour("-");
}

int SelectionCheck(int screen, std::string& text, int f, int& key) {
  (void)key;
  FormField& field = FormFieldAt(screen, f);
  switch (field.kind) {
    case kKindDate: {
      if (Blank(text)) text = WorkDateText();
      if (DateError(Trimmed(text)) != 0) return -1;
      const std::string typed = Padded(text, field.width);
      if (typed != field.value && f < FieldCount(screen)) {
        FormField& month = FormFieldAt(screen, f + 1);
        month.value = Padded(MonthOf(text), month.width);
        field.value = typed;  // the month is shown with the new date's year
        SelectionDisplay(screen, f + 1);
      }
      return Store(screen, f, text);
    }
    case kKindCoOwner:
      if (CodeError(text) != 0) return -1;
      return Store(screen, f, text);
    case kKindMonth:
    case kKindNumber:
      if (NumberError(text, "") != 0) return -1;
      return Store(screen, f, text);
    case kKindRunMode: {
      if (text.size() != 1 || std::string_view("VvAaPp").find(text[0]) == std::string::npos) {
        return -1;
      }
      return Store(screen, f, Fold(text));
    }
    case kKindConcept: {
      std::string code = Padded(Fold(text), 3);
      if (!Blank(code) && !ReadConcept(code)) return -1;
      text = code;
      return Store(screen, f, code);
    }
    default:
      return Store(screen, f, text);
  }
}

SelectionTexts SelectionFromForm() {
  SelectionTexts t;
  auto value = [](int s, int f) { return FormFieldAt(s, f).value; };
  t.mode = value(kSelectionScreen, 1);
  t.issueDate = value(kSelectionScreen, 2);
  t.month = value(kSelectionScreen, 3);
  t.fromCoOwner = value(kSelectionScreen, 4);
  t.toCoOwner = value(kSelectionScreen, 5);
  t.fromRemittance = value(kSelectionScreen, 6);
  t.toRemittance = value(kSelectionScreen, 7);
  t.buildingTotals = value(kSelectionScreen, 8);
  t.summaryByConcept = value(kSelectionScreen, 9);
  t.pagePerBuilding = value(kSelectionScreen, 10);
  for (int f = 1; f <= 5; ++f) t.typeFlags[static_cast<size_t>(f - 1)] = value(kConceptScreen, f);
  for (int f = 6; f <= FieldCount(kConceptScreen); ++f) {
    t.concepts.push_back(value(kConceptScreen, f));
  }
  return t;
}

// The keys with which an operator finishes the selection; any other key that reaches the
// acceptance (a hot key whose tool left the key table without the screen's keys) is no
// request to run and keeps the operator in the form.
bool FinishesSelection(int key) {
  return key == keys::kEnter || key == keys::kDown || key == keys::kF2 || key == keys::kEnd ||
         key == 2 || key == keys::kPgUp || key == keys::kPgDn || key == keys::kUp;
}

int SelectionAccept(int screen, int& key) {
  if (key == keys::kEsc || screen != kSelectionScreen) return 0;
  if (!FinishesSelection(key)) return -1;
  const SelectionTexts texts = SelectionFromForm();
  RunParams params;
  std::string why;
  if (!SelectionToRunParams(texts, params, why)) {
    ExplainRefusal(why);
    return -1;
  }
  FormField& confirm = FormFieldAt(kConfirmScreen, 1);
  confirm.value.assign(static_cast<size_t>(confirm.width), ' ');
  int confirmKey = 0;
  FormRun(kConfirmScreen, 0, 0, confirmKey);
  if (Trimmed(confirm.value) != "S") return -1;
  RunParameters() = params;
  return 0;
}

std::string PickRow(int list) {
  if (list == kCoOwnerList) {
    const std::string& rec = RecordArea(hprobase::kHandle);
    const int column =
        PickListAt(kCoOwnerList).keyNumber == 1 ? hprobase::kOwnerName : hprobase::kAddress;
    return GetText(rec, column, hprobase::kTextWidth) + "  " +
           GetText(rec, hprobase::kDepartment, hprobase::kDepartmentWidth) + "  " +
           Padded(CodeDisplay(rec.substr(hprobase::kCode, 4)), 9);
  }
  if (list == kConceptList) {
    const std::string& rec = RecordArea(hconcept::kHandle);
    return GetText(rec, hconcept::kCode, 3) + "  " +
           GetText(rec, hconcept::kDescription, hconcept::kDescriptionWidth) + "  " +
           GetText(rec, hconcept::kType, 1) + "  " + GetText(rec, hconcept::kFurtherCode, 3) +
           " ";
  }
  if (list == kRemittanceList) {
    const std::string& rec = RecordArea(remeses::kHandle);
    return RemittanceDisplay(rec.substr(remeses::kCode, 2)) + " " +
           GetText(rec, remeses::kDescription, remeses::kDescriptionWidth);
  }
  return "";
}

int PickStart(int list, std::string& startKey, std::string& prefix) {
  startKey.clear();
  prefix.clear();
  if (list != kCoOwnerList || PickListCount() < kCoOwnerList) return 0;
  PickListDef& def = PickListAt(kCoOwnerList);
  const int search = def.searchScreen;
  if (search < 1 || search > FormScreenCount() || FieldCount(search) < 2) return 0;
  std::string title;
  if (!Blank(FormFieldAt(search, 1).value)) {
    def.keyNumber = 1;
    startKey = TrimmedRight(FormFieldAt(search, 1).value);
    title = Translate("NOM      ");
  } else {
    def.keyNumber = 2;
    startKey = TrimmedRight(FormFieldAt(search, 2).value);
    title = Translate(cp850("ADREÇA   "));
  }
  prefix = startKey;
  def.header.replace(0, std::min(title.size(), def.header.size()), title.substr(0, def.header.size()));
  if (title.size() > def.header.size()) def.header = title;
  return 0;
}

int PickChoose(int& list, int screen, int& field) {
  if (screen < 1 || field < 1) return 0;  // a choice in a second list: nothing to fill
  std::string code;
  if (list == kCoOwnerList) {
    code = Padded(CodeDisplay(RecordArea(hprobase::kHandle).substr(hprobase::kCode, 4)), 9);
  } else if (list == kConceptList) {
    code = GetText(RecordArea(hconcept::kHandle), hconcept::kCode, 3);
  } else if (list == kRemittanceList) {
    code = RemittanceDisplay(RecordArea(remeses::kHandle).substr(remeses::kCode, 2));
  } else {
    return 0;
  }
  int key = 0;
  return SelectionCheck(screen, code, field, key);
}

}  // namespace palvorin
