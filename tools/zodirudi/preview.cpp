#include "preview.h"

#include <algorithm>
#include <string>
#include <vector>

#include "console/console.h"
#include "os/codepage.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"

namespace palvorin::zodirudi {
namespace {

// One row of the flattened listing: a printed line, or the rule that opens a page.
struct ViewLine {
  const PrintedLine* line = nullptr;  // null for a page rule
  int page = 0;                       // 1-based page the row belongs to
};

std::vector<ViewLine> Flatten(const PrintedDocument& doc) {
  std::vector<ViewLine> rows;
  for (size_t p = 0; p < doc.pages.size(); ++p) {
    const int page = static_cast<int>(p) + 1;
    if (p > 0) rows.push_back({nullptr, page});
    for (const PrintedLine& l : doc.pages[p].lines) rows.push_back({&l, page});
  }
  return rows;
}

std::string Fit(std::string text, int width) {
  text.resize(static_cast<size_t>(width), ' ');
  return text;
}

// A text of the preview in the operator's language, with "%1", "%2" ... replaced by `values`.
std::string Text(const std::string& catalan, std::initializer_list<std::string> values = {}) {
  std::string text = Translate(catalan);
  int n = 0;
  for (const std::string& value : values) {
    const std::string mark = "%" + std::to_string(++n);
    const size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), value);
  }
  return text;
}

class Pager {
 public:
  Pager(const PrintedDocument& doc, std::string_view notice)
      : doc_(doc), notice_(notice), rows_(Flatten(doc)),
        width_(ScreenCols()), view_(ScreenRows() - 2) {}

  void Run() {
    ConShowCursor(false);
    for (;;) {
      Draw();
      int key = 0;
      GetKey(key);
      if (key == keys::kEsc) return;
      Move(key);
    }
  }

 private:
  int MaxTop() const { return std::max(0, static_cast<int>(rows_.size()) - view_); }
  int MaxLeft() const { return std::max(0, doc_.Width() - width_); }

  void Move(int key) {
    switch (key) {
      case keys::kDown: top_ = std::min(top_ + 1, MaxTop()); break;
      case keys::kUp: top_ = std::max(top_ - 1, 0); break;
      case keys::kPgDn: top_ = std::min(top_ + view_, MaxTop()); break;
      case keys::kPgUp: top_ = std::max(top_ - view_, 0); break;
      case keys::kHome: top_ = 0; break;
      case keys::kEnd: top_ = MaxTop(); break;
      case keys::kRight: left_ = std::min(left_ + kSideStep, MaxLeft()); break;
      case keys::kLeft: left_ = std::max(left_ - kSideStep, 0); break;
      default: break;
    }
  }

  void Draw() const {
    DrawTitle();
    for (int r = 0; r < view_; ++r) DrawRow(r + 2, top_ + r);
    ConSetCursor(ScreenRows(), 1);
    SetColour(notice_.empty() ? "r" : "h");
    ConPrint(Fit(notice_.empty() ? Keys() : " " + notice_, width_));
  }

  void DrawTitle() const {
    const int total = static_cast<int>(rows_.size());
    const int page = rows_.empty() ? 0 : rows_[std::min(top_, total - 1)].page;
    std::string where =
        Text(cp850("Pàgina %1 / %2   Línies %3-%4 / %5   Col. %6 "),
             {std::to_string(page), std::to_string(doc_.pages.size()),
              std::to_string(total == 0 ? 0 : top_ + 1),
              std::to_string(std::min(top_ + view_, total)), std::to_string(total),
              std::to_string(left_ + 1)});
    std::string title = Text(cp850(" ZODIRUDI - Vista prèvia del llistat"));
    const size_t room = static_cast<size_t>(width_);
    if (title.size() + where.size() < room) title.append(room - title.size() - where.size(), ' ');
    title += where;
    ConSetCursor(1, 1);
    SetColour("r");
    ConPrint(Fit(title, width_));
  }

  void DrawRow(int screenRow, int index) const {
    ConSetCursor(screenRow, 1);
    if (index >= static_cast<int>(rows_.size())) {
      SetColour("n");
      ConPrint(std::string(static_cast<size_t>(width_), ' '));
      return;
    }
    const ViewLine& row = rows_[static_cast<size_t>(index)];
    if (row.line == nullptr) {
      std::string rule = std::string(3, '\xC4') + Text(cp850(" Pàgina %1 "), {std::to_string(row.page)});
      if (rule.size() < static_cast<size_t>(width_)) {
        rule.append(static_cast<size_t>(width_) - rule.size(), '\xC4');
      }
      SetColour("rn");
      ConPrint(Fit(rule, width_));
      return;
    }
    const std::string& text = row.line->text;
    const std::string& bold = row.line->bold;
    for (int c = 0; c < width_;) {
      const size_t at = static_cast<size_t>(left_ + c);
      const bool isBold = at < bold.size() && bold[at] == '1';
      int n = 1;
      while (c + n < width_) {
        const size_t next = at + static_cast<size_t>(n);
        if ((next < bold.size() && bold[next] == '1') != isBold) break;
        ++n;
      }
      std::string piece = at < text.size() ? text.substr(at, static_cast<size_t>(n)) : "";
      SetColour(isBold ? "h" : "n");
      ConPrint(Fit(piece, n));
      c += n;
    }
  }

  static std::string Keys() {
    return Text(cp850(" Esc sortir   %1 línia   RePàg AvPàg pantalla   Inici Fi   %2 columnes"),
                {"\x18\x19", "\x1B\x1A"});
  }

  const PrintedDocument& doc_;
  std::string notice_;
  std::vector<ViewLine> rows_;
  int width_;
  int view_;  // rows of the listing in view
  int top_ = 0;
  int left_ = 0;
};

}  // namespace

void PreviewDocument(const PrintedDocument& doc, std::string_view notice) {
  Pager(doc, notice).Run();
}

}  // namespace palvorin::zodirudi
