// Sending a laid-out listing where its device record says: a text file, a PDF file or a print
// queue. (The screen preview is in preview.h.) Every file is written whole or not at all: an
// earlier file of the same name stays untouched when the new one cannot be written.
#ifndef PALVORIN_TOOLS_ZODIRUDI_DELIVER_H_
#define PALVORIN_TOOLS_ZODIRUDI_DELIVER_H_

#include <string>

#include "printdoc.h"

namespace palvorin::zodirudi {

// Writes the pages to `path` (DOS or Linux form, relative to the current folder) as UTF-8
// text, pages separated by form feeds. True on success; otherwise `message` (CP850) says why.
bool WriteTextFile(const PrintedDocument& doc, const std::string& path, std::string& message);

// Writes the pages to `path` as a PDF.
bool WritePdfFile(const PrintedDocument& doc, const std::string& path, std::string& message);

// Hands the pages as UTF-8 text to the print queue `queue` (the default queue when empty)
// through "lpr -P <queue> <file>", the file being a work file in `workFolder` (a folder text
// ending in a separator) that is deleted afterwards. A missing lpr, or one that fails, is
// reported in `message`.
bool SendToQueue(const PrintedDocument& doc, const std::string& queue,
                 const std::string& workFolder, std::string& message);

// The name of the work file SendToQueue hands to lpr.
inline constexpr const char* kQueueWorkFile = "zodirudi.lpr";

}  // namespace palvorin::zodirudi

#endif  // PALVORIN_TOOLS_ZODIRUDI_DELIVER_H_
