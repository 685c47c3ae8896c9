#include "console/headless.h"

#include <algorithm>

#include "console/glyphs.h"

namespace palvorin {

void HeadlessConsole::FeedKeys(std::initializer_list<int> keys) {
  for (int k : keys) FeedKey(k, 0);
}

void HeadlessConsole::FeedKeys(const std::vector<int>& keys) {
  for (int k : keys) FeedKey(k, 0);
}

void HeadlessConsole::FeedKey(int key, int mods) {
  InputEvent e;
  e.key = key;
  e.mods = mods;
  FeedEvent(e);
}

void HeadlessConsole::FeedText(std::string_view cp850Text) {
  for (char c : cp850Text) FeedKey(static_cast<uint8_t>(c), 0);
}

void HeadlessConsole::FeedPaste(std::string_view cp850Text) {
  InputEvent e;
  e.key = 0x16;
  e.mods = kModCtrl;
  e.pasted = std::string(cp850Text);
  FeedEvent(e);
}

void HeadlessConsole::Click(int row, int col, int button, int mods) {
  InputEvent e;
  e.kind = InputEvent::Kind::Mouse;
  e.button = button;
  e.row = row;
  e.col = col;
  e.mods = mods;
  FeedEvent(e);
}

void HeadlessConsole::FeedEvent(const InputEvent& event) {
  queue_.push_back(Fed{event});
  emptyInARow_ = 0;
}

void HeadlessConsole::FeedResize(int rows, int cols) {
  queue_.push_back(Fed{InputEvent{}, rows, cols});
  emptyInARow_ = 0;
}

bool HeadlessConsole::ShowsScreen() const {
  return rows_ == 0 || (rows_ >= ScreenRows() && cols_ >= ScreenCols());
}

std::string HeadlessConsole::RowText(int row) const {
  std::string text;
  for (const Cell& c : ConReadRect(row, 1, row, ScreenCols())) text += static_cast<char>(c.ch);
  return text;
}

std::string HeadlessConsole::ScreenText() const {
  std::string text;
  for (int r = 1; r <= ScreenRows(); ++r) {
    if (r > 1) text += '\n';
    text += RowText(r);
  }
  return text;
}

std::string HeadlessConsole::RowTextUtf8(int row) const { return GlyphsUtf8(RowText(row)); }

std::string HeadlessConsole::ScreenTextUtf8() const {
  std::string text;
  for (int r = 1; r <= ScreenRows(); ++r) {
    if (r > 1) text += '\n';
    text += RowTextUtf8(r);
  }
  return text;
}

std::vector<uint8_t> HeadlessConsole::RowAttrs(int row) const {
  std::vector<uint8_t> attrs;
  for (const Cell& c : ConReadRect(row, 1, row, ScreenCols())) attrs.push_back(c.attr);
  return attrs;
}

void HeadlessConsole::Present(std::span<const Cell>, int, int, int cursorRow, int cursorCol,
                              bool cursorVisible, bool insertShape) {
  cursorRow_ = cursorRow;
  cursorCol_ = cursorCol;
  cursorVisible_ = cursorVisible;
  insertShape_ = insertShape;
  ++presents_;
}

std::optional<InputEvent> HeadlessConsole::WaitEvent(int timeoutMs) {
  while (!queue_.empty() && queue_.front().rows != 0) {
    rows_ = queue_.front().rows;
    cols_ = queue_.front().cols;
    queue_.pop_front();
  }
  if (queue_.empty()) {
    if (timeoutMs < 0 || emptyInARow_ >= kHeadlessEmptyPollLimit) {
      throw HeadlessInputExhausted();
    }
    ++emptyWaits_;
    ++emptyInARow_;
    return std::nullopt;
  }
  emptyInARow_ = 0;
  InputEvent e = queue_.front().event;
  queue_.pop_front();
  return e;
}

void HeadlessConsole::CopyToSystemClipboard(std::string_view text) {
  systemClipboard_ = std::string(text);
}

}  // namespace palvorin
