// The print program: laying a spool out in pages, the text and PDF renderings, the print queue
// hand-over and the screen preview.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/headless.h"
#include "deliver.h"
#include "os/clock.h"
#include "os/codepage.h"
#include "pdfout.h"
#include "preview.h"
#include "printdoc.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/session.h"
#include "screen/screen_fixture.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace palvorin::zodirudi {
namespace {

using palvorin::testing::ScopedEnv;
using palvorin::testing::TempDir;

// A spool from records written without their CR LF.
std::string Spool(const std::vector<std::string>& records) {
  std::string s;
  for (const std::string& r : records) s += r + "\r\n";
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// `left`, blanks up to column `column` (1-based), then `right`.
std::string At(const std::string& left, int column, const std::string& right) {
  return left + std::string(static_cast<size_t>(column - 1) - left.size(), ' ') + right;
}

int Count(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + 1)) {
    ++n;
  }
  return n;
}

// The head of an advance listing as the module writes it, with a co-owner's charges that
// continue the line, a one-off charge in bold and a line that wraps.
const std::vector<std::string> kListing = {
    "DEVICEPANTALLA",
    "PAGE 66 ",
    "*@e",
    " 1 ,FINQUES DEMO, 0 ",
    "JUSD",
    " 40 ," + cp850("PÀGINA    1") + ", 2 ",
    "*q",
    " 1 ,CODI, 0 ",
    " 11 ,DEPARTAMENT, 1 ",
    " 1 ," + std::string(50, '-') + ", 1 ",
    " 1 ,1.1, 0 ",
    " 11 ,1r 1a, 1 ",
    "JUSD",
    " 0 ,     45,00 , 0 ",
    "JUSE",
    " 12 ,QCO  , 0 ",
    "*b",
    "JUSD",
    " 17 ,    350,00 , 0 ",
    "JUSE",
    " 0 ,OBR  , 0 ",
    "*b",
    " 0 ,, 1 ",
    " 0 ,      4,50 COB  , 0 ",
    " 40 ,=    399,50 , 2 ",
};

TEST(SpoolLayout, ListingRendersLineByLine) {
  PrintedDocument doc = ParseSpool(Spool(kListing));
  EXPECT_TRUE(doc.problems.empty());
  EXPECT_TRUE(doc.hasDevice);
  EXPECT_EQ(doc.destination, "PANTALLA");
  ASSERT_EQ(doc.pages.size(), 1u);
  EXPECT_EQ(doc.pages[0].length, 66);
  const std::vector<std::string> want = {
      At("FINQUES DEMO", 40, cp850("PÀGINA    1")),
      "",
      At("CODI", 11, "DEPARTAMENT"),
      std::string(50, '-'),
      At("1.1", 11, "1r 1a"),
      "     45,00 QCO      350,00 OBR",
      At("      4,50 COB", 40, "=    399,50"),
  };
  EXPECT_EQ(Lines(RenderText(doc, false)), want);
  // Only the one-off charge between the two "b" attributes is bold.
  const PrintedLine& charges = doc.pages[0].lines[5];
  EXPECT_EQ(charges.bold, std::string(16, '0') + std::string(14, '1'));
}

