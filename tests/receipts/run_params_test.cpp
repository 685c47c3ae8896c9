// The typed selection turned into run parameters, as the form's acceptance and the batch runner
// both do it.
#include "receipts/run_params.h"

#include <gtest/gtest.h>

#include "receipts/layouts.h"
#include "os/clock.h"
#include "os/codepage.h"
#include "support/receipts_data.h"

namespace palvorin {
namespace {

using testing::CoOwner;
using testing::Date;
using testing::Issue;
using testing::ReceiptsData;

class RunParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.dictionaryError().empty()) << data_.dictionaryError();
    data_.AddConcept("ADM", 'D');
    data_.AddConcept(cp850("ÇÈA"), 'D');
  }

  SelectionTexts Typical() {
    SelectionTexts t;
    t.mode = "a";
    t.issueDate = "15/3/2025";
    t.month = "3";
    return t;
  }

  ReceiptsData data_;
};

TEST_F(RunParamsTest, ConvertsTheTypedSelection) {
  SelectionTexts t = Typical();
  t.fromCoOwner = "12.3     ";
  t.toCoOwner = "14";
  t.fromRemittance = "150 ";
  t.toRemittance = "0400";
  t.buildingTotals = "F";
  t.summaryByConcept = "N";
  t.typeFlags = {"N", "S", "N", "N", "S"};
  t.concepts = {"adm", "   ", ""};
  RunParams p;
  std::string why;
  ASSERT_TRUE(SelectionToRunParams(t, p, why)) << why;
  EXPECT_EQ(p.mode, 'A');
  EXPECT_EQ(p.issueDate, Date(2025, 3, 15));
  EXPECT_EQ(p.issueNumber, Issue(25, 3));
  EXPECT_EQ(p.fromCoOwner, CoOwner(12, 3));
  EXPECT_EQ(p.toCoOwner, CoOwner(14, 9999));
  EXPECT_EQ(p.fromRemittance, std::string("A") + '\xB2');
  EXPECT_EQ(p.toRemittance, EncodeRemittance(400));
  EXPECT_EQ(p.buildingTotals, "F");
  EXPECT_FALSE(p.summaryByConcept);
  EXPECT_EQ(p.pagePerBuilding, "G");
  EXPECT_EQ(p.typeSelection, (std::array<std::string, 5>{"N", "S", "N", "N", "S"}));
  EXPECT_EQ(p.conceptList, std::string("ADM") + '\xFF');
}

TEST_F(RunParamsTest, IssueNumberTakesTheMonthFieldAndAnEmptyDateIsTheWorkDate) {
  SelectionTexts t = Typical();
  t.issueDate = "  ";
  t.month = "4";
  RunParams p;
  std::string why;
  ASSERT_TRUE(SelectionToRunParams(t, p, why)) << why;
  EXPECT_EQ(p.issueDate, Date(2025, 3, 15));  // the session's work date
  EXPECT_EQ(p.issueNumber, Issue(25, 4));
  // The month only numbers the issue: any two digits are taken, a blank month is 0.
  for (auto [typed, month] : {std::pair{"", 0}, {"0", 0}, {"13", 13}, {"99", 99}}) {
    t.month = typed;
    ASSERT_TRUE(SelectionToRunParams(t, p, why)) << typed << ": " << why;
    EXPECT_EQ(p.issueNumber, Issue(25, month)) << typed;
  }
  EXPECT_EQ(MonthOfTypedDate(""), "3");
  EXPECT_EQ(MonthOfTypedDate("2/11/2025"), "11");
  EXPECT_EQ(MonthOfTypedDate("31/2/2025"), "");
}

TEST_F(RunParamsTest, AccentedConceptCodesAreFoldedToCapitals) {
  SelectionTexts t = Typical();
  t.concepts = {cp850("çèa")};
  RunParams p;
  std::string why;
  ASSERT_TRUE(SelectionToRunParams(t, p, why)) << why;
  EXPECT_EQ(p.conceptList, cp850("ÇÈA") + '\xFF');
}

