#include "console/render.h"

#include <algorithm>

#include "console/glyphs.h"

namespace palvorin {
namespace {

// PC colours order blue, green, red in the low bits; ANSI orders red, green, blue.
int AnsiColour(int pc) { return ((pc & 1) << 2) | (pc & 2) | ((pc & 4) >> 2); }

// How light a PC colour looks: green counts most, then red, then blue; the bright bit on top.
int Lightness(int pc) { return (pc & 1) + (pc & 2 ? 6 : 0) + (pc & 4 ? 3 : 0) + (pc & 8 ? 5 : 0); }

// `text` with "%1" and "%2" replaced.
std::string Fill(std::string text, const std::string& one, const std::string& two) {
  for (const auto& [mark, value] : {std::pair{"%1", &one}, {"%2", &two}}) {
    const size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, 2, *value);
  }
  return text;
}

}  // namespace

std::string MonochromeSgrOfAttr(uint8_t attr) {
  const int fg = attr & 0x0F;
  const int bg = attr >> 4;
  if (Lightness(bg) > Lightness(fg)) return "7";
  return (fg & 8) ? "1" : "";
}

std::string SgrOfAttr(uint8_t attr) {
  const int fg = attr & 0x0F;
  const int bg = attr >> 4;
  return std::to_string((fg & 8 ? 90 : 30) + AnsiColour(fg)) + ";" +
         std::to_string((bg & 8 ? 100 : 40) + AnsiColour(bg));
}

void ScreenRenderer::Invalidate() {
  front_.clear();
  attr_ = -1;
  atRow_ = atCol_ = -1;
  shownVisible_ = shownShape_ = -1;
}

void ScreenRenderer::MoveTo(std::string& out, int row, int col) {
  if (row == atRow_ && col == atCol_) return;
  if (row == atRow_) {
    out += "\x1b[" + std::to_string(col) + "G";
  } else {
    out += "\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H";
  }
  atRow_ = row;
  atCol_ = col;
}

void ScreenRenderer::SetAttr(std::string& out, uint8_t attr) {
  if (attr == attr_) return;
  const std::string sgr = monochrome_ ? MonochromeSgrOfAttr(attr) : SgrOfAttr(attr);
  out += sgr.empty() ? "\x1b[0m" : "\x1b[0;" + sgr + "m";
  attr_ = attr;
}

void ScreenRenderer::SetNoticeText(std::string_view text) {
  if (text == noticeText_) return;
  noticeText_ = std::string(text);
  noticeRows_ = noticeCols_ = -1;  // a notice on the terminal now is sent again
}

void ScreenRenderer::PlaceCursor(std::string& out, const CursorView& cursor) {
  if (!cursor.visible) {
    if (shownVisible_ != 0) out += "\x1b[?25l";
    shownVisible_ = 0;
    return;
  }
  MoveTo(out, cursor.row, cursor.col);
  const int shape = cursor.insertShape ? 1 : 0;
  if (shape != shownShape_) {
    if (shapes_ == CursorShapes::Decscusr) out += cursor.insertShape ? "\x1b[3 q" : "\x1b[1 q";
    if (shapes_ == CursorShapes::LinuxConsole) {
      out += cursor.insertShape ? "\x1b[?4c" : "\x1b[?6c";
    }
  }
  shownShape_ = shape;
  if (shownVisible_ != 1) out += "\x1b[?25h";
  shownVisible_ = 1;
}

std::string ScreenRenderer::Notice(int termRows, int termCols, int rows, int cols) {
  std::string out = "\x1b[?25l\x1b[0m\x1b[2J\x1b[H";
  std::string text = Fill(noticeText_, std::to_string(cols) + "x" + std::to_string(rows),
                          std::to_string(termCols) + "x" + std::to_string(termRows));
  // Autowrap is off, so a long notice is cut into lines by hand.
  for (int line = 0; line < termRows && !text.empty(); ++line) {
    const size_t take = std::min<size_t>(text.size(), static_cast<size_t>(std::max(termCols, 1)));
    out += "\x1b[" + std::to_string(line + 1) + ";1H";
    for (char c : text.substr(0, take)) out += GlyphUtf8(static_cast<uint8_t>(c));
    text.erase(0, take);
  }
  return out;
}

std::string ScreenRenderer::Render(std::span<const Cell> cells, int rows, int cols,
                                   const CursorView& cursor, int termRows, int termCols) {
  std::string out;
  if (termRows < rows || termCols < cols) {
    if (notice_ && noticeRows_ == termRows && noticeCols_ == termCols) return out;
    Invalidate();
    notice_ = true;
    noticeRows_ = termRows;
    noticeCols_ = termCols;
    return Notice(termRows, termCols, rows, cols);
  }
  notice_ = false;

  if (front_.size() != cells.size() || frontCols_ != cols) {
    // The whole terminal is cleared, also what lies beyond the screen on a larger one.
    Invalidate();
    out += "\x1b[0m\x1b[2J";
    front_.assign(cells.size(), Cell{});
    frontCols_ = cols;
    for (Cell& c : front_) c.attr = 0xFF, c.ch = 0xFF;  // nothing matches: all is drawn
    atRow_ = atCol_ = -1;
  }

  bool hidCursor = false;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const size_t i = static_cast<size_t>(r) * cols + c;
      if (cells[i] == front_[i]) continue;
      if (!hidCursor && shownVisible_ == 1) {
        // The cursor would be seen running over the changes.
        out += "\x1b[?25l";
        shownVisible_ = 0;
      }
      hidCursor = true;
      MoveTo(out, r + 1, c + 1);
      SetAttr(out, cells[i].attr);
      out += GlyphUtf8(cells[i].ch);
      front_[i] = cells[i];
      // Autowrap is off: after the last column the terminal's cursor stays on it.
      if (c + 1 < termCols) ++atCol_;
    }
  }
  PlaceCursor(out, cursor);
  return out;
}

}  // namespace palvorin
