#include "receipts/charges.h"

#include <cmath>
#include <limits>

namespace palvorin {

int32_t StoredAmount(double amount) {
  if (std::isnan(amount)) return 0;
  double whole = std::nearbyint(amount);  // the default rounding: to nearest, ties to even
  if (whole >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (whole <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(whole);
}

int TypeIndex(char type) {
  switch (type) {
    case 'D':
      return 2;
    case 'R':
      return 3;
    case 'S':
      return 4;
    case 'P':
      return 5;
    default:
      return 1;
  }
}

TotalKind TotalFor(char type) {
  switch (type) {
    case 'D':
    case 'F':
    case 'N':
      return TotalKind::PF;
    case 'R':
      return TotalKind::FR;
    case 'S':
      return TotalKind::SA;
    case 'P':
      return TotalKind::GP;
    default:
      return TotalKind::None;
  }
}

void PartialTotals::Add(char type, double amount) {
  switch (TotalFor(type)) {
    case TotalKind::PF:
      pf += amount;
      break;
    case TotalKind::FR:
      fr += amount;
      break;
    case TotalKind::SA:
      sa += amount;
      break;
    case TotalKind::GP:
      gp += amount;
      break;
    case TotalKind::None:
      break;
  }
}

void PartialTotals::Add(const PartialTotals& other) {
  pf += other.pf;
  fr += other.fr;
  sa += other.sa;
  gp += other.gp;
}

BalanceCarry CarryBalance(int rule, double balance, double applied, double amount, double pf) {
  double x = amount;
  switch (rule) {
    case 1:
      x = 0;
      break;
    case 3:
      if (balance >= 0) x = 0;
      break;
    case 4:
      // A positive balance is carried whole, but a balance line never takes the receipt's PF
      // below zero.
      if (balance > 0) {
        x = applied - balance;
        if (-x > pf) x = -std::nearbyint(pf);
      }
      break;
    case 5:
      if (balance <= 0) x = 0;
      break;
    default:  // 2 and unknown rules keep the charge as it stands
      break;
  }
  double sign = balance > 0 ? 1 : (balance < 0 ? -1 : 0);
  if (std::fabs(balance) < (x + applied) * -sign) x = -balance - applied;
  return {x, applied + x};
}

double CollectionFee(double total, int rate, double minimum, double maximum, double fixed) {
  double fee = 0;
  if (rate != 0) {
    // Rate 10000 divides by zero here and gives an infinite fee, a larger rate a negative one;
    // both stay doubles until the limits below have replaced them.
    fee = std::nearbyint(total / (10000.0 / rate - 1));
  }
  if (minimum > fee) {
    fee = minimum;
  } else if (maximum < fee) {
    fee = maximum;
  }
  return fee + fixed;
}

bool PeriodicityApplies(const Periodicity& p, int month, int reference) {
  if (p.kind == 'I') {
    if (month < 1 || month > 12) return false;
    return p.months[month - 1] != 0;
  }
  if (p.interval == 0) return false;
  int d = p.kind == 'N' ? month - 1 : month - reference;
  if (d % p.interval != 0) return false;
  return p.exclusion == 0 || d % p.exclusion != 0;
}

}  // namespace palvorin
