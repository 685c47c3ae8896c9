// The console state: one 80x25 screen of cells, the cursor, the print attribute, the
// keyboard's Insert toggle, the program's clipboard and the backend that shows the screen.
#include "console/console.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "console/headless.h"

namespace palvorin {
namespace {

constexpr int kRows = 25;
constexpr int kCols = 80;

struct ConsoleState {
  std::vector<Cell> cells = std::vector<Cell>(kRows * kCols);
  int cursorRow = 1;
  int cursorCol = 1;
  bool cursorVisible = true;
  uint8_t attr = 0x07;
  bool insertMode = true;
  std::string clipboard;
  std::string smallTerminalNotice = "Terminal too small: %1 needed, now %2";
  std::unique_ptr<ConsoleBackend> backend = std::make_unique<HeadlessConsole>();
  // The backend when it is the headless one, for tests; null otherwise.
  HeadlessConsole* headless = nullptr;
};

ConsoleState& State() {
  static ConsoleState state = [] {
    ConsoleState s;
    s.headless = static_cast<HeadlessConsole*>(s.backend.get());
    return s;
  }();
  return state;
}

bool Inside(int row, int col) { return row >= 1 && row <= kRows && col >= 1 && col <= kCols; }

Cell& At(int row, int col) { return State().cells[(row - 1) * kCols + (col - 1)]; }

// Clips a rectangle to the screen; false when nothing of it is left.
bool Clip(int& top, int& left, int& bottom, int& right) {
  top = std::max(top, 1);
  left = std::max(left, 1);
  bottom = std::min(bottom, kRows);
  right = std::min(right, kCols);
  return top <= bottom && left <= right;
}

}  // namespace

int ScreenRows() { return kRows; }
int ScreenCols() { return kCols; }

void ConSetCursor(int row, int col) {
  State().cursorRow = std::clamp(row, 1, kRows);
  State().cursorCol = std::clamp(col, 1, kCols);
}
int ConCursorRow() { return State().cursorRow; }
int ConCursorCol() { return State().cursorCol; }
void ConShowCursor(bool visible) { State().cursorVisible = visible; }
bool ConCursorVisible() { return State().cursorVisible; }

void ConSetAttr(uint8_t attr) { State().attr = attr; }
uint8_t ConAttr() { return State().attr; }

void ConPrint(std::string_view text) {
  ConsoleState& s = State();
  int pos = (s.cursorRow - 1) * kCols + (s.cursorCol - 1);
  for (char c : text) {
    if (pos >= kRows * kCols) break;
    s.cells[pos] = Cell{static_cast<uint8_t>(c), s.attr};
    ++pos;
  }
  // Past the last cell the cursor stays on it.
  pos = std::min(pos, kRows * kCols - 1);
  s.cursorRow = pos / kCols + 1;
  s.cursorCol = pos % kCols + 1;
}

Cell ConReadCell(int row, int col) { return Inside(row, col) ? At(row, col) : Cell{}; }

void ConWriteCell(int row, int col, Cell cell) {
  if (Inside(row, col)) At(row, col) = cell;
}

std::vector<Cell> ConReadRect(int top, int left, int bottom, int right) {
  std::vector<Cell> out;
  if (top > bottom || left > right) return out;
  out.reserve(static_cast<size_t>(bottom - top + 1) * (right - left + 1));
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c) out.push_back(ConReadCell(r, c));
  return out;
}

void ConWriteRect(int top, int left, int bottom, int right, std::span<const Cell> cells) {
  if (top > bottom || left > right) return;
  size_t i = 0;
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c, ++i) {
      if (i >= cells.size()) return;
      ConWriteCell(r, c, cells[i]);
    }
}

void ConScroll(int top, int left, int bottom, int right, int lines, uint8_t fill) {
  if (!Clip(top, left, bottom, right)) return;
  const int height = bottom - top + 1;
  const Cell blank{' ', fill};
  if (lines == 0 || lines >= height || -lines >= height) {
    for (int r = top; r <= bottom; ++r)
      for (int c = left; c <= right; ++c) At(r, c) = blank;
    return;
  }
  if (lines > 0) {
    for (int r = top; r <= bottom; ++r)
      for (int c = left; c <= right; ++c) At(r, c) = r + lines <= bottom ? At(r + lines, c) : blank;
  } else {
    const int down = -lines;
    for (int r = bottom; r >= top; --r)
      for (int c = left; c <= right; ++c) At(r, c) = r - down >= top ? At(r - down, c) : blank;
  }
}

void ConFlush() {
  ConsoleState& s = State();
  s.backend->Present(s.cells, kRows, kCols, s.cursorRow, s.cursorCol, s.cursorVisible,
                     s.insertMode);
}

// A paste brings the system clipboard's text: it is the clipboard from now on. The terminal
// has it already, so it is not sent back.
std::optional<InputEvent> TakePaste(std::optional<InputEvent> event) {
  if (event && event->pasted) State().clipboard = *event->pasted;
  return event;
}

// The backend's next event that the operator can have meant: what comes while the terminal is
// too small to show the screen is thrown away, and the wait goes on for what time is left.
std::optional<InputEvent> NextShownEvent(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::optional<InputEvent> event = State().backend->WaitEvent(timeoutMs);
    if (!event || State().backend->ShowsScreen()) return TakePaste(std::move(event));
    if (timeoutMs > 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      timeoutMs = static_cast<int>(std::max<long long>(0, left.count()));
    }
  }
}

std::optional<InputEvent> ConPollEvent() {
  ConFlush();
  return NextShownEvent(0);
}

std::optional<InputEvent> ConWaitEvent(int timeoutMs) {
  ConFlush();
  return NextShownEvent(timeoutMs);
}

bool ConMonochrome() { return State().backend->Monochrome(); }

void ConSetSmallTerminalNotice(std::string_view text) {
  State().smallTerminalNotice = std::string(text);
}
const std::string& ConSmallTerminalNotice() { return State().smallTerminalNotice; }

bool ConInsertMode() { return State().insertMode; }
void ConSetInsertMode(bool on) { State().insertMode = on; }

const std::string& ConClipboard() { return State().clipboard; }
void ConSetClipboard(std::string_view text) {
  State().clipboard = std::string(text);
  State().backend->CopyToSystemClipboard(text);
}

void ConBeep() { State().backend->Beep(); }

void ConUseBackend(std::unique_ptr<ConsoleBackend> backend) {
  ConsoleState& s = State();
  if (!backend) backend = std::make_unique<HeadlessConsole>();
  s.headless = dynamic_cast<HeadlessConsole*>(backend.get());
  // The old backend (a terminal restores itself) goes before the new one takes over.
  s.backend.reset();
  s.backend = std::move(backend);
}

void ResetConsoleForTest() {
  ConsoleState& s = State();
  s.backend.reset();
  s = ConsoleState{};
  s.headless = static_cast<HeadlessConsole*>(s.backend.get());
}

HeadlessConsole& Headless() {
  ConsoleState& s = State();
  if (s.headless == nullptr) ConUseBackend(std::make_unique<HeadlessConsole>());
  return *s.headless;
}

}  // namespace palvorin
