// The dictionary source reader and the create buffers it makes.
#include "datafile/dictionary.h"

#include <gtest/gtest.h>

namespace palvorin {
namespace {

int Word(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

TEST(DictionarySource, ReadsFilesKeysAndFields) {
  std::vector<DictFile> files;
  std::string error;
  ASSERT_TRUE(ParseDictionarySource("# charges\n"
                                    "file HRebuts 21\n"
                                    "key 0,4 + 4,2\n"
                                    "  key dup mod 0,4 + 6,3,acs\n"
                                    "field amount 12 4 amount\n"
                                    "field code 0 4 code\n"
                                    "\n"
                                    "file Other 10 page 1024\n"
                                    "key 2,4,binary\n",
                                    files, error))
      << error;
  ASSERT_EQ(files.size(), 2u);
  const DictFile& f = files[0];
  EXPECT_EQ(f.base, "HRebuts");
  EXPECT_EQ(f.recordLength, 21);
  EXPECT_EQ(f.pageSize, 4096);
  ASSERT_EQ(f.keys.size(), 2u);
  EXPECT_FALSE(f.keys[0].duplicates);
  EXPECT_TRUE(f.keys[1].duplicates);
  EXPECT_TRUE(f.keys[1].modifiable);
  EXPECT_TRUE(f.keys[1].segments[1].acs);
  ASSERT_EQ(f.fields.size(), 2u);
  EXPECT_EQ(f.fields[0].name, "code");  // in offset order
  EXPECT_EQ(files[1].pageSize, 1024);
  EXPECT_TRUE(files[1].keys[0].segments[0].binary);
}

TEST(DictionarySource, RefusesWhatItCannotTakeNamingTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case kCases[] = {
      {"key 0,2\n", "line 1: \"key\" before the first file"},
      {"file A 10\nkey 8,4\n", "line 2: segment \"8,4\" runs past the record"},
      {"file A 10\nkey 0,x\n", "line 2: segment \"0,x\" is not OFFSET,LENGTH"},
      {"file A 10\nkey 0,2 +\n", "line 2: a key needs segments joined by \"+\""},
      {"file A 10\nkey 0,2 2,2\n", "line 2: unexpected \"2,2\" in a key"},
      {"file A 10\nfield a 0 2 text\n", "line 2: file A has no key"},
      {"file A 10\nkey 0,2\nfield a 0 4 text\nfield b 3 2 word\n",
       "line 4: field b overlaps a"},
      {"file A 10\nkey 0,2\nfield a 0 4 texte\n", "line 3: unknown field type \"texte\""},
      {"file A 2000\n", "line 1: record length must be 1 to 1536"},
      {"file A 300\nkey 0,200 + 200,60\n", "line 2: key longer than 255 bytes"},
      {"file A 10\nkey 0,2\nindex 0,2\n", "line 3: unknown word \"index\""},
  };
  for (const Case& c : kCases) {
    std::vector<DictFile> files;
    std::string error;
    EXPECT_FALSE(ParseDictionarySource(c.text, files, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST(DictionaryBytes, CarryTheCreateBufferAfterItsLength) {
  std::vector<DictFile> files;
  std::string error;
  ASSERT_TRUE(ParseDictionarySource("file P 300\nkey 0,4\nkey mod 21,40,acs + 0,4\n", files,
                                    error));
  std::string bytes = DictionaryBytes(files[0]);
  ASSERT_EQ(Word(bytes, 0), static_cast<int>(bytes.size()) - 2);
  std::string create = bytes.substr(2);
  ASSERT_EQ(create.size(), 16u + 3 * 16 + 265);
  EXPECT_EQ(Word(create, 0), 300);
  EXPECT_EQ(Word(create, 2), 4096);
  EXPECT_EQ(Word(create, 4), 2);  // keys, not segments
  // Segments: positions are 1-based; the segmented flag joins a key's segments.
  struct Seg {
    int position, length, flags, key;
  };
  const Seg kSegs[] = {{1, 4, 0x00, 0}, {22, 40, 0x32, 1}, {1, 4, 0x02, 1}};
  for (int i = 0; i < 3; ++i) {
    size_t at = 16 + 16 * i;
    EXPECT_EQ(Word(create, at), kSegs[i].position) << i;
    EXPECT_EQ(Word(create, at + 2), kSegs[i].length) << i;
    EXPECT_EQ(Word(create, at + 4), kSegs[i].flags) << i;
    EXPECT_EQ(create[at + 14], kSegs[i].key) << i;
  }
  size_t acs = 16 + 3 * 16;
  EXPECT_EQ(static_cast<unsigned char>(create[acs]), 0xAC);
  EXPECT_EQ(create.substr(acs + 1, 8), "UPPER850");
  EXPECT_EQ(create[acs + 9 + 'e'], 'E');
}

TEST(Upper850, FoldsLettersToPlainCapitalsAndLeavesTheRest) {
  auto table = Upper850Table();
  struct Case {
    unsigned char from, to;
  };
  const Case kCases[] = {{'a', 'A'}, {'z', 'Z'}, {'A', 'A'},   {0x87, 'C'} /* ç */,
                         {0x80, 'C'} /* Ç */,     {0xA4, 'N'} /* ñ */,     {0x82, 'E'} /* é */,
                         {0x90, 'E'} /* É */,     {0xB7, 'A'} /* À */,     {'0', '0'},
                         {' ', ' '},  {'*', '*'}, {0x00, 0x00}, {0xFF, 0xFF}, {0x9C, 0x9C} /* £ */,
                         {'[', '['},  {0xE1, 'S'} /* ß */,
                         // The capital and small letters of the D0-ED row, dotless i among them.
                         {0xD4, 'E'} /* È */,     {0xD5, 'I'} /* ı */,     {0xD6, 'I'} /* Í */,
                         {0xDE, 'I'} /* Ì */,     {0xE0, 'O'} /* Ó */,     {0xE9, 'U'} /* Ú */,
                         {0xEC, 'Y'} /* ý */,     {0xED, 'Y'} /* Ý */};
  for (const Case& c : kCases) EXPECT_EQ(table[c.from], c.to) << int(c.from);
}

}  // namespace
}  // namespace palvorin
