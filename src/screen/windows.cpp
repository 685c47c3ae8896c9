// Colours, windows over saved screen rectangles, frames, scrolling, paragraphs and message
// boxes.
#include "screen/windows.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "console/console.h"
#include "os/files.h"
#include "session/language.h"
#include "session/session.h"

namespace palvorin {

WindowState& Windows() {
  static WindowState state;
  return state;
}

namespace {

constexpr int kMessageWidth = 76;   // characters per message line
constexpr int kMessageCentre = 41;  // the message frame centres on this column

uint8_t AttrOf(int index) {
  // Without colours: bright and normal text, and reverse video for the reverse entries and the
  // input one (the field edited, the selected row, the highlighted day).
  static constexpr std::array<uint8_t, 5> kMonochrome = {0x0F, 0x07, 0x70, 0x70, 0x70};
  if (ConMonochrome()) return kMonochrome[static_cast<size_t>(index)];
  const ColourPair& pair = SessionState().colours[static_cast<size_t>(index)];
  return static_cast<uint8_t>(((pair.background & 15) << 4) | (pair.foreground & 15));
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Frame characters by style: top-left, top-right, bottom-left, bottom-right, horizontal,
// vertical (code page 850 box drawing).
struct FrameChars {
  char tl, tr, bl, br, h, v;
};
constexpr std::array<FrameChars, 3> kFrames = {{
    {' ', ' ', ' ', ' ', ' ', ' '},
    {'\xDA', '\xBF', '\xC0', '\xD9', '\xC4', '\xB3'},
    {'\xC9', '\xBB', '\xC8', '\xBC', '\xCD', '\xBA'},
}};

// ---- The window stack file ------------------------------------------------------------------

constexpr int kFirstRecord = 5;   // position (from 1) of the first record
constexpr int kFieldsSize = 20;   // ten 2-digit fields
constexpr int kLengthSize = 5;    // the record's trailing length

// One saved window as the stack file keeps it.
struct WinRecord {
  int cursorRow = 0;
  int cursorCol = 0;
  std::array<int, 4> previous{};  // the window current before the push
  std::array<int, 4> rect{};      // the saved rectangle
  std::vector<Cell> cells;
};

std::string StackPath() { return SessionState().tempDir + "WinPush.tmp"; }

// `value` as `width` decimal digits: zero-padded, unsigned, only the last digits kept.
void AppendDigits(std::string& out, int value, int width) {
  unsigned v = static_cast<unsigned>(value < 0 ? -value : value);
  std::string digits(static_cast<size_t>(width), '0');
  for (int i = width - 1; i >= 0 && v > 0; --i, v /= 10) {
    digits[static_cast<size_t>(i)] = static_cast<char>('0' + v % 10);
  }
  out += digits;
}

// The number written as digits; -1 when a byte is not a digit.
int ReadDigits(std::string_view digits) {
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The next free position held at offset 0; 0 when the file is too short to hold one.
int32_t ReadEndPosition(BinaryFile& file) {
  int64_t size = 0;
  if (!file.Size(size).ok() || size <= 3) return 0;
  uint8_t b[4] = {};
  size_t got = 0;
  if (!file.Read(0, b, 4, got).ok() || got != 4) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                              static_cast<uint32_t>(b[2]) << 16 |
                              static_cast<uint32_t>(b[3]) << 24);
}

bool WriteEndPosition(BinaryFile& file, int32_t position) {
  const uint32_t v = static_cast<uint32_t>(position);
  const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  return file.Write(0, std::string_view(b, 4)).ok();
}

// The record's bytes: ten 2-digit fields, the cells, the 5-digit length.
std::string EncodeRecord(const WinRecord& record) {
  std::string bytes;
  bytes.reserve(kFieldsSize + 2 * record.cells.size() + kLengthSize);
  AppendDigits(bytes, record.cursorRow, 2);
  AppendDigits(bytes, record.cursorCol, 2);
  for (int v : record.previous) AppendDigits(bytes, v, 2);
  for (int v : record.rect) AppendDigits(bytes, v, 2);
  for (const Cell& cell : record.cells) {
    bytes.push_back(static_cast<char>(cell.ch));
    bytes.push_back(static_cast<char>(cell.attr));
  }
  AppendDigits(bytes, static_cast<int>(bytes.size()) + kLengthSize, kLengthSize);
  return bytes;
}

// Reads a record's fields and cells (`bytes` without its trailing length); false when they
// do not make a record: a field that is not digits, or cells that do not fill the rectangle.
bool DecodeRecord(std::string_view bytes, WinRecord& record) {
  if (bytes.size() < static_cast<size_t>(kFieldsSize)) return false;
  int v[10];
  for (int i = 0; i < 10; ++i) v[i] = ReadDigits(bytes.substr(static_cast<size_t>(i * 2), 2));
  if (*std::min_element(v, v + 10) < 0) return false;
  // A rectangle given upside down saved no cells.
  const int cells = std::max(0, v[8] - v[6] + 1) * std::max(0, v[9] - v[7] + 1);
  const std::string_view raw = bytes.substr(kFieldsSize);
  // A record whose rectangle does not match its length is not ours to paint back.
  if (2 * static_cast<size_t>(cells) != raw.size()) return false;
  record.cursorRow = v[0];
  record.cursorCol = v[1];
  record.previous = {v[2], v[3], v[4], v[5]};
  record.rect = {v[6], v[7], v[8], v[9]};
  record.cells.resize(static_cast<size_t>(cells));
  for (size_t i = 0; i < record.cells.size(); ++i) {
    record.cells[i] = {static_cast<uint8_t>(raw[2 * i]), static_cast<uint8_t>(raw[2 * i + 1])};
  }
  return true;
}

// Appends the record's bytes at the file's next free position; false when the file cannot
// be written.
bool PushWinRecord(const std::string& bytes) {
  BinaryFile file;
  if (!file.Open(StackPath(), FileMode::ReadWriteCreate).ok()) return false;
  int32_t position = ReadEndPosition(file);
  if (position < kFirstRecord) position = kFirstRecord;
  if (!file.Write(position - 1, bytes).ok()) return false;
  return WriteEndPosition(file, position + static_cast<int32_t>(bytes.size()));
}

// Takes the newest record off the stack file into `record`; false when there is none. The
// file is deleted once it holds no record.
bool PopWinRecord(WinRecord& record) {
  BinaryFile file;
  if (!file.Open(StackPath(), FileMode::ReadWriteCreate).ok()) return false;
  int32_t end = ReadEndPosition(file);
  bool found = false;
  if (end >= kFirstRecord + kFieldsSize + kLengthSize) {
    std::string tail(kLengthSize, '\0');
    size_t got = 0;
    const int length = file.Read(end - 1 - kLengthSize, tail.data(), tail.size(), got).ok() &&
                               got == tail.size()
                           ? ReadDigits(tail)
                           : -1;
    const int32_t start = end - length;
    if (length >= kFieldsSize + kLengthSize && start >= kFirstRecord) {
      std::string bytes(static_cast<size_t>(length - kLengthSize), '\0');
      if (file.Read(start - 1, bytes.data(), bytes.size(), got).ok() && got == bytes.size() &&
          DecodeRecord(bytes, record)) {
        found = true;
        end = start;
        WriteEndPosition(file, end);
      }
    }
  }
  if (!found && end < kFirstRecord) end = kFirstRecord;
  file.Close();
  if (end < kFirstRecord + 1) DeleteFile(StackPath());
  return found;
}

// Takes the newest record off the stack, wherever it was kept.
bool PopRecord(WinRecord& record) {
  WindowState& w = Windows();
  if (!w.kept.empty() && w.kept.back().depth == w.depth) {
    const std::string bytes = std::move(w.kept.back().bytes);
    w.kept.pop_back();
    return DecodeRecord(std::string_view(bytes).substr(0, bytes.size() - kLengthSize), record);
  }
  return PopWinRecord(record);
}

}  // namespace

void ResetWindowsForTest() { Windows() = WindowState{}; }

void SetColour(std::string_view flags) {
  if (flags.find_first_not_of(' ') == std::string_view::npos) return;
  WindowState& w = Windows();
  bool save = false, restore = false, reverse = false, normal = false, input = false;
  for (char c : flags) {
    switch (Upper(c)) {
      case '+': save = true; break;
      case '-': restore = true; break;
      case 'R': reverse = true; break;
      case 'N': normal = true; break;
      case 'U': input = true; break;
      default: break;
    }
  }
  int index = w.colour;
  if (save) w.colourStack.push_back(static_cast<char>(w.colour));
  if (restore) {
    index = 0;
    if (!w.colourStack.empty()) {
      index = static_cast<uint8_t>(w.colourStack.back());
      w.colourStack.pop_back();
    }
  } else if (input) {
    index = 4;
  } else {
    index = (reverse ? 2 : 0) + (normal ? 1 : 0);
  }
  ConSetAttr(AttrOf(index));
  w.colour = index;
}

void LocateInWindow(int row, int col) {
  const WindowState& w = Windows();
  if (w.depth == 0) {
    ConSetCursor(row, col);
  } else {
    ConSetCursor(w.top + row, w.left + col);
  }
}

int WinFirstRow() { return Windows().depth == 0 ? 1 : Windows().top + 1; }
int WinFirstCol() { return Windows().depth == 0 ? 1 : Windows().left + 1; }
int WinLastCol() { return Windows().depth == 0 ? ScreenCols() : Windows().right - 1; }

void WinPush(int top, int left, int bottom, int right) {
  const int rows = ScreenRows(), cols = ScreenCols();
  if (top < 1 || top > rows || left < 1 || left > cols || bottom < 1 || bottom > rows ||
      right < 1 || right > cols) {
    return;
  }
  WindowState& w = Windows();
  WinRecord record;
  record.cursorRow = ConCursorRow();
  record.cursorCol = ConCursorCol();
  record.previous = {w.top, w.left, w.bottom, w.right};
  record.rect = {top, left, bottom, right};
  record.cells = ConReadRect(top, left, bottom, right);
  std::string bytes = EncodeRecord(record);
  // Without a usable stack file the window is still saved, in memory, rather than left on
  // the screen for good.
  if (!PushWinRecord(bytes)) w.kept.push_back({w.depth + 1, std::move(bytes)});
  w.top = top;
  w.left = left;
  w.bottom = bottom;
  w.right = right;
  ++w.depth;
}

void WinPop() {
  // With none of our windows open the file holds nothing of ours (it may hold the windows of
  // the program that started us), so there is nothing to pop.
  if (Windows().depth == 0) return;
  WinRecord record;
  if (!PopRecord(record)) return;
  WindowState& w = Windows();
  --w.depth;
  w.top = record.previous[0];
  w.left = record.previous[1];
  w.bottom = record.previous[2];
  w.right = record.previous[3];
  const auto& r = record.rect;
  ConWriteRect(r[0], r[1], r[2], r[3], record.cells);
  if (!record.cells.empty()) ConSetAttr(record.cells.back().attr);
  ConSetCursor(record.cursorRow, record.cursorCol);
}

void DrawWindowFrame(int style) {
  const WindowState& w = Windows();
  if (w.depth == 0 || w.bottom < w.top || w.right < w.left) return;
  const FrameChars& f = kFrames[(style >= 0 && style <= 2) ? style : 0];
  const uint8_t attr = ConAttr();
  // Cell by cell, so that even a window one column wide stays within its columns.
  auto line = [&](int row, char first, char fill, char last) {
    for (int col = w.left + 1; col < w.right; ++col) {
      ConWriteCell(row, col, Cell{static_cast<uint8_t>(fill), attr});
    }
    ConWriteCell(row, w.left, Cell{static_cast<uint8_t>(first), attr});
    ConWriteCell(row, w.right, Cell{static_cast<uint8_t>(last), attr});
  };
  line(w.top, f.tl, f.h, f.tr);
  for (int row = w.top + 1; row <= w.bottom - 1; ++row) line(row, f.v, ' ', f.v);
  line(w.bottom, f.bl, f.h, f.br);
}

void ScrollRegion(int top, int left, int bottom, int right, int lines) {
  if (lines == 0) lines = -1;
  ConScroll(top + 1, left + 1, bottom + 1, right + 1, lines, ConAttr());
}

std::vector<std::string> FormatParagraphLines(std::string_view text, int indent, int width,
                                              std::string_view align) {
  std::vector<std::string> lines;
  const int length = static_cast<int>(text.size());
  // The byte at 1-based position k, or -1 past the end of the text.
  auto at = [&](int k) -> int {
    return (k >= 1 && k <= length) ? static_cast<uint8_t>(text[static_cast<size_t>(k - 1)]) : -1;
  };
  auto above = [&](int k) { return at(k) > ' '; };
  auto control = [&](int k) { return at(k) >= 0 && at(k) < ' '; };
  const char mode = align.empty() ? ' ' : Upper(align[0]);
  const int margin = indent < 0 ? -indent : indent;
  int m = indent > 0 ? indent : 0;
  int i = 1;
  while (i <= length) {
    int a = width - m;
    int k = 0;
    // Control bytes take no room on the line, so each one taken widens it by one.
    while (k < a && i + k <= length) {
      if (control(i + k)) ++a;
      ++k;
    }
    if (k > 0 && above(i + k - 1)) {
      while (control(i + k)) {
        ++a;
        ++k;
      }
    }
    int c = a;
    if (above(i + c)) {  // the cut falls inside a word: back to its start
      while (above(i + c) && c > 0) {
        --c;
        if (control(i + c)) --a;
      }
    }
    if (at(i + c) < ' ') {  // a control byte or the end of the text follows
      while (c > 0 && at(i + c - 1) == ' ') --c;
    }
    if (c < 1) c = a;  // a word longer than the line is cut
    if (c < 1) c = 1;  // a line with no room still moves on
    std::string line(static_cast<size_t>(m), ' ');
    line.append(text.substr(static_cast<size_t>(i - 1), static_cast<size_t>(c)));
    a += m;
    const int size = static_cast<int>(line.size());
    const size_t missing = size < a ? static_cast<size_t>(a - size) : 0;
    switch (mode) {
      case 'E': case 'L': case 'I': line.append(missing, ' '); break;
      case 'N': line.append(missing, '-'); break;
      case 'D': case 'R': line.insert(0, missing, ' '); break;
      case 'C':
        line.insert(0, missing / 2, ' ');
        line.append((missing + 1) / 2, ' ');
        break;
      case 'A': case 'B':
        // Spaces are added one per gap from the left, cycling, except on the last line.
        if (line.find(' ', static_cast<size_t>(margin)) != std::string::npos &&
            i + c <= length) {
          int p = margin + 1, g = 2;
          while (static_cast<int>(line.size()) < a) {
            size_t q = line.find(' ', static_cast<size_t>(p + g - 1));
            if (q == std::string::npos) q = line.find(' ', static_cast<size_t>(margin));
            p = static_cast<int>(q) + 1;
            line.insert(q, 1, ' ');
            g = 2;
            while (p + g <= static_cast<int>(line.size()) &&
                   line[static_cast<size_t>(p + g - 1)] == ' ') {
              ++g;
            }
          }
        }
        break;
      default: break;
    }
    lines.push_back(std::move(line));
    i += c;
    while (at(i) == ' ') ++i;
    m = indent < 0 ? -indent : 0;
  }
  return lines;
}

std::string FormatParagraph(std::string_view text, int indent, int width,
                            std::string_view align) {
  std::string result;
  for (const std::string& line : FormatParagraphLines(text, indent, width, align)) result += line;
  return result;
}

void TranslateConsoleTexts() {
  ConSetSmallTerminalNotice(Translate("Terminal massa petit: cal %1, ara %2"));
}

void ShowMessageBox(int row, std::string_view text) {
  SetColour("+rh");
  // Each line of the text ("\n" ends one) is wrapped on its own.
  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    for (std::string& line :
         FormatParagraphLines(text.substr(start, end - start), 0, kMessageWidth, "i")) {
      lines.push_back(std::move(line));
    }
    start = end + 1;
  }
  // An empty message still opens its (empty) box, so the caller's WinPop stays paired.
  if (lines.empty()) lines.emplace_back();
  const int rows = ScreenRows();
  // A message taller than the screen shows what fits rather than nothing: the caller closes
  // the box with WinPop either way, and an unopened box would make that pop the window under
  // it.
  if (static_cast<int>(lines.size()) > rows - 2) lines.resize(static_cast<size_t>(rows - 2));
  const int n = static_cast<int>(lines.size());
  int top = std::max(1, row - (n + 1) / 2 - 2);
  int bottom = top + n + 1;
  if (bottom > rows) {
    bottom = rows;
    top = bottom - n - 1;
  }
  for (std::string& line : lines) {
    const size_t end = line.find_last_not_of(' ');
    line.resize(end == std::string::npos ? 0 : end + 1);
  }
  int left = 0, right = 0;
  for (const std::string& line : lines) {
    const int length = static_cast<int>(line.size());
    if (right - left < length + 4) {
      left = kMessageCentre - (length + 1) / 2 - 2;
      right = kMessageCentre + 1 + length / 2;
    }
  }
  WinPush(top, left, bottom, right);
  DrawWindowFrame(1);
  for (int j = 1; j <= n; ++j) {
    LocateInWindow(j, 2);
    ConPrint(lines[static_cast<size_t>(j - 1)]);
  }
  SetColour("-");
}

}  // namespace palvorin
