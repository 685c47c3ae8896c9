// Where a listing goes: the destination text of a spool's device record (the session's
// `Sortida`), read the same way by the module, which tells the operator where the listing
// went, and by the print program, which sends it there.
#ifndef PALVORIN_PRINT_DESTINATION_H_
#define PALVORIN_PRINT_DESTINATION_H_

#include <string>
#include <string_view>

namespace palvorin {

enum class DestinationKind {
  Screen,      // empty, or "PANTALLA": the preview pager
  PdfFile,     // a file name ending in ".pdf"
  PrintQueue,  // "LPR:" followed by a queue name (empty: the default queue)
  TextFile,    // any other text names a file that receives the pages as UTF-8 text
};

struct Destination {
  DestinationKind kind = DestinationKind::Screen;
  std::string target;  // the file's path or the queue's name, blanks trimmed
};

// Case does not matter in "PANTALLA", "LPR:" or ".pdf"; blanks around the text are ignored.
Destination ClassifyDestination(std::string_view device);

// ClassifyDestination for a spool's device record, with a file name made the full Linux path
// of the file: a relative name is taken from the session's installation root ("llistats\A.TXT"
// under the root /srv/zep/ is /srv/zep/llistats/A.TXT), and from the current folder when the
// root is itself relative or empty.
Destination ListingDestination(std::string_view device);

}  // namespace palvorin

#endif  // PALVORIN_PRINT_DESTINATION_H_
