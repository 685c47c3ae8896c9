// The advance listing and the error listing, read back from the spool.
#include "receipts/advance.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "os/codepage.h"
#include "session/session.h"
#include "support/receipts_data.h"

namespace palvorin {
namespace {

using testing::CoOwner;
using testing::Date;
using testing::Issue;
using testing::Params;
using testing::ReceiptsData;

class AdvanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.dictionaryError().empty()) << data_.dictionaryError();
    data_.AddBasicInstallation({.fixed = 30});
  }

  std::vector<std::string> Listing(const RunParams& p) {
    SilentProgress silent;
    RunAndPrint(p, silent, false);
    return data_.SpoolLines();
  }

  ReceiptsData data_;
};

// Two co-owners of one building: one with a one-off charge and a bank account, one without an
// account whose receipt is collected at its alternative address; a fixed fee of 0'30 each.
void AddSmallBuilding(ReceiptsData& data) {
  data.AddFullCoOwner(12, 1);
  data.AddStanding(12, 1, 1, "ADM", 5000);
  data.AddOneOff(12, 1, Date(2025, 3, 1), "DER", 250);
  data.AddCoOwner(12, 2, "SOLER*Pere", "2n 1a", 0, "C. Major 1", "Av. Diagonal 5");
  data.AddBank(12, 2, 100, "");
  data.AddEconomic(12, 2);
  data.AddStanding(12, 2, 1, "ADM", 4000);
  data.AddStanding(12, 2, 2, "AIG", 1200);
}

std::vector<std::string> PageHeader(int page, char mode = 'A',
                                    const std::string& installation = "ADMINISTRACIO PROVA") {
  std::string number = std::to_string(page);
  std::vector<std::string> lines = {
      "PAGE 66 ",
      "*@e",
      " 1 ," + installation + ", 0 ",
      "JUSD",
      cp850(" 85 ,PÀGINA ") + std::string(4 - number.size(), ' ') + number + ", 2 ",
      cp850(" 17 ,AVANÇ DE REBUTS D'HORITZONTAL DE L'EMISSIÓ 2503 DE 15/3/2025 , 2 "),
      "*q",
      " 1 ,CODI, 0 ",
      " 11 ,DEPARTAMENT, 0 ",
      " 27 ,COPROPIETARI, 0 "};
  if (mode == 'V') {
    lines.push_back(cp850(" 68 ,INCIDÈNCIA, 1 "));
  } else {
    lines.push_back(" 68 ,COBRAMENT PER, 0 ");
    lines.push_back(cp850(" 96 ,ADREÇA DE COBRAMENT, 1 "));
  }
  lines.push_back(" 1 ," + std::string(135, '-') + ", 1 ");
  return lines;
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
  to.insert(to.end(), lines.begin(), lines.end());
}

// Amount-and-concept pairs as a receipt line prints them: the amount where the line's last text
// ended (column 0 at the start of a line, which prints at column 1), the concept right after it.
std::vector<std::string> Pair(int column, const std::string& amount, const std::string& code,
                              bool oneOff = false) {
  std::vector<std::string> lines;
  if (oneOff) lines.push_back("*b");
  lines.push_back("JUSD");
  lines.push_back(" " + std::to_string(column) + " ," + amount + ", 0 ");
  lines.push_back("JUSE");
  lines.push_back(" " + std::to_string(std::max(column, 1) + 8) + " ," + code + "  , 0 ");
  if (oneOff) lines.push_back("*b");
  return lines;
}

std::vector<std::string> Totals(const std::string& pf, const std::string& fr,
                                const std::string& sa, const std::string& gp,
                                const std::string& total) {
  return {"JUSD",
          " 50 , PF " + pf + ", 0 ",
          " 65 , + FR " + fr + ", 0 ",
          " 82 , + SA " + sa + ", 0 ",
          " 99 , + GP " + gp + ", 0 ",
          " 116 , = TOTAL " + total + ", 1 "};
}

void ExpectLines(const std::vector<std::string>& got, const std::vector<std::string>& want) {
  for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
    EXPECT_EQ(i < got.size() ? got[i] : "<missing>", i < want.size() ? want[i] : "<extra>")
        << "spool line " << i + 1;
  }
}

