// Record layouts: field access, remittance codes, the parameter block, and the field tables
// agreeing with the dictionary source the data files are created from.
#include "receipts/layouts.h"

#include <gtest/gtest.h>

#include "datafile/dictionary.h"
#include "support/installation.h"

namespace palvorin {
namespace {

TEST(LayoutFields, NumbersAreLittleEndianAndSigned) {
  std::string rec = BlankRecord(8);
  PutWord(rec, 0, -2);
  PutDword(rec, 2, 0x01020304);
  EXPECT_EQ(rec.substr(0, 6), std::string("\xFE\xFF\x04\x03\x02\x01", 6));
  EXPECT_EQ(GetWord(rec, 0), -2);
  EXPECT_EQ(GetDword(rec, 2), 0x01020304);
  PutDword(rec, 4, -123456789);
  EXPECT_EQ(GetDword(rec, 4), -123456789);
  PutByte(rec, 0, 200);
  EXPECT_EQ(GetByte(rec, 0), 200);
  EXPECT_EQ(rec.size(), 8u);
}

TEST(LayoutFields, TextsArePaddedOrCutToTheirWidth) {
  std::string rec(10, '*');
  PutText(rec, 2, 5, "AB");
  EXPECT_EQ(rec, "**AB   ***");
  PutText(rec, 2, 5, "ABCDEFGH");
  EXPECT_EQ(rec, "**ABCDE***");
  EXPECT_EQ(GetText(rec, 3, 3), "BCD");
}

TEST(RemittanceCode, EncodesAndShowsTheHundredsAsALetter) {
  struct Case {
    int number;
    std::string code;
    std::string shown;
  };
  const Case kCases[] = {
      {0, std::string(" \x80"), "0000"},     {7, std::string(" \x87"), "0007"},
      {150, std::string("A\xB2"), "0150"},   {250, std::string("B\xB2"), "0250"},
      {399, std::string("F\xE3"), "0399"},   {400, std::string("\x84\x80"), "0400"},
      {1234, std::string("\x8C\xA2"), "1234"}, {9999, std::string("\xE3\xE3"), "9999"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(EncodeRemittance(c.number), c.code) << c.number;
    EXPECT_EQ(RemittanceDisplay(c.code), c.shown) << c.number;
    EXPECT_EQ(RemittanceCode(c.shown), c.code) << c.shown;
  }
  EXPECT_EQ(RemittanceDisplay(std::string("a\xB2")), "0150");  // the letter in either case
  EXPECT_EQ(RemittanceCode("150"), EncodeRemittance(150));
  EXPECT_EQ(EncodeRemittance(-5), EncodeRemittance(0));
  EXPECT_EQ(EncodeRemittance(12000), EncodeRemittance(9999));
}

TEST(ParamBlock, DefaultsFillWhatTheFileLacks) {
  const std::string defaults = DefaultParamBlock();
  ASSERT_EQ(defaults.size(), 97u);
  EXPECT_EQ(defaults.substr(0, 23), "NVARCOBNHONSUPRHOSFPSFC");
  EXPECT_EQ(defaults.substr(23, 9), "551      ");
  EXPECT_EQ(defaults.substr(86, 11), "431      SS");
  EXPECT_EQ(defaults.substr(hparam::kFeeConcept, 3), "COB");

  EXPECT_EQ(ParamBlockFrom(""), defaults);
  std::string forty(40, 'x');
  EXPECT_EQ(ParamBlockFrom(forty), forty + defaults.substr(40));
  std::string long_(120, 'y');
  EXPECT_EQ(ParamBlockFrom(long_), std::string(97, 'y'));
}

TEST(FileLayouts, FieldsLieInOrderInsideTheirRecords) {
  ASSERT_EQ(FileLayouts().size(), 14u);
  for (const FileLayout& layout : FileLayouts()) {
    int end = 0;
    for (const FieldInfo& f : layout.fields) {
      EXPECT_GE(f.offset, end) << layout.name << " " << f.name;
      end = f.offset + f.width;
    }
    EXPECT_LE(end, layout.length) << layout.name;
  }
}

TEST(FileLayouts, AreFoundByBaseNameInAnyCaseAndFolder) {
  EXPECT_EQ(FindLayout("C:\\ZEP\\DADES\\hrebuts.dat"), FindLayout(hrebuts::kFile));
  EXPECT_EQ(FindLayout("/tmp/run/HRESREBU")->handle, hresrebu::kHandle);
  EXPECT_EQ(FindLayout("DADES\\HProBase")->length, hprobase::kLength);
  EXPECT_EQ(FindLayout("DADES\\HProBas"), nullptr);
}

// The dictionaries the files are created from and the layouts the program reads them with
// come from two places; they must describe the same records.
TEST(FileLayouts, AgreeWithTheDictionarySource) {
  std::vector<DictFile> files;
  std::string error;
  ASSERT_TRUE(ParseDictionarySource(testing::ModuleDictionarySource(), files, error)) << error;
  ASSERT_EQ(files.size(), FileLayouts().size());
  const char* kTypeNames[] = {"text", "byte",   "word", "dword",     "amount",
                              "digits", "code", "date", "remittance"};
  for (const DictFile& file : files) {
    const FileLayout* layout = FindLayout(file.base);
    ASSERT_NE(layout, nullptr) << file.base;
    EXPECT_EQ(file.recordLength, layout->length) << file.base;
    ASSERT_EQ(file.fields.size(), layout->fields.size()) << file.base;
    for (size_t i = 0; i < file.fields.size(); ++i) {
      const DictField& d = file.fields[i];
      const FieldInfo& f = layout->fields[i];
      EXPECT_EQ(d.name, f.name) << file.base;
      EXPECT_EQ(d.offset, f.offset) << file.base << " " << d.name;
      EXPECT_EQ(d.width, f.width) << file.base << " " << d.name;
      EXPECT_EQ(d.type, kTypeNames[static_cast<int>(f.type)]) << file.base << " " << d.name;
    }
  }
}

}  // namespace
}  // namespace palvorin
