// Turns the console's cells into the bytes that show them on a UTF-8 terminal, sending only
// what changed since the last frame. The screen sits in the terminal's top-left corner; a
// terminal too small for it gets a one-line notice instead, and the whole screen is drawn
// again once it fits. Colours are the 16 PC colours for foreground and background (bright
// backgrounds included, never blinking), as SGR 30-37/90-97 and 40-47/100-107; a terminal
// without colours gets bold, plain and reverse video instead.
#ifndef PALVORIN_CONSOLE_RENDER_H_
#define PALVORIN_CONSOLE_RENDER_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "console/console.h"

namespace palvorin {

// The cursor as the console wants it shown.
struct CursorView {
  int row = 1;
  int col = 1;
  bool visible = true;
  bool insertShape = true;  // underline while inserting, block while overwriting
  bool operator==(const CursorView&) const = default;
};

// The SGR parameters of an attribute byte: "93;44" for yellow on blue (0x1E).
std::string SgrOfAttr(uint8_t attr);
// The same for a terminal without colours: "7" (reverse video) where the background is
// lighter than the foreground, as for a selection; "1" (bold) for a bright foreground on a
// darker background; else nothing.
std::string MonochromeSgrOfAttr(uint8_t attr);

// How the terminal is told the cursor's shape.
enum class CursorShapes {
  Decscusr,      // xterm and its kin: underline while inserting, block while overwriting
  LinuxConsole,  // the Linux console: lower half while inserting, full block otherwise
  None,          // the shape is left alone
};

class ScreenRenderer {
 public:
  explicit ScreenRenderer(CursorShapes shapes = CursorShapes::Decscusr, bool monochrome = false)
      : shapes_(shapes), monochrome_(monochrome) {}

  // The bytes that bring the terminal (`termRows` x `termCols`) from the last frame to these
  // cells (`rows` x `cols`, row by row) and cursor. Empty when nothing changed.
  std::string Render(std::span<const Cell> cells, int rows, int cols, const CursorView& cursor,
                     int termRows, int termCols);

  // Forgets what the terminal shows, so the next frame clears and draws everything (after a
  // resize, a resume, or anything else that may have disturbed the screen).
  void Invalidate();

  // True while the terminal is too small and shows the notice.
  bool ShowingNotice() const { return notice_; }
  // The notice's text (CP850), "%1" standing for the size needed and "%2" for the terminal's.
  void SetNoticeText(std::string_view text);

 private:
  void MoveTo(std::string& out, int row, int col);
  void SetAttr(std::string& out, uint8_t attr);
  void PlaceCursor(std::string& out, const CursorView& cursor);
  std::string Notice(int termRows, int termCols, int rows, int cols);

  CursorShapes shapes_;
  bool monochrome_;
  std::string noticeText_ = "Terminal too small: %1 needed, now %2";
  std::vector<Cell> front_;  // what the terminal shows; empty when unknown
  int frontCols_ = 0;
  int attr_ = -1;            // the terminal's current attribute; -1 unknown
  int atRow_ = -1;           // where the terminal's cursor is; -1 unknown
  int atCol_ = -1;
  int shownVisible_ = -1;    // the cursor's visibility and shape as sent; -1 unknown
  int shownShape_ = -1;
  bool notice_ = false;
  int noticeRows_ = 0;
  int noticeCols_ = 0;
};

}  // namespace palvorin

#endif  // PALVORIN_CONSOLE_RENDER_H_
