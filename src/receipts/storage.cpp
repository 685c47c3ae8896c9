#include "receipts/storage.h"

#include <algorithm>

#include "datafile/datafile.h"
#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "textlib/text.h"

namespace palvorin {

namespace {

constexpr int kDuplicateKey = 5;

// A write that failed spoils the co-owner's stored receipt: the first failure is kept, and the
// run then takes back everything stored for the co-owner.
void NoteWrite(int status) {
  int& kept = ReceiptRun().co.storageStatus;
  if (status != 0 && kept == 0) kept = status;
}

std::string Trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

std::string RightTrimmed(std::string_view s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? "" : std::string(s.substr(0, e + 1));
}

int SequenceValue(std::string_view packed) {
  int value = 0;
  for (char c : UnpackDigits(packed)) value = value * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
  return value;
}

std::string PackedSequence(int value) {
  std::string digits = std::to_string(value);
  digits.insert(0, 4 - std::min<size_t>(4, digits.size()), '0');
  return PackDigits(digits);
}

// A standing charge re-created from a receipt line whose charge is gone: at the line's
// sequence number, or the next one that is free.
int RecreateStandingCharge(const std::string& code, const std::string& line) {
  std::string& rec = *ReceiptRun().areas.rebuts;
  rec = BlankRecord(hrebuts::kLength);
  PutText(rec, hrebuts::kCode, 4, code);
  PutText(rec, hrebuts::kConcept, 3, GetText(line, hlinrebu::kConcept, 3));
  PutText(rec, hrebuts::kClass, 1, GetText(line, hlinrebu::kClass, 1));
  PutText(rec, hrebuts::kPeriodicity, 4, GetText(line, hlinrebu::kPeriodicity, 4));
  PutDword(rec, hrebuts::kAmount, GetDword(line, hlinrebu::kAmount));
  PutWord(rec, hrebuts::kRemaining, GetWord(line, hlinrebu::kRemaining));
  for (int seq = std::max(1, SequenceValue(GetText(line, hlinrebu::kSequence, 2))); seq <= 9999;
       ++seq) {
    PutText(rec, hrebuts::kSequence, 2, PackedSequence(seq));
    int status = 0;
    DbInsert(hrebuts::kHandle, status);
    if (status == 0) return 0;
    if (status != kDuplicateKey) return status;
  }
  return kDuplicateKey;
}

}  // namespace

int UndoEarlierPreparation() {
  ReceiptRunState& run = ReceiptRun();
  const std::string& k = run.co.code;
  const std::string kn = k + run.params.issueNumber;
  std::string& econ = *run.areas.proecon;
  const std::string& line = *run.areas.linrebu;
  int status = 0;
  DbGet(hcaprebu::kHandle, 0, kn, 0, status);
  if (status != 0) return 0;
  DbDelete(hcaprebu::kHandle, status);
  if (status != 0) return status;
  DbGet(hlinrebu::kHandle, 0, kn, 1, status);
  while (status == 0 && GetText(line, hlinrebu::kCode, 6) == kn) {
    std::string conceptCode = GetText(line, hlinrebu::kConcept, 3);
    if (ConceptType(conceptCode) == 'S') {
      PutDword(econ, hproecon::kApplied,
               StoredAmount(static_cast<double>(GetDword(econ, hproecon::kApplied)) -
                            GetDword(line, hlinrebu::kAmount)));
    }
    int count = GetWord(line, hlinrebu::kRemaining);
    if (count == 1) {
      int st = 0;
      DbGet(hnotific::kHandle, 0, k + GetText(line, hlinrebu::kIssueDate, 4) + conceptCode, 0,
            st);
      if (st == 0) {
        DbDelete(hnotific::kHandle, st);
        if (st != 0) return st;
      }
    } else if (count > 1) {
      std::string& standing = *run.areas.rebuts;
      int st = 0;
      DbGet(hrebuts::kHandle, 0, k + GetText(line, hlinrebu::kSequence, 2), 0, st);
      if (st == 0 && GetText(standing, hrebuts::kConcept, 3) == conceptCode) {
        PutWord(standing, hrebuts::kRemaining, static_cast<int16_t>(count));
        DbUpdate(hrebuts::kHandle, st);
        if (st != 0) return st;
      } else {
        int failed = RecreateStandingCharge(k, line);
        if (failed != 0) return failed;
      }
    }
    DbDelete(hlinrebu::kHandle, status);
    if (status != 0) return status;
    // The walk goes on from the deleted line's place to the next line of the receipt.
    DbSkip(hlinrebu::kHandle, 1, status);
  }
  return 0;
}

void DeleteTransfers() {
  ReceiptRunState& run = ReceiptRun();
  const std::string kn = run.co.code + run.params.issueNumber;
  const std::string& rec = *run.areas.transfe;
  // The co-owner's transfers of this issue, on key 0 (co-owner + issue); after each deletion
  // the search starts again, as the others of the issue stay.
  for (;;) {
    int status = 0;
    DbGet(htransfe::kHandle, 0, kn, 1, status);
    bool deleted = false;
    while (status == 0 && GetText(rec, htransfe::kCode, 6) == kn) {
      if (GetText(rec, htransfe::kType, 1) == "C") {
        DbDelete(htransfe::kHandle, status);
        NoteWrite(status);
        deleted = status == 0;
        break;
      }
      DbSkip(htransfe::kHandle, 1, status);
    }
    if (!deleted) return;
  }
}

void MergeOneOffCharge() {
  ReceiptRunState& run = ReceiptRun();
  CoOwnerWork& co = run.co;
  const std::string& k = co.code;
  const std::string oneOffCharge = co.charge;
  const std::string conceptCode = GetText(oneOffCharge, hrebuts::kConcept, 3);
  const std::string chargeClass = GetText(oneOffCharge, hrebuts::kClass, 1);
  const std::string periodicity = GetText(oneOffCharge, hrebuts::kPeriodicity, 4);
  const int count = GetWord(oneOffCharge, hrebuts::kRemaining);
  const int32_t amount = GetDword(oneOffCharge, hrebuts::kAmount);
  std::string& rec = *run.areas.rebuts;

  std::string sequence;
  int status = 0;
  DbGet(hrebuts::kHandle, 1, k + conceptCode, 1, status);
  while (status == 0 && GetText(rec, hrebuts::kCode, 4) == k &&
         GetText(rec, hrebuts::kConcept, 3) == conceptCode) {
    if (GetText(rec, hrebuts::kClass, 1) == chargeClass &&
        GetText(rec, hrebuts::kPeriodicity, 4) == periodicity &&
        GetWord(rec, hrebuts::kRemaining) == count) {
      int32_t merged =
          StoredAmount(static_cast<double>(GetDword(rec, hrebuts::kAmount)) + amount);
      sequence = GetText(rec, hrebuts::kSequence, 2);
      int st = 0;
      if (merged == 0) {
        DbDelete(hrebuts::kHandle, st);
      } else {
        PutDword(rec, hrebuts::kAmount, merged);
        DbUpdate(hrebuts::kHandle, st);
      }
      NoteWrite(st);
      break;
    }
    DbSkip(hrebuts::kHandle, 1, status);
  }
  if (sequence.empty()) {
    std::string next;
    DbNextNumber(hrebuts::kHandle, 0, k, next, status);
    if (status == 0) {
      rec = BlankRecord(hrebuts::kLength);
      PutText(rec, hrebuts::kCode, 4, k);
      PutText(rec, hrebuts::kSequence, 2, next);
      PutText(rec, hrebuts::kConcept, 3, conceptCode);
      PutText(rec, hrebuts::kClass, 1, chargeClass);
      PutWord(rec, hrebuts::kRemaining, static_cast<int16_t>(count));
      PutDword(rec, hrebuts::kAmount, amount);
      PutText(rec, hrebuts::kPeriodicity, 4, periodicity);
      DbInsert(hrebuts::kHandle, status);
      if (status == 0) sequence = next;
    }
  }
  co.charge = oneOffCharge;
  // Without a standing charge to hold it, the one-off charge stays for a later issue.
  if (sequence.empty()) return;
  DbDelete(hnotific::kHandle, status);
  NoteWrite(status);
  PutText(co.charge, hrebuts::kSequence, 2, sequence);
  co.billed.push_back(sequence);
}

void WriteReceiptLine() {
  ReceiptRunState& run = ReceiptRun();
  CoOwnerWork& co = run.co;
  co.linesWritten = true;
  std::string& line = *run.areas.linrebu;
  line = BlankRecord(hlinrebu::kLength);
  PutText(line, hlinrebu::kCode, 4, co.code);
  PutText(line, hlinrebu::kIssue, 2, run.params.issueNumber);
  PutText(line, hlinrebu::kConcept, 3, GetText(co.charge, hrebuts::kConcept, 3));
  PutText(line, hlinrebu::kSequence, 2, GetText(co.charge, hrebuts::kSequence, 2));
  PutText(line, hlinrebu::kClass, 1, GetText(co.charge, hrebuts::kClass, 1));
  PutWord(line, hlinrebu::kRemaining, GetWord(co.charge, hrebuts::kRemaining));
  PutText(line, hlinrebu::kPeriodicity, 4, GetText(co.charge, hrebuts::kPeriodicity, 4));
  PutDword(line, hlinrebu::kAmount, GetDword(co.charge, hrebuts::kAmount));
  PutText(line, hlinrebu::kIssueDate, 4, run.params.issueDate);
  if (GetDword(line, hlinrebu::kAmount) == 0) return;
  int status = 0;
  DbInsert(hlinrebu::kHandle, status);
  NoteWrite(status);
}

void CountDownStandingCharges() {
  ReceiptRunState& run = ReceiptRun();
  CoOwnerWork& co = run.co;
  const std::string& k = co.code;
  std::string& rec = *run.areas.rebuts;
  std::string& oneOff = *run.areas.notific;
  int reference = GetByte(*run.areas.finca, hfinca::kReferenceMonth);
  int status = 0;
  DbGet(hrebuts::kHandle, 0, k, 1, status);
  while (status == 0 && GetText(rec, hrebuts::kCode, 4) == k) {
    std::string sequence = GetText(rec, hrebuts::kSequence, 2);
    bool billed = std::find(co.billed.begin(), co.billed.end(), sequence) != co.billed.end();
    int count = GetWord(rec, hrebuts::kRemaining);
    std::string conceptCode = GetText(rec, hrebuts::kConcept, 3);
    if (billed && count != 0 &&
        PeriodicityAppliesNow(GetText(rec, hrebuts::kPeriodicity, 4), reference) &&
        SelectedByConcept(conceptCode, TypeIndex(ConceptType(conceptCode)))) {
      --count;
      int st = 0;
      if (count == 0) {
        std::string key = k + run.params.issueDate + conceptCode;
        DbGet(hnotific::kHandle, 0, key, 0, st);
        bool found = st == 0;
        if (!found) {
          oneOff = BlankRecord(hnotific::kLength);
          PutText(oneOff, hnotific::kCode, 4, k);
          PutText(oneOff, hnotific::kDate, 4, run.params.issueDate);
          PutText(oneOff, hnotific::kConcept, 3, conceptCode);
          PutDword(oneOff, hnotific::kAmount, 0);
        }
        PutByte(oneOff, hnotific::kZero, 0x80);
        PutDword(oneOff, hnotific::kAmount,
                 StoredAmount(static_cast<double>(GetDword(oneOff, hnotific::kAmount)) -
                              GetDword(rec, hrebuts::kAmount)));
        PutText(oneOff, hnotific::kClass, 1, GetText(rec, hrebuts::kClass, 1));
        PutText(oneOff, hnotific::kPeriodicity, 4, GetText(rec, hrebuts::kPeriodicity, 4));
        PutWord(oneOff, hnotific::kRemaining, 1);
        PutText(oneOff, hnotific::kBlank, 8, "");
        PutText(oneOff, hnotific::kDone, 1, "N");
        if (found) {
          DbUpdate(hnotific::kHandle, st);
        } else {
          DbInsert(hnotific::kHandle, st);
        }
        NoteWrite(st);
      } else {
        PutWord(rec, hrebuts::kRemaining, static_cast<int16_t>(count));
        DbUpdate(hrebuts::kHandle, st);
        NoteWrite(st);
      }
    }
    DbSkip(hrebuts::kHandle, 1, status);
  }
}

void WriteTransfer() {
  ReceiptRunState& run = ReceiptRun();
  CoOwnerWork& co = run.co;
  const std::string& banc = *run.areas.probanc;
  std::string account = GetText(banc, hprobanc::kAccount, hprobanc::kAccountWidth);
  std::string bic = GetText(banc, hprobanc::kBic, hprobanc::kBicWidth);
  std::string& rec = *run.areas.transfe;
  rec = BlankRecord(htransfe::kLength);
  PutText(rec, htransfe::kChannel, 2, GetText(*run.areas.remeses, remeses::kTransferChannel, 2));
  PutText(rec, htransfe::kAccount, hprobanc::kAccountWidth, account);
  PutText(rec, htransfe::kBic, hprobanc::kBicWidth, bic);
  PutText(rec, htransfe::kType, 1, "C");
  PutText(rec, htransfe::kCode, 4, co.code);
  PutText(rec, htransfe::kIssue, 2, run.params.issueNumber);
  PutText(rec, htransfe::kOwnerName, 40,
          NameDisplay(GetText(*run.areas.probase, hprobase::kOwnerName, hprobase::kTextWidth)));
  PutText(rec, htransfe::kIssueDate, 4, run.params.issueDate);
  int32_t amount = StoredAmount(-co.totals.pf - co.totals.fr - co.totals.sa - co.totals.gp);
  PutDword(rec, htransfe::kAmount, amount);
  PutText(rec, htransfe::kFreeText, htransfe::kFreeTextWidth,
          RightTrimmed(account) + " " +
              Trimmed(GetText(banc, hprobanc::kAddress1, hprobanc::kAddressWidth)) + " " +
              Trimmed(GetText(banc, hprobanc::kAddress2, hprobanc::kAddressWidth)));
  PutText(rec, htransfe::kZeros, 6, PackDigits("000000000000"));
  if (amount == 0) return;
  int status = 0;
  DbInsert(htransfe::kHandle, status);
  NoteWrite(status);
}

void FinishReceipt() {
  ReceiptRunState& run = ReceiptRun();
  CoOwnerWork& co = run.co;
  const std::string kn = co.code + run.params.issueNumber;
  int status = 0;
  if (co.totals.AllZero()) {
    const std::string& line = *run.areas.linrebu;
    DbGet(hlinrebu::kHandle, 0, kn, 1, status);
    while (status == 0 && GetText(line, hlinrebu::kCode, 6) == kn) {
      DbDelete(hlinrebu::kHandle, status);
      if (status != 0) {
        NoteWrite(status);
        break;
      }
      DbSkip(hlinrebu::kHandle, 1, status);
    }
    return;
  }
  if (!co.linesWritten) return;
  const std::string& banc = *run.areas.probanc;
  std::string& rec = *run.areas.caprebu;
  rec = BlankRecord(hcaprebu::kLength);
  PutText(rec, hcaprebu::kCode, 4, co.code);
  PutText(rec, hcaprebu::kIssue, 2, run.params.issueNumber);
  PutText(rec, hcaprebu::kIssueDate, 4, run.params.issueDate);
  PutDword(rec, hcaprebu::kTotal, StoredAmount(co.totals.Sum()));
  PutText(rec, hcaprebu::kRemittance, 2, GetText(banc, hprobanc::kRemittance, 2));
  PutText(rec, hcaprebu::kFirstReceipt, 1, co.firstReceipt ? "S" : "N");
  PutText(rec, hcaprebu::kPendingEarlier, 1, co.pendingCollection ? "S" : "N");
  PutText(rec, hcaprebu::kAccount, hprobanc::kAccountWidth,
          GetText(banc, hprobanc::kAccount, hprobanc::kAccountWidth));
  PutText(rec, hcaprebu::kBic, hprobanc::kBicWidth,
          GetText(banc, hprobanc::kBic, hprobanc::kBicWidth));
  DbInsert(hcaprebu::kHandle, status);
  NoteWrite(status);
  co.headerStored = status == 0;
}

}  // namespace palvorin