TEST(SpoolLayout, TextPlacement) {
  struct Case {
    const char* what;
    std::vector<std::string> records;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"commas inside the text", {"DEVICE", " 3 ,a, b,,c, 1 "}, {"  a, b,,c"}},
      {"a column left of the last text follows it", {"DEVICE", " 1 ,abcdef, 0 ", " 3 ,XY, 1 "},
       {"abcdefXY"}},
      {"a negative amount keeps its sign when its line began at column 0",
       {"DEVICE", " 0 ,  20,00-, 0 ", " 8 ,VAR  , 0 ", " 1 ,x, 1 "}, {"  20,00-VAR  x"}},
      {"a column right of the last text leaves blanks", {"DEVICE", " 1 ,ab, 0 ", " 6 ,c, 1 "},
       {"ab   c"}},
      {"column 0 continues after the last text", {"DEVICE", " 5 ,ab, 0 ", " 0 ,cd, 1 "},
       {"    abcd"}},
      {"an advance starts the next line at column 1", {"DEVICE", " 5 ,ab, 2 ", " 0 ,cd, 1 "},
       {"    ab", "", "cd"}},
      {"numbers without blanks", {"DEVICE", "2,x,1", "1,y,0"}, {" x", "y"}},
      {"control characters print as blanks", {"DEVICE", " 1 ,a\tb\x1b" "c\xff" "d, 1 "},
       {"a b c d"}},
  };
  for (const Case& c : cases) {
    PrintedDocument doc = ParseSpool(Spool(c.records));
    EXPECT_TRUE(doc.problems.empty()) << c.what;
    EXPECT_EQ(Lines(RenderText(doc, false)), c.want) << c.what;
  }
}

TEST(SpoolLayout, PagesBreakWhereTheSpoolSaysAndWhenFull) {
  // A page of 3 lines that receives 4 opens a page of the same length by itself; an empty
  // page between two page records prints nothing.
  PrintedDocument doc = ParseSpool(Spool({"DEVICE", "PAGE 3 ", " 1 ,a, 1 ", " 1 ,b, 1 ",
                                          " 1 ,c, 1 ", " 1 ,d, 1 ", "PAGE 10 ", "PAGE 10 ",
                                          " 1 ,e, 0 "}));
  EXPECT_TRUE(doc.problems.empty());
  ASSERT_EQ(doc.pages.size(), 3u);
  EXPECT_EQ(doc.pages[0].lines.size(), 3u);
  EXPECT_EQ(doc.pages[1].length, 3);
  EXPECT_EQ(doc.pages[2].length, 10);
  EXPECT_EQ(doc.Height(), 10);
  EXPECT_EQ(RenderText(doc, false), "a\nb\nc\n\fd\n\fe\n");
  // Texts before any page record go on a page of the default length.
  PrintedDocument loose = ParseSpool(Spool({"DEVICE", " 1 ,x, 1 "}));
  ASSERT_EQ(loose.pages.size(), 1u);
  EXPECT_EQ(loose.pages[0].length, kDefaultPageLength);
  // A spool with its device record only prints no page.
  EXPECT_TRUE(ParseSpool(Spool({"DEVICEPANTALLA"})).pages.empty());
}

