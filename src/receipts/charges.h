// The arithmetic of a receipt: which partial total a concept counts in, the carrying of a
// co-owner's balance by the building's balance rule, the collection fee, and whether a
// periodicity applies in a month.
//
// Amounts are hundredths of the currency unit. They are computed in double precision and
// stored as whole hundredths, ties to even (StoredAmount). A receipt has four partial totals:
// PF for concept types "D", "F" and "N", FR for "R", SA for "S" and GP for "P"; a line of any
// other type (or of a concept that does not exist) is still a line but counts in no total.
#ifndef PALVORIN_RECEIPTS_CHARGES_H_
#define PALVORIN_RECEIPTS_CHARGES_H_

#include <array>
#include <cstdint>

namespace palvorin {

// Whole hundredths, ties to even, as a record stores them: beyond the range of a dword the
// nearest end of the range, and nothing that is not a number (0 then).
int32_t StoredAmount(double amount);

// The type index of a concept type: 1 for a type not among "DRSP" (a blank one too), 2 for
// "D", 3 for "R", 4 for "S", 5 for "P". It picks the concept selection's type flag.
int TypeIndex(char type);

enum class TotalKind { PF, FR, SA, GP, None };
// The partial total that a line of concept type `type` counts in.
TotalKind TotalFor(char type);

struct PartialTotals {
  double pf = 0, fr = 0, sa = 0, gp = 0;
  double Sum() const { return pf + fr + sa + gp; }
  bool AllZero() const { return pf == 0 && fr == 0 && sa == 0 && gp == 0; }
  // Adds `amount` to the total of concept type `type` (to none for other types).
  void Add(char type, double amount);
  void Add(const PartialTotals& other);
};

// The balance-carrying of a type "S" charge.
struct BalanceCarry {
  double amount;   // X, the line amount that results (0: the charge is dropped)
  double applied;  // A afterwards: the part of the balance carried into receipts so far
};
// The charge amount `amount` adjusted by balance rule `rule` (the building's, 1-5) for a
// co-owner with balance `balance` (B) and applied balance `applied` (A), whose receipt holds
// `pf` in its PF total so far:
//   1 no balance line; 2 the charge as it stands; 3 only when the balance is negative;
//   4 when the balance is positive, A - B, but never more than cancels the PF so far (-PF);
//   5 only when the balance is positive; any other rule: the charge as it stands.
// Then, whatever the rule, the line never carries more than the rest of the balance (-B - A).
BalanceCarry CarryBalance(int rule, double balance, double applied, double amount, double pf);

// The collection fee of a receipt whose total is `total` (> 0), for a fee rate `rate` in
// ten-thousandths: the fee that is `rate` ten-thousandths of the total plus the fee, rounded to
// whole hundredths; then raised to `minimum` when below it, else lowered to `maximum` when above
// it (so a maximum of 0 suppresses a positive fee); then `fixed` added. Rate 0 means no
// proportional part. A rate of 10000 or more gives an unbounded or negative proportional part,
// which the limits then replace; no rate divides by zero or overflows.
double CollectionFee(double total, int rate, double minimum, double maximum, double fixed);

// A periodicity of DADES\HPeriodi: its kind ("I" explicit months, "N" every n months from
// January, anything else every n months from the building's reference month), its interval n
// and exclusion interval m, and the twelve month flags of kind "I".
struct Periodicity {
  char kind = ' ';
  int interval = 0;
  int exclusion = 0;
  std::array<int, 12> months{};
};
// Whether `p` applies in `month` (1-12) for a building whose reference month is `reference`:
// kind "I" when the month's flag is not 0; otherwise, with d = month - 1 (kind "N") or
// month - reference, when n is not 0, d is a multiple of n and, when m is not 0, d is not a
// multiple of m.
bool PeriodicityApplies(const Periodicity& p, int month, int reference);

}  // namespace palvorin

#endif  // PALVORIN_RECEIPTS_CHARGES_H_
