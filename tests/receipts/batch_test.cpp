// The batch runner, run as the program it is, on an installation built by the tests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

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

  // Starts the batch runner without waiting for it, its standard error into `errors`; with
  // `terminal`, as another operator with a temporary folder of its own.
  pid_t Start(const std::vector<std::string>& args, const std::string& errors = "/dev/null",
              const std::string& terminal = "") {
    pid_t pid = fork();
    if (pid == 0) {
      if (!freopen("/dev/null", "w", stdout) || !freopen(errors.c_str(), "w", stderr)) _exit(99);
      if (!terminal.empty()) setenv("ZEPTMP", (data_.dir().folder() + terminal).c_str(), 1);
      std::vector<char*> argv{program_.data()};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program_.c_str(), argv.data());
      _exit(98);
    }
    return pid;
  }
  // The exit status of `pid`, or -1 when it has not ended within `seconds` (it is killed then,
  // so a run that waits for ever fails the test instead of hanging it).
  static int Finish(pid_t pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  Snapshot Files() {
    data_.ReopenFiles();
    Snapshot files = data_.DataSnapshot();
    data_.CloseFiles();
    return files;
  }

  std::string program_;
  ReceiptsData data_;
  testing::ScopedEnv env_;
};

const std::vector<std::string> kPrepare = {"--mode", "P", "--date", "15/3/2025", "--no-print"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST_F(BatchTest, TwoPreparingRunsAtOnceBothFinishAndStoreWhatOneRunStores) {
  data_.ReopenFiles();
  for (int b : {12, 13}) {
    for (int o = 2; o <= 12; ++o) {
      data_.AddFullCoOwner(b, o);
      data_.AddStanding(b, o, 1, "ADM", 1000 + o);
    }
  }
  data_.CloseFiles();
  const std::filesystem::path dades = data_.dir().path() + "/DADES";
  const std::filesystem::path pristine = data_.dir().path() + "/DADES.pristine";
  std::filesystem::copy(dades, pristine);
  std::filesystem::create_directory(data_.dir().path() + "/tmp2");
  const std::string errors = data_.dir().path() + "/errors";
  ASSERT_EQ(Batch(kPrepare), 0);
  const Snapshot once = Files();
  ASSERT_EQ(once.at("HCapRebu").size(), 24u);
  // The same co-owners 30 times, then disjoint ranges: no pair may wait for ever, fail a
  // co-owner or store anything one run would not.
  for (int pair = 0; pair < 34; ++pair) {
    std::filesystem::remove_all(dades);
    std::filesystem::copy(pristine, dades);
    const bool disjoint = pair >= 30;
    pid_t a = Start(disjoint ? With(kPrepare, {"--to", "12.9999"}) : kPrepare, errors + "a");
    pid_t b = Start(disjoint ? With(kPrepare, {"--from", "13.1"}) : kPrepare, errors + "b",
                    "tmp2/");
    EXPECT_EQ(Finish(a, 30), 0) << "pair " << pair << data_.dir().Read("errorsa");
    EXPECT_EQ(Finish(b, 30), 0) << "pair " << pair << data_.dir().Read("errorsb");
    ASSERT_EQ(Files(), once) << "pair " << pair;
  }
}

TEST_F(BatchTest, ALockHeldElsewhereIsWaitedForWithItsMessageUntilTheLimit) {
  const std::string errors = data_.dir().path() + "/errors.txt";
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
    EXPECT_EQ(Finish(Start(With(kPrepare, {"--lock-wait", "1"}), errors), 20), 3);
    const std::string said = data_.dir().Read("errors.txt");
    EXPECT_NE(said.find("FITXER BLOQUEJAT. ESPEREU UN MOMENT."), std::string::npos) << said;
    EXPECT_NE(said.find("12.1: BLOQUEJAT PER UN ALTRE USUARI (84)"), std::string::npos) << said;
  }
  EXPECT_EQ(Headers(), std::vector<std::string>{CoOwner(13, 1)});
  // A data file held whole by another workstation: waited for with the message, then given up.
  testing::OtherProcess other([this] {
    std::array<uint8_t, kPosBlockSize> block{};
    std::string owner(5, '\0'), key = data_.dir().path() + "/DADES/HFinca.dat";
    key.resize(255, '\0');
    uint32_t length = 5;
    return BTRCALL(0, block.data(), owner.data(), &length, key.data(), 255, -4);
  });
  ASSERT_EQ(other.status(), 0);
  EXPECT_EQ(Finish(Start(With(kPrepare, {"--lock-wait", "1"}), errors), 20), 1);
  const std::string said = data_.dir().Read("errors.txt");
  EXPECT_NE(said.find("FITXER BLOQUEJAT. ESPEREU UN MOMENT."), std::string::npos) << said;
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