TEST(SpoolLayout, MalformedLinesAreReportedByNumberAndTheRestPrinted) {
  PrintedDocument doc = ParseSpool(Spool({
      "DEVICEllistat.txt",  // 1
      "PAGE 66 ",           // 2
      " 1 ,first, 1 ",      // 3
      "garbage",            // 4: no record
      " 1 ,no advance",     // 5: one comma only
      "PAGE sixty ",        // 6: length not a number
      " -2 ,x, 0 ",         // 7: negative column
      " 1 ,x, 5000 ",       // 8: absurd advance
      "",                   // 9: empty line
      "DEVICEPANTALLA",     // 10: second device record
      " 1 ,last, 1 ",       // 11
  }));
  std::vector<int> lines;
  for (const SpoolProblem& p : doc.problems) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<int>{4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(doc.destination, "llistat.txt");
  EXPECT_EQ(RenderText(doc, false), "first\nlast\n");
  EXPECT_EQ(ProblemText(doc.problems[0]), cp850("línia 4: registre desconegut"));
}

TEST(SpoolLayout, MissingDeviceRecordPrintsOnTheScreen) {
  PrintedDocument doc = ParseSpool(Spool({"PAGE 66 ", " 1 ,x, 1 "}));
  ASSERT_EQ(doc.problems.size(), 1u);
  EXPECT_EQ(doc.problems[0].line, 1);
  EXPECT_FALSE(doc.hasDevice);
  EXPECT_EQ(doc.pages.size(), 1u);
  EXPECT_EQ(ClassifyDestination(doc.destination).kind, DestinationKind::Screen);
  EXPECT_EQ(ParseSpool("").problems.size(), 1u);
}

TEST(SpoolLayout, BoldFollowsTheAttributes) {
  PrintedDocument doc = ParseSpool(Spool({"DEVICE", "*b", " 1 ,ab, 0 ", "*q", " 0 ,c, 0 ",
                                          "*@e", " 0 ,d, 0 ", "*B", " 0 ,e, 1 "}));
  ASSERT_EQ(doc.pages.size(), 1u);
  EXPECT_EQ(doc.pages[0].lines[0].bold, "11101");
}

TEST(Destination, KindsAndTargets) {
  struct Case {
    const char* device;
    DestinationKind kind;
    const char* target;
  };
  const Case cases[] = {
      {"", DestinationKind::Screen, ""},
      {"  ", DestinationKind::Screen, ""},
      {"PANTALLA", DestinationKind::Screen, ""},
      {"pantalla ", DestinationKind::Screen, ""},
      {"PANTALLA2", DestinationKind::TextFile, "PANTALLA2"},
      {"LPR:oficina", DestinationKind::PrintQueue, "oficina"},
      {"lpr: oficina ", DestinationKind::PrintQueue, "oficina"},
      {"LPR:", DestinationKind::PrintQueue, ""},
      {"C:\\LLISTATS\\AVANC.PDF", DestinationKind::PdfFile, "C:\\LLISTATS\\AVANC.PDF"},
      {" avanc.pdf", DestinationKind::PdfFile, "avanc.pdf"},
      {"avanc.txt", DestinationKind::TextFile, "avanc.txt"},
      {"pdf", DestinationKind::TextFile, "pdf"},
  };
  for (const Case& c : cases) {
    Destination d = ClassifyDestination(c.device);
    EXPECT_EQ(d.kind, c.kind) << '"' << c.device << '"';
    EXPECT_EQ(d.target, c.target) << '"' << c.device << '"';
  }
}

TEST(PdfOutput, OneSheetPerPageLandscapeWhenWide) {
  std::vector<std::string> records = {"DEVICEx.pdf"};
  for (int page = 1; page <= 3; ++page) {
    records.push_back("PAGE 66 ");
    records.push_back("*b");
    records.push_back(" 1 ," + cp850("PÀGINA ") + std::to_string(page) + ", 1 ");
    records.push_back("*b");
    records.push_back(" 120 ,wide, 1 ");
  }
  std::string pdf, error;
  ASSERT_TRUE(RenderPdf(ParseSpool(Spool(records)), pdf, error)) << error;
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_NE(pdf.find("%%EOF"), std::string::npos);
  EXPECT_EQ(Count(pdf, "/Type /Page") - Count(pdf, "/Type /Pages"), 3);
  size_t box = pdf.find("/MediaBox [ 0 0 ");
  ASSERT_NE(box, std::string::npos);
  double width = 0, height = 0;
  ASSERT_EQ(std::sscanf(pdf.c_str() + box, "/MediaBox [ 0 0 %lf %lf", &width, &height), 2);
  EXPECT_GT(width, height);

  // A narrow listing goes on portrait sheets; an empty one still makes a valid PDF of one.
  ASSERT_TRUE(RenderPdf(ParseSpool(Spool({"DEVICE", " 1 ,narrow, 1 "})), pdf, error));
  box = pdf.find("/MediaBox [ 0 0 ");
  ASSERT_EQ(std::sscanf(pdf.c_str() + box, "/MediaBox [ 0 0 %lf %lf", &width, &height), 2);
  EXPECT_LT(width, height);
  ASSERT_TRUE(RenderPdf(ParseSpool(Spool({"DEVICE"})), pdf, error));
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
}

TEST(Delivery, TextFileIsUtf8AndAFailureKeepsTheOldFile) {
  TempDir dir;
  PrintedDocument doc = ParseSpool(Spool({"DEVICE", " 1 ," + cp850("PÀGINA") + ", 1 "}));
  std::string message;
  ASSERT_TRUE(WriteTextFile(doc, dir / "out.txt", message)) << message;
  EXPECT_EQ(dir.Read("out.txt"), "PÀGINA\n");
  EXPECT_FALSE(WriteTextFile(doc, dir / "no/such/folder/out.txt", message));
  EXPECT_NE(message.find("out.txt"), std::string::npos);

  std::string pdfMessage;
  ASSERT_TRUE(WritePdfFile(doc, dir / "out.pdf", pdfMessage)) << pdfMessage;
  EXPECT_EQ(dir.Read("out.pdf").substr(0, 5), "%PDF-");
}

class QueueTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetOsForTest(); }
  TempDir dir_;
};

