// The batch runner, run as the program it is, on an installation built by the tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "os/clock.h"
#include "receipts/layouts.h"
#include "support/receipts_data.h"
#include "support/scoped_env.h"

namespace palvorin {
namespace {

using testing::CoOwner;
using testing::Issue;
using testing::ReceiptsData;

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = std::string(PALVORIN_BINARY_DIR) + "/inst/exe/palvorin-batch";
    if (!std::filesystem::exists(program_)) GTEST_SKIP() << "palvorin-batch is not built";
    ASSERT_TRUE(data_.dictionaryError().empty()) << data_.dictionaryError();
    data_.AddConcept("ADM", 'D');
    data_.AddConcept("COB", 'N');
    data_.AddPeriodicity("01", 'N', 1);
    data_.AddRemittance({.fixed = 30});
    data_.AddBuilding(12);
    data_.AddBuilding(13);
    data_.AddFullCoOwner(12, 1);
    data_.AddFullCoOwner(13, 1);
    data_.AddStanding(12, 1, 1, "ADM", 1000);
    data_.AddStanding(13, 1, 1, "ADM", 2000);
    data_.CloseFiles();
    env_.Set("ZEPROOT", data_.dir().folder())
        .Set("ZEPTMP", data_.dir().folder() + "tmp/")
        .Set("ZEPEXE", data_.dir().folder() + "exe/");
  }

  int Batch(const std::vector<std::string>& args) {
    ChildResult r = RunAndWait(program_, args);
    EXPECT_TRUE(r.status.ok()) << r.status.message;
    return r.exitCode;
  }

  std::vector<std::string> Headers() {
    data_.ReopenFiles();
    std::vector<std::string> codes;
    for (const std::string& h : data_.All(hcaprebu::kHandle)) codes.push_back(h.substr(0, 4));
    data_.CloseFiles();
    return codes;
  }

  std::string program_;
  ReceiptsData data_;
  testing::ScopedEnv env_;
};

TEST_F(BatchTest, PreparesTheSelectedCoOwnersAndLeavesTheSpool) {
  EXPECT_EQ(Batch({"--mode", "p", "--date", "15/3/2025", "--month=3", "--from", "13.1",
                   "--no-print"}),
            0);
  EXPECT_EQ(Headers(), std::vector<std::string>{CoOwner(13, 1)});
  EXPECT_TRUE(data_.dir().Exists("tmp/zodirudi.tmp"));
  EXPECT_EQ(data_.dir().Read("DADES/HParam.tab").size(), 97u);
}

TEST_F(BatchTest, WithoutAMonthTheIssueTakesTheIssueDatesMonth) {
  EXPECT_EQ(Batch({"--mode", "P", "--date", "15/3/2025", "--from", "13.1", "--no-print"}), 0);
  data_.ReopenFiles();
  std::vector<std::string> headers = data_.All(hcaprebu::kHandle);
  data_.CloseFiles();
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0].substr(4, 2), Issue(25, 3));
}

TEST_F(BatchTest, AdvanceListingWritesTheSpoolAndStoresNothing) {
  EXPECT_EQ(Batch({"--mode", "A", "--date", "15/3/2025", "--building-totals", "F",
                   "--types", "SSSSS", "--concepts", "ADM,COB", "--no-print"}),
            0);
  EXPECT_TRUE(Headers().empty());
  std::string spool = data_.dir().Read("tmp/zodirudi.tmp");
  EXPECT_NE(spool.find("TOTAL GENERAL"), std::string::npos);
  EXPECT_NE(spool.find("13.1"), std::string::npos);
}

TEST_F(BatchTest, RefusedSelectionsAndBadOptionsExitWithStatus2) {
  EXPECT_EQ(Batch({"--mode", "P", "--date", "15/3/2025", "--from", "13.1", "--to", "12.1"}), 2);
  EXPECT_EQ(Batch({"--mode", "P", "--date", "31/2/2025"}), 2);
  EXPECT_EQ(Batch({"--mode", "P", "--types", "NNNNN", "--date", "15/3/2025"}), 2);
  EXPECT_EQ(Batch({"--mode", "P", "--concepts", "XYZ", "--date", "15/3/2025"}), 2);
  EXPECT_EQ(Batch({"--mode", "P", "--concepts", "ADMX", "--date", "15/3/2025"}), 2);
  EXPECT_EQ(Batch({"--mode", "P", "--types", "sssxs", "--date", "15/3/2025"}), 2);
  EXPECT_EQ(Batch({"--mode", "P", "--date", "15/3/202"}), 2);
  EXPECT_EQ(Batch({"--colour", "red"}), 2);
  EXPECT_EQ(Batch({"--mode"}), 2);
  EXPECT_TRUE(Headers().empty());
}

TEST_F(BatchTest, ARootWithoutItsSlashServesAndTypedControlsComeBackEscaped) {
  env_.Set("ZEPROOT", data_.dir().path());
  EXPECT_EQ(Batch({"--mode", "P", "--date", "15/3/2025", "--types", "sssss", "--from", "13.1",
                   "--no-print"}),
            0);
  EXPECT_EQ(Headers(), std::vector<std::string>{CoOwner(13, 1)});
  const std::string err = data_.dir() / "err";
  EXPECT_NE(std::system((program_ + " --mode \"$(printf 'V\\033[2J')\" 2>" + err).c_str()), 0);
  EXPECT_NE(testing::FileContent(err).find("V\\x1b[2J"), std::string::npos);
  EXPECT_EQ(testing::FileContent(err).find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace palvorin
