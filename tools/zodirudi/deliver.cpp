#include "deliver.h"

#include <vector>

#include "os/clock.h"
#include "os/codepage.h"
#include "os/files.h"
#include "os/paths.h"
#include "pdfout.h"

namespace palvorin::zodirudi {

bool WriteTextFile(const PrintedDocument& doc, const std::string& path, std::string& message) {
  OsStatus st = WriteWholeFile(path, RenderText(doc, true));
  if (!st.ok()) {
    message = cp850("no es pot escriure el llistat a ") + path + ": " + st.message;
    return false;
  }
  return true;
}

bool WritePdfFile(const PrintedDocument& doc, const std::string& path, std::string& message) {
  std::string pdf, error;
  if (!RenderPdf(doc, pdf, error)) {
    message = cp850("no es pot fer el PDF del llistat: ") + error;
    return false;
  }
  OsStatus st = WriteWholeFile(path, pdf);
  if (!st.ok()) {
    message = cp850("no es pot escriure el llistat a ") + path + ": " + st.message;
    return false;
  }
  return true;
}

bool SendToQueue(const PrintedDocument& doc, const std::string& queue,
                 const std::string& workFolder, std::string& message) {
  const std::string work = workFolder + kQueueWorkFile;
  OsStatus st = WriteWholeFile(work, RenderText(doc, true));
  if (!st.ok()) {
    message = cp850("no es pot preparar la impressió: ") + st.message;
    return false;
  }
  std::vector<std::string> args;
  if (!queue.empty()) args = {"-P", queue};
  args.push_back(OsPath(work));
  ChildResult result = RunAndWait("lpr", args);
  (void)DeleteFile(work);
  const std::string where = queue.empty() ? cp850("la cua d'impressió per defecte")
                                          : cp850("la cua d'impressió ") + queue;
  if (result.status.IsNotFound()) {
    message = cp850("no es troba l'ordre lpr: no es pot imprimir a ") + where;
    return false;
  }
  if (!result.status.ok() || result.exitCode != 0) {
    message = cp850("lpr no ha pogut imprimir a ") + where + " (" +
              (result.status.ok() ? cp850("codi ") + std::to_string(result.exitCode)
                                  : result.status.message) +
              ")";
    return false;
  }
  return true;
}

}  // namespace palvorin::zodirudi