TEST_F(AdvanceTest, SmallListingLineByLine) {
  AddSmallBuilding(data_);
  RunParams p = Params('A');
  p.buildingTotals = "F";
  std::vector<std::string> want = {"DEVICEPANTALLA"};
  Append(want, PageHeader(1));
  Append(want, {" 1 ,12.1, 0 ", " 11 ,1r 1a          , 0 ",
                " 27 ,PUIG*Anna                               , 0 ", " 68 ,0100, 0 ",
                " 96 ,ES7621000000000000000001, 1 "});
  Append(want, Pair(0, "  50'00 ", "ADM"));
  Append(want, Pair(14, "   2'50 ", "DER", true));
  Append(want, Pair(27, "   0'30 ", "COB"));  // the fee is no one-off charge
  Append(want, {"JUSD", " 123 ,=      52'80 , 2 "});
  Append(want, {" 1 ,12.2, 0 ", " 11 ,2n 1a          , 0 ",
                " 27 ,SOLER*Pere                              , 0 ", " 68 ,0100, 0 ",
                " 96 ,Av. Diagonal 5                          , 1 "});
  Append(want, Pair(0, "  40'00 ", "ADM"));
  Append(want, Pair(14, "  12'00 ", "AIG"));
  Append(want, Pair(27, "   0'30 ", "COB"));
  Append(want, {"JUSD", " 123 ,=      52'30 , 2 "});
  Append(want, {" 1 ,12  Casa GARCIA, 0 "});
  Append(want, Totals("     90'60 ", "     12'00 ", "      0'00 ", "      2'50 ", "    105'10 "));
  Append(want, Pair(0, "  90'00 ", "ADM"));
  Append(want, Pair(14, "   2'50 ", "DER"));
  Append(want, Pair(27, "   0'60 ", "COB"));
  Append(want, Pair(40, "  12'00 ", "AIG"));
  Append(want, {" 0 ,, 1 ", " 1 ," + std::string(134, '-') + ", 2 "});
  Append(want, {" 1 ,TOTAL GENERAL, 0 "});
  Append(want, Totals("     90'60 ", "     12'00 ", "      0'00 ", "      2'50 ", "    105'10 "));
  Append(want, Pair(0, "  90'00 ", "ADM"));
  Append(want, Pair(14, "   2'50 ", "DER"));
  Append(want, Pair(27, "   0'60 ", "COB"));
  Append(want, Pair(40, "  12'00 ", "AIG"));
  Append(want, {" 0 ,, 1 ", " 1 ," + std::string(134, '=') + ", 1 "});
  ExpectLines(Listing(p), want);
}

TEST_F(AdvanceTest, ListingChangesNoDataFileAndEmptiesItsSummary) {
  AddSmallBuilding(data_);
  testing::Snapshot before = data_.DataSnapshot();
  std::string log = data_.dir().Read("db.log");
  RunParams p = Params('A');
  std::vector<std::string> first = Listing(p);
  EXPECT_EQ(data_.DataSnapshot(), before);
  EXPECT_TRUE(data_.All(hresrebu::kHandle).empty());
  // The next listing of the session starts from an empty summary and prints the same.
  EXPECT_EQ(Listing(p), first);
  // Only the scratch summary was written to.
  std::string after = data_.dir().Read("db.log");
  ASSERT_GE(after.size(), log.size());
  for (size_t at = log.size(); at + 28 <= after.size(); at = after.find("\r\n", at) + 2) {
    EXPECT_EQ(after.substr(at, 4), " 69 ") << after.substr(at, 40);
  }
}

TEST_F(AdvanceTest, PagePerBuildingStillEndsWithTheGeneralTotalOnItsOwnPage) {
  AddSmallBuilding(data_);
  data_.AddBuilding(13, 2, 1, Date(0, 0, 0), 0, "ROCA*Torre");
  data_.AddFullCoOwner(13, 1);
  data_.AddStanding(13, 1, 1, "ADM", 1000);
  RunParams p = Params('A');
  p.buildingTotals = "F";
  p.pagePerBuilding = "F";
  std::vector<std::string> lines = Listing(p);
  std::vector<size_t> pageOne;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == cp850(" 85 ,PÀGINA    1, 2 ")) pageOne.push_back(i);
  }
  // Each building opens page 1, and so does the general total.
  ASSERT_EQ(pageOne.size(), 3u);
  auto general = std::find(lines.begin(), lines.end(), " 1 ,TOTAL GENERAL, 0 ");
  ASSERT_NE(general, lines.end());
  EXPECT_GT(general - lines.begin(), static_cast<long>(pageOne[2]));
  EXPECT_EQ(lines[general - lines.begin() + 2], " 50 , PF     100'90 , 0 ");
  EXPECT_EQ(lines.back(), " 1 ," + std::string(134, '=') + ", 1 ");
  EXPECT_TRUE(data_.All(hresrebu::kHandle).empty());
  EXPECT_EQ(Listing(p), lines);
}

TEST_F(AdvanceTest, BuildingWithoutPrintedLinesPrintsNoBlockAndCoOwnerWithoutLinesNothing) {
  AddSmallBuilding(data_);
  data_.AddBuilding(13, 1, 1, Date(0, 0, 0), 0, "ROCA*Torre");  // rule 1: no balance lines
  data_.AddFullCoOwner(13, 1, 100, -500);
  data_.AddStanding(13, 1, 1, "SAL", 500);
  RunParams p = Params('A');
  p.buildingTotals = "F";
  std::vector<std::string> lines = Listing(p);
  for (const std::string& l : lines) {
    EXPECT_EQ(l.find(",13"), std::string::npos) << l;
    EXPECT_EQ(l.find("ROCA"), std::string::npos) << l;
  }
}

