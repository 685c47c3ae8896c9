#include "os/clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace palvorin {
namespace {

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetOsForTest(); }
  void TearDown() override { ResetOsForTest(); }
};

TEST_F(ClockTest, HooksReplaceTheClockTheSleepAndTheRandomNumbers) {
  std::vector<int> slept;
  Os().today = [] { return LocalDate{2026, 3, 7}; };
  Os().timeOfDay = [] { return TimeOfDay{9, 30, 5, 250}; };
  Os().sleep = [&](int ms) { slept.push_back(ms); };
  Os().random = [] { return 0.25; };

  EXPECT_EQ(Today(), (LocalDate{2026, 3, 7}));
  EXPECT_EQ(TimeNow(), (TimeOfDay{9, 30, 5, 250}));
  SleepMs(3000);
  SleepMs(1);
  EXPECT_EQ(slept, (std::vector<int>{3000, 1}));
  EXPECT_EQ(RandomUnit(), 0.25);

  ResetOsForTest();
  SleepMs(0);  // the real sleep again: returns at once for nothing to wait
  EXPECT_NE(RandomUnit(), 0.25);
}

TEST_F(ClockTest, AnEmptiedHookFallsBackToTheRealService) {
  Os().today = nullptr;
  Os().sleep = nullptr;
  Os().random = nullptr;
  const LocalDate today = Today();
  EXPECT_GE(today.month, 1);
  EXPECT_LE(today.month, 12);
  SleepMs(-5);
  const double r = RandomUnit();
  EXPECT_GE(r, 0.0);
  EXPECT_LT(r, 1.0);
}

TEST_F(ClockTest, RealDateAndTimeAreInRange) {
  const LocalDate d = Today();
  EXPECT_GE(d.day, 1);
  EXPECT_LE(d.day, 31);
  EXPECT_GE(d.year, 1970);
  const TimeOfDay t = TimeNow();
  EXPECT_GE(t.hour, 0);
  EXPECT_LE(t.hour, 23);
  EXPECT_LE(t.second, 60);
  EXPECT_LT(t.millisecond, 1000);
}

TEST_F(ClockTest, RandomNumbersStayInTheUnitIntervalAndSpreadOverIt) {
  int low = 0;
  for (int i = 0; i < 10000; ++i) {
    const double r = RandomUnit();
    ASSERT_GE(r, 0.0);
    ASSERT_LT(r, 1.0);
    if (r < 0.5) ++low;
  }
  EXPECT_GT(low, 4000);
  EXPECT_LT(low, 6000);
}

TEST_F(ClockTest, RunAndWaitGivesTheChildsExitCode) {
  palvorin::testing::TempDir dir;
  const std::string marker = dir / "ran";
  ChildResult r = RunAndWait("/bin/sh", {"-c", "echo -n $0 > \"$1\"; exit 3", "zodirudi", marker});
  EXPECT_TRUE(r.status.ok()) << r.status.message;
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(dir.Read("ran"), "zodirudi");

  r = RunAndWait("true", {});
  EXPECT_TRUE(r.status.ok()) << r.status.message;
  EXPECT_EQ(r.exitCode, 0);

  r = RunAndWait("/bin/sh", {"-c", "kill -9 $$"});
  EXPECT_EQ(r.exitCode, 128 + 9);
}

TEST_F(ClockTest, RunAndWaitReportsAMissingProgram) {
  palvorin::testing::TempDir dir;
  dir.Write("notexec", "plain text");
  for (const std::string& program :
       {dir.path() + "\\ZODIRUDI", std::string("palvorin-no-such-program"), dir / "notexec"}) {
    const ChildResult r = RunAndWait(program, {});
    EXPECT_TRUE(r.status.IsNotFound()) << program << ": " << r.status.message;
    EXPECT_EQ(r.exitCode, -1) << program;
  }
}

TEST_F(ClockTest, RunAndWaitFindsAProgramWhateverItsLetterCase) {
  palvorin::testing::TempDir dir;
  dir.Write("exe/zodirudi", "#!/bin/sh\nexit 7\n");
  std::filesystem::permissions(dir / "exe/zodirudi", std::filesystem::perms::owner_all);
  const ChildResult r = RunAndWait(dir.path() + "\\EXE\\ZODIRUDI", {});
  EXPECT_TRUE(r.status.ok()) << r.status.message;
  EXPECT_EQ(r.exitCode, 7);
}

TEST_F(ClockTest, TheRunnerHookStandsInForChildPrograms) {
  std::vector<std::string> seen;
  Os().runAndWait = [&](const std::string& program, const std::vector<std::string>& args) {
    seen.push_back(program);
    seen.insert(seen.end(), args.begin(), args.end());
    return ChildResult{{}, 0};
  };
  EXPECT_EQ(RunAndWait("C:\\ZEP\\ZODIRUDI", {"x"}).exitCode, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"C:\\ZEP\\ZODIRUDI", "x"}));
}

}  // namespace
}  // namespace palvorin
