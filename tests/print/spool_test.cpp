#include "print/spool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "os/clock.h"
#include "os/codepage.h"
#include "session/session.h"

namespace palvorin {
namespace {

namespace fs = std::filesystem;

class SpoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("palvorin-spool-" + std::to_string(std::random_device{}()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ResetSessionForTest();
    ResetPrintForTest();
    ResetOsForTest();
    SessionState().tempDir = dir_.string() + "/";
    SessionState().exeDir = dir_.string() + "/";
  }
  void TearDown() override {
    ResetPrintForTest();
    ResetOsForTest();
    fs::remove_all(dir_);
  }

  // The spool's records, without their CR LF; a line without CR LF is marked.
  std::vector<std::string> Records() {
    std::ifstream in(dir_ / "zodirudi.tmp", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = ss.str();
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < all.size()) {
      size_t end = all.find("\r\n", at);
      if (end == std::string::npos) {
        lines.push_back("<no CR LF>" + all.substr(at));
        break;
      }
      lines.push_back(all.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

  fs::path dir_;
};

TEST(SpoolNumber, WritesSignPositionDigitsAndOneBlank) {
  EXPECT_EQ(SpoolNumber(1), " 1 ");
  EXPECT_EQ(SpoolNumber(66), " 66 ");
  EXPECT_EQ(SpoolNumber(0), " 0 ");
  EXPECT_EQ(SpoolNumber(-5), "-5 ");
}

TEST_F(SpoolTest, OpenWritesDeviceRecordAndEmptiesAnEarlierSpool) {
  {
    std::ofstream old(dir_ / "zodirudi.tmp", std::ios::binary);
    old << "left over from an earlier run\r\n";
  }
  ASSERT_TRUE(SpoolOpen("PDF").ok());
  ASSERT_TRUE(SpoolClose().ok());
  EXPECT_EQ(Records(), (std::vector<std::string>{"DEVICEPDF"}));
}

TEST_F(SpoolTest, WritesEachRecordKindInItsForm) {
  ASSERT_TRUE(SpoolOpen("PANTALLA").ok());
  PrintNewPage(66);
  PrintAttribute("@e");
  PrintJustify("D");
  PrintText(27, "NOM", 0);
  PrintText(-3, "x", 2);
  ASSERT_TRUE(SpoolClose().ok());
  EXPECT_EQ(Records(), (std::vector<std::string>{"DEVICEPANTALLA", "PAGE 66 ", "*@e", "JUSD",
                                                 " 27 ,NOM, 0 ", "-3 ,x, 2 "}));
}

TEST_F(SpoolTest, JustifyCodesFollowTheFirstCharacter) {
  struct Case {
    std::string argument;
    std::string record;
  };
  const std::vector<Case> cases = {
      {"C", "JUSC"},         {"  centre", "JUSC"},   {"D", "JUSD"},  {"r", "JUSD"},
      {"A", "JUSA"},         {"a", "JUSA"},          {"", "JUSE"},   {"   ", "JUSE"},
      {"E", "JUSE"},         {"x", "JUSE"},          {"N2 \\ZZ9\\ rest", "JUSN 2  \\ZZ9\\"},
      {"n-2.5", "JUSN 2  "}, {"N3.5\\a", "JUSN 4  \\a"},
  };
  ASSERT_TRUE(SpoolOpen("").ok());
  for (const Case& c : cases) PrintJustify(c.argument);
  ASSERT_TRUE(SpoolClose().ok());
  std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), cases.size() + 1);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(records[i + 1], cases[i].record) << "argument \"" << cases[i].argument << "\"";
  }
}

TEST_F(SpoolTest, ControlCharactersPrintAsBlanksAndTheCallersTextKeepsThem) {
  const std::string text = std::string("a\tb\rc") + '\xFF' + '\x7F' + '\0' + "d";
  const std::string before = text;
  ASSERT_TRUE(SpoolOpen("").ok());
  PrintText(1, text, 1);
  ASSERT_TRUE(SpoolClose().ok());
  EXPECT_EQ(text, before);
  EXPECT_EQ(Records().at(1), " 1 ,a b c   d, 1 ");
}

TEST_F(SpoolTest, ColumnCounterFollowsTextsAndLineAdvances) {
  ASSERT_TRUE(SpoolOpen("").ok());
  PrintNewPage(66);
  // A text at column 0 on an empty line starts at column 1: the next one goes after it.
  PrintText(0, "abc", 0);
  EXPECT_EQ(PrintColumn(), 4);
  PrintText(0, "de", 0);
  EXPECT_EQ(PrintColumn(), 6);
  PrintText(20, "xyz", 0);
  EXPECT_EQ(PrintColumn(), 23);
  PrintText(PrintColumn(), "12", 0);
  EXPECT_EQ(PrintColumn(), 25);
  PrintText(40, "end", 2);
  EXPECT_EQ(PrintColumn(), 0);
  EXPECT_EQ(PrintLine(), 2);
  PrintNewPage(30);
  EXPECT_EQ(PrintLine(), 0);
  EXPECT_EQ(Prints().pageLength, 30);
}

TEST_F(SpoolTest, FullPageGetsAPageRecordOfTheSameLengthBeforeTheNextText) {
  ASSERT_TRUE(SpoolOpen("").ok());
  PrintNewPage(3);
  PrintText(1, "one", 2);
  PrintText(1, "two", 1);  // the page is now full
  PrintText(1, "three", 0);
  ASSERT_TRUE(SpoolClose().ok());
  EXPECT_EQ(Records(), (std::vector<std::string>{"DEVICE", "PAGE 3 ", " 1 ,one, 2 ",
                                                 " 1 ,two, 1 ", "PAGE 3 ", " 1 ,three, 0 "}));
  EXPECT_EQ(PrintLine(), 0);
}

TEST_F(SpoolTest, TextBeforeAnyPageRecordOpensNoPage) {
  ASSERT_TRUE(SpoolOpen("").ok());
  PrintText(1, "a", 1);
  PrintText(1, "b", 1);
  ASSERT_TRUE(SpoolClose().ok());
  EXPECT_EQ(Records(), (std::vector<std::string>{"DEVICE", " 1 ,a, 1 ", " 1 ,b, 1 "}));
}

TEST_F(SpoolTest, ALargeSpoolIsWrittenWhole) {
  ASSERT_TRUE(SpoolOpen("").ok());
  PrintNewPage(66);
  for (int i = 0; i < 20000; ++i) PrintText(1, "line " + std::to_string(i), 1);
  ASSERT_TRUE(SpoolClose().ok());
  std::vector<std::string> records = Records();
  ASSERT_GT(records.size(), 20000u);
  EXPECT_EQ(records.back(), " 1 ,line 19999, 1 ");
}

TEST_F(SpoolTest, OpenFailsCleanlyWhenTheTemporaryFolderIsMissing) {
  SessionState().tempDir = (dir_ / "no-such-folder").string() + "/";
  EXPECT_FALSE(SpoolOpen("").ok());
  PrintText(1, "dropped", 1);  // nothing is open: nothing happens
  EXPECT_TRUE(SpoolClose().ok());
  EXPECT_FALSE(fs::exists(dir_ / "no-such-folder"));
}

TEST_F(SpoolTest, PrintProgramRunsFromTheExecutablesFolderWithoutArguments) {
  { std::ofstream(dir_ / "ZODIRUDI") << "#!/bin/sh\n"; }
  std::string ranProgram;
  std::vector<std::string> ranArgs = {"not called"};
  Os().runAndWait = [&](const std::string& program, const std::vector<std::string>& args) {
    ranProgram = program;
    ranArgs = args;
    std::ofstream(dir_ / "zodirudi.err") << "ZODIRUDI: l\xC3\xADnia 1\n\nb\nc\nZODIRUDI: no es pot\n";
    return ChildResult{OsStatus::Success(), 3};
  };
  EXPECT_EQ(RunPrintProgram(), PrintOutcome::Failed);
  EXPECT_EQ(ranProgram, dir_.string() + "/ZODIRUDI");
  EXPECT_TRUE(ranArgs.empty());
  // The exit code, then its last three lines of standard error, blank ones left out.
  EXPECT_EQ(PrintFailureMessage(), cp850("EL PROGRAMA D'IMPRESSIÓ HA FALLAT (codi 3)\nb\nc\n") +
                                       "ZODIRUDI: no es pot\n");
}

TEST_F(SpoolTest, MissingPrintProgramIsReportedOnceAndTheSpoolStays) {
  bool ran = false;
  Os().runAndWait = [&](const std::string&, const std::vector<std::string>&) {
    ran = true;
    return ChildResult{OsStatus::NotFound("missing"), -1};
  };
  ASSERT_TRUE(SpoolOpen("").ok());
  ASSERT_TRUE(SpoolClose().ok());
  EXPECT_EQ(RunPrintProgram(), PrintOutcome::Missing);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(TakeMissingProgramReport());
  ASSERT_TRUE(SpoolOpen("").ok());  // a later run of the same session
  ASSERT_TRUE(SpoolClose().ok());
  EXPECT_EQ(RunPrintProgram(), PrintOutcome::Missing);
  EXPECT_FALSE(TakeMissingProgramReport());
  EXPECT_TRUE(fs::exists(dir_ / "zodirudi.tmp"));
  EXPECT_NE(MissingPrintProgramMessage().find("ZODIRUDI"), std::string::npos);
}

}  // namespace
}  // namespace palvorin