TEST_F(QueueTest, HandsTheTextToLprAndRemovesTheWorkFile) {
  std::string program, content;
  std::vector<std::string> args;
  Os().runAndWait = [&](const std::string& p, const std::vector<std::string>& a) {
    program = p;
    args = a;
    content = dir_.Read(kQueueWorkFile);
    return ChildResult{OsStatus::Success(), 0};
  };
  PrintedDocument doc = ParseSpool(Spool({"DEVICELPR:oficina", " 1 ,hola, 1 "}));
  std::string message;
  ASSERT_TRUE(SendToQueue(doc, "oficina", dir_.folder(), message)) << message;
  EXPECT_EQ(program, "lpr");
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[0], "-P");
  EXPECT_EQ(args[1], "oficina");
  EXPECT_EQ(args[2], dir_ / kQueueWorkFile);
  EXPECT_EQ(content, "hola\n");
  EXPECT_FALSE(dir_.Exists(kQueueWorkFile));

  ASSERT_TRUE(SendToQueue(doc, "", dir_.folder(), message));
  EXPECT_EQ(args.size(), 1u);  // the default queue: no -P
}

TEST_F(QueueTest, MissingOrFailingLprIsReported) {
  PrintedDocument doc = ParseSpool(Spool({"DEVICE", " 1 ,hola, 1 "}));
  std::string message;
  Os().runAndWait = [](const std::string&, const std::vector<std::string>&) {
    return ChildResult{OsStatus::NotFound("lpr"), -1};
  };
  EXPECT_FALSE(SendToQueue(doc, "oficina", dir_.folder(), message));
  EXPECT_NE(message.find("lpr"), std::string::npos);
  EXPECT_NE(message.find("oficina"), std::string::npos);
  EXPECT_FALSE(dir_.Exists(kQueueWorkFile));
  Os().runAndWait = [](const std::string&, const std::vector<std::string>&) {
    return ChildResult{OsStatus::Success(), 1};
  };
  EXPECT_FALSE(SendToQueue(doc, "oficina", dir_.folder(), message));
  EXPECT_NE(message.find("1"), std::string::npos);
}

class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override { palvorin::testing::ResetHeadlessScreen(); }
  void TearDown() override { ResetConsoleForTest(); }

  // Two pages of 30 numbered lines, each line 120 columns wide.
  static PrintedDocument TwoPages() {
    std::vector<std::string> records = {"DEVICE"};
    for (int page = 1; page <= 2; ++page) {
      records.push_back("PAGE 66 ");
      for (int line = 1; line <= 30; ++line) {
        std::string text = "P" + std::to_string(page) + "L" + std::to_string(line);
        records.push_back(" 1 ," + text + ", 0 ");
        records.push_back(" 111 ,end" + std::to_string(line) + ", 1 ");
      }
    }
    return ParseSpool(Spool(records));
  }

  static std::string Row(int row) { return Headless().RowText(row); }
};

