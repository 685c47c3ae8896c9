#include "session/session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/paths.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

using palvorin::testing::ScopedEnv;
using palvorin::testing::TempDir;

// A suite installation in a temporary folder: root, executables and temporary folders, the
// environment the menu would set, and the current directory inside the folder.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSessionForTest();
    oldDir_ = CurrentDir();
    ASSERT_TRUE(SetCurrentDir(dir_.path()).ok());
    for (const char* name : {"ZEPROOT", "ZEPEXE", "ZEPTMP", "TERM", "HTTP_USER_AGENT",
                             "HTTP_ACCEPT", "WINDIR", "SYSTEMROOT"}) {
      env_.Unset(name);
    }
    dir_.MakeDir("zep");
    dir_.MakeDir("exe");
    dir_.MakeDir("tmp");
    env_.Set("ZEPROOT", dir_.path() + "\\zep\\");
    env_.Set("ZEPEXE", dir_.path() + "/exe/");
    env_.Set("ZEPTMP", dir_.path() + "\\tmp");
  }
  void TearDown() override {
    (void)SetCurrentDir(oldDir_);
    ResetSessionForTest();
  }

  void Write(const std::string& relative, const std::string& text) { dir_.Write(relative, text); }

  TempDir dir_;
  ScopedEnv env_;
  std::string oldDir_;
};

TEST_F(SessionTest, FillsTheSessionFromEnvironmentAndFiles) {
  Write("tmp/Sessio.ini",
        "[Menu]\r\nTitol=COMUNITATS PROVA\r\nNomMenu=REBUTS\r\n[Terminal]\r\nDir=" + dir_.path() +
            "\\term\r\n");
  Write("tmp/KoraTerm.ini",
        "[Pantalla]\r\nSeleccio=2\r\nCol0=01020304050607080910\r\nCol2=14011502000300040005\r\n"
        "[Sistema]\r\nData=20260307\r\nSortida=LPT1\r\nIdioma=SPA ; castella\r\n");
  Write("zep/Kora.ini", "[Empresa]\r\nNom=Administracions del Pla de l'Estany, SL\r\n");
  SessionSetUp();
  const Session& s = SessionState();
  EXPECT_EQ(s.rootDir, dir_.path() + "\\zep\\");
  EXPECT_EQ(s.exeDir, dir_.path() + "/exe/");
  EXPECT_EQ(s.tempDir, dir_.path() + "\\tmp\\");
  EXPECT_EQ(s.terminalDir, dir_.path() + "\\term\\");
  EXPECT_EQ(s.windowTitle, " COMUNITATS PROVA ");
  EXPECT_EQ(s.menuName, "REBUTS");
  const int want[5][2] = {{14, 1}, {15, 2}, {0, 3}, {0, 4}, {0, 5}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s.colours[i].foreground, want[i][0]) << "entry " << i;
    EXPECT_EQ(s.colours[i].background, want[i][1]) << "entry " << i;
  }
  EXPECT_EQ(s.workDate, "\x94\x9A\x83\x87");  // 20 26 03 07
  EXPECT_EQ(s.destination, "LPT1");
  EXPECT_EQ(s.languageCode, "SPA");
  EXPECT_EQ(s.platformMode, "DOS");
  EXPECT_EQ(s.installationName, "Administracions del Pla de l'Estany");
  EXPECT_EQ(s.installationName.size(), 35u);
}

TEST_F(SessionTest, MissingFilesGiveEmptyTextsAndTheDefaults) {
  SessionSetUp();
  const Session& s = SessionState();
  EXPECT_EQ(s.windowTitle, "  ");
  EXPECT_EQ(s.menuName, "");
  EXPECT_EQ(s.terminalDir, "");
  const int want[5][2] = {{15, 0}, {7, 0}, {0, 7}, {0, 7}, {0, 7}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s.colours[i].foreground, want[i][0]) << "entry " << i;
    EXPECT_EQ(s.colours[i].background, want[i][1]) << "entry " << i;
  }
  EXPECT_EQ(s.workDate, std::string(4, '\x80')) << "the empty date";
  EXPECT_EQ(s.destination, "");
  EXPECT_EQ(s.languageCode, "   ");
  EXPECT_EQ(s.installationName, "");
  EXPECT_EQ(s.moduleName, "");
}

TEST_F(SessionTest, ColourTableComesFromTheSelectedScheme) {
  struct Case {
    const char* pantalla;
    int fg0, bg0, fg4, bg4;
  };
  static constexpr Case kCases[] = {
      {"Col0=01020304050607080910", 1, 2, 9, 10},            // no Seleccio: scheme 0
      {"Seleccio=x\r\nCol0=01020304050607080910", 1, 2, 9, 10},  // not a number: 0
      {"Seleccio=3\r\nCol0=01020304050607080910", 15, 0, 0, 7},  // no Col3: the default
      {"Col0=1500", 15, 0, 0, 0},                  // short: the missing pairs are 0
      {"Col0=xx07yy07zz07ww07vv07", 0, 7, 0, 7},   // not numbers: 0
      {"Col0=99162000000000000031", 99, 16, 0, 31},  // beyond 15: kept as written
  };
  for (const Case& c : kCases) {
    ResetSessionForTest();
    Write("tmp/KoraTerm.ini", std::string("[Pantalla]\r\n") + c.pantalla + "\r\n");
    SessionSetUp();
    const auto& colours = SessionState().colours;
    EXPECT_EQ(colours[0].foreground, c.fg0) << c.pantalla;
    EXPECT_EQ(colours[0].background, c.bg0) << c.pantalla;
    EXPECT_EQ(colours[4].foreground, c.fg4) << c.pantalla;
    EXPECT_EQ(colours[4].background, c.bg4) << c.pantalla;
  }
}

