// The terminal backend end to end: the console demo program runs inside a detached tmux
// server, keys are sent with send-keys and the screen is read back with capture-pane.
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/tmux.h"

namespace palvorin {
namespace {

using testing::TmuxInstalled;
using testing::TmuxSession;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Colours in effect at each glyph of a capture-pane -e line, as SGR numbers.
struct Sgr {
  int fg = 39;
  int bg = 49;
};

void ApplySgr(const std::string& params, Sgr& sgr) {
  std::vector<int> nums;
  int v = 0;
  bool any = false;
  for (char c : params + ";") {
    if (c == ';') {
      nums.push_back(any ? v : 0);
      v = 0;
      any = false;
    } else {
      v = v * 10 + (c - '0');
      any = true;
    }
  }
  for (int n : nums) {
    if (n == 0) sgr = Sgr{};
    else if ((n >= 30 && n <= 37) || (n >= 90 && n <= 97) || n == 39) sgr.fg = n;
    else if ((n >= 40 && n <= 47) || (n >= 100 && n <= 107) || n == 49) sgr.bg = n;
  }
}

class TmuxDemo : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TmuxInstalled()) GTEST_SKIP() << "tmux is not installed";
    demo_ = std::string(PALVORIN_BINARY_DIR) + "/tools/condemo/condemo";
    if (access(demo_.c_str(), X_OK) != 0) GTEST_SKIP() << "build the condemo target first";
    // After the demo ends the shell keeps the pane open, so the terminal's state can be read.
    tmux_.Start(80, 25, demo_ + "; echo exit=\\$?; sleep 600", " \\; set -s set-clipboard on");
    ASSERT_TRUE(WaitForText("CONSOLE DEMO")) << Screen();
  }

  std::string Screen() { return tmux_.Screen(); }
  std::string Format(const std::string& f) { return tmux_.Display(f); }
  void Send(const std::string& keys) { tmux_.Send(keys); }
  static bool WaitFor(const std::function<bool()>& ok) { return TmuxSession::WaitFor(ok); }
  bool WaitForText(const std::string& text) { return tmux_.WaitForText(text); }
  // Sends one key and waits until the demo shows it as its last event.
  void Expect(const std::string& key, const std::string& shown) {
    Send(key);
    EXPECT_TRUE(WaitForText("Last: " + shown + " ")) << key << "\n" << Screen();
  }

  // The colours of the glyph `glyph` (UTF-8) on screen row `row` (1-based).
  Sgr ColoursAt(int row, const std::string& glyph) {
    Sgr sgr;
    std::vector<std::string> lines = Lines(tmux_.ColouredScreen());
    for (int r = 0; r < row && r < static_cast<int>(lines.size()); ++r) {
      const std::string& line = lines[r];
      for (size_t i = 0; i < line.size();) {
        if (line.compare(i, 2, "\x1b[") == 0) {
          const size_t end = line.find('m', i);
          if (end == std::string::npos) break;
          ApplySgr(line.substr(i + 2, end - i - 2), sgr);
          i = end + 1;
        } else {
          if (r == row - 1 && line.compare(i, glyph.size(), glyph) == 0) return sgr;
          ++i;
        }
      }
    }
    ADD_FAILURE() << glyph << " not found on row " << row;
    return sgr;
  }

  std::string demo_;
  TmuxSession tmux_{"palvorin-console", "demo"};
};

TEST_F(TmuxDemo, DrawsTheFramedWindowInItsColours) {
  std::vector<std::string> rows = Lines(Screen());
  ASSERT_GE(rows.size(), 15u);
  EXPECT_EQ(rows[4].find("\u2554\u2550\u2550"), 9u) << rows[4];  // ╔══ at column 10
  EXPECT_NE(rows[4].find("\u2557"), std::string::npos);
  EXPECT_EQ(rows[14].find("\u255A"), 9u) << rows[14];
  EXPECT_NE(rows[11].find("Glyphs: \u25BA \u25C4 \u25B2 \u25BC \u00E9 \u00F1"), std::string::npos);
  const Sgr frame = ColoursAt(5, "\u2554");
  EXPECT_EQ(frame.fg, 93);
  EXPECT_EQ(frame.bg, 44);
  const Sgr bright = ColoursAt(14, "Bright");
  EXPECT_EQ(bright.fg, 30);
  EXPECT_EQ(bright.bg, 101);
  EXPECT_EQ(Format("#{cursor_y},#{cursor_x}"), "12,11");
}

TEST_F(TmuxDemo, KeysArriveAsPcKeyCodes) {
  Expect("F5", "3F00");
  Expect("C-F1", "3B00/2");
  Expect("S-F12", "8600/1");
  Expect("M-F4", "3E00/4");
  Expect("M-x", "2D00/4");
  Expect("M-c", "2E00/4");
  Expect("Escape", "001B");
  Expect("BSpace", "0008");
  Expect("Enter", "000D");
  Expect("C-h", "0008");
  Expect("BTab", "0F00/1");
  Expect("Home", "4700");
  Expect("C-Home", "4700/2");
  Expect("PPage", "4900");
  Expect("DC", "5300");
  Expect("-l \u00e9", "0082");
  Expect("-H 1b 5b 3c 30 3b 31 35 3b 37 4d", "M1@7,15");
  // A paste with a line end in it arrives as one Ctrl+V, never as typed keys and Enter.
  tmux_.Run("set-buffer -b clip 'ab\ncd' \\; paste-buffer -p -b clip -t demo");
  EXPECT_TRUE(WaitForText("Last: 0016/2 ")) << Screen();
}

TEST_F(TmuxDemo, InsertClipboardAndAGoodExit) {
  Expect("IC", "5200");
  EXPECT_TRUE(WaitForText("Insert: OFF"));
  Expect("C-c", "0003/2");
  EXPECT_TRUE(WaitFor([&] { return tmux_.Run("show-buffer") == "Hola \u00e9"; }))
      << tmux_.Run("show-buffer");
  Send("C-q");
  ASSERT_TRUE(WaitForText("exit=0")) << Screen();
  const std::string after = Screen();
  EXPECT_NE(after.find("condemo: output kept aside"), std::string::npos) << after;
  EXPECT_NE(after.find("condemo: done"), std::string::npos);
  EXPECT_EQ(after.find("CONSOLE DEMO"), std::string::npos);
  EXPECT_EQ(Format("#{alternate_on} #{cursor_flag} #{mouse_sgr_flag} #{mouse_standard_flag} "
                   "#{wrap_flag}"),
            "0 1 0 0 1");
}

TEST_F(TmuxDemo, ATooSmallWindowShowsANoticeAndTheScreenComesBack) {
  tmux_.Run("resize-window -t demo -x 60 -y 20");
  EXPECT_TRUE(WaitForText("Terminal too small")) << Screen();
  tmux_.Run("resize-window -t demo -x 100 -y 30");
  ASSERT_TRUE(WaitForText("CONSOLE DEMO")) << Screen();
  EXPECT_EQ(Screen().find("Terminal too small"), std::string::npos);
  Expect("F2", "3C00");
}

}  // namespace
}  // namespace palvorin
