#include "os/paths.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace palvorin {
namespace {

using palvorin::testing::TempDir;

// Runs the test from inside `dir` and goes back to where it was afterwards.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::string& dir) : old_(CurrentDir()) {
    EXPECT_TRUE(SetCurrentDir(dir).ok());
  }
  ~ScopedCurrentDir() { (void)SetCurrentDir(old_); }

 private:
  std::string old_;
};

TEST(OsPath, TurnsDosSeparatorsAndDrivesIntoLinuxPaths) {
  struct Case {
    const char* dos;
    const char* want;
  };
  // Nothing of these exists, so every component keeps its spelling.
  static constexpr Case kCases[] = {
      {"Z:\\ZEPNOWHERE\\DADES\\HFinca", "/ZEPNOWHERE/DADES/HFinca"},
      {"a:ZEPNOWHERE\\x", "ZEPNOWHERE/x"},
      {"A:", ""},
      {"z:\\x", "/x"},
      {"@:\\x", "@:/x"},  // the bytes just outside the letters are no drive
      {"[:\\x", "[:/x"},
      {"`:\\x", "`:/x"},
      {"{:\\x", "{:/x"},
      {"/nonexistent-zep/DADES\\HFinca", "/nonexistent-zep/DADES/HFinca"},
      {"nonexistent-zep\\", "nonexistent-zep/"},
      {"", ""},
      {"\\", "/"},
      {"1:\\x", "1:/x"},  // not a drive letter
  };
  for (const Case& c : kCases) EXPECT_EQ(OsPath(c.dos), c.want) << c.dos;
}

TEST(OsPath, FindsExistingEntriesWhateverTheirLetterCase) {
  TempDir dir;
  dir.Write("dades/hfinca.dat", "x");
  dir.Write("LOCALE/palvorin.lng", "");
  const std::string root = dir.path() + "\\";
  EXPECT_EQ(OsPath(root + "DADES\\HFinca.dat"), dir / "dades/hfinca.dat");
  EXPECT_EQ(OsPath(root + "locale\\PALVORIN.LNG"), dir / "LOCALE/palvorin.lng");
  EXPECT_EQ(OsPath(root + "Dades\\"), dir / "dades/");
}

TEST(OsPath, ANewFileKeepsItsSpellingInsideAnExistingFolder) {
  TempDir dir;
  dir.MakeDir("dades");
  EXPECT_EQ(OsPath(dir.path() + "\\DADES\\HRebuts.new"), dir / "dades/HRebuts.new");
  EXPECT_EQ(OsPath(dir.path() + "\\NOVA\\Sub\\x"), dir / "NOVA/Sub/x");
}

TEST(OsPath, PrefersTheExactSpellingAndOtherwiseTheFirstInByteOrder) {
  TempDir dir;
  dir.Write("Kora.ini", "a");
  dir.Write("KORA.INI", "b");
  dir.Write("kora.ini", "c");
  EXPECT_EQ(OsPath(dir.path() + "/kora.ini"), dir / "kora.ini");
  EXPECT_EQ(OsPath(dir.path() + "/kORA.ini"), dir / "KORA.INI");
}

TEST(OsPath, ResolvesRelativePathsAgainstTheCurrentDirectory) {
  TempDir dir;
  dir.Write("DADES/HParam.tab", "x");
  ScopedCurrentDir here(dir.path());
  EXPECT_EQ(OsPath("dades\\hparam.TAB"), "DADES/HParam.tab");
  EXPECT_EQ(OsPath(".\\dades\\..\\Dades\\hparam.tab"), "./DADES/../DADES/HParam.tab");
  EXPECT_TRUE(FileExists("dades\\HPARAM.tab"));
}

TEST(Paths, CurrentDirFollowsSetCurrentDir) {
  TempDir dir;
  dir.MakeDir("Zep");
  ScopedCurrentDir here(dir.path());
  EXPECT_TRUE(SetCurrentDir(dir.path() + "\\ZEP\\").ok());
  EXPECT_EQ(CurrentDir(), dir / "Zep");
  const OsStatus missing = SetCurrentDir(dir.path() + "/none");
  EXPECT_TRUE(missing.IsNotFound()) << missing.message;
  EXPECT_NE(missing.message.find("none"), std::string::npos);
  EXPECT_EQ(CurrentDir(), dir / "Zep");
}

TEST(Paths, ExistenceChecksAndFolderCreation) {
  TempDir dir;
  dir.Write("a.txt", "x");
  EXPECT_TRUE(FileExists(dir / "A.TXT"));
  EXPECT_FALSE(DirExists(dir / "a.txt"));
  EXPECT_TRUE(PathExists(dir / "a.txt"));
  EXPECT_FALSE(PathExists(dir / "b.txt"));

  EXPECT_TRUE(CreateDir(dir.path() + "\\LOCALE").ok());
  EXPECT_TRUE(DirExists(dir / "LOCALE"));
  EXPECT_TRUE(CreateDir(dir / "locale").ok()) << "an existing folder is fine, in any case";
  EXPECT_FALSE(CreateDir(dir / "a.txt").ok()) << "a file is not a folder";
  EXPECT_TRUE(CreateDir(dir / "x/y").IsNotFound());
}

}  // namespace
}  // namespace palvorin
