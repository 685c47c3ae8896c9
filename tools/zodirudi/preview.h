// The screen preview of a listing: the pages one under the other, each new page announced by
// a rule with its number, in a pager over the whole console. Up and Down move one line, PgUp
// and PgDn one screen, Home and End go to the first and the last screen, Left and Right move
// the view ten columns sideways for listings wider than the screen, Esc leaves. The top row
// names the page and the lines in view; the bottom row lists the keys, or shows `notice` (a
// problem found in the spool) when there is one.
#ifndef PALVORIN_TOOLS_ZODIRUDI_PREVIEW_H_
#define PALVORIN_TOOLS_ZODIRUDI_PREVIEW_H_

#include <string_view>

#include "printdoc.h"

namespace palvorin::zodirudi {

// Columns the view moves with Left and Right.
constexpr int kSideStep = 10;

// Runs the pager on the console until Esc. `notice` is CP850.
void PreviewDocument(const PrintedDocument& doc, std::string_view notice);

}  // namespace palvorin::zodirudi

#endif  // PALVORIN_TOOLS_ZODIRUDI_PREVIEW_H_
