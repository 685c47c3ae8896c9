#include "receipts/run_params.h"

#include "datafile/datafile.h"
#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "session/session.h"
#include "textlib/dates.h"
#include "textlib/numbers.h"
#include "textlib/text.h"

namespace palvorin {

namespace {

std::string Trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

constexpr size_t kCoOwnerWidth = 9;

// A typed text as a form field of `width` holds it: blank-padded (a longer one is kept whole,
// so that the check refuses it).
std::string Padded(const std::string& typed, size_t width) {
  std::string text = typed;
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

bool Refuse(std::string& why, const char* catalan, const std::string& detail = "") {
  why = Tr(catalan) + detail;
  return false;
}

// A co-owner code typed building "." co-owner, completed to 4 bytes with packed `fill` bytes.
std::string CoOwnerCode(const std::string& typed, char fill) {
  std::string code = PackCode(typed);
  code.append(4, fill);
  return code.substr(0, 4);
}

// An option as the form's option fields take it: one character, case and accents aside ("s"
// is S, "ñ" is N); empty when it is none of `codes`.
std::string OptionCode(const std::string& typed, std::string_view codes) {
  const std::string text = Trimmed(typed);
  if (text.size() != 1) return "";
  const std::string folded = FoldPlain(text);
  return codes.find(folded[0]) == std::string_view::npos ? "" : folded;
}

bool ConceptExists(const std::string& code) {
  return DbGetStatus(hconcept::kHandle, 0, code, 0) == 0;
}

}  // namespace

RunParams& RunParameters() {
  static RunParams params;
  return params;
}

void ResetRunParametersForTest() { RunParameters() = RunParams{}; }

std::string MonthOfTypedDate(const std::string& typedDate) {
  std::string date = Trimmed(typedDate);
  if (date.empty()) date = Trimmed(FmtDate(SessionState().workDate, 0, "dma"));
  if (DateError(date) != 0) return "";
  return std::to_string(static_cast<int>(Val(UnpackDigits(ParseDate(date).substr(2, 1)))));
}

bool SelectionToRunParams(const SelectionTexts& texts, RunParams& params, std::string& why,
                          bool checkConcepts) {
  RunParams out;

  std::string mode = Trimmed(texts.mode);
  if (mode.size() != 1 || std::string_view("VvAaPp").find(mode[0]) == std::string_view::npos) {
    return Refuse(why, "Mode incorrecte (V, A o P): ", mode);
  }
  out.mode = static_cast<char>(mode[0] & ~0x20);

  // An empty issue date stands for the work date, as on the form.
  std::string date = Trimmed(texts.issueDate);
  if (date.empty()) date = Trimmed(FmtDate(SessionState().workDate, 0, "dma"));
  if (DateError(date) != 0) return Refuse(why, "Data d'emissió incorrecta: ", date);
  out.issueDate = ParseDate(date);

  // The month field gives the issue number its last two digits; blank, it counts as 0.
  std::string month = Trimmed(texts.month);
  if (NumberError(month, "") != 0 || Val(month) > 99) {
    return Refuse(why, "Mes d'emissió incorrecte: ", month);
  }
  out.issueNumber = out.issueDate.substr(1, 1) + PackDigits(ZeroPad(Val(month), 2));

  // The form's co-owner fields are 9 characters wide and their texts blank-padded to it.
  std::string fromCoOwner = Padded(texts.fromCoOwner, kCoOwnerWidth);
  std::string toCoOwner = Padded(texts.toCoOwner, kCoOwnerWidth);
  if (CodeError(fromCoOwner) != 0) {
    return Refuse(why, "Codi de copropietari incorrecte: ", Trimmed(fromCoOwner));
  }
  if (CodeError(toCoOwner) != 0) {
    return Refuse(why, "Codi de copropietari incorrecte: ", Trimmed(toCoOwner));
  }
  out.fromCoOwner = CoOwnerCode(fromCoOwner, '\x80');
  out.toCoOwner = CoOwnerCode(toCoOwner, '\xE3');

  for (const std::string* typed : {&texts.fromRemittance, &texts.toRemittance}) {
    if (NumberError(*typed, "") != 0 || Trimmed(*typed).size() > 4) {
      return Refuse(why, "Remesa incorrecta: ", Trimmed(*typed));
    }
  }
  out.fromRemittance = RemittanceCode(Trimmed(texts.fromRemittance));
  out.toRemittance = RemittanceCode(Trimmed(texts.toRemittance));

  // The listing options and the type flags come from option lists on the form: only their
  // codes are valid.
  out.buildingTotals = OptionCode(texts.buildingTotals, "FG");
  out.pagePerBuilding = OptionCode(texts.pagePerBuilding, "FG");
  if (out.buildingTotals.empty()) {
    return Refuse(why, "Opció incorrecta (F o G): ", Trimmed(texts.buildingTotals));
  }
  if (out.pagePerBuilding.empty()) {
    return Refuse(why, "Opció incorrecta (F o G): ", Trimmed(texts.pagePerBuilding));
  }
  const std::string summary = OptionCode(texts.summaryByConcept, "SN");
  if (summary.empty()) {
    return Refuse(why, "Opció incorrecta (S o N): ", Trimmed(texts.summaryByConcept));
  }
  out.summaryByConcept = summary == "S";

  for (size_t i = 0; i < out.typeSelection.size(); ++i) {
    out.typeSelection[i] = OptionCode(texts.typeFlags[i], "SN");
    if (out.typeSelection[i].empty()) {
      return Refuse(why, "Opció incorrecta (S o N): ", Trimmed(texts.typeFlags[i]));
    }
  }
  for (const std::string& typed : texts.concepts) {
    // Concept codes have three characters: a longer one names no concept.
    if (Trimmed(typed).size() > 3) return Refuse(why, "Concepte inexistent: ", Trimmed(typed));
    std::string code = Fold(typed).substr(0, 3);
    if (Trimmed(code).empty()) continue;
    code.resize(3, ' ');
    if (checkConcepts && !ConceptExists(code)) {
      return Refuse(why, "Concepte inexistent: ", Trimmed(code));
    }
    out.conceptList += code + '\xFF';
  }

  if (out.fromCoOwner > out.toCoOwner) {
    return Refuse(why, "El copropietari inicial és posterior al final");
  }
  if (out.fromRemittance > out.toRemittance) {
    return Refuse(why, "La remesa inicial és posterior a la final");
  }
  bool anyType = false;
  for (const std::string& flag : out.typeSelection) anyType = anyType || flag != "N";
  if (out.conceptList.empty() && !anyType) {
    return Refuse(why, "No s'ha seleccionat cap concepte");
  }
  params = out;
  why.clear();
  return true;
}

}  // namespace palvorin
