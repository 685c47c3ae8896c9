// The help pager over the fixed-length lines of a topic's ".HLP" file, and the hand-over of
// the topic's page to the suite under the graphical system.
#include "screen/help.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "console/console.h"
#include "os/clock.h"
#include "os/env.h"
#include "os/files.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"
#include "session/session.h"

namespace palvorin {
namespace {

constexpr char kHighlight = 30;
constexpr char kUnderline = 31;
constexpr char kReverse = 16;
constexpr size_t kShownWidth = 76;  // characters of a line that are shown

// One open help page: the file's text cut into lines of one screen width.
class Pager {
 public:
  explicit Pager(std::string text)
      : text_(std::move(text)),
        width_(static_cast<size_t>(ScreenCols())),
        count_(static_cast<int>(std::nearbyint(static_cast<double>(text_.size()) /
                                               static_cast<double>(width_)))),
        page_(ScreenRows() - 8) {}

  // Runs the pager until Esc.
  void Run(std::string_view topic);

 private:
  std::string_view Line(int j) const {
    const size_t from = static_cast<size_t>(j - 1) * width_;
    if (j < 1 || j > count_ || from >= text_.size()) return {};
    return std::string_view(text_).substr(from, width_);
  }
  void ShowLine(int j, int row) const;
  void ShowPage(int first);
  void Scroll(int lines) const {
    SetColour("n");
    const WindowState& w = Windows();
    ScrollRegion(w.top, w.left, w.bottom - 2, w.right - 2, lines);
  }

  std::string text_;
  size_t width_;
  int count_;  // lines in the file
  int page_;   // lines per page
  int next_ = 1;  // the line after the last one shown
};

// Shows line j in window row `row`, switching colours at the toggle bytes, which take no room.
void Pager::ShowLine(int j, int row) const {
  std::string_view line = Line(j);
  LocateInWindow(row, 2);
  SetColour("n");
  if (line.find_first_of(std::string_view("\x1E\x1F\x10", 3)) == std::string_view::npos) {
    ConPrint(line.substr(0, kShownWidth));
    return;
  }
  bool highlight = false, underline = false, reverse = false;
  size_t shown = 0;
  for (char c : line) {
    if (c == kHighlight) {
      highlight = !highlight;
      if (!underline) SetColour(highlight ? "h" : "n");
    } else if (c == kUnderline) {
      underline = !underline;
      SetColour(underline ? "u" : "n");
    } else if (c == kReverse) {
      reverse = !reverse;
      SetColour(reverse ? "r" : "n");
    } else if (++shown <= kShownWidth) {
      ConPrint(std::string_view(&c, 1));
    }
  }
}

// Clears the page and shows it from line `first`.
void Pager::ShowPage(int first) {
  Scroll(page_);
  for (int row = 1; row <= page_; ++row) ShowLine(first + row - 1, row);
  next_ = first + page_;
}

void Pager::Run(std::string_view topic) {
  SetColour("+h");
  WinPush(4, 1, ScreenRows() - 3, ScreenCols());
  DrawWindowFrame(2);
  SetColour("n");
  for (int row = 1; row <= page_; ++row) ShowLine(row, row);
  next_ = page_ + 1;
  for (;;) {
    // Keys come straight from the console: no hot keys, keypad entry or mouse in here.
    std::optional<InputEvent> event = ConWaitEvent(-1);
    int key = keys::kEsc;  // input gone for good: close
    if (event) {
      if (event->kind != InputEvent::Kind::Key) continue;
      key = event->key == keys::kAltE ? 0xD5 : event->key;
    }
    const int first = next_ - page_;
    switch (key) {
      case keys::kF1: {
        std::string upper(topic);
        for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        if (upper != kMenuHelpTopic) ShowHelp(kMenuHelpTopic);
        break;
      }
      case keys::kDown:
        if (count_ >= next_) {
          Scroll(1);
          ShowLine(next_, page_);
          ++next_;
        }
        break;
      case keys::kUp:
        if (first > 1) {
          --next_;
          Scroll(-1);
          ShowLine(next_ - page_, 1);
        }
        break;
      case keys::kPgDn:
        if (count_ >= next_) ShowPage(std::min(next_, count_ - page_ + 1));
        break;
      case keys::kPgUp:
        if (first > 1) ShowPage(std::max(1, first - page_));
        break;
      case keys::kHome:
        if (first > 1) ShowPage(1);
        break;
      case keys::kEnd:
        if (count_ >= next_) ShowPage(count_ - page_ + 1);
        break;
      case keys::kEsc:
        WinPop();
        SetColour("-");
        return;
      default: break;
    }
  }
}

// The topic's help file: the one in the folder of the operator's language when there is one
// (AJUDA\SPA\ for Spanish), else the Catalan one.
std::string HelpText(std::string_view topic) {
  const std::string name = std::string(topic) + ".HLP";
  std::string text;
  if (OperatorLanguage() != Language::Catalan) {
    const std::string own = "AJUDA\\" + SessionState().languageCode.substr(0, 3) + "\\" + name;
    if (ReadWholeFile(own, text).ok()) return text;
  }
  if (!ReadWholeFile("AJUDA\\" + name, text).ok()) text.clear();
  return text;
}

}  // namespace

void ShowHelp(std::string_view topic) {
  const Session& session = SessionState();
  if (session.platformMode == "WIN") {
    RunAndWait(GetEnv("COMSPEC"),
               {"/C", "PELSIT", session.rootDir + "AJUDA\\" + std::string(topic) + ".HTM"});
    return;
  }
  std::string text = HelpText(topic);
  const bool cursorVisible = ConCursorVisible();
  ConShowCursor(false);
  Pager(std::move(text)).Run(topic);
  ConShowCursor(cursorVisible);
}

}  // namespace palvorin
