// The progress window and the messages after a run, on the headless console.
#include "receipts/progress.h"

#include <gtest/gtest.h>

#include "console/console.h"
#include "console/headless.h"
#include "screen/windows.h"
#include "shell/session.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetConsoleForTest();
    ResetWindowsForTest();
    ResetSessionForTest();
    ResetReceiptRunForTest();
    SessionState().tempDir = dir_.folder();
    SessionState().languageCode = "CAT";
  }
  void TearDown() override { ResetReceiptRunForTest(); }

  std::string Row(int row) {
    std::string text;
    for (int col = 1; col <= ScreenCols(); ++col) text += static_cast<char>(ConReadCell(row, col).ch);
    return text;
  }

  testing::TempDir dir_;
};

TEST_F(ProgressTest, WindowShowsTheCoOwnerAndLeavesTheScreenAsItWas) {
  LocateInWindow(24, 1);
  ConPrint("under the window");
  std::vector<std::string> before;
  for (int r = 1; r <= ScreenRows(); ++r) before.push_back(Row(r));
  ScreenProgress progress;
  progress.Open();
  EXPECT_EQ(Row(23).substr(1, 12), " PROCESSANT ");
  progress.Show("     12.3");
  EXPECT_EQ(Row(24).substr(2, 9), "     12.3");
  progress.Close();
  for (int r = 1; r <= ScreenRows(); ++r) EXPECT_EQ(Row(r), before[r - 1]) << "row " << r;
  EXPECT_EQ(Windows().depth, 0);
}

TEST_F(ProgressTest, MessagesAfterARunWaitForAKeyEach) {
  CycleResult result;
  result.failures = {"12.1: status 2 ", "12.2: status 2 "};
  result.reportMissingProgram = true;
  Headless().FeedKeys({0x0D});
  EXPECT_THROW(ShowCycleMessages(result), HeadlessInputExhausted);  // the second box waits
  ResetWindowsForTest();
  Headless().FeedKeys({0x0D, 0x0D});
  ShowCycleMessages(result);
  EXPECT_EQ(Windows().depth, 0);
  result = CycleResult{};
  ShowCycleMessages(result);  // nothing to say: no key is waited for
}

}  // namespace
}  // namespace palvorin
