// The controlling terminal, reached through the few system calls the console needs: raw
// mode, reading with a wait, writing, the window size, and giving the terminal back on every
// way out (normal exit, fatal signals, an uncaught exception). This file and tty.cpp are the
// console's only contact with the operating system.
//
// While the terminal is taken, the process's standard output and error go to a side file
// (nothing but the console may write on the screen); what was written there is copied back to
// them when the terminal is given back.
#ifndef PALVORIN_CONSOLE_TTY_H_
#define PALVORIN_CONSOLE_TTY_H_

#include <string>
#include <string_view>

namespace palvorin {

struct TtyOptions {
  int inFd = -1;   // -1: open /dev/tty; else a terminal the caller owns (tests use a pty)
  int outFd = -1;  // the same for output
  bool captureOutput = true;  // send stdout and stderr to the side file meanwhile
  bool handleSignals = true;  // give the terminal back on fatal signals; follow resizes
  // Written on taking the terminal / on giving it back (the latter also from signal
  // handlers, so it is kept in a fixed buffer of 255 bytes).
  std::string enter;
  std::string leave;
};

// Takes the terminal: raw mode, `enter` written. False with `error` set when there is none
// or it cannot be set up; nothing is changed then.
bool TtyOpen(const TtyOptions& options, std::string* error);
// Gives the terminal back as it was (`leave` written, modes restored, pending input
// dropped, standard output and error back). Harmless when not open.
void TtyClose();
bool TtyIsOpen();

// Writes all of `bytes` to the terminal. False when the terminal is gone.
bool TtyWrite(std::string_view bytes);

enum class TtyWaitResult { Input, Wake, Timeout, Error };
// Blocks until input is ready, a resize or resume happened, or `timeoutMs` passed (-1: no
// limit). Uses no CPU while waiting.
TtyWaitResult TtyWait(int timeoutMs);
// The bytes ready to read now (empty when none).
std::string TtyRead();

// The terminal's rows and columns; false when unknown.
bool TtySize(int& rows, int& cols);
// True once after the window was resized / the program was resumed after a stop.
bool TtyTakeResized();
bool TtyTakeResumed();

}  // namespace palvorin

#endif  // PALVORIN_CONSOLE_TTY_H_
