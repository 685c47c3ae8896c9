#include "shell/startup.h"

#include "console/console.h"
#include "datafile/datafile.h"
#include "os/codepage.h"
#include "os/paths.h"
#include "print/spool.h"
#include "receipts/files.h"
#include "receipts/generation.h"
#include "receipts/progress.h"
#include "receipts/run_params.h"
#include "receipts/selection.h"
#include "receipts/summary.h"
#include "screen/calendar.h"
#include "screen/forms.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"
#include "session/session.h"
#include "textlib/numbers.h"

namespace palvorin {

namespace {

void ClearScreen() {
  SetColour("n");
  ConScroll(1, 1, ScreenRows(), ScreenCols(), 0, ConAttr());
  ConSetCursor(1, 1);
}

// Runs the print program on the spool just closed. It draws on the terminal itself, so the
// terminal goes back to its normal mode meanwhile and the screen is drawn anew after it.
PrintOutcome PrintTheSpool() {
  ProgramState& program = Program();
  ConFlush();
  if (program.releaseTerminal) program.releaseTerminal();
  const PrintOutcome outcome = RunPrintProgram();
  if (program.retakeTerminal && !program.retakeTerminal()) {
    // Nobody is left to answer the selection; the work loop ends and the files are closed.
    program.terminalLost = true;
    program.stopMessage = Translate(cp850("No es pot tornar a prendre el terminal."));
  }
  ConFlush();
  return outcome;
}

// The record-file layer's lock-wait and open-failure messages show in a message box on the
// screen, and its key waits read the keyboard.
void UseScreenForDataFileMessages() {
  DbEnvironment& env = DataFiles().env;
  env.showMessage = [](int row, const std::string& text) { ShowMessageBox(row, text); };
  env.closeMessage = [] { WinPop(); };
  env.beep = [] { ConBeep(); };
  env.discardKeys = [] { DiscardPendingKeys(); };
  env.waitKey = [] {
    int key = 0;
    GetKey(key);
  };
}

}  // namespace

ProgramState& Program() {
  static ProgramState state;
  return state;
}

void ResetProgramForTest() { Program() = ProgramState{}; }

void ShowNotice(const std::string& text) {
  SetColour("+");
  ShowMessageBox(12, text);
  int key = 0;
  GetKey(key);
  WinPop();
  SetColour("-");
}

bool StartUp(std::string& message) {
  ConShowCursor(false);
  UseScreenForDataFileMessages();
  SessionSetUp();
  Session& session = SessionState();
  // An empty root leaves the current directory as it is; every relative path then starts
  // there.
  if (!session.rootDir.empty()) (void)SetCurrentDir(session.rootDir);
  session.moduleName = kModuleName;
  TranslateConsoleTexts();
  InstallHotKeyTools();

  const FormLoad form = LoadForm(message);
  if (form == FormLoad::Missing) {
    // Started by hand, the root may not be the one the operator meant: say which it was.
    message += " (" + RootFolderNote() + ")";
  }
  if (form != FormLoad::Ok) return false;
  // A form file edited by hand may lack fields the selection reads by number.
  if (!SelectionFormFits(message)) return false;
  SetInitialSelection();
  InstallSelectionHooks();

  const OsStatus params = OpenReceiptFiles();
  Program().started = true;
  if (!params.ok()) {
    // The run goes on with the collection-fee concept it read, or the default one when the
    // shared parameter file could not be read; the operator must know either way.
    const char* text = ReceiptFiles().paramUnreadable
                           ? "NO ES POT LLEGIR EL FITXER DE PARÀMETRES "
                           : "NO ES POT ESCRIURE EL FITXER DE PARÀMETRES ";
    ShowNotice(Translate(cp850(text)) + params.message);
  }
  return true;
}

void RunOnce() {
  ScreenProgress progress;
  CycleResult result = RunAndPrint(RunParameters(), progress, false);
  // A spool that could not be written is an earlier run's or a cut-off one: never printed.
  if (result.spool.ok()) {
    result.print = PrintTheSpool();
    if (Program().terminalLost) return;
    result.reportMissingProgram =
        result.print == PrintOutcome::Missing && TakeMissingProgramReport();
  }
  // What the run did, before the selection comes back for the next one.
  ShowNotice(RunSummary(result));
}

void WorkLoop() {
  for (;;) {
    ClearScreen();
    if (RunSelection() == keys::kEsc) return;
    RunOnce();
    if (Program().terminalLost) return;
  }
}

void CloseDown() {
  (void)SpoolClose();
  if (Program().started) CloseReceiptFiles();
  Program().started = false;
}

int RunModule() {
  std::string message;
  if (!StartUp(message)) {
    Program().stopMessage = message;
    ShowNotice(message);
    CloseDown();
    return 1;
  }
  WorkLoop();
  CloseDown();
  ClearScreen();
  ConShowCursor(true);
  return Program().terminalLost ? 1 : 0;
}

}  // namespace palvorin
