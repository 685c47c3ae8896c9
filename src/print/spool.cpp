#include "print/spool.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "os/clock.h"
#include "os/codepage.h"
#include "os/paths.h"
#include "session/language.h"
#include "session/session.h"

namespace palvorin {

namespace {

// Records collect in memory and go to the file in blocks of about this size.
constexpr size_t kFlushAt = 64 * 1024;

void Flush(PrintState& ps) {
  if (ps.pending.empty()) return;
  if (ps.file.IsOpen() && ps.failure.ok()) {
    OsStatus st = ps.file.Write(ps.written, ps.pending);
    if (st.ok()) {
      ps.written += static_cast<int64_t>(ps.pending.size());
    } else {
      ps.failure = std::move(st);
    }
  }
  ps.pending.clear();
}

void WriteRecord(std::string_view record) {
  PrintState& ps = Prints();
  if (!ps.open) return;
  ps.pending.append(record);
  ps.pending.append("\r\n");
  if (ps.pending.size() >= kFlushAt) Flush(ps);
}

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  size_t e = s.size();
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

// The number a text starts with, read as the language's VAL reads it: leading blanks skipped,
// an optional sign, digits with at most one point; the rest is ignored.
double LeadingNumber(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  double value = 0;
  double scale = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == ' ') continue;
    if (c == '.' && scale == 0) {
      scale = 1;
    } else if (c >= '0' && c <= '9') {
      if (scale == 0) {
        value = value * 10 + (c - '0');
      } else {
        scale /= 10;
        value += (c - '0') * scale;
      }
    } else {
      break;
    }
  }
  return negative ? -value : value;
}

std::string JustifyCode(std::string_view argument) {
  std::string_view arg = Trim(argument);
  if (arg.empty()) return "E";
  char first = arg[0];
  if (first >= 'a' && first <= 'z') first = static_cast<char>(first - 'a' + 'A');
  switch (first) {
    case 'C':
      return "C";
    case 'D':
    case 'R':
      return "D";
    case 'A':
    case 'B':
      return "A";
    case 'N': {
      double n = std::nearbyint(std::fabs(LeadingNumber(arg.substr(1))));  // ties to even
      std::string code = "N" + SpoolNumber(static_cast<long>(std::min(n, 2147483647.0))) + " ";
      size_t open = arg.find('\\');
      if (open != std::string_view::npos) {
        size_t close = arg.find('\\', open + 1);
        code.append(close == std::string_view::npos ? arg.substr(open)
                                                    : arg.substr(open, close - open + 1));
      }
      return code;
    }
    default:
      return "E";
  }
}

}  // namespace

PrintState& Prints() {
  static PrintState state;
  return state;
}

void ResetPrintForTest() {
  PrintState& ps = Prints();
  ps.file.Close();
  ps = PrintState{};
}

std::string SpoolPath() { return SessionState().tempDir + "zodirudi.tmp"; }

std::string SpoolNumber(long value) {
  std::string digits = std::to_string(value < 0 ? -static_cast<long long>(value)
                                                : static_cast<long long>(value));
  return (value < 0 ? "-" : " ") + digits + " ";
}

OsStatus SpoolOpen(std::string_view destination) {
  PrintState& ps = Prints();
  if (ps.open) (void)SpoolClose();
  bool reported = ps.missingProgramReported;
  ps.file.Close();
  ps = PrintState{};
  ps.missingProgramReported = reported;
  // The spool has one name in the temporary folder: while another live run holds the folder,
  // its spool (and the listing its print program may be reading) is left alone.
  if (!HoldFolder(SessionState().tempDir)) {
    return OsStatus::IoError(
        ShownPath(SpoolPath()) + ": " +
        BuiltInText("CARPETA TEMPORAL EN ÚS PER UNA ALTRA SESSIÓ",
                    "CARPETA TEMPORAL EN USO POR OTRA SESIÓN",
                    "CARTAFOL TEMPORAL EN USO POR OUTRA SESIÓN",
                    "CARPETA TEMPORÀRIA EN ÚS PER UNA AUTA SESSION"));
  }
  OsStatus st = ps.file.Open(SpoolPath(), FileMode::CreateFresh);
  if (!st.ok()) return st;
  ps.open = true;
  std::string device = "DEVICE";
  device.append(destination);
  WriteRecord(device);
  return OsStatus::Success();
}

