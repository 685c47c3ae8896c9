#include <gtest/gtest.h>

#include <string>

#include "os/codepage.h"
#include "shell/session.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

TEST(CompleteFolder, AddsTheSeparatorOnlyWhereOneIsMissing) {
  struct Case {
    const char* given;
    const char* want;
  };
  static constexpr Case kCases[] = {
      {"C:\\TMP", "C:\\TMP\\"}, {"C:", "C:"},         {"C:\\TMP\\", "C:\\TMP\\"},
      {"", ""},                 {"zeptmp", "zeptmp\\"}, {"zeptmp/", "zeptmp/"},
  };
  for (const Case& c : kCases) EXPECT_EQ(CompleteFolder(c.given), c.want) << c.given;
}

TEST(ReadIniValue, ReadsFromAFileInDosOrLinuxForm) {
  palvorin::testing::TempDir dir;
  dir.Write("Sessio.ini", "[Menu]\r\nTitol=COMUNITATS\r\n");
  EXPECT_EQ(ReadIniValue(dir / "Sessio.ini", "Menu", "Titol"), "COMUNITATS");
  EXPECT_EQ(ReadIniValue(dir.path() + "\\sessio.INI", "menu", "TITOL"), "COMUNITATS");
  EXPECT_EQ(ReadIniValue(dir / "Missing.ini", "Menu", "Titol"), "");
}

}  // namespace
}  // namespace palvorin
