// The data tool, run as the built program against files in a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "receipts/layouts.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

namespace fs = std::filesystem;

std::string Packed(int value, int width) {
  std::string bytes(width, '\x80');
  for (int i = width - 1; i >= 0; --i, value /= 100) bytes[i] = static_cast<char>(128 + value % 100);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

struct ToolRun {
  int code = -1;
  std::string out, err;
};

class ZepdataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = fs::path(PALVORIN_BINARY_DIR) / "inst/exe/zepdata";
    ddf_ = fs::path(PALVORIN_BINARY_DIR) / "inst/ddf";
    ASSERT_TRUE(fs::exists(tool_)) << "build the zepdata and dictionaries targets first";
    ASSERT_TRUE(fs::exists(ddf_ / "HRebuts.xdf")) << "build the dictionaries target first";
    dir_ = fs::temp_directory_path() /
           ("palvorin-zepdata-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "a" / "DADES");
    fs::create_directories(dir_ / "b" / "DADES");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the tool with `args`, feeding `input`.
  ToolRun Zepdata(const std::string& args, const std::string& input = "") {
    std::ofstream(dir_ / "in", std::ios::binary) << input;
    std::string command = tool_.string() + " --ddf " + ddf_.string() + " " + args + " < " +
                          (dir_ / "in").string() + " > " + (dir_ / "out").string() + " 2> " +
                          (dir_ / "err").string();
    ToolRun run;
    int raw = std::system(command.c_str());
    run.code = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = testing::FileContent(dir_ / "out");
    run.err = testing::FileContent(dir_ / "err");
    return run;
  }

  std::string File(const char* folder, const char* name) {
    return (dir_ / folder / "DADES" / name).string();
  }

  // A charge of co-owner 12.`owner`, with a text holding accents and an odd byte in the unused
  // position, so both line forms have to carry every byte.
  static std::string Charge(int owner, int sequence) {
    std::string rec = BlankRecord(hrebuts::kLength);
    rec.replace(hrebuts::kCode, 4, Packed(12, 2) + Packed(owner, 2));
    rec.replace(hrebuts::kSequence, 2, Packed(sequence, 2));
    PutText(rec, hrebuts::kConcept, 3, "\x80\x82" "A");  // Çé
    PutText(rec, hrebuts::kClass, 1, sequence % 2 ? "Q" : "");
    PutWord(rec, hrebuts::kRemaining, static_cast<int16_t>(-sequence));
    PutDword(rec, hrebuts::kAmount, -1234 * sequence);
    PutByte(rec, 16, sequence == 2 ? 0 : ' ');
    PutText(rec, hrebuts::kPeriodicity, 4, "MEN");
    return rec;
  }

  std::string ChargeLines() {
    std::string lines;
    for (int owner : {3, 1, 2}) {
      for (int seq : {2, 1}) lines += Hex(Charge(owner, seq)) + "\n";
    }
    return lines;
  }

  fs::path tool_, ddf_, dir_;
};

TEST_F(ZepdataTest, HexDumpLoadedIntoANewFileDumpsTheSameLines) {
  ToolRun load = Zepdata("load " + File("a", "HRebuts"), ChargeLines());
  ASSERT_EQ(load.code, 0) << load.err;
  ToolRun first = Zepdata("dump " + File("a", "HRebuts"));
  ASSERT_EQ(first.code, 0) << first.err;
  EXPECT_EQ(first.out.substr(0, 43), Hex(Charge(1, 1)) + "\n");  // key 0 order
  EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'), 6);
  ASSERT_EQ(Zepdata("load " + File("b", "HRebuts"), first.out).code, 0);
  EXPECT_EQ(Zepdata("dump " + File("b", "HRebuts")).out, first.out);
}

TEST_F(ZepdataTest, FieldDumpLoadsBackToTheSameBytes) {
  ASSERT_EQ(Zepdata("load " + File("a", "HRebuts"), ChargeLines()).code, 0);
  ToolRun fields = Zepdata("dump --fields " + File("a", "HRebuts"));
  ASSERT_EQ(fields.code, 0) << fields.err;
  std::istringstream lines(fields.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line,
            "{\"code\":\"12.1\",\"sequence\":\"0001\",\"concept\":\"\xC3\x87\xC3\xA9"
            "A\",\"class\":\"Q\",\"remaining\":-1,\"amount\":-12.34,\"periodicity\":\"MEN\"}");
  std::getline(lines, line);
  EXPECT_NE(line.find("\"class\":\"\",\"remaining\":-2,\"amount\":-24.68,\"@16\":\"00\""),
            std::string::npos)
      << line;
  ASSERT_EQ(Zepdata("load --fields " + File("b", "HRebuts"), fields.out).code, 0);
  EXPECT_EQ(Zepdata("dump " + File("b", "HRebuts")).out,
            Zepdata("dump " + File("a", "HRebuts")).out);
}

TEST_F(ZepdataTest, FieldLinesTakeDisplayForms) {
  ToolRun load = Zepdata("load --fields " + File("a", "HCapRebu"),
                     "{\"code\":\"12.3\",\"issue\":\"2403\",\"issue_date\":\"2024-03-07\","
                     "\"total\":-12.5,\"remittance\":\"0150\",\"account\":\"ES12\"}\n"
                     "{\"code\":\"12\",\"issue\":\"2403\",\"issue_date\":\"\"}\n");
  ASSERT_EQ(load.code, 0) << load.err;
  ToolRun dump = Zepdata("dump " + File("a", "HCapRebu"));
  std::string want = Packed(12, 2) + Packed(0, 2) + Packed(2403, 2) + Packed(0, 4);
  EXPECT_EQ(dump.out.substr(0, want.size() * 2), Hex(want));  // the building itself sorts first
  std::string second = dump.out.substr(dump.out.find('\n') + 1);
  std::string rec = Packed(12, 2) + Packed(3, 2) + Packed(2403, 2) + Packed(20240307, 4);
  EXPECT_EQ(second.substr(0, rec.size() * 2), Hex(rec));
  EXPECT_EQ(second.substr(20, 8), Hex(std::string("\x1e\xfb\xff\xff", 4)));  // -1250
  EXPECT_EQ(second.substr(30, 4), Hex("A\xB2"));
}

TEST_F(ZepdataTest, AMalformedLineOrARefusedInsertKeepsNothingOfTheLoad) {
  ASSERT_EQ(Zepdata("load " + File("a", "HRebuts"), Hex(Charge(1, 1)) + "\n").code, 0);
  std::string before = Zepdata("dump " + File("a", "HRebuts")).out;
  struct Case {
    std::string input;
    std::string message;
  };
  const Case kCases[] = {
      {Hex(Charge(2, 1)) + "\n" + Hex(Charge(2, 2)).substr(2) + "\n", "line 2: not 42 hex digits"},
      {Hex(Charge(2, 1)) + "\nzz\n", "line 2: not 42 hex digits"},
      {Hex(Charge(2, 1)) + "\n\n" + Hex(Charge(1, 1)) + "\n", "line 3: insert refused (5, duplicate key)"},
  };
  for (const Case& c : kCases) {
    ToolRun load = Zepdata("load " + File("a", "HRebuts"), c.input);
    EXPECT_EQ(load.code, 1) << c.message;
    EXPECT_NE(load.err.find(c.message), std::string::npos) << load.err;
    EXPECT_EQ(Zepdata("dump " + File("a", "HRebuts")).out, before) << c.message;
  }
  ToolRun bad = Zepdata("load --fields " + File("a", "HRebuts"),
                    "{\"code\":\"12.9\"}\n{\"amount\":1.234}\n");
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.err.find("line 2: \"amount\" must be an amount with up to two decimals"),
            std::string::npos)
      << bad.err;
  EXPECT_EQ(Zepdata("dump " + File("a", "HRebuts")).out, before);
  // A malformed load into a missing file does not create it.
  EXPECT_EQ(Zepdata("load " + File("b", "HRebuts"), "00\n").code, 1);
  EXPECT_EQ(Zepdata("dump " + File("b", "HRebuts")).code, 1);
}

