// The progress window of a run, on the headless console.
#include "receipts/progress.h"

#include <gtest/gtest.h>

#include "console/console.h"
#include "screen/windows.h"
#include "session/session.h"
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

}  // namespace
}  // namespace palvorin
