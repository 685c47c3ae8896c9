#include "receipts/charges.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace palvorin {
namespace {

TEST(StoredAmount, RoundsToWholeHundredthsTiesToEvenAndClampsToADword) {
  struct Case {
    double amount;
    int32_t stored;
  };
  const Case cases[] = {
      {12.5, 12},
      {13.5, 14},
      {-12.5, -12},
      {-13.5, -14},
      {99.4999, 99},
      {1e12, std::numeric_limits<int32_t>::max()},
      {-1e12, std::numeric_limits<int32_t>::min()},
      {INFINITY, std::numeric_limits<int32_t>::max()},
      {-INFINITY, std::numeric_limits<int32_t>::min()},
      {NAN, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(StoredAmount(c.amount), c.stored) << c.amount;
}

TEST(PartialTotals, EachConceptTypeCountsInItsTotal) {
  PartialTotals t;
  for (char type : {'D', 'F', 'N'}) t.Add(type, 100);
  t.Add('R', 20);
  t.Add('S', -7);
  t.Add('P', 3);
  t.Add(' ', 1000);  // a missing concept: a line, but in no total
  t.Add('X', 1000);
  EXPECT_EQ(t.pf, 300);
  EXPECT_EQ(t.fr, 20);
  EXPECT_EQ(t.sa, -7);
  EXPECT_EQ(t.gp, 3);
  EXPECT_EQ(t.Sum(), 316);
  EXPECT_EQ(TypeIndex(' '), 1);
  EXPECT_EQ(TypeIndex('F'), 1);
  EXPECT_EQ(TypeIndex('D'), 2);
  EXPECT_EQ(TypeIndex('R'), 3);
  EXPECT_EQ(TypeIndex('S'), 4);
  EXPECT_EQ(TypeIndex('P'), 5);
}

TEST(CarryBalance, EachRuleAdjustsTheBalanceLine) {
  struct Case {
    int rule;
    double balance, applied, amount, pf;
    double wantAmount, wantApplied;
  };
  const Case cases[] = {
      // Rule 1: never a balance line.
      {1, -5000, 0, 1200, 3000, 0, 0},
      // Rule 2: the charge as it stands, within what is left of a debt.
      {2, -5000, 0, 1200, 3000, 1200, 1200},
      {2, -1000, 0, 1200, 3000, 1000, 1000},  // never more than the debt still open
      {2, 0, 0, 1200, 3000, 1200, 1200},
      // Rule 3: only while the co-owner owes.
      {3, 0, 0, 1200, 3000, 0, 0},
      {3, 500, 0, 1200, 3000, 0, 0},
      {3, -5000, 4000, 1200, 3000, 1000, 5000},
      // Rule 4: a credit is given back whole...
      {4, 2000, 0, 999, 3000, -2000, -2000},
      {4, 2000, -500, 999, 3000, -1500, -2000},
      // ...but never takes the receipt below zero: a credit larger than PF gives -PF.
      {4, 5000, 0, 999, 3000, -3000, -3000},
      {4, 5000, 0, 999, 2999.5, -3000, -3000},  // -PF rounded, ties to even
      // The -PF cap belongs to a positive balance only.
      {4, -5000, 0, 1200, 100, 1200, 1200},
      {4, 0, 0, 1200, 100, 1200, 1200},
      // Rule 5: only while the co-owner has a credit.
      {5, 0, 0, -300, 3000, 0, 0},
      {5, 1000, 0, -300, 3000, -300, -300},
      {5, 1000, -800, -300, 3000, -200, -1000},
      // An unknown rule keeps the charge.
      {9, -5000, 0, 1200, 3000, 1200, 1200},
  };
  for (const Case& c : cases) {
    BalanceCarry got = CarryBalance(c.rule, c.balance, c.applied, c.amount, c.pf);
    EXPECT_EQ(got.amount, c.wantAmount) << "rule " << c.rule << " B " << c.balance << " A "
                                        << c.applied << " X " << c.amount;
    EXPECT_EQ(got.applied, c.wantApplied) << "rule " << c.rule << " B " << c.balance;
  }
}

TEST(CollectionFee, RateLimitsAndFixedPart) {
  struct Case {
    double total;
    int rate;
    double minimum, maximum, fixed;
    double fee;
  };
  const Case cases[] = {
      {9900, 100, 0, 1000, 0, 100},   // 1% of total plus fee
      {9900, 100, 150, 1000, 0, 150}, // the minimum wins
      {9900, 100, 150, 0, 0, 150},    // whatever the maximum
      {9900, 100, 0, 0, 0, 0},        // a maximum of 0 suppresses the fee
      {9900, 100, 0, 60, 0, 60},
      {9900, 0, 0, 0, 30, 30},        // fixed fee only
      {9900, 100, 0, 1000, 25, 125},
      {12345, 50, 0, 10000, 0, 62},   // 12345 / 199 = 62.03
      {199, 50, 0, 10000, 0, 1},      // 199 / 199 = 1
      {398.5 * 2, 50, 0, 10000, 0, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CollectionFee(c.total, c.rate, c.minimum, c.maximum, c.fixed), c.fee)
        << "total " << c.total << " rate " << c.rate << " min " << c.minimum << " max "
        << c.maximum << " fixed " << c.fixed;
  }
}

TEST(CollectionFee, RatesOfOneHundredPercentOrMoreFallBackOnTheLimits) {
  // 10000 / 10000 - 1 is 0: the unbounded fee is replaced by the maximum.
  EXPECT_EQ(CollectionFee(9900, 10000, 0, 500, 0), 500);
  EXPECT_EQ(CollectionFee(9900, 10000, 0, 500, 7), 507);
  // Above 10000 the quotient turns negative: the minimum takes its place.
  EXPECT_EQ(CollectionFee(9900, 20000, 40, 500, 0), 40);
  EXPECT_EQ(CollectionFee(9900, 32767, 0, 500, 0), 0);
  // A negative rate gives a negative proportional part too.
  EXPECT_EQ(CollectionFee(9900, -100, 10, 500, 0), 10);
  // Nothing unbounded ever leaves the function.
  EXPECT_TRUE(std::isfinite(CollectionFee(1e9, 10000, 0, 2147483647, 0)));
}

TEST(PeriodicityApplies, KindsAndIntervals) {
  Periodicity monthly{'N', 1, 0, {}};
  Periodicity quarterlyNotSemester{'N', 3, 6, {}};
  Periodicity none{'N', 0, 0, {}};
  Periodicity fromBuilding{'R', 3, 0, {}};
  Periodicity explicitMonths{'I', 0, 0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 5}};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_TRUE(PeriodicityApplies(monthly, m, 1)) << m;
    EXPECT_FALSE(PeriodicityApplies(none, m, 1)) << m;
    EXPECT_EQ(PeriodicityApplies(quarterlyNotSemester, m, 1), m == 4 || m == 10) << m;
    // From reference month 5: May, August, November and, backwards, February.
    EXPECT_EQ(PeriodicityApplies(fromBuilding, m, 5), m == 2 || m == 5 || m == 8 || m == 11)
        << m;
    EXPECT_EQ(PeriodicityApplies(explicitMonths, m, 1), m == 1 || m == 6 || m == 12) << m;
  }
  EXPECT_FALSE(PeriodicityApplies(explicitMonths, 0, 1));
  EXPECT_FALSE(PeriodicityApplies(explicitMonths, 13, 1));
}

}  // namespace
}  // namespace palvorin
