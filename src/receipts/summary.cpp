#include "receipts/summary.h"

#include "print/destination.h"
#include "print/spool.h"
#include "session/session.h"
#include "textlib/numbers.h"

namespace palvorin {

namespace {

// An amount in hundredths as the listings show it, without the mask's blanks: "3.964,76".
std::string AmountText(int64_t hundredths) {
  std::string text = FmtAmount("ZZZ,ZZZ,ZZ9-", static_cast<double>(hundredths));
  std::erase(text, ' ');
  return text;
}

// Where the print program sent the listing of the session's destination.
std::string ListingPlace() {
  const Destination d = ListingDestination(SessionState().destination);
  switch (d.kind) {
    case DestinationKind::Screen: return Tr("Llistat a la pantalla");
    case DestinationKind::PrintQueue:
      return d.target.empty() ? Tr("Llistat a la cua d'impressió per defecte")
                              : Tr("Llistat a la cua d'impressió ") + d.target;
    case DestinationKind::TextFile:
    case DestinationKind::PdfFile: break;
  }
  return Tr("Llistat a ") + d.target;
}

}  // namespace

std::string RunSummary(const CycleResult& result) {
  const RunCounts& c = result.counts;
  std::string text;
  switch (result.mode) {
    case 'P':
      text = Tr("Rebuts desats: ") + std::to_string(c.stored) + Tr(", total ") +
             AmountText(c.storedTotal) + "\n";
      if (!c.left.empty()) {
        text += Tr("Copropietaris deixats com estaven: ") + std::to_string(c.left.size()) + " (" +
                c.left.front() + ")\n";
      }
      break;
    case 'A': text = Tr("Rebuts llistats: ") + std::to_string(c.listed) + "\n"; break;
    default: text = Tr("Copropietaris llistats: ") + std::to_string(c.listed) + "\n"; break;
  }
  if (!result.spool.ok()) {
    text += Tr("NO ES POT ESCRIURE EL LLISTAT ") + result.spool.message + "\n";
  } else if (result.print == PrintOutcome::Failed) {
    text += PrintFailureMessage();
  } else if (result.print == PrintOutcome::Printed && result.mode != 'P' && c.listed > 0) {
    text += ListingPlace() + "\n";
  }
  if (result.print == PrintOutcome::Missing && result.reportMissingProgram) {
    text += MissingPrintProgramMessage() + "\n";
  }
  return text;
}

}  // namespace palvorin
