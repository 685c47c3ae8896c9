// The module's program: start-up, the work loop and close-down.
//
// Start-up prepares one working session in a fixed order: the cursor hidden, the session read
// from the environment and the session files, the installation root made the current
// directory, the module named, its form loaded (texts translated) with the initial selection,
// and every data file opened under its handle, the scratch summary file made afresh and the
// parameter file normalised to its 97 bytes. The work loop then repeats selection, run and
// print program until the operator leaves the selection with Esc. Close-down releases every
// file and deletes the scratch file.
#ifndef PALVORIN_SHELL_STARTUP_H_
#define PALVORIN_SHELL_STARTUP_H_

#include <functional>
#include <string>

namespace palvorin {

// The module's name: it names the form file and the language file.
inline constexpr const char* kModuleName = "PALVORIN";

// What the program does around the print program, which draws on the terminal itself: hand
// the terminal back to its normal mode, and take it again (the screen is then drawn anew;
// false when the terminal is gone). Both empty when there is no terminal (tests).
struct ProgramState {
  std::function<void()> releaseTerminal;
  std::function<bool()> retakeTerminal;
  bool started = false;       // every file is open
  bool terminalLost = false;  // the terminal could not be taken again: the work loop ends
  std::string stopMessage;    // why the program stopped other than by the operator, CP850
};
ProgramState& Program();
void ResetProgramForTest();

// Start-up, in order. False when the form file is missing or malformed: `message` names the
// file (and the line) and nothing has been opened. A data file that cannot be opened ends the
// process from inside the record-file layer.
bool StartUp(std::string& message);

// Selection, run and print program, again and again, until the selection ends with Esc.
void WorkLoop();

// One pass of the work loop after an accepted selection: the run with its spool, then the
// print program with the terminal handed back around it, and what the operator must be told.
void RunOnce();

// Releases every keyed file and deletes the scratch file.
void CloseDown();

// The whole program; the process's exit code: 0 after the operator left, 1 when the form file
// or a lost terminal stopped it (the message is then in Program().stopMessage).
int RunModule();

// Shows `text` in a message box until the operator presses a key.
void ShowNotice(const std::string& text);

}  // namespace palvorin

#endif  // PALVORIN_SHELL_STARTUP_H_
