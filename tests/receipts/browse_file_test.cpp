// A browse list over a real keyed file, read through the record-file layer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "console/headless.h"
#include "receipts/browse_source.h"
#include "datafile/datafile.h"
#include "datafile/dictionary.h"
#include "engine/engine.h"
#include "os/codepage.h"
#include "screen/browse.h"
#include "screen/forms.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/session.h"
#include "screen/screen_fixture.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

// A file of people: a 4-digit code (key 0) and a name, listed in name order (key 1, without
// regard to case or accents).
constexpr int kHandle = 42;
constexpr int kLength = 40;
constexpr std::string_view kDictionary = "file Persones 40\nkey 0,4\nkey dup mod 4,20,acs + 0,4\n";

// Pick list 1: the file by key 1, ten rows in a window of 40 columns.
constexpr std::string_view kForm =
    "1,1\r\n\"d\",0,0,0,0,0,0\r\n1\r\n42,1,3,10,14,51,0,\"NOM\",0\r\n";

class BrowseFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetHeadlessScreen();
    ResetFormsForTest();
    ResetBrowseForTest();
    ResetDataFilesForTest();
    ResetEngineForTest();
    SessionState().rootDir = root_.folder();
    SessionState().tempDir = root_.folder();
    DataFiles().logPath = root_ / "db.log";
    std::vector<DictFile> files;
    std::string error;
    ASSERT_TRUE(ParseDictionarySource(kDictionary, files, error)) << error;
    root_.Write("ddf/Persones.xdf", DictionaryBytes(files[0]));
    root_.MakeDir("DADES");
    int status = -1;
    DbOpen(kHandle, root_.folder() + "DADES\\Persones", record_, status);
    ASSERT_EQ(status, 0);
    for (const char* person : {"0001Bernat", "0002carles", "0003Dolors", "0004Ana", "0005Cesc",
                               "0006\x80\x61rol"}) {  // Çarol, with a cedilla
      record_ = person;
      record_.resize(kLength, ' ');
      DbInsert(kHandle, status);
      ASSERT_EQ(status, 0) << person;
    }
    ASSERT_TRUE(testing::LoadTestForm(kForm));
    UseDataFilesForBrowse();
    Browsing().hooks.row = [this](int) { return record_.substr(4, 20); };
  }

  void TearDown() override {
    int status = 0;
    DbReset(status);
    ResetEngineForTest();
    ResetDataFilesForTest();
    ResetBrowseForTest();
    ResetFormsForTest();
  }

  void StartAt(std::string start, std::string prefix) {
    Browsing().hooks.start = [start, prefix](int, std::string& s, std::string& p) {
      s = start;
      p = prefix;
      return 0;
    };
  }
  std::string Row(int r) { return Headless().RowText(3 + r).substr(10, 20); }

  testing::TempDir root_;
  std::string record_;
};

TEST_F(BrowseFileTest, ListsTheFileInKeyOrderFromTheStartToThePrefix) {
  StartAt("c", "c");
  Headless().FeedKeys({keys::kDown});
  EXPECT_THROW(Browse(1), HeadlessInputExhausted);
  EXPECT_EQ(Row(1), "carles              ");
  EXPECT_EQ(Row(2),
            "\x80"
            "arol               ")
      << "sorted as CAROL";
  EXPECT_EQ(Row(3), "Cesc                ");
  EXPECT_EQ(Row(4), std::string(20, ' ')) << "Dolors lies past the prefix";
}

TEST_F(BrowseFileTest, EnterMakesTheChosenRecordTheCurrentOne) {
  StartAt("", "");
  Headless().FeedKeys({keys::kDown, keys::kDown, keys::kDown, keys::kUp, keys::kEnter});
  EXPECT_EQ(Browse(1), 0);
  EXPECT_EQ(record_.substr(0, 10), "0002carles");
  int status = -1;
  DbSkip(kHandle, 1, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(record_.substr(0, 5), "0006\x80") << "the file goes on from the chosen record";
  EXPECT_FALSE(root_.Exists("Browse.tmp"));
}

TEST_F(BrowseFileTest, AStartPastEveryRecordGivesAnEmptyList) {
  StartAt("zz", "");
  Headless().FeedKeys({keys::kDown, keys::kPgDn, keys::kEnter});
  EXPECT_EQ(Browse(1), -1);
  EXPECT_EQ(Row(1), std::string(20, ' '));
}

}  // namespace
}  // namespace palvorin
