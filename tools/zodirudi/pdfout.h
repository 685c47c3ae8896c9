// The listing as a PDF: one A4 sheet per page of the spool, in a monospaced font so every
// text keeps its column. A listing wider than 80 columns goes on landscape sheets. The font
// size is chosen once for the whole document, so that the widest line and the longest page
// fit; bold characters are set in the bold face.
#ifndef PALVORIN_TOOLS_ZODIRUDI_PDFOUT_H_
#define PALVORIN_TOOLS_ZODIRUDI_PDFOUT_H_

#include <string>

#include "printdoc.h"

namespace palvorin::zodirudi {

// The PDF's bytes into `pdf`. False, with `error` saying why, when the drawing library fails;
// a document without pages gives one blank sheet.
bool RenderPdf(const PrintedDocument& doc, std::string& pdf, std::string& error);

}  // namespace palvorin::zodirudi

#endif  // PALVORIN_TOOLS_ZODIRUDI_PDFOUT_H_
