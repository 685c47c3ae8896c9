// A headless screen for one test: blank console, no windows, empty key table, a temporary
// folder for the window stack, and a colour table whose five entries all differ so that a
// cell's attribute tells which entry drew it.
#ifndef PALVORIN_TESTS_SCREEN_SCREEN_FIXTURE_H_
#define PALVORIN_TESTS_SCREEN_SCREEN_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "console/headless.h"
#include "screen/forms.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/session.h"
#include "support/temp_dir.h"

namespace palvorin::testing {

// Attributes of the test colour table's entries.
constexpr uint8_t kAttrHighlight = 0x0F;  // entry 0: 15 on 0
constexpr uint8_t kAttrNormal = 0x07;     // entry 1: 7 on 0
constexpr uint8_t kAttrReverse = 0x70;    // entry 2: 0 on 7
constexpr uint8_t kAttrReverseNormal = 0x71;  // entry 3: 1 on 7
constexpr uint8_t kAttrInput = 0x1E;      // entry 4: 14 on 1

// A blank headless console, no windows, an empty key table and a fresh session.
inline void ResetHeadlessScreen() {
  ResetConsoleForTest();
  ResetWindowsForTest();
  ResetKeyboardForTest();
  ResetSessionForTest();
}

// Makes `form` (a form file's content, its texts taken as they stand) the program's form.
inline ::testing::AssertionResult LoadTestForm(std::string_view form) {
  std::string message;
  if (ParseForm(form, "test", [](const std::string& t) { return t; }, Forms(), message) ==
      FormLoad::Ok)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << message;
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHeadlessScreen();
    SessionState().tempDir = temp_.folder();
    SessionState().colours = {{{15, 0}, {7, 0}, {0, 7}, {1, 7}, {14, 1}}};
  }

  // Every cell of the screen, row by row.
  static std::vector<Cell> Cells() { return ConReadRect(1, 1, ScreenRows(), ScreenCols()); }
  static std::string Row(int row) { return Headless().RowText(row); }
  // `length` characters of a row from `col`.
  static std::string Text(int row, int col, int length) {
    return Row(row).substr(static_cast<size_t>(col - 1), static_cast<size_t>(length));
  }
  static uint8_t AttrAt(int row, int col) { return ConReadCell(row, col).attr; }

  // Fills the screen with a pattern of characters and attributes that differs in every cell
  // of a row and every row, so a cell restored to the wrong place shows.
  static void PaintPattern() {
    for (int r = 1; r <= ScreenRows(); ++r) {
      for (int c = 1; c <= ScreenCols(); ++c) {
        ConWriteCell(r, c, Cell{static_cast<uint8_t>('!' + (r * 7 + c) % 90),
                                static_cast<uint8_t>((r * 16 + c) & 0xFF)});
      }
    }
  }

  bool StackFileExists() const { return temp_.Exists("WinPush.tmp"); }
  std::string StackFile() const { return temp_.Read("WinPush.tmp"); }

  TempDir temp_;
};

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SCREEN_SCREEN_FIXTURE_H_
