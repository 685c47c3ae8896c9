#include "console/terminal.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "console/glyphs.h"
#include "console/tty.h"
#include "os/codepage.h"
#include "os/env.h"

namespace palvorin {
namespace {

// Alternate screen, no autowrap (the last cell must never scroll), cursor hidden until the
// first frame places it, mouse presses in SGR form, bracketed paste, Alt sent as an Esc
// prefix (xterm keeps its own setting and gets it back on leaving).
constexpr std::string_view kEnter =
    "\x1b[?1049h\x1b[?7l\x1b[?25l\x1b[?1000h\x1b[?1006h\x1b[?2004h\x1b[?1036s\x1b[?1036h"
    "\x1b[0m\x1b[2J";
// Undoes the above in reverse and puts back the terminal's own cursor shape (by the
// terminal's sequence for it, between the two halves) and colours.
constexpr std::string_view kLeaveModes = "\x1b[?1036r\x1b[?2004l\x1b[?1006l\x1b[?1000l";
constexpr std::string_view kLeaveScreen = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";
constexpr std::string_view kDefaultShape = "\x1b[0 q";
constexpr std::string_view kLinuxDefaultShape = "\x1b[?0c";

constexpr int kDefaultEscDelayMs = 40;
// Hang-ups in a row after which the program ends.
constexpr int kMaxHangUps = 1000;

int EscDelayFromEnvironment() {
  const std::string text = GetEnv("PALVORIN_ESCDELAY");
  if (text.empty()) return kDefaultEscDelayMs;
  char* end = nullptr;
  const long ms = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || ms < 1 || ms > 2000) return kDefaultEscDelayMs;
  return static_cast<int>(ms);
}

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point when) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t v = 0;
    for (size_t k = 0; k < 3; ++k) {
      v = (v << 8) | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0);
    }
    for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

}  // namespace

std::string Osc52(std::string_view cp850Text) {
  std::string utf8;
  for (char c : cp850Text) {
    // Control bytes are text here, not glyphs: a copied line end stays a line end.
    const uint8_t b = static_cast<uint8_t>(c);
    AppendUtf8(utf8, b < 0x20 || b == 0x7F ? b : Cp850CodePoint(b));
  }
  return "\x1b]52;c;" + Base64(utf8) + "\a";
}

std::unique_ptr<TerminalConsole> TerminalConsole::Open(std::string* error,
                                                        TerminalOptions options) {
  TtyOptions tty;
  tty.inFd = options.inFd;
  tty.outFd = options.outFd;
  tty.captureOutput = options.captureOutput;
  tty.handleSignals = options.handleSignals;
  // The Linux console has no DECSCUSR (it would print its "q") but a sequence of its own.
  const bool linux = GetEnv("TERM") == "linux";
  // A terminal without colours, by the NO_COLOR convention (set and not empty) or by its type.
  const bool monochrome = GetEnv("TERM") == "dumb" || !GetEnv("NO_COLOR").empty();
  const CursorShapes shapes = linux ? CursorShapes::LinuxConsole : CursorShapes::Decscusr;
  tty.enter = std::string(kEnter);
  tty.leave = std::string(kLeaveModes) +
              std::string(linux ? kLinuxDefaultShape : kDefaultShape) + std::string(kLeaveScreen);
  if (!TtyOpen(tty, error)) return nullptr;
  const int esc = options.escDelayMs > 0 ? options.escDelayMs : EscDelayFromEnvironment();
  return std::unique_ptr<TerminalConsole>(new TerminalConsole(shapes, monochrome, esc));
}

TerminalConsole::TerminalConsole(CursorShapes shapes, bool monochrome, int escDelayMs)
    : renderer_(shapes, monochrome), monochrome_(monochrome), escDelayMs_(escDelayMs) {
  if (!TtySize(termRows_, termCols_)) {
    termRows_ = 25;
    termCols_ = 80;
  }
}

TerminalConsole::~TerminalConsole() { TtyClose(); }

void TerminalConsole::Present(std::span<const Cell> cells, int rows, int cols, int cursorRow,
                              int cursorCol, bool cursorVisible, bool insertShape) {
  cells_.assign(cells.begin(), cells.end());
  rows_ = rows;
  cols_ = cols;
  cursor_ = CursorView{cursorRow, cursorCol, cursorVisible, insertShape};
  Redraw(false);
}

void TerminalConsole::Redraw(bool invalidate) {
  if (TtyTakeResized()) {
    int r = 0, c = 0;
    if (TtySize(r, c)) {
      termRows_ = r;
      termCols_ = c;
    }
    invalidate = true;
  }
  if (TtyTakeResumed()) invalidate = true;
  if (invalidate) renderer_.Invalidate();
  if (cells_.empty()) return;
  renderer_.SetNoticeText(ConSmallTerminalNotice());
  const std::string out = renderer_.Render(cells_, rows_, cols_, cursor_, termRows_, termCols_);
  if (!out.empty()) TtyWrite(out);
}

std::optional<InputEvent> TerminalConsole::NextDecoded(bool final) {
  while (auto e = decoder_.Next(final)) {
    if (e->kind != InputEvent::Kind::Mouse) return e;
    // Presses beside or below the screen on a larger terminal, or on the notice of a
    // smaller one, are not on any cell of the screen.
    if (!renderer_.ShowingNotice() && e->row <= rows_ && e->col <= cols_) return e;
  }
  return std::nullopt;
}

std::optional<InputEvent> TerminalConsole::WaitEvent(int timeoutMs) {
  const bool forever = timeoutMs < 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
  for (;;) {
    if (auto e = NextDecoded(false)) return e;
    std::string bytes = TtyRead();
    if (!bytes.empty()) {
      decoder_.Feed(bytes);
      escWaiting_ = false;
      continue;
    }
    const Clock::time_point now = Clock::now();
    // Inside a paste nothing is a lone Esc: the rest is simply awaited.
    if (decoder_.Waiting() && !decoder_.InPaste()) {
      if (!escWaiting_) escDeadline_ = now + std::chrono::milliseconds(escDelayMs_);
      escWaiting_ = true;
      if (now >= escDeadline_) {
        escWaiting_ = false;
        if (auto e = NextDecoded(true)) return e;
        continue;
      }
    } else {
      escWaiting_ = false;
    }
    int wait = -1;
    if (!forever) {
      if (now >= deadline) return std::nullopt;
      wait = MsUntil(deadline);
    }
    if (escWaiting_) {
      const int escWait = MsUntil(escDeadline_);
      wait = wait < 0 ? escWait : std::min(wait, escWait);
    }
    switch (TtyWait(wait)) {
      case TtyWaitResult::Input:
      case TtyWaitResult::Timeout:
        hangUps_ = 0;
        break;
      case TtyWaitResult::Wake:
        Redraw(false);
        break;
      case TtyWaitResult::Error:
        // The terminal is gone: Esc lets every screen close; if the program still waits
        // for keys nobody can type, it ends instead of spinning.
        if (++hangUps_ > kMaxHangUps) {
          TtyClose();
          std::exit(1);
        }
        return InputEvent{.key = 0x1B};
    }
  }
}

void TerminalConsole::CopyToSystemClipboard(std::string_view text) { TtyWrite(Osc52(text)); }

void TerminalConsole::Beep() { TtyWrite("\a"); }

}  // namespace palvorin
