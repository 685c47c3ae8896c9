#include "session/language.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "session/session.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

using palvorin::testing::TempDir;

// An installation root in a temporary folder and a session in a given language.
class TranslateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSessionForTest();
    ResetLanguageForTest();
    SessionState().rootDir = root_.path() + "\\";
  }
  void TearDown() override {
    ResetSessionForTest();
    ResetLanguageForTest();
  }
  void UseLanguage(const std::string& code) { SessionState().languageCode = code; }
  void WriteTable(const std::string& text) { root_.Write("LOCALE/PALVORIN.LNG", text); }

  TempDir root_;
};

const char kTable[] =
    "SELECCIO,SELECCION GL,SELECCIO OC,SELECCION\r\n"
    "\" CONCEPTES SELECCIONATS \",\" CONCEPTOS GL \",,\" CONCEPTOS SELECCIONADOS \"\r\n"
    "SELECCIO,second,second,second\r\n"
    "\"IMPORT, TOTAL\",\"IMPORTE, TOTAL GL\",IMPORT OC,\"IMPORTE, TOTAL\"\r\n";

TEST_F(TranslateTest, CatalanNeverTouchesTheFile) {
  UseLanguage("CAT");
  EXPECT_EQ(Translate("SELECCIO"), "SELECCIO");
  EXPECT_FALSE(root_.Exists("LOCALE"));
  EXPECT_EQ(Languages().baseName, "") << "the base name is set only when the file is used";
}

TEST_F(TranslateTest, EachCodeTakesItsField) {
  WriteTable(kTable);
  struct Case {
    const char* code;
    const char* text;
    const char* want;
  };
  static constexpr Case kCases[] = {
      {"SPA", "SELECCIO", "SELECCION"},
      {"GLG", "SELECCIO", "SELECCION GL"},
      {"OCI", "SELECCIO", "SELECCIO OC"},
      {"   ", "SELECCIO", "SELECCIO"},
      {"ENG", "SELECCIO", "SELECCIO"},
      {"spa", "SELECCIO", "SELECCIO"},
      {"SPA", " CONCEPTES SELECCIONATS ", " CONCEPTOS SELECCIONADOS "},
      {"OCI", " CONCEPTES SELECCIONATS ", ""},  // an empty translation hides the text
      {"SPA", "CONCEPTES SELECCIONATS", "CONCEPTES SELECCIONATS"},  // no trimming
      {"SPA", " CONCEPTES SELECCIONATS", " CONCEPTES SELECCIONATS"},
      {"SPA", "seleccio", "seleccio"},  // no case folding
      {"GLG", "IMPORT, TOTAL", "IMPORTE, TOTAL GL"},
      {"OCI", "IMPORT, TOTAL", "IMPORT OC"},
      {"SPA", "ABSENT", "ABSENT"},
      {"SPA", "", ""},
  };
  for (const Case& c : kCases) {
    UseLanguage(c.code);
    EXPECT_EQ(Translate(c.text), c.want) << c.code << " [" << c.text << "]";
  }
}

TEST_F(TranslateTest, AMissingFileIsCreatedEmptyAndTheTextShowsInCatalan) {
  root_.MakeDir("LOCALE");
  UseLanguage("SPA");
  EXPECT_EQ(Translate("SELECCIO"), "SELECCIO");
  EXPECT_TRUE(root_.Exists("LOCALE/PALVORIN.LNG"));
  EXPECT_EQ(root_.Read("LOCALE/PALVORIN.LNG"), "");
  EXPECT_EQ(Languages().baseName, "PALVORIN");
}

TEST_F(TranslateTest, WithoutALocaleFolderTheTextShowsInCatalan) {
  UseLanguage("GLG");
  EXPECT_EQ(Translate("SELECCIO"), "SELECCIO");
  EXPECT_FALSE(root_.Exists("LOCALE"));
}

TEST_F(TranslateTest, AReadOnlyLanguageFileStillTranslates) {
  namespace fs = std::filesystem;
  WriteTable(kTable);
  fs::permissions(root_.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  fs::permissions(root_ / "LOCALE/PALVORIN.LNG",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  UseLanguage("SPA");
  // Run as an operator who may read the installation but not write to it; the superuser may
  // write anything, so it steps down to "nobody" first.
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && ::setuid(65534) != 0) std::_Exit(2);
        std::_Exit(Translate("SELECCIO") == "SELECCION" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(TranslateTest, TheModuleNameGivesTheFileNameOnFirstUse) {
  root_.Write("LOCALE/ALTRE.LNG", "SORTIR,SAIR,SORTIR OC,SALIR\r\n");
  WriteTable(kTable);
  SessionState().moduleName = "ALTRE";
  UseLanguage("SPA");
  EXPECT_EQ(Translate("SORTIR"), "SALIR");
  SessionState().moduleName = "PALVORIN";
  EXPECT_EQ(Translate("SORTIR"), "SALIR") << "the base name is kept once set";
  EXPECT_EQ(Languages().baseName, "ALTRE");
}

TEST_F(TranslateTest, TheFileIsReadOnceAStart) {
  UseLanguage("SPA");
  WriteTable("SORTIR,,,SALIR\r\n");
  EXPECT_EQ(Translate("SORTIR"), "SALIR");
  WriteTable("SORTIR,,,FUERA\r\n");
  EXPECT_EQ(Translate("SORTIR"), "SALIR");
  ResetLanguageForTest();  // the next start
  EXPECT_EQ(Translate("SORTIR"), "FUERA");
}

TEST(TranslateFromTable, ReadsRecordsFieldAfterField) {
  struct Case {
    const char* what;
    std::string table;
    const char* text;
    const char* want;
  };
  const Case kCases[] = {
      {"record over two lines", "A\r\nGL,OC,ES\r\n", "A", "ES"},
      {"comma before the line end is an empty field", "A,\r\nGL,OC,ES\r\n", "A", "OC"},
      {"Linux line ends", "A,GL,OC,ES\nB,GL2,OC2,ES2\n", "B", "ES2"},
      {"key last in the file is ignored", "A,GL,OC,ES\r\nB", "B", "B"},
      {"also on a last line ending in CR LF", "A,GL,OC,ES\r\nB\r\n", "B", "B"},
      {"or in a line feed", "A,GL,OC,ES\r\nB\n", "B", "B"},
      {"key with one field after it", "A,GL,OC,ES\r\nB,X", "B", ""},
      {"no final line end", "A,GL,OC,ES", "A", "ES"},
      {"tabs dropped", "A\t,GL,OC,E\tS\r\n", "A", "ES"},
      {"blank lines are empty fields", "\r\n\r\nA,GL,OC,ES\r\n", "A", "A"},
      {"four blank lines are one empty record", "\r\n\r\n\r\n\r\nA,GL,OC,ES\r\n", "A", "ES"},
      {"matching a translation is no match", "A,GL,OC,ES\r\n", "ES", "ES"},
      {"empty file", "", "A", "A"},
      {"lone quote", "\"A,GL,OC,ES\r\n", "A", "A"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(TranslateFromTable(c.table, "SPA", c.text), c.want) << c.what;
  }
}

}  // namespace
}  // namespace palvorin
