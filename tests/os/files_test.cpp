#include "os/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace palvorin {
namespace {

using palvorin::testing::TempDir;

std::string ReadAt(BinaryFile& file, int64_t offset, size_t length) {
  std::string out(length, '\0');
  size_t got = 0;
  EXPECT_TRUE(file.Read(offset, out.data(), length, got).ok());
  out.resize(got);
  return out;
}

TEST(BinaryFile, OpenModesCreateOnlyWhenAsked) {
  TempDir dir;
  BinaryFile file;
  EXPECT_TRUE(file.Open(dir / "hparam.tab", FileMode::Read).IsNotFound());
  EXPECT_TRUE(file.Open(dir / "hparam.tab", FileMode::ReadWrite).IsNotFound());
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.Open(dir.path() + "\\HParam.tab", FileMode::ReadWriteCreate).ok());
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(file.path(), dir / "HParam.tab");
  file.Close();

  dir.Write("HParam.tab", "NVARCOB");
  ASSERT_TRUE(file.Open(dir / "hparam.TAB", FileMode::ReadWriteCreate).ok());
  EXPECT_EQ(ReadAt(file, 0, 100), "NVARCOB") << "an existing file keeps its content";
  ASSERT_TRUE(file.Open(dir / "HParam.tab", FileMode::CreateFresh).ok());
  int64_t size = -1;
  EXPECT_TRUE(file.Size(size).ok());
  EXPECT_EQ(size, 0);
}

TEST(BinaryFile, ReadsAndWritesByPosition) {
  TempDir dir;
  BinaryFile file;
  ASSERT_TRUE(file.Open(dir / "f.bin", FileMode::ReadWriteCreate).ok());
  EXPECT_TRUE(file.Write(0, "ABCDEF").ok());
  EXPECT_TRUE(file.Write(2, std::string("\0\xFF", 2)).ok());
  EXPECT_EQ(ReadAt(file, 0, 6), std::string("AB\0\xFF" "EF", 6));
  EXPECT_EQ(ReadAt(file, 4, 10), "EF") << "a read past the end gives what there is";
  EXPECT_EQ(ReadAt(file, 50, 4), "");
  EXPECT_TRUE(file.Write(8, "Z").ok());
  EXPECT_EQ(ReadAt(file, 6, 3), std::string("\0\0Z", 3)) << "a gap reads as zero bytes";
  EXPECT_TRUE(file.Append("!!").ok());
  EXPECT_TRUE(file.Truncate(3).ok());
  EXPECT_TRUE(file.Sync().ok());
  EXPECT_EQ(dir.Read("f.bin"), std::string("AB\0", 3));
  EXPECT_FALSE(file.Write(-1, "x").ok());

  BinaryFile moved = std::move(file);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Write(0, "x").ok()) << "a closed file reports an error";
  EXPECT_TRUE(moved.Write(0, "ok").ok());
  moved = BinaryFile();
  EXPECT_EQ(dir.Read("f.bin"), std::string("ok\0", 3));
}

TEST(WholeFiles, ReadWriteAppendAndCreate) {
  TempDir dir;
  std::string bytes = "junk";
  EXPECT_TRUE(ReadWholeFile(dir / "none", bytes).IsNotFound());
  EXPECT_EQ(bytes, "");

  const std::string big(200000, '\xB3');  // larger than one read
  EXPECT_TRUE(WriteWholeFile(dir / "big", big).ok());
  EXPECT_TRUE(ReadWholeFile(dir / "BIG", bytes).ok());
  EXPECT_EQ(bytes, big);

  EXPECT_TRUE(AppendToFile(dir / "db.log", " 41 ").ok());
  EXPECT_TRUE(AppendToFile(dir / "db.log", "\r\n").ok());
  EXPECT_EQ(dir.Read("db.log"), " 41 \r\n");

  dir.Write("keep", "content");
  EXPECT_TRUE(CreateIfMissing(dir / "KEEP").ok());
  EXPECT_EQ(dir.Read("keep"), "content");
  EXPECT_TRUE(CreateIfMissing(dir / "new").ok());
  EXPECT_TRUE(dir.Exists("new"));
  EXPECT_FALSE(CreateIfMissing(dir / "nofolder/new").ok());
}

TEST(WholeFiles, AFailedSafeWriteLeavesTheOldContentAndNoTemporaryFile) {
  TempDir dir;
  dir.Write("HParam.tab", "old");
  EXPECT_TRUE(WriteWholeFile(dir / "HParam.tab", "new").ok());
  EXPECT_EQ(dir.Read("HParam.tab"), "new");

  // A folder in the way of the rename: the write fails, the folder stays as it was.
  dir.MakeDir("blocked/inside");
  EXPECT_FALSE(WriteWholeFile(dir / "blocked", "x").ok());
  EXPECT_TRUE(dir.Exists("blocked/inside"));
  EXPECT_FALSE(WriteWholeFile(dir / "missing/file", "x").ok());

  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"HParam.tab", "blocked"}));
}

