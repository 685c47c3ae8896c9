// The receipt-preparation module. Started by the suite's menu with ZEPROOT, ZEPEXE and ZEPTMP
// set, or by hand on the installation that holds it; ends with exit code 0 when the operator
// leaves it.
#include <cstdio>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/terminal.h"
#include "os/codepage.h"
#include "os/program.h"
#include "session/session.h"
#include "shell/startup.h"

namespace {

constexpr const char* kUsage =
    "usage: palvorin\n"
    "\n"
    "The receipt-preparation module, on the terminal it is started from. It works on the\n"
    "installation named by ZEPROOT (root), ZEPEXE (executables) and ZEPTMP (temporary folder);\n"
    "when one is not set, on the installation that holds the program (the parent of its exe/\n"
    "folder) and the user's temporary folder. Esc on the selection leaves.\n"
    "Exit code 0 when the operator left, 1 when the module could not start or lost its\n"
    "terminal, 2 for bad arguments.\n";

std::unique_ptr<palvorin::TerminalConsole> TakeTerminal(std::string& error) {
  return palvorin::TerminalConsole::Open(&error);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace palvorin;
  if (argc > 1) {
    if (AnswerStandardOption(argv[1], "palvorin", kUsage)) return 0;
    return BadUsage("palvorin", (IsOption(argv[1]) ? "unknown option " : "unexpected argument ") +
                                    std::string(argv[1]));
  }
  std::string error;
  std::unique_ptr<TerminalConsole> terminal = TakeTerminal(error);
  if (!terminal) {
    std::fputs("palvorin: needs a terminal\n", stderr);
    return 1;
  }
  UseInstallation(InstallationOfProgram());
  ConUseBackend(std::move(terminal));
  ProgramState& program = Program();
  program.releaseTerminal = [] { ConUseBackend(nullptr); };
  program.retakeTerminal = [] {
    std::string why;
    std::unique_ptr<TerminalConsole> again = TakeTerminal(why);
    if (!again) return false;
    ConUseBackend(std::move(again));
    return true;
  };
  const int code = RunModule();
  ConUseBackend(nullptr);  // the terminal as it was before the module
  if (!program.stopMessage.empty()) {
    std::fprintf(stderr, "palvorin: %s\n",
                 EscapeControls(Utf8FromCp850(program.stopMessage)).c_str());
  }
  return code;
}
