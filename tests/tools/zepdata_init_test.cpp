// zepdata init, run as the built program: a new installation, and the roots it must refuse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace palvorin {
namespace {

int Init(const testing::TempDir& dir, const std::string& args) {
  std::string command = std::string(PALVORIN_BINARY_DIR) + "/inst/exe/zepdata init " + args +
                        " > " + (dir / "out") + " 2> " + (dir / "err");
  int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(ZepdataInitTest, MakesAnInstallationOnceAndRefusesWhatItCannotKeep) {
  testing::TempDir dir;
  const std::string name35(35, 'N');
  ASSERT_EQ(Init(dir, dir / "a/b --name " + name35), 0) << dir.Read("err");
  EXPECT_NE(dir.Read("a/b/Kora.ini").find("Nom=" + name35 + "\r\n"), std::string::npos);
  EXPECT_EQ(dir.Read("a/b/DADES/HParam.tab").size(), 97u);
  EXPECT_TRUE(dir.Exists("a/b/FORMS/PALVORIN.ZPN") && dir.Exists("a/b/ddf/HFinca.xdf"));
  EXPECT_NE(dir.Read("out").find("\nZEPROOT=" + dir.path() + "/a/b/ palvorin\n"),
            std::string::npos);

  // Another init on it changes nothing; a name longer than the listings show creates nothing.
  EXPECT_EQ(Init(dir, dir / "a/b --name Other"), 1);
  EXPECT_NE(dir.Read("a/b/Kora.ini").find(name35), std::string::npos);
  EXPECT_EQ(Init(dir, dir / "c --name " + name35 + "N"), 2);
  EXPECT_EQ(Init(dir, dir / "c --name 'A;B'"), 2);
  EXPECT_FALSE(dir.Exists("c"));
}

}  // namespace
}  // namespace palvorin
