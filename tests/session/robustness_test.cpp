// Generated inputs for the two readers of the suite's text files: whatever the bytes, the
// configuration reader and the language-file reader return, never read outside their input,
// and give a result that comes from the input.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "os/files.h"
#include "session/language.h"
#include "session/session.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

constexpr int kInputs = 100000;

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  int Below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

  // One byte, mostly from the characters that give the files their structure.
  char Byte() {
    static constexpr char kStructure[] = "[]=;\",  \r\n\r\n\tSKsk\x87\x80 ";
    if (Below(4) == 0) return static_cast<char>(Below(256));
    return kStructure[Below(sizeof kStructure - 1)];
  }

  std::string Text(int maxLength) {
    std::string s(static_cast<size_t>(Below(maxLength + 1)), ' ');
    for (char& c : s) c = Byte();
    return s;
  }

  // Usually a short text; now and then one with a very long line or a long run of one byte.
  std::string FileText() {
    switch (Below(400)) {
      case 0:
        return Text(40) + std::string(static_cast<size_t>(20000 + Below(60000)), 'x') + Text(40);
      case 1:
        return std::string(static_cast<size_t>(Below(30000)), "\"[=,;\r\n"[Below(7)]);
      default:
        return Text(300);
    }
  }

 private:
  std::mt19937 random_;
};

TEST(Robustness, ConfigurationReaderTakesAnyBytes) {
  Generator gen(850);
  for (int i = 0; i < kInputs; ++i) {
    const std::string text = gen.FileText();
    const std::string section = gen.Text(4);
    const std::string key = gen.Text(3);
    const std::string value = IniValueFromText(text, section, key);
    ASSERT_NE(text.find(value), std::string::npos)
        << "input " << i << ": the value must come from the file";
  }
}

TEST(Robustness, LanguageReaderTakesAnyBytes) {
  Generator gen(437);
  static const char* const kCodes[] = {"SPA", "GLG", "OCI", "CAT", "   "};
  for (int i = 0; i < kInputs; ++i) {
    const std::string table = gen.FileText();
    const std::string text = gen.Text(3);
    const std::string result = TranslateFromTable(table, kCodes[gen.Below(5)], text);
    ASSERT_LE(result.size(), std::max(text.size(), table.size())) << "input " << i;
  }
}

TEST(Robustness, FieldReaderAlwaysMovesOnAndEnds) {
  Generator gen(1252);
  for (int i = 0; i < kInputs; ++i) {
    const std::string text = gen.FileText();
    CsvFieldReader reader(text);
    std::string field;
    size_t fields = 0;
    while (!reader.AtEnd()) {
      const size_t before = reader.position();
      reader.ReadField(field);
      ASSERT_GT(reader.position(), before) << "input " << i << " stalls";
      ASSERT_LE(field.size(), text.size());
      ++fields;
    }
    ASSERT_LE(fields, text.size());
  }
}

TEST(Robustness, FileReadersTakeGeneratedFiles) {
  Generator gen(1993);
  palvorin::testing::TempDir root;
  root.MakeDir("LOCALE");
  ResetSessionForTest();
  ResetLanguageForTest();
  SessionState().rootDir = root.folder();
  SessionState().languageCode = "SPA";
  for (int i = 0; i < 300; ++i) {
    const std::string text = gen.FileText();
    root.Write("Kora.ini", text);
    root.Write("LOCALE/PALVORIN.LNG", text);
    const std::string value = ReadIniValue(root.folder() + "Kora.ini", gen.Text(3), gen.Text(3));
    ASSERT_NE(text.find(value), std::string::npos) << "file " << i;
    const std::string key = gen.Text(3);
    ResetLanguageForTest();  // the language file is read once a start: each file is a start
    EXPECT_EQ(Translate(key), TranslateFromTable(text, "SPA", key)) << "file " << i;
  }
  ResetSessionForTest();
  ResetLanguageForTest();
}

}  // namespace
}  // namespace palvorin