TEST_F(ZepdataTest, AFieldLoadRefusesTextsAndDatesItCouldNotKeepAsGiven) {
  const std::pair<std::string, std::string> kCases[] = {
      {"\"account\":\"\xC3\"", "\"account\" is not valid UTF-8"},
      {"\"account\":\"5\xE2\x82\xAC\"", "\"account\" holds a character that code page 850"},
      {"\"account\":\"A\\u0000B\"", "\"account\" holds a control character"},
      {"\"issue_date\":\"2025-02-30\"", "\"issue_date\" is no day of the calendar"},
      {"\"issue_date\":\"2025-13-45\"", "\"issue_date\" is no day of the calendar"},
  };
  for (const auto& [member, message] : kCases) {
    const std::string lines = "{\"code\":\"12.1\"}\n{\"code\":\"12.2\"," + member + "}\n";
    ToolRun load = Zepdata("load --fields " + File("a", "HCapRebu"), lines);
    EXPECT_EQ(load.code, 1) << member;
    EXPECT_NE(load.err.find("line 2: " + message), std::string::npos) << load.err;
  }
  EXPECT_EQ(Zepdata("dump " + File("a", "HCapRebu")).out, "") << "nothing was loaded";
}

TEST_F(ZepdataTest, CheckCountsTheRecordsEveryKeyReaches) {
  ASSERT_EQ(Zepdata("create " + File("a", "HRebuts")).code, 0);
  ToolRun again = Zepdata("create " + File("a", "HRebuts"));
  EXPECT_EQ(again.code, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos);
  ASSERT_EQ(Zepdata("load " + File("a", "HRebuts"), ChargeLines()).code, 0);
  ToolRun check = Zepdata("check " + File("a", "HRebuts"));
  EXPECT_EQ(check.code, 0) << check.err;
  EXPECT_EQ(check.out, File("a", "HRebuts") + ": 6 records; key 0: 6; key 1: 6\n");
  EXPECT_EQ(Zepdata("check " + File("a", "HNothing")).code, 1);
  EXPECT_EQ(Zepdata("frobnicate x").code, 2);
  ASSERT_TRUE(testing::RunSql((dir_ / "a" / "DADES").string(),
                              "UPDATE \"hrebuts.dat\" SET data = x'30' WHERE id = 3"));
  check = Zepdata("check " + File("a", "HRebuts"));
  EXPECT_EQ(check.code, 1);
  EXPECT_EQ(check.out, File("a", "HRebuts") + ": 6 records; key 0: 6; key 1: 6; damaged record "
                                               "in hrebuts.dat at position 3: 1 bytes, not 21\n");
  // A file damaged from outside is named as such, never taken for a missing one.
  ASSERT_TRUE(testing::RunSql((dir_ / "a" / "DADES").string(),
                              "DELETE FROM palvorin_files WHERE CAST(name AS TEXT) = 'hrebuts.dat'"));
  check = Zepdata("check " + File("a", "HRebuts"));
  EXPECT_NE(check.err.find("hrebuts.dat has a table but is not listed"), std::string::npos);
  std::ofstream(dir_ / "b" / "DADES" / "zepdata.sqlite") << "not a database";
  check = Zepdata("dump " + File("b", "HRebuts"));
  EXPECT_NE(check.err.find("cannot open " + File("b", "HRebuts.dat") + " (30)"), std::string::npos);
}

}  // namespace
}  // namespace palvorin
