#include "printdoc.h"

#include <algorithm>
#include <utility>

#include "os/codepage.h"
#include "os/files.h"

namespace palvorin::zodirudi {
namespace {

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// A number as the print statement writes it (" 27 ", "-5 "), blanks around it optional.
bool ParseNumber(std::string_view s, int& value) {
  s = Trim(s);
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 9) return false;
  long n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  value = static_cast<int>(negative ? -n : n);
  return true;
}

// Control characters would move a terminal's cursor or a printer's head: they print as blanks.
std::string Printable(std::string_view text) {
  std::string clean(text);
  for (char& c : clean) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127 || b == 255) c = ' ';
  }
  return clean;
}

// Lays the records out page by page.
class Layout {
 public:
  explicit Layout(PrintedDocument& doc) : doc_(doc) {}

  void NewPage(int length) {
    FinishPage();
    page_ = PrintedPage{};
    page_.length = length;
    pageOpen_ = true;
    line_ = 0;
    column_ = 0;
  }

  void Attribute(std::string_view code) {
    if (code == "b" || code == "B") bold_ = !bold_;
    if (!code.empty() && code[0] == '@') bold_ = false;
  }

  void Text(int column, std::string_view text, int advance) {
    if (!pageOpen_) NewPage(kDefaultPageLength);
    if (line_ >= page_.length) NewPage(page_.length);
    // The head of a line printer only moves forward: a column left of where the last text
    // of the line ended prints right after that text instead of over it.
    const int at = std::max(column - 1, column_);
    Put(at, Printable(text));
    if (advance != 0) {
      line_ += advance;
      column_ = 0;
    } else {
      column_ = at + static_cast<int>(text.size());
    }
  }

  void FinishPage() {
    if (!pageOpen_) return;
    pageOpen_ = false;
    for (PrintedLine& l : page_.lines) {
      size_t end = l.text.find_last_not_of(' ');
      end = end == std::string::npos ? 0 : end + 1;
      l.text.resize(end);
      l.bold.resize(end);
    }
    while (!page_.lines.empty() && page_.lines.back().text.empty()) page_.lines.pop_back();
    if (!page_.lines.empty()) doc_.pages.push_back(std::move(page_));
  }

 private:
  void Put(int at, const std::string& text) {
    if (text.empty() || at >= kMaxLineWidth) return;
    const size_t from = static_cast<size_t>(at);
    const size_t count = std::min(text.size(), static_cast<size_t>(kMaxLineWidth) - from);
    if (page_.lines.size() <= static_cast<size_t>(line_)) page_.lines.resize(line_ + 1);
    PrintedLine& l = page_.lines[line_];
    if (l.text.size() < from + count) {
      l.text.resize(from + count, ' ');
      l.bold.resize(from + count, '0');
    }
    l.text.replace(from, count, text, 0, count);
    l.bold.replace(from, count, count, bold_ ? '1' : '0');
  }

  PrintedDocument& doc_;
  PrintedPage page_;
  bool pageOpen_ = false;
  bool bold_ = false;
  int line_ = 0;    // lines advanced on the page
  int column_ = 0;  // 0-based column after the last text of the line
};

// Lays out one record; the reason when the line is not one.
std::string ParseRecord(std::string_view line, Layout& layout) {
  if (line.empty()) return cp850("línia buida");
  if (line.starts_with("DEVICE")) return cp850("registre DEVICE fora de lloc");
  if (line.starts_with("PAGE")) {
    int length = 0;
    if (!ParseNumber(line.substr(4), length) || length < 1 || length > kMaxPageLength) {
      return cp850("longitud de pàgina incorrecta");
    }
    layout.NewPage(length);
    return {};
  }
  if (line[0] == '*') {
    layout.Attribute(Trim(line.substr(1)));
    return {};
  }
  if (line.starts_with("JUS")) return {};  // no effect on a fixed-pitch page
  const size_t first = line.find(',');
  const size_t last = line.rfind(',');
  int column = 0;
  int advance = 0;
  if (first == std::string_view::npos || last == first ||
      !ParseNumber(line.substr(0, first), column) ||
      !ParseNumber(line.substr(last + 1), advance)) {
    return cp850("registre desconegut");
  }
  if (column < 0 || column > kMaxColumn) return cp850("columna fora de límits");
  if (advance < 0 || advance > kMaxAdvance) return cp850("avanç de línies fora de límits");
  layout.Text(column, line.substr(first + 1, last - first - 1), advance);
  return {};
}

}  // namespace

int PrintedDocument::Width() const {
  size_t width = 0;
  for (const PrintedPage& p : pages) {
    for (const PrintedLine& l : p.lines) width = std::max(width, l.text.size());
  }
  return static_cast<int>(width);
}

int PrintedDocument::Height() const {
  int height = 0;
  for (const PrintedPage& p : pages) {
    height = std::max({height, p.length, static_cast<int>(p.lines.size())});
  }
  return height;
}

PrintedDocument ParseSpool(std::string_view spool) {
  PrintedDocument doc;
  Layout layout(doc);
  LineReader reader(spool);
  int number = 0;
  for (std::string line; reader.ReadLine(line);) {
    ++number;
    if (number == 1) {
      if (line.starts_with("DEVICE")) {
        doc.destination = line.substr(6);
        doc.hasDevice = true;
        continue;
      }
      doc.problems.push_back({1, cp850("falta el registre DEVICE; la sortida és la pantalla")});
    }
    std::string reason = ParseRecord(line, layout);
    if (!reason.empty()) doc.problems.push_back({number, std::move(reason)});
  }
  if (number == 0) doc.problems.push_back({1, cp850("el fitxer d'impressió és buit")});
  layout.FinishPage();
  return doc;
}

std::string ProblemText(const SpoolProblem& problem) {
  return cp850("línia ") + std::to_string(problem.line) + ": " + problem.reason;
}

std::string RenderText(const PrintedDocument& doc, bool utf8) {
  std::string out;
  for (size_t p = 0; p < doc.pages.size(); ++p) {
    if (p > 0) out += '\f';
    for (const PrintedLine& l : doc.pages[p].lines) {
      out += l.text;
      out += '\n';
    }
  }
  return utf8 ? Utf8FromCp850(out) : out;
}

}  // namespace palvorin::zodirudi