TEST_F(PreviewTest, ScrollsByLineScreenAndEnds) {
  const PrintedDocument doc = TwoPages();
  struct Case {
    std::vector<int> keys;
    std::string top;  // first listing row after the keys
  };
  const Case cases[] = {
      {{}, "P1L1"},
      {{keys::kDown, keys::kDown}, "P1L3"},
      {{keys::kDown, keys::kUp, keys::kUp}, "P1L1"},
      {{keys::kPgDn}, "P1L24"},
      {{keys::kPgDn, keys::kPgDn, keys::kPgUp}, "P1L16"},  // the second PgDn stops at the end
      {{keys::kEnd}, "P2L8"},  // 61 rows (a page rule between the pages), 23 in view
      {{keys::kEnd, keys::kDown, keys::kPgDn}, "P2L8"},
      {{keys::kEnd, keys::kHome}, "P1L1"},
  };
  for (const Case& c : cases) {
    std::vector<int> fed = c.keys;
    fed.push_back(keys::kEsc);
    Headless().FeedKeys(fed);
    PreviewDocument(doc, "");
    EXPECT_EQ(Row(2).substr(0, c.top.size() + 1), c.top + " ") << c.top;
  }
  // The rule between the pages names the second page.
  Headless().FeedKeys({keys::kPgDn, keys::kEsc});
  PreviewDocument(doc, "");
  EXPECT_NE(Row(9).find(cp850("Pàgina 2")), std::string::npos) << Row(9);
  EXPECT_NE(Row(1).find(cp850("Pàgina 1 / 2")), std::string::npos) << Row(1);
}

TEST_F(PreviewTest, SidewaysViewAndNotice) {
  const PrintedDocument doc = TwoPages();
  Headless().FeedKeys({keys::kRight, keys::kRight, keys::kRight, keys::kRight, keys::kRight,
                       keys::kEsc});
  PreviewDocument(doc, cp850("línia 4: registre desconegut"));
  // The listing is 115 columns wide: the view stops at column 36, where "end" stands at 76.
  EXPECT_EQ(Row(2).substr(75, 5), "end1 ");
  EXPECT_NE(Row(ScreenRows()).find(cp850("línia 4")), std::string::npos);
  Headless().FeedKeys({keys::kRight, keys::kLeft, keys::kLeft, keys::kEsc});
  PreviewDocument(doc, "");
  EXPECT_EQ(Row(2).substr(0, 5), "P1L1 ");
}

// The program itself, as the module runs it: the spool of the temporary folder to the
// destination its device record names.
TEST(ZodirudiProgram, PrintsTheTemporaryFoldersSpoolWhereItsDeviceSays) {
  const std::string program = std::string(PALVORIN_BINARY_DIR) + "/inst/exe/ZODIRUDI";
  if (!std::filesystem::exists(program)) GTEST_SKIP() << "build the ZODIRUDI target first";
  TempDir dir;
  ScopedEnv env("ZEPTMP", dir.folder());
  env.Set("ZEPROOT", dir.folder()).Set("ZEPEXE", "");
  dir.Write("zodirudi.tmp", Spool({"DEVICE" + (dir / "llistat.txt"), "PAGE 66 ", " 1 ,hola, 1 ",
                                   "???", " 3 ,adeu, 1 "}));
  ChildResult run = RunAndWait(program, {});
  ASSERT_TRUE(run.status.ok()) << run.status.message;
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(dir.Read("llistat.txt"), "hola\n  adeu\n");

  // A spool that prints nothing leaves no file; a spool that cannot be read fails.
  dir.Write("buit.tmp", Spool({"DEVICE" + (dir / "buit.txt")}));
  EXPECT_EQ(RunAndWait(program, {dir / "buit.tmp"}).exitCode, 0);
  EXPECT_FALSE(dir.Exists("buit.txt"));
  EXPECT_EQ(RunAndWait(program, {dir / "no-such.tmp"}).exitCode, 1);
  // A destination given on the command line replaces the device record's.
  EXPECT_EQ(RunAndWait(program, {dir / "zodirudi.tmp", dir / "copia.pdf"}).exitCode, 0);
  EXPECT_EQ(dir.Read("copia.pdf").substr(0, 5), "%PDF-");
}

}  // namespace
}  // namespace palvorin::zodirudi