TEST_F(AdvanceTest, WithoutSummaryTheBuildingSeparatorIsShortAndNoSummaryIsKept) {
  AddSmallBuilding(data_);
  RunParams p = Params('A');
  p.buildingTotals = "F";
  p.summaryByConcept = false;
  std::vector<std::string> lines = Listing(p);
  std::vector<std::string> tail(lines.end() - 10, lines.end());
  std::vector<std::string> want = {" 116 , = TOTAL     105'10 , 1 ",
                                   " 50 ," + std::string(85, '-') + ", 2 ",
                                   " 1 ,TOTAL GENERAL, 0 "};
  Append(want, Totals("     90'60 ", "     12'00 ", "      0'00 ", "      2'50 ", "    105'10 "));
  want.push_back(" 1 ," + std::string(134, '=') + ", 1 ");
  ExpectLines(tail, want);
}

TEST_F(AdvanceTest, LongReceiptsWrapAndFullPagesOpenTheNextPage) {
  for (int owner = 1; owner <= 30; ++owner) {
    data_.AddFullCoOwner(12, owner);
    for (int seq = 1; seq <= 10; ++seq) data_.AddStanding(12, owner, seq, "ADM", 100 * seq);
  }
  RunParams p = Params('A');
  std::vector<std::string> lines = Listing(p);
  // Nine pairs of 13 columns from column 1 end past column 110: the tenth starts a new line
  // at column 0.
  auto wrap = std::find(lines.begin(), lines.end(), " 0 ,, 1 ");
  ASSERT_NE(wrap, lines.end());
  EXPECT_EQ(*(wrap - 1), " 113 ,ADM  , 0 ");
  EXPECT_EQ(*(wrap + 2), " 0 ,  10'00 , 0 ");
  EXPECT_NE(std::find(lines.begin(), lines.end(), cp850(" 85 ,PÀGINA    2, 2 ")), lines.end());
  int pages = 0;
  for (const std::string& l : lines) pages += l == "PAGE 66 ";
  EXPECT_EQ(pages, 3);  // 30 receipts of 4 lines each, a new page after 52 lines
}

TEST_F(AdvanceTest, AbsentInstallationNamePrintsAnEmptyText) {
  AddSmallBuilding(data_);
  SessionState().installationName.clear();
  std::vector<std::string> lines = Listing(Params('A'));
  ASSERT_GT(lines.size(), 4u);
  EXPECT_EQ(lines[3], " 1 ,, 0 ");
}

TEST_F(AdvanceTest, VerifyListsOnlyCoOwnersThatCannotBeReceiptedAndWritesNothing) {
  data_.AddRemittance({.number = 300, .needsAccount = true});
  data_.AddFullCoOwner(12, 1);                    // fine
  data_.AddFullCoOwner(12, 2, 250);                // remittance 0250 does not exist
  data_.AddCoOwner(12, 3, "ROS*Marta", "3r");      // needs an account and has none
  data_.AddBank(12, 3, 300, "ES76");
  data_.AddEconomic(12, 3);
  data_.AddFullCoOwner(12, 4);                     // already in collection
  data_.AddCollection(12, 4, Issue(25, 3), Date(2025, 3, 15));
  for (int owner = 1; owner <= 4; ++owner) data_.AddStanding(12, owner, 1, "ADM", 1000);
  testing::Snapshot before = data_.DataSnapshot();
  std::string log = data_.dir().Read("db.log");
  std::vector<std::string> want = {"DEVICEPANTALLA"};
  Append(want, PageHeader(1, 'V'));
  Append(want, {" 1 ,12.2, 0 ", " 11 ,1r 1a          , 0 ",
                " 27 ,PUIG*Anna                               , 0 ",
                " 68 ,*** remesa 0250 inexistent ***, 1 ", " 1 ,12.3, 0 ",
                " 11 ,3r             , 0 ", " 27 ,ROS*Marta                               , 0 ",
                " 68 ,*** compte corrent ES76 incorrecte ***, 1 ", " 1 ,12.4, 0 ",
                " 11 ,1r 1a          , 0 ", " 27 ,PUIG*Anna                               , 0 ",
                " 68 ,*** ja existeix el rebut 12.4H2503 ***, 1 "});
  ExpectLines(Listing(Params('V')), want);
  EXPECT_EQ(data_.DataSnapshot(), before);
  EXPECT_EQ(data_.dir().Read("db.log"), log);
}

TEST_F(AdvanceTest, VerifyWithNothingToReportPrintsOnlyTheDevice) {
  AddSmallBuilding(data_);
  EXPECT_EQ(Listing(Params('V')), std::vector<std::string>{"DEVICEPANTALLA"});
}

}  // namespace
}  // namespace palvorin
