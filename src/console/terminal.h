// The console on a real terminal: the screen drawn on a UTF-8, xterm-compatible terminal
// (the PC colours, the CP850 glyphs, only changes sent), the keyboard and mouse read from
// it and decoded into the console's key codes. The terminal is taken when the backend is
// made and given back when it is destroyed, at exit, on a fatal signal or an uncaught
// exception. While it is active nothing else may write to the screen: standard output and
// error are kept aside and shown when the terminal is given back.
//
// Use: ConUseBackend(TerminalConsole::Open(&error)) at start-up, falling back to a message
// when it returns null; ConUseBackend(nullptr) gives the terminal back.
#ifndef PALVORIN_CONSOLE_TERMINAL_H_
#define PALVORIN_CONSOLE_TERMINAL_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/keydecode.h"
#include "console/render.h"

namespace palvorin {

struct TerminalOptions {
  int inFd = -1;   // -1: the process's controlling terminal; else a terminal the caller owns
  int outFd = -1;
  bool captureOutput = true;  // keep standard output and error aside while active
  bool handleSignals = true;
  // How long an Esc waits for the rest of a sequence before it counts as the Esc key.
  // -1: the PALVORIN_ESCDELAY environment variable, else 40 ms.
  int escDelayMs = -1;
};

class TerminalConsole : public ConsoleBackend {
 public:
  // Takes the terminal. Null, with `error` saying why, when there is no usable terminal.
  static std::unique_ptr<TerminalConsole> Open(std::string* error, TerminalOptions options = {});
  ~TerminalConsole() override;
  TerminalConsole(const TerminalConsole&) = delete;
  TerminalConsole& operator=(const TerminalConsole&) = delete;

  void Present(std::span<const Cell> cells, int rows, int cols, int cursorRow, int cursorCol,
               bool cursorVisible, bool insertShape) override;
  std::optional<InputEvent> WaitEvent(int timeoutMs) override;
  // False while the notice of a terminal too small shows; true again once the terminal is
  // gone, so that the Esc that winds the screens down is not thrown away.
  bool ShowsScreen() const override { return hangUps_ > 0 || !renderer_.ShowingNotice(); }
  bool Monochrome() const override { return monochrome_; }
  // Also sends the text to the terminal's clipboard (OSC 52) for terminals that take it.
  void CopyToSystemClipboard(std::string_view text) override;
  void Beep() override;

 private:
  TerminalConsole(CursorShapes shapes, bool monochrome, int escDelayMs);
  // Draws the last presented screen again after a resize or a resume.
  void Redraw(bool invalidate);
  // An event the decoder has ready that lies on the screen, or nullopt.
  std::optional<InputEvent> NextDecoded(bool final);

  ScreenRenderer renderer_;
  KeyDecoder decoder_;
  bool monochrome_;
  int escDelayMs_;
  int termRows_ = 0;
  int termCols_ = 0;
  std::vector<Cell> cells_;
  int rows_ = 25;
  int cols_ = 80;
  CursorView cursor_;
  int hangUps_ = 0;
  // Bytes of an unfinished sequence wait for their rest until escDeadline_, then count as
  // they are (a lone Esc is the Esc key).
  bool escWaiting_ = false;
  std::chrono::steady_clock::time_point escDeadline_{};
};

// The text that sets a clipboard through OSC 52: ESC ] 52 ; c ; base64(UTF-8) BEL.
std::string Osc52(std::string_view cp850Text);

}  // namespace palvorin

#endif  // PALVORIN_CONSOLE_TERMINAL_H_
