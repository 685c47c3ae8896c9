// The installation's programs on their command line, run as built: the options every one of
// them knows, and the installation a program takes when the environment names none.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "support/temp_dir.h"

namespace palvorin::testing {
namespace {

namespace fs = std::filesystem;

const std::string kExe = std::string(PALVORIN_BINARY_DIR) + "/inst/exe/";

struct Outcome {
  int code = -1;
  std::string out, err;
};

// Runs the shell `command` in a session of its own, so it has no terminal whoever runs the
// tests, with nothing on standard input.
Outcome RunInSession(const TempDir& dir, const std::string& command) {
  const std::string line = "setsid -w sh -c '" + command + "' </dev/null >" + (dir / "out") +
                           " 2>" + (dir / "err");
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.Read("out"), dir.Read("err")};
}

TEST(CommandLine, EveryProgramAnswersHelpVersionAndBadOptionsAlike) {
  TempDir dir;
  for (const char* program : {"palvorin", "palvorin-batch", "zepdata", "ZODIRUDI", "mkdemo"}) {
    SCOPED_TRACE(program);
    const std::string exe = kExe + program;
    if (!fs::exists(exe)) GTEST_SKIP() << "not built: " << exe;
    for (const char* help : {" --help", " -h"}) {
      const Outcome o = RunInSession(dir, exe + help);
      EXPECT_EQ(o.code, 0);
      EXPECT_EQ(o.out.rfind(std::string("usage: ") + program, 0), 0u) << o.out;
      EXPECT_EQ(o.err, "");
    }
    const Outcome version = RunInSession(dir, exe + " --version");
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex(std::string(program) + " \\d+\\.\\d+\\.\\d+\n")))
        << version.out;
    const Outcome bad = RunInSession(dir, exe + " --bogus");
    EXPECT_EQ(bad.code, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find(std::string(program) + ": unknown option --bogus"), std::string::npos)
        << bad.err;
  }
  const Outcome command = RunInSession(dir, kExe + "zepdata bogus DADES/HFinca");
  EXPECT_EQ(command.code, 2);
  EXPECT_NE(command.err.find("unknown command bogus"), std::string::npos) << command.err;
  const Outcome noTerminal = RunInSession(dir, kExe + "palvorin");
  EXPECT_EQ(noTerminal.code, 1);
  EXPECT_EQ(noTerminal.err, "palvorin: needs a terminal\n");
}

// Started through a link from another folder with ZEPROOT unset, zepdata takes the
// installation its exe/ folder belongs to: the dictionaries of its ddf/ folder, and a missing
// one is reported with the folder it was looked for in.
TEST(CommandLine, WithoutZeprootAProgramTakesTheInstallationThatHoldsIt) {
  const std::string zepdata = kExe + "zepdata";
  if (!fs::exists(zepdata)) GTEST_SKIP() << "not built: " << zepdata;
  TempDir dir;
  dir.MakeDir("bin");
  dir.MakeDir("DADES");
  fs::create_symlink(zepdata, dir / "bin/zepdata");
  const std::string start = "cd " + dir.path() + " && env -u ZEPROOT bin/zepdata create ";
  EXPECT_EQ(RunInSession(dir, start + "DADES/HRebuts").code, 0) << dir.Read("err");
  const Outcome missing = RunInSession(dir, start + "DADES/HNOSUCH");
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find(fs::canonical(kExe + "..").string() + "/ddf/HNOSUCH.xdf"),
            std::string::npos)
      << missing.err;
  EXPECT_NE(missing.err.find("ZEPROOT not set"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace palvorin::testing
