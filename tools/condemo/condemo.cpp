// Shows a framed window on the terminal and, inside it, every key and mouse press it
// receives as the console decodes them. Ins toggles the Insert state, Ctrl+C copies a
// sample text to the clipboard, Ctrl+Q ends.
#include <cstdio>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/terminal.h"

namespace palvorin {
namespace {

constexpr uint8_t kDesk = 0x17;    // white on blue
constexpr uint8_t kFrame = 0x1E;   // yellow on blue
constexpr uint8_t kWindow = 0x70;  // black on grey
constexpr uint8_t kBright = 0xC0;  // black on bright red

void PrintAt(int row, int col, uint8_t attr, std::string_view text) {
  ConSetCursor(row, col);
  ConSetAttr(attr);
  ConPrint(text);
}

// A double-line frame drawn with the code page's box bytes, its inside cleared.
void DrawFrame(int top, int left, int bottom, int right) {
  const int inner = right - left - 1;
  PrintAt(top, left, kFrame, "\xC9" + std::string(inner, '\xCD') + "\xBB");
  for (int r = top + 1; r < bottom; ++r) {
    PrintAt(r, left, kFrame, "\xBA");
    PrintAt(r, left + 1, kWindow, std::string(inner, ' '));
    PrintAt(r, right, kFrame, "\xBA");
  }
  PrintAt(bottom, left, kFrame, "\xC8" + std::string(inner, '\xCD') + "\xBC");
}

std::string Hex(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFF);
  return buf;
}

std::string Padded(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

void DrawStatus(const std::string& last, const std::vector<std::string>& history) {
  PrintAt(7, 12, kWindow, Padded("Last: " + last, 46));
  PrintAt(8, 12, kWindow, Padded(std::string("Insert: ") + (ConInsertMode() ? "ON" : "OFF"), 46));
  std::string line;
  for (const std::string& h : history) line += h + " ";
  if (line.size() > 46) line = line.substr(line.size() - 46);
  PrintAt(10, 12, kWindow, Padded(line, 46));
  ConSetCursor(13, 12);
}

int Run() {
  std::string error;
  auto terminal = TerminalConsole::Open(&error);
  if (!terminal) {
    std::fprintf(stderr, "condemo: %s\n", error.c_str());
    return 2;
  }
  ConUseBackend(std::move(terminal));
  // Written while the terminal is taken: kept aside, shown after the program ends.
  std::printf("condemo: output kept aside\n");
  std::fflush(stdout);

  ConScroll(1, 1, ScreenRows(), ScreenCols(), 0, kDesk);
  DrawFrame(5, 10, 15, 60);
  PrintAt(5, 27, kFrame, " CONSOLE DEMO ");
  PrintAt(12, 12, kWindow, "Glyphs: \x10 \x11 \x1E \x1F \x82 \xA4 \xB0\xB1\xB2\xDB");
  PrintAt(14, 12, kBright, " Bright ");
  PrintAt(25, 1, kDesk, "Ctrl+Q ends  Ins toggles  Ctrl+C copies");
  std::vector<std::string> history;
  DrawStatus("-", history);
  for (;;) {
    auto e = ConWaitEvent(-1);
    if (!e) continue;
    std::string shown;
    if (e->kind == InputEvent::Kind::Mouse) {
      shown = "M" + std::to_string(e->button) + "@" + std::to_string(e->row) + "," +
              std::to_string(e->col);
    } else {
      if (e->key == 0x11) break;
      if (e->key == 0x5200) ConSetInsertMode(!ConInsertMode());
      if (e->key == 0x03) ConSetClipboard("Hola \x82");
      shown = Hex(e->key);
      if (e->mods) shown += "/" + std::to_string(e->mods);
    }
    history.push_back(shown);
    if (history.size() > 12) history.erase(history.begin());
    DrawStatus(shown, history);
  }
  ConUseBackend(nullptr);
  std::printf("condemo: done\n");
  return 0;
}

}  // namespace
}  // namespace palvorin

int main() { return palvorin::Run(); }
