// mkdemo: fills an installation with the demo data set and the demo session files.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "datafile/datafile.h"
#include "demodata.h"
#include "os/codepage.h"
#include "os/paths.h"
#include "os/program.h"
#include "session/session.h"

namespace {

constexpr const char* kUsage =
    "usage: mkdemo [--replace] ROOT TMP\n"
    "\n"
    "Creates the demo data files under ROOT/DADES from the record dictionaries in ROOT/ddf,\n"
    "with DADES/HParam.tab and Kora.ini in ROOT, and the session files Sessio.ini and\n"
    "KoraTerm.ini (work date 1 March 2025, output on the screen, Catalan) in the existing\n"
    "folder TMP. Run the module with ZEPROOT=ROOT/ ZEPTMP=TMP/ and ZEPEXE set to the folder of\n"
    "its executables. The data is the same on every run. Data files that already hold records\n"
    "are left alone unless --replace is given, which empties them first. Exit code 0 when the\n"
    "installation was written, 1 when it was not (then no record was kept), 2 for bad arguments.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace palvorin;
  mkdemo::DemoOptions options;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (AnswerStandardOption(a, "mkdemo", kUsage)) return 0;
    if (a == "--replace") {
      options.replace = true;
    } else if (IsOption(a)) {
      return BadUsage("mkdemo", "unknown option " + a);
    } else {
      words.push_back(a);
    }
  }
  if (words.size() < 2) return BadUsage("mkdemo", "needs the folders ROOT and TMP");
  if (words.size() > 2) return BadUsage("mkdemo", "unexpected argument " + words[2]);
  options.root = CompleteFolder(words[0]);
  options.tmp = CompleteFolder(words[1]);

  DataFiles().logPath.clear();
  DbEnvironment& env = DataFiles().env;
  env.showMessage = [](int, const std::string& text) {
    std::cerr << "mkdemo: " << EscapeControls(Utf8FromCp850(text)) << "\n";
  };
  env.closeMessage = [] {};
  env.beep = [] {};
  env.discardKeys = [] {};
  env.waitKey = [] {};
  env.exit = [](int code) { std::exit(code); };

  mkdemo::RecordCounts counts;
  std::string message;
  if (!mkdemo::MakeDemo(options, counts, message)) {
    std::cerr << "mkdemo: " << EscapeControls(Utf8FromCp850(message)) << "\n";
    return 1;
  }
  for (const auto& [file, n] : counts) std::cout << "DADES/" << file << ": " << n << " records\n";
  std::cout << "demo installation written in " << OsPath(options.root) << " (session files in "
            << OsPath(options.tmp) << ")\n";
  return 0;
}
