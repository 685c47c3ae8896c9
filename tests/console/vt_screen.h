// A very small terminal emulator for renderer tests: understands exactly the sequences a
// well-behaved renderer may send (cursor moves, SGR colours, clear, cursor visibility and
// shape) and fails the test on anything else, so stray bytes are caught.
#ifndef PALVORIN_TESTS_CONSOLE_VT_SCREEN_H_
#define PALVORIN_TESTS_CONSOLE_VT_SCREEN_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace palvorin {

struct VtCell {
  char32_t cp = U' ';
  int fg = 39;  // SGR colour numbers as last set; 39/49 the terminal's defaults
  int bg = 49;
};

class VtScreen {
 public:
  VtScreen(int rows, int cols) : rows_(rows), cols_(cols), cells_(rows * cols) {}

  void Apply(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
      const unsigned char b = bytes[i];
      if (b == 0x1B) {
        i = Escape(bytes, i);
      } else if (b < 0x20) {
        ADD_FAILURE() << "control byte " << int(b) << " sent to the terminal";
        ++i;
      } else {
        char32_t cp;
        int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        cp = len == 1 ? b : b & (0xFF >> (len + 1));
        for (int k = 1; k < len; ++k) cp = (cp << 6) | (bytes[i + k] & 0x3F);
        i += len;
        Put(cp);
      }
    }
  }

  const VtCell& At(int row, int col) const { return cells_[(row - 1) * cols_ + (col - 1)]; }
  int row = 1, col = 1;
  bool cursorVisible = true;
  int cursorShape = 0;

 private:
  void Put(char32_t cp) {
    if (row < 1 || row > rows_ || col < 1 || col > cols_) {
      ADD_FAILURE() << "glyph written outside the terminal at " << row << "," << col;
      return;
    }
    cells_[(row - 1) * cols_ + (col - 1)] = VtCell{cp, fg_, bg_};
    if (col < cols_) ++col;  // no autowrap
  }

  size_t Escape(std::string_view s, size_t i) {
    if (i + 1 >= s.size() || s[i + 1] != '[') {
      ADD_FAILURE() << "unexpected escape";
      return i + 1;
    }
    size_t j = i + 2;
    bool priv = j < s.size() && s[j] == '?';
    if (priv) ++j;
    std::vector<int> params;
    int v = -1;
    std::string inter;
    for (; j < s.size(); ++j) {
      char c = s[j];
      if (c >= '0' && c <= '9') {
        v = (v < 0 ? 0 : v) * 10 + (c - '0');
      } else if (c == ';') {
        params.push_back(v);
        v = -1;
      } else if (c == ' ') {
        inter += c;
      } else {
        break;
      }
    }
    if (v >= 0 || !params.empty()) params.push_back(v);
    const char fin = j < s.size() ? s[j] : 0;
    auto p = [&](size_t k, int d) { return k < params.size() && params[k] >= 0 ? params[k] : d; };
    if (priv && p(0, 0) == 25 && (fin == 'h' || fin == 'l')) {
      cursorVisible = fin == 'h';
    } else if (priv) {
      ADD_FAILURE() << "unexpected private mode";
    } else if (inter == " " && fin == 'q') {
      cursorShape = p(0, 0);
    } else if (fin == 'H') {
      row = p(0, 1);
      col = p(1, 1);
    } else if (fin == 'G') {
      col = p(0, 1);
    } else if (fin == 'J' && p(0, 0) == 2) {
      for (VtCell& c : cells_) c = VtCell{U' ', fg_, bg_};
    } else if (fin == 'm') {
      if (params.empty()) params.push_back(0);
      for (size_t k = 0; k < params.size(); ++k) {
        int n = p(k, 0);
        if (n == 0) fg_ = 39, bg_ = 49;
        else if ((n >= 30 && n <= 37) || (n >= 90 && n <= 97)) fg_ = n;
        else if ((n >= 40 && n <= 47) || (n >= 100 && n <= 107)) bg_ = n;
        else ADD_FAILURE() << "unexpected SGR " << n;
      }
    } else {
      ADD_FAILURE() << "unexpected sequence ending in " << fin;
    }
    return j + 1;
  }

  int rows_, cols_;
  std::vector<VtCell> cells_;
  int fg_ = 39, bg_ = 49;
};

}  // namespace palvorin

#endif  // PALVORIN_TESTS_CONSOLE_VT_SCREEN_H_
