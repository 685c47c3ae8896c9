// A clean library state for each test: every setting unread, the currencies unset, an empty
// string stack, the fold mode off, an installation root holding no Kora.ini yet, and today
// fixed at 10 May 2026.
#ifndef PALVORIN_TESTS_TEXTLIB_TEXTLIB_ENV_H_
#define PALVORIN_TESTS_TEXTLIB_TEXTLIB_ENV_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "os/clock.h"
#include "session/session.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "textlib/dates.h"
#include "textlib/numbers.h"
#include "textlib/strstack.h"
#include "textlib/text.h"

namespace palvorin {

class TextlibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAll();
    env_.Set("ZEPROOT", root_.folder());
    Os().today = [] { return LocalDate{2026, 5, 10}; };
  }
  void TearDown() override { ResetAll(); }

  // Writes the installation's Kora.ini with `lines` as its [Usuari] section.
  void WriteKoraIni(std::string_view lines) {
    root_.Write("Kora.ini", "[Usuari]\r\n" + std::string(lines));
  }
  void SetLanguage(std::string code) { SessionState().languageCode = std::move(code); }

  static PackedDate Date(int year, int month, int day) { return PackDate(year, month, day); }

 private:
  static void ResetAll() {
    ResetNumbersForTest();
    ResetCurrencyForTest();
    ResetDatesForTest();
    ResetFoldingForTest();
    ResetStringsForTest();
    ResetSessionForTest();
    ResetOsForTest();
  }

  testing::TempDir root_;
  testing::ScopedEnv env_;
};

}  // namespace palvorin

#endif  // PALVORIN_TESTS_TEXTLIB_TEXTLIB_ENV_H_