TEST_F(RunParamsTest, OptionsFoldAsOnTheFormAndATwoDigitYearIsTheOneChecked) {
  Os().today = [] { return LocalDate{2026, 5, 10}; };
  SelectionTexts t = Typical();
  t.issueDate = "29/2/76";  // checked and stored as 1976
  t.typeFlags = {"s", "n", " S", cp850("ñ"), "N"};
  t.summaryByConcept = "n";
  RunParams p;
  std::string why;
  ASSERT_TRUE(SelectionToRunParams(t, p, why)) << why;
  EXPECT_EQ(p.issueDate, Date(1976, 2, 29));
  EXPECT_EQ(p.typeSelection, (std::array<std::string, 5>{"S", "N", "S", "N", "N"}));
  EXPECT_FALSE(p.summaryByConcept);
  ResetOsForTest();
}

TEST_F(RunParamsTest, RefusedSelectionsSayWhyAndChangeNothing) {
  struct Case {
    const char* what;
    void (*change)(SelectionTexts&);
    const char* reason;
  };
  const Case cases[] = {
      {"mode", [](SelectionTexts& t) { t.mode = "X"; }, "Mode"},
      {"date", [](SelectionTexts& t) { t.issueDate = "29/2/2025"; }, "Data"},
      {"three-digit year", [](SelectionTexts& t) { t.issueDate = "15/3/202"; }, "Data"},
      {"month", [](SelectionTexts& t) { t.month = "3a"; }, "Mes"},
      {"month too long", [](SelectionTexts& t) { t.month = "123"; }, "Mes"},
      {"co-owner", [](SelectionTexts& t) { t.fromCoOwner = "1234.0"; }, "Codi"},
      {"co-owner group", [](SelectionTexts& t) { t.toCoOwner = "10000.1234"; }, "Codi"},
      {"swapped co-owners",
       [](SelectionTexts& t) {
         t.fromCoOwner = "9999.9999";
         t.toCoOwner = "1.1      ";
       },
       "copropietari inicial"},
      {"remittance", [](SelectionTexts& t) { t.toRemittance = "9x"; }, "Remesa"},
      {"swapped remittances",
       [](SelectionTexts& t) {
         t.fromRemittance = "500";
         t.toRemittance = "400";
       },
       "remesa inicial"},
      {"building totals", [](SelectionTexts& t) { t.buildingTotals = "X"; }, "F o G"},
      {"summary", [](SelectionTexts& t) { t.summaryByConcept = "F"; }, "S o N"},
      {"type flag", [](SelectionTexts& t) { t.typeFlags[2] = "X"; }, "S o N"},
      {"unknown concept", [](SelectionTexts& t) { t.concepts = {"ZZZ"}; }, "ZZZ"},
      {"concept too long", [](SelectionTexts& t) { t.concepts = {"ADMX"}; }, "ADMX"},
      {"nothing selected",
       [](SelectionTexts& t) { t.typeFlags = {"N", "N", "N", "N", "N"}; }, "cap concepte"},
  };
  for (const Case& c : cases) {
    SelectionTexts t = Typical();
    c.change(t);
    RunParams p;
    p.mode = 'Q';
    std::string why;
    EXPECT_FALSE(SelectionToRunParams(t, p, why)) << c.what;
    if (why.find(c.reason) == std::string::npos) ADD_FAILURE() << c.what << ": " << why;
    EXPECT_EQ(p.mode, 'Q') << c.what;
  }
}

TEST_F(RunParamsTest, EveryTypeOffButOneConceptIsAccepted) {
  SelectionTexts t = Typical();
  t.typeFlags = {"N", "N", "N", "N", "N"};
  t.concepts = {"ADM"};
  RunParams p;
  std::string why;
  EXPECT_TRUE(SelectionToRunParams(t, p, why)) << why;
}

}  // namespace
}  // namespace palvorin
