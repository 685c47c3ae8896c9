// Receipt runs over real data files built through the record-file layer.
#include "receipts/generation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "receipts/layouts.h"
#include "os/codepage.h"
#include "session/session.h"
#include "support/other_process.h"
#include "support/receipts_data.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

using testing::CoOwner;
using testing::Date;
using testing::Issue;
using testing::Params;
using testing::ReceiptsData;

class GenerationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.dictionaryError().empty()) << data_.dictionaryError();
    data_.AddBasicInstallation();
  }

  CycleResult Run(const RunParams& p) {
    SilentProgress silent;
    return RunAndPrint(p, silent, false);
  }

  ReceiptsData data_;
};

// The concepts of the lines stored for co-owner 12.1 in issue `issue`.
std::vector<std::string> StoredConcepts(ReceiptsData& data, const std::string& issue) {
  std::vector<std::string> codes;
  for (const std::string& r : data.All(hlinrebu::kHandle)) {
    if (GetText(r, hlinrebu::kIssue, 2) == issue) codes.push_back(GetText(r, hlinrebu::kConcept, 3));
  }
  return codes;
}

TEST_F(GenerationTest, PeriodicitiesDecideTheMonthsAChargeIsTaken) {
  data_.AddBuilding(13, 2, 5);  // reference month May
  data_.AddPeriodicity("TRI", 'N', 3, 6);
  data_.AddPeriodicity("EDF", 'E', 3);
  data_.AddPeriodicity("EXP", 'I', 0, 0, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
  data_.AddFullCoOwner(13, 1);
  data_.AddStanding(13, 1, 1, "ADM", 100, 0, "TRI");
  data_.AddStanding(13, 1, 2, "AIG", 100, 0, "EDF");
  data_.AddStanding(13, 1, 3, "DER", 100, 0, "EXP");
  data_.AddStanding(13, 1, 4, "ADM", 100, 0, "ZZZ");  // no such periodicity: never
  std::vector<std::string> months;
  for (int month = 1; month <= 12; ++month) {
    Run(Params('P', 2025, month));
    std::string taken;
    for (const std::string& r : data_.All(hlinrebu::kHandle)) {
      if (GetText(r, hlinrebu::kIssue, 2) == Issue(25, month)) taken += GetText(r, hlinrebu::kConcept, 1);
    }
    months.push_back(taken);
  }
  // "N" every 3 months but not every 6: April and October. From May every 3 months: February,
  // May, August, November. Explicit months: February and December.
  EXPECT_EQ(months, (std::vector<std::string>{"", "AD", "", "A", "A", "", "", "A", "", "A",
                                              "A", "D"}));
}

TEST_F(GenerationTest, IssueMonthComesFromTheIssueDateAndTheNumberFromTheMonthField) {
  data_.AddPeriodicity("MAR", 'I', 0, 0, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  data_.AddFullCoOwner(12, 1);
  data_.AddStanding(12, 1, 1, "ADM", 100, 0, "MAR");
  RunParams p = Params('P', 2025, 3);
  p.issueNumber = Issue(25, 13);  // an extra issue dated in March
  Run(p);
  EXPECT_EQ(StoredConcepts(data_, Issue(25, 13)), std::vector<std::string>{"ADM"});
}

TEST_F(GenerationTest, RangesOfCoOwnersAndRemittancesBoundTheRun) {
  data_.AddRemittance({.number = 450});
  data_.AddBuilding(13);
  for (int b : {12, 13}) {
    for (int o : {1, 2, 3}) {
      data_.AddFullCoOwner(b, o, o == 3 ? 450 : 100);
      data_.AddStanding(b, o, 1, "ADM", 100);
    }
  }
  RunParams p = Params('P');
  p.fromCoOwner = CoOwner(12, 2);
  p.toCoOwner = CoOwner(13, 2);
  p.toRemittance = EncodeRemittance(400);
  CycleResult r = Run(p);
  std::vector<std::string> codes;
  for (const std::string& h : data_.All(hcaprebu::kHandle)) codes.push_back(h.substr(0, 4));
  EXPECT_EQ(codes, (std::vector<std::string>{CoOwner(12, 2), CoOwner(13, 1), CoOwner(13, 2)}));
  EXPECT_EQ(r.coOwners, 4);  // 12.2, 12.3, 13.1, 13.2 were looked at
}

TEST_F(GenerationTest, SpoolIsWrittenForEveryRunAndTheMissingProgramReportedOnce) {
  SessionState().exeDir = data_.dir().folder() + "exe/";
  SilentProgress silent;
  CycleResult first = RunAndPrint(Params('P'), silent, true);
  EXPECT_TRUE(first.spool.ok());
  EXPECT_EQ(first.print, PrintOutcome::Missing);
  EXPECT_TRUE(first.reportMissingProgram);
  EXPECT_EQ(data_.SpoolLines(), std::vector<std::string>{"DEVICEPANTALLA"});
  CycleResult second = RunAndPrint(Params('V'), silent, true);
  EXPECT_EQ(second.print, PrintOutcome::Missing);
  EXPECT_FALSE(second.reportMissingProgram);
}

TEST_F(GenerationTest, ATemporaryFolderHeldByAnotherLiveRunIsLeftAloneUntilThatRunDies) {
  std::filesystem::create_directories(SessionState().tempDir);
  std::ofstream(SpoolPath()) << "the other run's listing";
  testing::OtherProcess other([] { return HoldFolder(SessionState().tempDir) ? 0 : 1; });
  ASSERT_EQ(other.status(), 0);
  EXPECT_NE(Run(Params('V')).spool.message.find(cp850(": CARPETA TEMPORAL EN ÚS")),
            std::string::npos);
  EXPECT_EQ(testing::FileContent(SpoolPath()), "the other run's listing");
  other.Kill();
  EXPECT_TRUE(Run(Params('V')).spool.ok()) << "a killed run holds nothing";
}

TEST_F(GenerationTest, SpoolThatCannotBeWrittenIsNotPrinted) {
  // A folder in the spool's place: the spool cannot be created.
  std::filesystem::create_directories(SpoolPath() + "/x");
  SessionState().exeDir = data_.dir().folder() + "exe/";
  SilentProgress silent;
  CycleResult result = RunAndPrint(Params('V'), silent, true);
  EXPECT_FALSE(result.spool.ok());
  EXPECT_FALSE(result.print.has_value());
  EXPECT_FALSE(result.reportMissingProgram);
}

TEST_F(GenerationTest, ADamagedRecordIsReportedOnceWhereItIsAndTheRunGoesOnPastIt) {
  if (testing::OnServer()) GTEST_SKIP() << "a local database only";
  for (int o = 1; o <= 4; ++o) {
    data_.AddFullCoOwner(12, o);
    data_.AddStanding(12, o, 1, "ADM", 1);
  }
  data_.CloseFiles();
  const std::string dades = data_.dir().folder() + "DADES/";  // 12.2 and 12.3's charge cut
  ASSERT_TRUE(testing::RunSql(dades, "UPDATE \"hprobase.dat\" SET data = x'00' WHERE id = 2;"
                                     "UPDATE \"hrebuts.dat\" SET data = x'00' WHERE id = 3"));
  data_.ReopenFiles();
  const std::string base = dades + "HProBase.dat, " + cp850("POSICIÓ 2: REGISTRE MALMÈS (54)");
  CycleResult verify = Run(Params('V'));
  EXPECT_EQ(verify.coOwners, 3) << "the walk went on past 12.2";
  EXPECT_EQ(verify.failures, std::vector<std::string>{base});
  EXPECT_EQ(Run(Params('P')).failures,
            (std::vector<std::string>{base, "12.3: " + dades + "HRebuts.dat, " +
                                                cp850("POSICIÓ 3: REGISTRE MALMÈS (54)")}));
  std::vector<std::string> headers;
  for (const std::string& h : data_.All(hcaprebu::kHandle)) headers.push_back(h.substr(0, 4));
  EXPECT_EQ(headers, (std::vector<std::string>{CoOwner(12, 1), CoOwner(12, 4)}));
}

}  // namespace
}  // namespace palvorin
