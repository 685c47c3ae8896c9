#include "os/clock.h"

#include <gtest/gtest.h>

#include <filesystem>
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

TEST_F(ClockTest, HooksReplaceTheServicesAndAnEmptiedHookFallsBackToTheRealOne) {
  std::vector<int> slept;
  Os().today = [] { return LocalDate{2026, 3, 7}; };
  Os().sleep = [&](int ms) { slept.push_back(ms); };
  Os().random = [] { return 0.25; };
  EXPECT_EQ(Today(), (LocalDate{2026, 3, 7}));
  SleepMs(3000);
  EXPECT_EQ(slept, (std::vector<int>{3000}));
  EXPECT_EQ(RandomUnit(), 0.25);

  Os().today = nullptr;
  Os().sleep = nullptr;
  const LocalDate today = Today();
  EXPECT_TRUE(today.month >= 1 && today.month <= 12 && today.day >= 1 && today.day <= 31);
  SleepMs(-5);  // nothing to wait for

  ResetOsForTest();
  EXPECT_NE(RandomUnit(), 0.25);
  EXPECT_LT(TimeNow().millisecond, 1000);
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
  dir.Write("exe/zodirudi", "#!/bin/sh\necho -n \"$1\" > \"$2\"\nexit 7\n");
  std::filesystem::permissions(dir / "exe/zodirudi", std::filesystem::perms::owner_all);
  // A DOS-style path in another letter case finds the program; arguments arrive as given.
  ChildResult r = RunAndWait(dir.path() + "\\EXE\\ZODIRUDI", {"a b", dir / "ran"});
  EXPECT_TRUE(r.status.ok()) << r.status.message;
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(dir.Read("ran"), "a b");

  r = RunAndWait("true", {});  // looked up in PATH
  EXPECT_TRUE(r.status.ok()) << r.status.message;
  EXPECT_EQ(r.exitCode, 0);

  r = RunAndWait("/bin/sh", {"-c", "kill -9 $$"});
  EXPECT_EQ(r.exitCode, 128 + 9);
}

TEST_F(ClockTest, RunAndWaitReportsAProgramThatCannotRun) {
  palvorin::testing::TempDir dir;
  dir.Write("notexec", "plain text");
  for (const std::string& program :
       {dir.path() + "\\ZODIRUDI", std::string("palvorin-no-such-program"), dir / "notexec"}) {
    const ChildResult r = RunAndWait(program, {});
    EXPECT_TRUE(r.status.IsNotFound()) << program << ": " << r.status.message;
    EXPECT_EQ(r.exitCode, -1) << program;
  }
}

}  // namespace
}  // namespace palvorin
