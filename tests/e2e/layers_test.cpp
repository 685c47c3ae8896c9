// The folders of src/ stand on floors: a folder includes only folders on the floors below its
// own, and the record-file layer, the spool writer and the text library draw nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

TEST(LayersTest, EveryIncludeOfSrcPointsToALowerFloor) {
  const std::map<std::string, int> floor = {
      {"os", 0},      {"session", 1}, {"engine", 1},   {"console", 1}, {"textlib", 2},
      {"print", 2},   {"datafile", 3}, {"screen", 3},  {"receipts", 4}, {"shell", 5}};
  const std::regex include(R"(^\s*#\s*include\s+"([a-z_]+)/)");
  const std::filesystem::path src = std::filesystem::path(PALVORIN_SOURCE_DIR) / "src";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string folder = entry.path().parent_path().filename().string();
    ASSERT_TRUE(floor.count(folder)) << "no floor for src/" << folder;
    std::ifstream in(entry.path());
    std::smatch match;
    for (std::string line; std::getline(in, line);) {
      if (!std::regex_search(line, match, include) || match[1] == folder) continue;
      const std::string target = match[1];
      ASSERT_TRUE(floor.count(target)) << entry.path() << ": " << line;
      EXPECT_LT(floor.at(target), floor.at(folder)) << entry.path() << ": " << line;
      const bool drawsNothing = folder == "datafile" || folder == "print" || folder == "textlib";
      EXPECT_FALSE(drawsNothing && target == "console") << entry.path() << ": " << line;
    }
  }
}

}  // namespace