OsStatus SpoolClose() {
  PrintState& ps = Prints();
  if (!ps.open) return OsStatus::Success();
  Flush(ps);
  ps.file.Close();
  ps.open = false;
  return ps.failure;
}

void PrintAttribute(std::string_view code) {
  std::string record = "*";
  record.append(code);
  WriteRecord(record);
}

void PrintJustify(std::string_view argument) { WriteRecord("JUS" + JustifyCode(argument)); }

void PrintNewPage(int length) {
  PrintState& ps = Prints();
  WriteRecord("PAGE" + SpoolNumber(length));
  ps.pageLength = length;
  ps.lineCounter = 0;
  ps.columnCounter = 0;
}

void PrintText(int column, std::string_view text, int advance) {
  PrintState& ps = Prints();
  std::string clean(text);
  for (char& c : clean) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127 || b == 255) c = ' ';
  }
  // Before the first page record there is no page to fill: no page length is known yet.
  if (ps.pageLength > 0 && ps.lineCounter >= ps.pageLength) PrintNewPage(ps.pageLength);
  std::string record = SpoolNumber(column);
  record += ',';
  record += clean;
  record += ',';
  record += SpoolNumber(advance);
  WriteRecord(record);
  if (advance != 0) {
    ps.lineCounter += advance;
    ps.columnCounter = 0;
  } else {
    // Column 0 goes on where the line's last text ended; at the start of a line that is
    // column 1, so the text ends one further than its length.
    if (column != 0) {
      ps.columnCounter = column;
    } else if (ps.columnCounter == 0) {
      ps.columnCounter = 1;
    }
    ps.columnCounter += static_cast<int>(clean.size());
  }
}

int PrintColumn() { return Prints().columnCounter; }
int PrintLine() { return Prints().lineCounter; }

std::string PrintProgramPath() { return SessionState().exeDir + "ZODIRUDI"; }

PrintOutcome RunPrintProgram() {
  std::string program = PrintProgramPath();
  // A bare name would be looked up in PATH; the print program belongs to this installation.
  if (program.find('/') == std::string::npos && program.find('\\') == std::string::npos) {
    program = "./" + program;
  }
  if (!FileExists(program)) return PrintOutcome::Missing;
  ChildResult result = RunAndWait(program, {}, PrintErrorsPath());
  if (result.status.IsNotFound()) return PrintOutcome::Missing;
  Prints().printExitCode = result.exitCode;
  return result.exitCode == 0 ? PrintOutcome::Printed : PrintOutcome::Failed;
}

std::string PrintErrorsPath() { return SessionState().tempDir + "zodirudi.err"; }

std::string PrintFailureMessage() {
  std::string text = BuiltInText(
      "EL PROGRAMA D'IMPRESSIÓ HA FALLAT (codi ", "EL PROGRAMA DE IMPRESIÓN HA FALLADO (código ",
      "O PROGRAMA DE IMPRESIÓN FALLOU (código ", "ETH PROGRAMA D'IMPRESSION A FALHAT (còdi ");
  text += std::to_string(Prints().printExitCode) + ")\n";
  // The print program writes UTF-8; its last lines say what went wrong.
  std::string errors;
  (void)ReadWholeFile(PrintErrorsPath(), errors);
  std::vector<std::string> lines;
  LineReader reader(errors);
  for (std::string line; reader.ReadLine(line);) {
    if (line.find_first_not_of(' ') != std::string::npos) lines.push_back(cp850(line));
  }
  constexpr size_t kShownLines = 3;
  const size_t first = lines.size() > kShownLines ? lines.size() - kShownLines : 0;
  for (size_t i = first; i < lines.size(); ++i) text += lines[i] + "\n";
  return text;
}

bool TakeMissingProgramReport() {
  PrintState& ps = Prints();
  if (ps.missingProgramReported) return false;
  ps.missingProgramReported = true;
  return true;
}

std::string MissingPrintProgramMessage() {
  return BuiltInText("NO ES TROBA EL PROGRAMA D'IMPRESSIÓ ",
                            "NO SE ENCUENTRA EL PROGRAMA DE IMPRESIÓN ",
                            "NON SE ATOPA O PROGRAMA DE IMPRESIÓN ",
                            "NON SE TROBE ETH PROGRAMA D'IMPRESSION ") +
         OsPath(PrintProgramPath());
}

}  // namespace palvorin
