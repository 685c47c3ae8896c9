// Receipt storage: what the preparing mode writes for a co-owner, keeping the related files
// consistent however often an issue is prepared again.
//
// Each operation works on the current co-owner of the run (ReceiptRun().co): co-owner code K,
// the run's issue number N and issue date, the current charge, the four partial totals, and
// the record areas of the co-owner's collection data, co-owner, remittance and economic data.
// The applied balance A lives in the economic record area, which the run writes back.
//
// The record of a stored receipt: a header in DADES\HCapRebu (K + N) and its lines in
// DADES\HLinRebu, each line naming the standing charge it came from (its sequence number) and
// that charge's remaining count before the run, so that preparing the issue again can undo
// exactly what this preparation did.
#ifndef PALVORIN_RECEIPTS_STORAGE_H_
#define PALVORIN_RECEIPTS_STORAGE_H_

namespace palvorin {

// Undoes an earlier preparation of issue N for K: when its header exists, deletes it and every
// line, taking type "S" lines out of the applied balance, deleting the end-of-count one-off
// record of a line whose count was 1, and giving back the count of a standing charge whose
// count was above 1 (re-creating the charge when it is gone, at its own sequence number or the
// next free one). Returns 0, or the status of an insert that failed for a reason other than a
// duplicate key (or 5 when no sequence number up to 9999 is free); the co-owner's transaction
// must then be abandoned.
int UndoEarlierPreparation();

// Deletes K's refund transfers (type "C") of issue N. Transfers of other issues stay.
void DeleteTransfers();

// Moves the current one-off charge into K's standing charges: into the standing charge of the
// same concept, class, periodicity and remaining count when there is one (deleted when its
// amount comes to 0), else into a new one at the next free sequence number; then deletes the
// one-off record. The current charge then carries the standing charge's sequence number, so
// its line names it, and that charge counts as billed. When no sequence number is free the
// one-off record stays and the charge keeps its own.
void MergeOneOffCharge();

// Writes the current charge as a line of the receipt (lines of amount 0 are not stored) and
// marks that the receipt has lines.
void WriteReceiptLine();

// Counts down K's standing charges that were billed in this receipt and have a limited count.
// A charge whose count reaches 0 keeps its stored count of 1 and gets a one-off record dated
// this issue of minus its amount, which cancels it in the next issue it applies to.
void CountDownStandingCharges();

// Writes the refund transfer of a negative receipt (not for an amount of 0).
void WriteTransfer();

// Stores the receipt header (total, remittance, first-receipt and pending flags, bank data)
// when lines were written; a receipt whose four totals are 0 leaves neither header nor lines.
void FinishReceipt();

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_STORAGE_H_
