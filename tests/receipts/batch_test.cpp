// The batch runner, run as the program it is, on an installation built by the tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "os/clock.h"
#include "receipts/layouts.h"
#include "support/other_process.h"
#include "support/receipts_data.h"
#include "support/scoped_env.h"

namespace palvorin {
namespace {

using testing::CoOwner;
using testing::Issue;
using testing::ReceiptsData;
using testing::Snapshot;

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
    data_.KeepDataInOwnDatabase();
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

  // Runs palvorin-batch with each of `runs` (its arguments) at once, every run but the first
  // with a temporary folder of its own, and its standard error in errors<i>; their exit codes.
  // A run still going after 30 seconds is killed (137), so a wait for ever fails the test.
  std::vector<int> AtOnce(const std::vector<std::string>& runs) {
    const std::string dir = data_.dir().folder();
    std::string script = "{ ", waits;
    for (size_t i = 0; i < runs.size(); ++i) {
      const std::string n = std::to_string(i), tmp = dir + (i ? "tmp" + n : "tmp") + "/";
      std::filesystem::create_directories(tmp);
      script += "ZEPTMP=" + tmp + " timeout -s KILL 30 " + program_ + " " + runs[i] +
                " >/dev/null 2>" + dir + "errors" + n + " & p" + n + "=$!; ";
      waits += "wait $p" + n + "; echo $?; ";
    }
    EXPECT_EQ(std::system((script + waits + "} >" + dir + "codes").c_str()), 0);
    std::istringstream in(data_.dir().Read("codes"));
    return std::vector<int>(std::istream_iterator<int>(in), std::istream_iterator<int>());
  }

  std::string program_;
  ReceiptsData data_;
  testing::ScopedEnv env_;
};

const std::string kPrepare = "--mode P --date 15/3/2025 --no-print";

TEST_F(BatchTest, TwoPreparingRunsAtOnceBothFinishAndStoreWhatOneRunStores) {
  data_.ReopenFiles();
  for (int b : {12, 13}) {
    for (int o = 2; o <= 12; ++o) {
      data_.AddFullCoOwner(b, o);
      data_.AddStanding(b, o, 1, "ADM", 1000 + o);
    }
  }
  data_.CloseFiles();
  const std::string dades = data_.dir() / "DADES", pristine = data_.dir() / "DADES.pristine";
  std::filesystem::copy(dades, pristine);
  auto files = [this] {
    data_.ReopenFiles();
    Snapshot files = data_.DataSnapshot();
    data_.CloseFiles();
    return files;
  };
  ASSERT_EQ(AtOnce({kPrepare}), std::vector<int>{0});
  const Snapshot once = files();
  ASSERT_EQ(once.at("HCapRebu").size(), 24u);
  // The same co-owners 30 times, then disjoint ranges: no pair may wait for ever, fail a
  // co-owner or store anything one run would not.
  for (int pair = 0; pair < 34; ++pair) {
    std::filesystem::remove_all(dades);
    std::filesystem::copy(pristine, dades);
    const bool disjoint = pair >= 30;
    EXPECT_EQ(AtOnce({kPrepare + (disjoint ? " --to 12.9999" : ""),
                      kPrepare + (disjoint ? " --from 13.1" : "")}),
              (std::vector<int>{0, 0}))
        << "pair " << pair << data_.dir().Read("errors0") << data_.dir().Read("errors1");
    ASSERT_EQ(files(), once) << "pair " << pair;
  }
}

TEST_F(BatchTest, ALockHeldElsewhereIsWaitedForWithItsMessageUntilTheLimit) {
  {
    // Another workstation holds co-owner 12.1: it is left as it was, 13.1 is prepared.
    testing::OtherProcess other([this] {
      data_.ReopenFiles();
      int status = 0;
      DbLockMode(hprobase::kHandle, "B", status);
      DbGet(hprobase::kHandle, 0, CoOwner(12, 1), 0, status);
      return status;
    });
    ASSERT_EQ(other.status(), 0);
    EXPECT_EQ(AtOnce({kPrepare + " --lock-wait 1"}), std::vector<int>{3});
  }
  const std::string said = data_.dir().Read("errors0");
  EXPECT_NE(said.find("FITXER BLOQUEJAT. ESPEREU UN MOMENT."), std::string::npos) << said;
  EXPECT_NE(said.find("12.1: BLOQUEJAT PER UN ALTRE USUARI (84)"), std::string::npos) << said;
  EXPECT_EQ(Headers(), std::vector<std::string>{CoOwner(13, 1)});
}

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
  EXPECT_EQ(Batch({"--mode", "P", "--date", "15/3/2025", "--lock-wait", "soon"}), 2);
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
