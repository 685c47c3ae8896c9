// The program's start-up, work loop and close-down on the headless console.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "os/clock.h"
#include "program_fixture.h"

namespace palvorin::testing {
namespace {

std::string Defaults() { return DefaultParamBlock(); }

TEST_F(ProgramTest, ParameterFileAlwaysEndsAsItsNinetySevenBytes) {
  const std::string forty = std::string(4, 'X') + "ABC" + std::string(33, 'Y');
  const std::string long120 = std::string(97, 'Q') + std::string(23, 'Z');
  struct Case {
    const char* name;
    bool present;
    std::string content;
    std::string want;
  };
  const Case cases[] = {
      {"missing", false, "", Defaults()},
      {"empty", true, "", Defaults()},
      {"40 bytes", true, forty, forty + Defaults().substr(40)},
      {"120 bytes", true, long120, std::string(97, 'Q')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetModuleState();
    Quiet();
    std::filesystem::remove(dir_ / "DADES/HParam.tab");
    if (c.present) dir_.Write("DADES/HParam.tab", c.content);
    Start();
    EXPECT_EQ(dir_.Read("DADES/HParam.tab"), c.want);
    EXPECT_EQ(FeeConceptCode(), c.want.substr(4, 3));
    CloseDown();
  }
  EXPECT_EQ(Defaults().size(), 97u);
  EXPECT_EQ(Defaults().substr(0, 8), "NVARCOBN");
}

TEST_F(ProgramTest, ParameterFileIsRewrittenOnlyWhenItChangesAndNeverWhenUnreadable) {
  const std::string param = dir_ / "DADES/HParam.tab";
  dir_.Write("DADES/HParam.tab", std::string(97, 'P'));
  struct stat before {}, after {};
  ASSERT_EQ(::stat(param.c_str(), &before), 0);
  Start();
  CloseDown();
  ASSERT_EQ(::stat(param.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "a whole parameter file is left as it is";
  // A parameter file that cannot be read: reported, the defaults used, the file never replaced.
  ResetModuleState();
  Quiet();
  std::filesystem::remove(param);
  dir_.MakeDir("DADES/HParam.tab");
  Headless().FeedKeys({keys::kEnter});  // the notice
  Start();
  EXPECT_EQ(Headless().Pending(), 0u) << "the operator was told";
  EXPECT_EQ(FeeConceptCode(), "COB");
  EXPECT_TRUE(std::filesystem::is_directory(param));
  CloseDown();
}

TEST_F(ProgramTest, ScratchFileOfAnInterruptedRunIsGoneAtTheNextStart) {
  Start();
  std::string r = BlankRecord(hresrebu::kLength);
  PutText(r, 0, 5, "\x81\x82" "ABC");
  ASSERT_EQ(Insert(hresrebu::kHandle, r), 0);
  // The run is interrupted: the files are released but nothing is deleted.
  int status = 0;
  DbReset(status);
  ResetModuleState();
  Quiet();
  Start();
  EXPECT_EQ(DbGetStatus(hresrebu::kHandle, 0, "", 1), 9) << "the scratch file starts empty";
  CloseDown();
}

TEST_F(ProgramTest, EmptyRootKeepsTheCurrentDirectoryAndPathsStartThere) {
  ASSERT_TRUE(SetCurrentDir(dir_.path()).ok());
  env_.Set("ZEPROOT", "");
  Start();
  EXPECT_EQ(CurrentDir(), std::filesystem::canonical(dir_.path()).string());
  EXPECT_EQ(dir_.Read("DADES/HParam.tab"), Defaults()) << "relative paths lead into the folder";
  CloseDown();
}

TEST_F(ProgramTest, RootBecomesTheCurrentDirectory) {
  Start();
  EXPECT_EQ(CurrentDir(), std::filesystem::canonical(dir_.path()).string());
  EXPECT_EQ(SessionState().moduleName, "PALVORIN");
  EXPECT_FALSE(ConCursorVisible());
  CloseDown();
}

TEST_F(ProgramTest, MissingOrMalformedFormFileStopsWithItsNameAndLine) {
  struct Case {
    const char* name;
    bool present;
    std::string content;
    std::vector<std::string> wanted;  // pieces of the message
  };
  // A form that reads well but whose selection screen lost its last field: the selection
  // reads its ten fields by number and must not run on it.
  std::string shortForm = SourceFile("install/FORMS/PALVORIN.ZPN");
  const size_t header = shortForm.find("\",10,2,");
  const size_t lastField = shortForm.find("17,5,");
  ASSERT_NE(header, std::string::npos);
  ASSERT_NE(lastField, std::string::npos);
  shortForm.erase(lastField, shortForm.find('\n', lastField) + 1 - lastField);
  shortForm.replace(header, 7, "\",9,2,");
  const Case cases[] = {
      {"missing", false, "", {"PALVORIN.ZPN", "ZEPROOT=" + dir_.folder()}},
      {"malformed", true, "' comment\r\n1,4\r\n\"d,1b\",zz,0,0,0,0,0\r\n", {"PALVORIN.ZPN", "3"}},
      {"too few fields", true, shortForm, {"PALVORIN.ZPN", "10, 5 i 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetModuleState();
    Quiet();
    std::filesystem::remove(dir_ / "FORMS/PALVORIN.ZPN");
    if (c.present) dir_.Write("FORMS/PALVORIN.ZPN", c.content);
    Headless().FeedKeys({keys::kEnter});  // the operator reads the message
    EXPECT_EQ(RunModule(), 1);
    for (const std::string& piece : c.wanted) {
      EXPECT_NE(Program().stopMessage.find(piece), std::string::npos) << Program().stopMessage;
    }
    EXPECT_FALSE(Program().started) << "no data file was opened";
    EXPECT_FALSE(dir_.Exists("DADES/HParam.tab"));
  }
}

TEST_F(ProgramTest, InitialSelectionHoldsTheWorkDateAndEveryRange) {
  Start();
  const std::vector<std::string> want = {"V",    "15/3/2025", "3", "1.1", "9999.9999",
                                         "0000", "9999",       "G", "S",   "G"};
  for (int f = 1; f <= 10; ++f) EXPECT_EQ(Value(1, f), want[f - 1]) << "field " << f;
  for (int f = 8; f <= 10; ++f) EXPECT_NE(FormFieldAt(1, f).flags & kFieldSkip, 0) << f;
  for (int f = 1; f <= 5; ++f) EXPECT_EQ(Value(2, f), "S") << "type flag " << f;
  for (int f = 6; f <= 21; ++f) EXPECT_EQ(Value(2, f), "") << "concept " << f;
  EXPECT_EQ(FormFieldAt(1, 2).value.size(), 10u) << "values keep their field's width";
  CloseDown();
}

TEST_F(ProgramTest, SpanishOperatorGetsTheFormTranslated) {
  WriteTerminalFile("SPA");
  dir_.Write("LOCALE/PALVORIN.LNG", SourceFile("install/LOCALE/PALVORIN.LNG"));
  Start();
  EXPECT_EQ(Utf8FromCp850(FormFieldAt(1, 1).prompt), "Modo de trabajo ............ : ");
  EXPECT_EQ(Utf8FromCp850(FormFieldAt(1, 1).help),
            "|V,Verificar|A,Listado de avance|P,Preparar recibos");
  CloseDown();
}

TEST_F(ProgramTest, VerifyRunThroughTheFormWritesTheSpoolAndEscLeaves) {
  Start();
  for (int i = 0; i < 7; ++i) Headless().FeedKeys({keys::kEnter});   // screen 1
  for (int i = 0; i < 21; ++i) Headless().FeedKeys({keys::kEnter});  // screen 2
  Headless().FeedText("S");
  Headless().FeedKeys({keys::kEnter});  // confirmed: the run
  Headless().FeedKeys({keys::kEnter});  // the missing print program is reported once
  Headless().FeedKeys({keys::kEsc});    // the selection again, left
  WorkLoop();
  EXPECT_EQ(Headless().Pending(), 0u);
  EXPECT_EQ(RunParameters().mode, 'V');
  const std::string spool = dir_.Read("tmp/zodirudi.tmp");
  EXPECT_EQ(spool.rfind("DEVICE" + dir_.folder() + "out.txt\r\n", 0), 0u) << spool;
  CloseDown();
  EXPECT_FALSE(Program().started);
}

TEST_F(ProgramTest, EscOnTheSelectionEndsTheProgramWithExitCodeZero) {
  Headless().FeedKeys({keys::kEsc});
  EXPECT_EQ(RunModule(), 0);
  EXPECT_TRUE(Program().stopMessage.empty());
  EXPECT_FALSE(dir_.Exists("tmp/zodirudi.tmp")) << "no run, no spool";
  EXPECT_EQ(dir_.Read("DADES/HParam.tab").size(), 97u);
}

TEST_F(ProgramTest, TerminalGoneAfterThePrintProgramEndsTheLoopAndClosesDown) {
  Program().retakeTerminal = [] { return false; };
  Headless().FeedText("V");
  for (int i = 0; i < 7 + 21; ++i) Headless().FeedKeys({keys::kEnter});
  Headless().FeedText("S");
  Headless().FeedKeys({keys::kEnter});  // confirmed: the run, and nothing more to read
  EXPECT_EQ(RunModule(), 1);
  EXPECT_FALSE(Program().stopMessage.empty());
  EXPECT_FALSE(Program().started) << "the files were released";
  EXPECT_TRUE(dir_.Exists("tmp/zodirudi.tmp")) << "the run was made";
}

TEST_F(ProgramTest, ASpoolThatCannotBeWrittenIsReportedAndNeverPrinted) {
  int printRuns = 0;
  Os().runAndWait = [&](const std::string&, const std::vector<std::string>&) {
    ++printRuns;
    return ChildResult{};
  };
  // A folder where the spool file should be: the spool cannot be created.
  dir_.MakeDir("tmp/zodirudi.tmp");
  Start();
  for (int i = 0; i < 7 + 21; ++i) Headless().FeedKeys({keys::kEnter});
  Headless().FeedText("S");
  Headless().FeedKeys({keys::kEnter});  // confirmed: the run
  Headless().FeedKeys({keys::kEnter});  // the notice that the listing could not be written
  Headless().FeedKeys({keys::kEsc});    // the selection again, left
  WorkLoop();
  EXPECT_EQ(Headless().Pending(), 0u) << "exactly one notice was shown";
  EXPECT_EQ(printRuns, 0) << "an earlier or cut-off spool is never handed to the print program";
  CloseDown();
}

}  // namespace
}  // namespace palvorin::testing
