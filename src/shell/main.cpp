// The receipt-preparation module. Started by the suite's menu with ZEPROOT, ZEPEXE and ZEPTMP
// set; takes no arguments; ends with exit code 0 when the operator leaves it.
#include <cstdio>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/terminal.h"
#include "os/codepage.h"
#include "shell/startup.h"

namespace {

std::unique_ptr<palvorin::TerminalConsole> TakeTerminal(std::string& error) {
  return palvorin::TerminalConsole::Open(&error);
}

}  // namespace

int main() {
  using namespace palvorin;
  std::string error;
  std::unique_ptr<TerminalConsole> terminal = TakeTerminal(error);
  if (!terminal) {
    std::fprintf(stderr, "palvorin: %s\n", error.c_str());
    return 1;
  }
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