TEST_F(SessionTest, WorkDateIsPackedFromItsDigits) {
  struct Case {
    const char* data;
    std::string packed;
  };
  const Case kCases[] = {
      {"19991231", "\x93\xE3\x8C\x9F"},
      {" 20260307 ", "\x94\x9A\x83\x87"},
      {"260307", std::string("\x80\x9A\x83\x87", 4)},  // zero-padded on the left
      {"120260307", "\x94\x9A\x83\x87"},                // cut from the left
      {"2026-3-7", "\x94\x9A\x83\x87"},  // a non-digit counts as 0
  };
  for (const Case& c : kCases) {
    ResetSessionForTest();
    Write("tmp/KoraTerm.ini", std::string("[Sistema]\r\nData=") + c.data + "\r\n");
    SessionSetUp();
    EXPECT_EQ(SessionState().workDate, c.packed) << c.data;
  }
}

TEST_F(SessionTest, LanguageFallsBackToTheInstallationAndKeepsThreeCharacters) {
  struct Case {
    const char* terminal;
    const char* installation;
    const char* want;
  };
  static constexpr Case kCases[] = {
      {"SPA ", "GLG", "SPA"}, {"", "GLG", "GLG"},     {"   ", "OCI", "OCI"},
      {"", "", "   "},        {"CATALA", "", "CAT"}, {"EN", "", "EN "},
  };
  for (const Case& c : kCases) {
    ResetSessionForTest();
    Write("tmp/KoraTerm.ini", std::string("[Sistema]\r\nIdioma=") + c.terminal + "\r\n");
    Write("zep/Kora.ini", std::string("[Usuari]\r\nIdioma=") + c.installation + "\r\n");
    SessionSetUp();
    EXPECT_EQ(SessionState().languageCode, c.want) << c.terminal << "/" << c.installation;
  }
}

TEST_F(SessionTest, PlatformModeFollowsTheEnvironment) {
  struct Case {
    const char* variable;
    const char* want;
  };
  static constexpr Case kCases[] = {
      {nullptr, "DOS"},       {"HTTP_USER_AGENT", "CGI"}, {"HTTP_ACCEPT", "CGI"},
      {"WINDIR", "WIN"},      {"SYSTEMROOT", "WIN"},
  };
  for (const Case& c : kCases) {
    ScopedEnv env;
    if (c.variable != nullptr) env.Set(c.variable, "x");
    SessionSetUp();
    EXPECT_EQ(SessionState().platformMode, c.want) << (c.variable ? c.variable : "none");
  }
  ScopedEnv both;
  both.Set("WINDIR", "C:\\WINDOWS").Set("HTTP_ACCEPT", "*/*");
  SessionSetUp();
  EXPECT_EQ(SessionState().platformMode, "CGI");
}

TEST_F(SessionTest, AnEmptyTemporaryFolderBecomesTheTerminalFolderAfterSessioIni) {
  env_.Set("ZEPTMP", "");
  // Sessio.ini comes from the current directory; KoraTerm.ini from the terminal folder.
  Write("Sessio.ini", "[Terminal]\r\nDir=term\r\n");
  Write("term/KoraTerm.ini", "[Sistema]\r\nSortida=PANTALLA\r\n");
  Write("KoraTerm.ini", "[Sistema]\r\nSortida=WRONG\r\n");
  SessionSetUp();
  EXPECT_EQ(SessionState().terminalDir, "term\\");
  EXPECT_EQ(SessionState().tempDir, "term\\");
  EXPECT_EQ(SessionState().destination, "PANTALLA");
}

TEST_F(SessionTest, TermNamesTheTerminalFolderOnlyWhenItIsAFolder) {
  dir_.MakeDir("termdir");
  env_.Set("TERM", "xterm-256color");
  SessionSetUp();
  EXPECT_EQ(SessionState().terminalDir, "");

  env_.Set("TERM", dir_.path() + "/TERMDIR");
  SessionSetUp();
  EXPECT_EQ(SessionState().terminalDir, dir_.path() + "/TERMDIR\\");

  Write("tmp/Sessio.ini", "[Terminal]\r\nDir=C:\r\n");
  SessionSetUp();
  EXPECT_EQ(SessionState().terminalDir, "C:") << "the session file comes first";
}

TEST_F(SessionTest, LeavesTheEuroAsTheCurrencyCommand) {
  EXPECT_EQ(SessionState().currencyCommand, "");
  SessionSetUp();
  EXPECT_EQ(SessionState().currencyCommand, "a,E");
  ResetSessionForTest();
  EXPECT_EQ(SessionState().currencyCommand, "");
}

}  // namespace
}  // namespace palvorin
