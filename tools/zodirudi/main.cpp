// ZODIRUDI, the suite's print program: reads the spool a module left in the temporary folder
// and renders it where the spool's device record says (screen preview, text file, PDF, print
// queue). Run by the module without arguments after every run.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/terminal.h"
#include "deliver.h"
#include "os/codepage.h"
#include "os/files.h"
#include "os/program.h"
#include "preview.h"
#include "printdoc.h"
#include "screen/windows.h"
#include "session/session.h"

namespace palvorin::zodirudi {
namespace {

constexpr const char* kUsage =
    "usage: ZODIRUDI [SPOOL [DESTINATION]]\n"
    "\n"
    "Prints a spool: by default zodirudi.tmp in the temporary folder (ZEPTMP, else the user's\n"
    "temporary folder), to the destination of its DEVICE record. DESTINATION replaces it:\n"
    "  empty or PANTALLA   preview on the terminal (Esc leaves); without a terminal the pages\n"
    "                      go to standard output\n"
    "  NAME.pdf            a PDF file, A4, landscape when the listing is wider than 80 columns\n"
    "  LPR:QUEUE           the print queue QUEUE through lpr (LPR: alone: the default queue)\n"
    "  any other NAME      a text file, UTF-8, pages separated by form feeds\n"
    "A relative name in the DEVICE record is taken from the installation root (ZEPROOT, or the\n"
    "parent of the exe/ folder that holds ZODIRUDI), one given here from the current folder.\n"
    "Lines of the spool that cannot be understood are reported with their number; the rest is\n"
    "still printed. A spool in which nothing is printed gives no output at all.\n"
    "Exit code 0 when the listing was delivered, 1 when it could not be, 2 for bad arguments.\n";

void Report(const std::string& cp850Text) {
  std::string line = "ZODIRUDI: " + EscapeControls(Utf8FromCp850(cp850Text)) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// The foot line of the preview when the spool had problems.
std::string Notice(const PrintedDocument& doc) {
  if (doc.problems.empty()) return {};
  std::string text = ProblemText(doc.problems.front());
  if (doc.problems.size() > 1) {
    text += cp850(" (i ") + std::to_string(doc.problems.size() - 1) + cp850(" més)");
  }
  return text;
}

int Preview(const PrintedDocument& doc) {
  std::string error;
  std::unique_ptr<TerminalConsole> terminal = TerminalConsole::Open(&error);
  if (!terminal) {
    std::string text = RenderText(doc, true);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  ConUseBackend(std::move(terminal));
  PreviewDocument(doc, Notice(doc));
  ConUseBackend(nullptr);
  return 0;
}

int Run(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    if (AnswerStandardOption(argv[i], "ZODIRUDI", kUsage)) return 0;
    if (IsOption(argv[i])) return BadUsage("ZODIRUDI", "unknown option " + std::string(argv[i]));
    words.emplace_back(argv[i]);
  }
  if (words.size() > 2) return BadUsage("ZODIRUDI", "unexpected argument " + words[2]);
  UseInstallation(InstallationOfProgram());
  SessionSetUp();
  SessionState().moduleName = "ZODIRUDI";  // its screen texts are in LOCALE\ZODIRUDI.LNG
  TranslateConsoleTexts();
  const std::string spoolPath =
      !words.empty() ? words[0] : SessionState().tempDir + "zodirudi.tmp";
  std::string spool;
  OsStatus st = ReadWholeFile(spoolPath, spool);
  if (!st.ok()) {
    Report(cp850("no es pot llegir el fitxer d'impressió: ") + st.message);
    return 1;
  }
  const PrintedDocument doc = ParseSpool(spool);
  for (const SpoolProblem& p : doc.problems) Report(ProblemText(p));

  // Runs that print nothing (a preparing run, a verify run without incidents) still leave a
  // spool: there is then nothing to show, and an earlier listing file or the printer's paper
  // is not to be spent on an empty one.
  if (doc.pages.empty()) return 0;

  const Destination dest = words.size() > 1 ? ClassifyDestination(words[1])
                                            : ListingDestination(doc.destination);
  std::string message;
  bool delivered = true;
  switch (dest.kind) {
    case DestinationKind::Screen: return Preview(doc);
    case DestinationKind::TextFile: delivered = WriteTextFile(doc, dest.target, message); break;
    case DestinationKind::PdfFile: delivered = WritePdfFile(doc, dest.target, message); break;
    case DestinationKind::PrintQueue:
      delivered = SendToQueue(doc, dest.target, SessionState().tempDir, message);
      break;
  }
  if (!delivered) Report(message);
  return delivered ? 0 : 1;
}

}  // namespace
}  // namespace palvorin::zodirudi

int main(int argc, char** argv) { return palvorin::zodirudi::Run(argc, argv); }
