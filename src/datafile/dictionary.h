// Record dictionaries: the readable source that describes each data file (record length, page
// size, keys, named fields) and the dictionary file made from it, ddf\<base>.xdf, which holds
// exactly what the engine's Create needs: a 2-byte little-endian length N, then N bytes of create
// buffer (file specification, one 16-byte specification per key segment, and the collating
// table when a segment uses it).
//
// The source is line-oriented text; "#" starts a comment line:
//   file HRebuts 21                  a file: base name, record length [page SIZE]
//   key dup 0,4 + 6,3                a key: [dup] [mod], segments OFFSET,LENGTH[,acs][,binary]
//   field amount 12 4 amount         a named field: name, offset, width, type
#ifndef PALVORIN_DATAFILE_DICTIONARY_H_
#define PALVORIN_DATAFILE_DICTIONARY_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace palvorin {

struct DictSegment {
  int offset = 0;  // 0-based
  int length = 0;
  bool acs = false;     // compared through the UPPER850 table
  bool binary = false;  // compared as an unsigned little-endian number
};

struct DictKey {
  bool duplicates = false;
  bool modifiable = false;
  std::vector<DictSegment> segments;
};

struct DictField {
  std::string name;
  int offset = 0;
  int width = 0;
  std::string type;  // text, byte, word, dword, amount, digits, code, date, remittance
};

struct DictFile {
  std::string base;
  int recordLength = 0;
  int pageSize = 4096;
  std::vector<DictKey> keys;
  std::vector<DictField> fields;
};

// Reads the source. False with `error` naming the line ("line 12: ...") for anything it cannot
// take: an unknown word, a number that is not one, a key or field outside the record, a key
// longer than 255 bytes, overlapping fields, a file without keys.
bool ParseDictionarySource(std::string_view text, std::vector<DictFile>& files,
                           std::string& error);

// The collating table UPPER850: every byte weighs itself except the letters of code page 850,
// small or accented, which weigh as their plain capital.
std::array<uint8_t, 256> Upper850Table();

// The engine's create buffer for `file`.
std::string CreateBuffer(const DictFile& file);
// The dictionary file's bytes: N, then the create buffer.
std::string DictionaryBytes(const DictFile& file);

}  // namespace palvorin

#endif  // PALVORIN_DATAFILE_DICTIONARY_H_