TEST(WholeFiles, NoLinkIsFollowedAndAReplacedFileKeepsItsMode) {
  namespace fs = std::filesystem;
  TempDir dir;
  dir.Write("victim", "keep");
  // Links in place of the spool, the window stack, and the first temporary files a whole-file
  // write of this process may name.
  std::vector<std::string> links = {"zodirudi.tmp", "WinPush.tmp"};
  const std::string temporary = "HParam.tab.tmp-" + std::to_string(::getpid()) + "-";
  for (int n = 1; n <= 20; ++n) links.push_back(temporary + std::to_string(n));
  for (const std::string& name : links) fs::create_symlink(dir / "victim", dir / name);
  BinaryFile file;
  ASSERT_TRUE(file.Open(dir / "zodirudi.tmp", FileMode::CreateFresh).ok());
  ASSERT_TRUE(file.Write(0, "spool").ok());
  EXPECT_FALSE(file.Open(dir / "WinPush.tmp", FileMode::ReadWriteCreate).ok());
  const fs::perms shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(dir.Write("HParam.tab", "old"), shared);
  const mode_t mask = ::umask(077);
  EXPECT_TRUE(WriteWholeFile(dir / "HParam.tab", "new").ok());
  ::umask(mask);
  EXPECT_EQ(fs::status(dir / "HParam.tab").permissions(), shared);
  EXPECT_EQ(dir.Read("HParam.tab") + dir.Read("zodirudi.tmp") + dir.Read("victim"), "newspoolkeep");
}

TEST(DeleteFile, AsksTheDataFileDeleterFirstWithTheLinuxPath) {
  TempDir dir;
  dir.MakeDir("tmp");
  std::vector<std::string> asked;
  bool hasTable = true;
  SetDataFileDeleter([&](const std::string& path) {
    asked.push_back(path);
    const bool had = hasTable;
    hasTable = false;
    return had;
  });
  // The table existed but no plain file: the deletion succeeded.
  EXPECT_TRUE(DeleteFile(dir.path() + "\\TMP\\hresrebu.dat").ok());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], dir / "tmp/hresrebu.dat");
  // Neither table nor file.
  EXPECT_TRUE(DeleteFile(dir / "tmp/hresrebu.dat").IsNotFound());
  // A plain file only.
  dir.Write("tmp/hresrebu.dat", "");
  EXPECT_TRUE(DeleteFile(dir / "tmp/hresrebu.dat").ok());
  EXPECT_FALSE(dir.Exists("tmp/hresrebu.dat"));
  EXPECT_EQ(asked.size(), 3u);

  SetDataFileDeleter(nullptr);
  dir.Write("x", "");
  EXPECT_TRUE(DeleteFile(dir / "X").ok());
  EXPECT_TRUE(DeleteFile(dir / "x").IsNotFound());
  EXPECT_EQ(asked.size(), 3u);
}

TEST(LineReader, SplitsDosAndLinuxLines) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case kCases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\n", {""}},
      {"a\r", {"a"}},
      {"a\n\r", {"a"}},
      {"x\ry\n", {"x\ry"}},
      {std::string("\0=\0\n", 4), {std::string("\0=\0", 3)}},
  };
  for (const Case& c : kCases) {
    LineReader reader(c.text);
    std::vector<std::string> got;
    std::string line;
    while (reader.ReadLine(line)) got.push_back(line);
    EXPECT_EQ(got, c.lines) << "text: " << c.text;
    EXPECT_TRUE(reader.AtEnd());
  }
}

std::vector<std::string> AllFields(std::string_view text) {
  CsvFieldReader reader(text);
  std::vector<std::string> fields;
  std::string field;
  while (!reader.AtEnd()) {
    reader.ReadField(field);
    fields.push_back(field);
  }
  return fields;
}

TEST(CsvFieldReader, ReadsFieldsAsTheSuitesSequentialInputDoes) {
  using Fields = std::vector<std::string>;
  struct Case {
    std::string text;
    Fields fields;
  };
  const Case kCases[] = {
      {"A,B,C,D\r\n", {"A", "B", "C", "D"}},  // CR LF is one line end
      {"  lead,trail  ,x", {"lead", "trail  ", "x"}},
      {"\" CONCEPTES \",b", {" CONCEPTES ", "b"}},
      {"\"a,b\"ignored,c", {"a,b", "c"}},
      {"\"a\"  rest\r\nnext", {"a", "next"}},
      {"\"open to the end", {"open to the end"}},
      {"a\tb,c", {"ab", "c"}},
      {"\"q\tr\"", {"qr"}},
      {",,", {"", ""}},
      {"key,\r\n", {"key", ""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a,b\nc,d", {"a", "b", "c", "d"}},   // Linux line ends
      {"a,b\n\nc", {"a", "b", "", "c"}},
      {"a\n\tb", {"a", "b"}},
      {"  \"x\"", {"x"}},
      {"mid\"quote\",x", {"mid\"quote\"", "x"}},
      {"\"\",\"\"", {"", ""}},
      {"\"a\rb\",c", {"a\rb", "c"}},
  };
  for (const Case& c : kCases) EXPECT_EQ(AllFields(c.text), c.fields) << "text: " << c.text;
}

TEST(CsvFieldReader, ReportsTheEndRightAfterTheLastField) {
  CsvFieldReader reader("key,gl,oc,es\r\nlast");
  std::string field;
  for (int i = 0; i < 4; ++i) reader.ReadField(field);
  EXPECT_FALSE(reader.AtEnd());
  reader.ReadField(field);
  EXPECT_EQ(field, "last");
  EXPECT_TRUE(reader.AtEnd());
  reader.ReadField(field);
  EXPECT_EQ(field, "");
}

TEST(CsvFieldReader, PeeksAndSkipsLinesForCommentRecognition) {
  CsvFieldReader reader("  ' comment, with comma\r\n2,3\r\n");
  EXPECT_EQ(reader.PeekLine(), "  ' comment, with comma");
  reader.SkipLine();
  std::string field;
  reader.ReadField(field);
  EXPECT_EQ(field, "2");
  EXPECT_EQ(reader.PeekLine(), "3");
  reader.SkipLine();
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.PeekLine(), "");
  reader.SkipLine();
  EXPECT_TRUE(reader.AtEnd());
}

}  // namespace
}  // namespace palvorin
