#include "pdfout.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>

#include "os/codepage.h"

namespace palvorin::zodirudi {
namespace {

// A4 in points, and the blank border around the printed area (1 cm).
constexpr double kA4Short = 595.276;
constexpr double kA4Long = 841.890;
constexpr double kMargin = 28.35;
constexpr double kLineSpacing = 1.15;  // line height over font size
constexpr double kLargestFont = 11.0;
constexpr int kNarrowColumns = 80;  // a listing up to this wide goes on portrait sheets
constexpr const char* kFontFamily = "monospace";

cairo_status_t Collect(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void SelectFace(cairo_t* cr, bool bold) {
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
}

// Where the text goes on a sheet: the font size, a character's width and the line height.
struct Metrics {
  double fontSize = 10;
  double advance = 6;
  double lineHeight = 11.5;
  double ascent = 8;
};

Metrics Measure(cairo_t* cr, int columns, int lines, double width, double height) {
  constexpr double kProbe = 10.0;
  SelectFace(cr, false);
  cairo_set_font_size(cr, kProbe);
  cairo_text_extents_t ext;
  cairo_text_extents(cr, "M", &ext);
  const double probeAdvance = ext.x_advance > 0 ? ext.x_advance : 0.6 * kProbe;
  Metrics m;
  m.fontSize = std::min({kLargestFont, kProbe * (width - 2 * kMargin) / (columns * probeAdvance),
                         (height - 2 * kMargin) / (lines * kLineSpacing)});
  m.advance = probeAdvance * m.fontSize / kProbe;
  m.lineHeight = m.fontSize * kLineSpacing;
  cairo_set_font_size(cr, m.fontSize);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  m.ascent = fe.ascent;
  return m;
}

// Draws one line as runs of characters of the same weight, each at its own column, so the
// columns hold even where the bold face is a little wider.
void DrawLine(cairo_t* cr, const PrintedLine& line, const Metrics& m, double baseline) {
  size_t start = 0;
  while (start < line.text.size()) {
    size_t end = start;
    while (end < line.text.size() && line.bold[end] == line.bold[start]) ++end;
    std::string_view run = std::string_view(line.text).substr(start, end - start);
    if (run.find_first_not_of(' ') != std::string_view::npos) {
      SelectFace(cr, line.bold[start] == '1');
      cairo_set_font_size(cr, m.fontSize);
      cairo_move_to(cr, kMargin + static_cast<double>(start) * m.advance, baseline);
      cairo_show_text(cr, Utf8FromCp850(run).c_str());
    }
    start = end;
  }
}

}  // namespace

bool RenderPdf(const PrintedDocument& doc, std::string& pdf, std::string& error) {
  pdf.clear();
  const int columns = std::max(kNarrowColumns, doc.Width());
  const int lines = std::max(1, doc.Height());
  const bool landscape = columns > kNarrowColumns;
  const double width = landscape ? kA4Long : kA4Short;
  const double height = landscape ? kA4Short : kA4Long;

  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Collect, &pdf, width, height);
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "ZODIRUDI");
  cairo_t* cr = cairo_create(surface);
  const Metrics m = Measure(cr, columns, lines, width, height);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const PrintedPage& page : doc.pages) {
    for (size_t i = 0; i < page.lines.size(); ++i) {
      DrawLine(cr, page.lines[i], m, kMargin + static_cast<double>(i) * m.lineHeight + m.ascent);
    }
    cairo_show_page(cr);
  }
  if (doc.pages.empty()) cairo_show_page(cr);
  cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    error = cairo_status_to_string(status);
    pdf.clear();
    return false;
  }
  return true;
}

}  // namespace palvorin::zodirudi
