#include "receipts/advance.h"

#include <algorithm>

#include "datafile/datafile.h"
#include "print/spool.h"
#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "session/session.h"
#include "textlib/dates.h"
#include "textlib/numbers.h"
#include "textlib/text.h"

namespace palvorin {

namespace {

constexpr int kPageLength = 66;
constexpr int kLinesBeforeReceiptLine = 52;  // more used: the next receipt line opens a page
constexpr int kLinesBeforeErrorLine = 60;
constexpr int kWrapAfterColumn = 110;
constexpr const char* kLineMask = "ZZZZZZ9-";
constexpr const char* kTotalMask = "ZZ,ZZZ,ZZ9-";

// Packed "0000": the co-owner number of a building, and the general summary group.
std::string PackedZero() { return std::string("\x80\x80", 2); }

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

std::string RightTrimmed(std::string_view s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? "" : std::string(s.substr(0, e + 1));
}

// The five fields of a totals block, from column 50; each label and its amount is one text.
void PrintTotalsFields(const PartialTotals& t) {
  PrintJustify("D");
  PrintText(50, " PF " + FmtAmount(kTotalMask, t.pf), 0);
  PrintText(PrintColumn(), " + FR " + FmtAmount(kTotalMask, t.fr), 0);
  PrintText(PrintColumn(), " + SA " + FmtAmount(kTotalMask, t.sa), 0);
  PrintText(PrintColumn(), " + GP " + FmtAmount(kTotalMask, t.gp), 0);
  PrintText(PrintColumn(), " = TOTAL " + FmtAmount(kTotalMask, t.Sum()), 1);
}

// Where the co-owner's receipt is collected: the bank account when it has a domestic part,
// else the first address that is not blank.
std::string CollectionPlace(const ReceiptRunState& run) {
  const std::string& banc = *run.areas.probanc;
  const std::string& base = *run.areas.probase;
  std::string account = GetText(banc, hprobanc::kAccount, hprobanc::kAccountWidth);
  if (!IsBlank(account.substr(4))) return RightTrimmed(account);
  std::string address1 = GetText(banc, hprobanc::kAddress1, hprobanc::kAddressWidth);
  if (!IsBlank(address1)) return address1;
  std::string alternative = GetText(base, hprobase::kAltAddress, hprobase::kTextWidth);
  if (!IsBlank(alternative)) return alternative;
  return GetText(base, hprobase::kAddress, hprobase::kTextWidth);
}

}  // namespace

void PrintPageHeader() {
  ReceiptRunState& run = ReceiptRun();
  const RunParams& p = run.params;
  ++run.pageCounter;
  PrintNewPage(kPageLength);
  PrintAttribute("@e");
  PrintText(1, SessionState().installationName, 0);
  PrintJustify("D");
  PrintText(85, Tr("PÀGINA ") + FmtPic("ZZZ9", run.pageCounter), 2);
  std::string title = Tr("AVANÇ DE REBUTS D'HORITZONTAL DE L'EMISSIÓ ") +
                      UnpackDigits(p.issueNumber) + " DE " + FmtDate(p.issueDate, 0, "dma");
  PrintText((96 - static_cast<int>(title.size())) / 2, title, 2);
  PrintAttribute("q");
  PrintText(1, Tr("CODI"), 0);
  PrintText(11, Tr("DEPARTAMENT"), 0);
  PrintText(27, Tr("COPROPIETARI"), 0);
  if (p.mode == 'V') {
    PrintText(68, Tr("INCIDÈNCIA"), 1);
  } else {
    PrintText(68, Tr("COBRAMENT PER"), 0);
    PrintText(96, Tr("ADREÇA DE COBRAMENT"), 1);
  }
  PrintText(1, std::string(135, '-'), 1);
}

void PrintReceiptLine() {
  ReceiptRunState& run = ReceiptRun();
  CoOwnerWork& co = run.co;
  if (run.pageCounter == 0 || PrintLine() > kLinesBeforeReceiptLine) PrintPageHeader();
  run.buildingFlag = true;
  run.printedLines = true;
  if (!co.headerPrinted) PrintCoOwnerHeader();
  if (PrintColumn() > kWrapAfterColumn) PrintText(0, "", 1);
  bool oneOff = co.source == ChargeSource::OneOff;
  if (oneOff) PrintAttribute("b");
  PrintJustify("D");
  PrintText(PrintColumn(), FmtAmount(kLineMask, GetDword(co.charge, hrebuts::kAmount)), 0);
  PrintJustify("E");
  PrintText(PrintColumn(), GetText(co.charge, hrebuts::kConcept, 3) + "  ", 0);
  if (oneOff) PrintAttribute("b");
}

void PrintCoOwnerHeader() {
  ReceiptRunState& run = ReceiptRun();
  run.co.headerPrinted = true;
  const std::string& base = *run.areas.probase;
  PrintText(1, CodeDisplay(run.co.code), 0);
  PrintText(11, GetText(base, hprobase::kDepartment, hprobase::kDepartmentWidth), 0);
  PrintText(27, GetText(base, hprobase::kOwnerName, hprobase::kTextWidth), 0);
  PrintText(68, RemittanceDisplay(GetText(*run.areas.probanc, hprobanc::kRemittance, 2)), 0);
  PrintText(96, CollectionPlace(run), 1);
}

void PrintCoOwnerTotal() {
  ReceiptRunState& run = ReceiptRun();
  if (!run.co.headerPrinted) return;
  PrintJustify("D");
  PrintText(123, "= " + FmtAmount(kTotalMask, run.co.totals.Sum()), 2);
}

void PrintBuildingBlock() {
  ReceiptRunState& run = ReceiptRun();
  const std::string& finca = *run.areas.finca;
  PrintText(1,
            CodeDisplay(GetText(finca, hfinca::kCode, 2)) + "  " +
                NameDisplay(GetText(finca, hfinca::kBuildingName, hfinca::kNameWidth)),
            0);
  PrintTotalsFields(run.building);
}

void PrintGeneralTotal() {
  PrintText(1, "TOTAL GENERAL", 0);
  PrintTotalsFields(ReceiptRun().general);
}

void PrintClosingSeparator(bool pageBreak) {
  ReceiptRunState& run = ReceiptRun();
  bool summary = run.params.summaryByConcept;
  if (summary) PrintText(0, "", 1);
  if (pageBreak) {
    PrintText(1, std::string(134, '='), 1);
    run.pageCounter = 0;
  } else if (summary) {
    PrintText(1, std::string(134, '-'), 2);
  } else {
    PrintText(50, std::string(85, '-'), 2);
  }
}

std::string CoOwnerErrorText() {
  ReceiptRunState& run = ReceiptRun();
  const std::string& banc = *run.areas.probanc;
  std::string message;
  switch (run.co.error) {
    case 1:
      message = Tr("*** remesa ") + RemittanceDisplay(GetText(banc, hprobanc::kRemittance, 2)) +
                Tr(" inexistent ***");
      break;
    case 4:
      message = Tr("*** ja existeix el rebut ") + CodeDisplay(run.co.code) + "H" +
                UnpackDigits(run.params.issueNumber) + " ***";
      break;
    case 5:
      message = Tr("*** compte corrent ") +
                RightTrimmed(GetText(banc, hprobanc::kAccount, hprobanc::kAccountWidth)) +
                Tr(" incorrecte ***");
      break;
    default:
      message = Tr("*** error indefinit ***");
      break;
  }
  return message;
}

void PrintErrorLine() {
  ReceiptRunState& run = ReceiptRun();
  if (run.pageCounter == 0 || PrintLine() > kLinesBeforeErrorLine) PrintPageHeader();
  const std::string& base = *run.areas.probase;
  PrintText(1, CodeDisplay(run.co.code), 0);
  PrintText(11, GetText(base, hprobase::kDepartment, hprobase::kDepartmentWidth), 0);
  PrintText(27, GetText(base, hprobase::kOwnerName, hprobase::kTextWidth), 0);
  PrintText(68, CoOwnerErrorText(), 1);
}

void AddToSummary(const std::string& charge) {
  ReceiptRunState& run = ReceiptRun();
  if (!run.params.summaryByConcept) return;
  std::string code = GetText(charge, hrebuts::kCode, 4);
  while (code.size() >= 2 && code.compare(code.size() - 2, 2, PackedZero()) == 0) {
    code.resize(code.size() - 2);
  }
  if (code.empty()) return;
  // A co-owner's group is its building; a building's is the general level.
  std::string group = (code.substr(0, code.size() - 2) + PackedZero()).substr(0, 2);
  std::string key = group + GetText(charge, hrebuts::kConcept, 3);
  auto [at, added] = run.summaryIndex.try_emplace(key, run.summary.size());
  if (added) {
    // The amount the file holds for the key, if any, is what the lines add to.
    ReceiptRunState::SummaryAmount entry{key, 0, false};
    int status = 0;
    DbGet(hresrebu::kHandle, 0, key, 0, status);
    if (status == 0) {
      entry.amount = GetDword(*run.areas.resrebu, hresrebu::kAmount);
      entry.inFile = true;
    }
    run.summary.push_back(std::move(entry));
  }
  ReceiptRunState::SummaryAmount& entry = run.summary[at->second];
  entry.amount = StoredAmount(static_cast<double>(entry.amount) + GetDword(charge, hrebuts::kAmount));
}

void FlushSummary() {
  ReceiptRunState& run = ReceiptRun();
  std::string& rec = *run.areas.resrebu;
  for (const ReceiptRunState::SummaryAmount& entry : run.summary) {
    int status = 0;
    if (entry.inFile) {
      DbGet(hresrebu::kHandle, 0, entry.key, 0, status);
      if (status != 0) continue;
    } else {
      rec = BlankRecord(hresrebu::kLength);
      PutText(rec, hresrebu::kGroup, 2, entry.key.substr(0, 2));
      PutText(rec, hresrebu::kConcept, 3, entry.key.substr(2));
    }
    PutDword(rec, hresrebu::kAmount, entry.amount);
    if (entry.inFile) {
      DbUpdate(hresrebu::kHandle, status);
    } else {
      DbInsert(hresrebu::kHandle, status);
    }
  }
  run.summary.clear();
  run.summaryIndex.clear();
}

}  // namespace palvorin
