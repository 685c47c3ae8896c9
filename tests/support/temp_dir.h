// A fresh temporary folder for one test, removed with everything in it when the test ends.
#ifndef PALVORIN_TESTS_SUPPORT_TEMP_DIR_H_
#define PALVORIN_TESTS_SUPPORT_TEMP_DIR_H_

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "os/files.h"

namespace palvorin::testing {

// The bytes of the file at `path`, empty when it does not exist or cannot be read.
inline std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `sql` on the database of the data folder `dir` behind the engine's back, as damage from
// outside would; false when it fails.
inline bool RunSql(const std::string& dir, const std::string& sql) {
  sqlite3* db = nullptr;
  const bool ok = sqlite3_open((dir + "/zepdata.sqlite").c_str(), &db) == SQLITE_OK &&
                  sqlite3_busy_timeout(db, 2000) == SQLITE_OK &&
                  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

class TempDir : public TempFolder {
 public:
  TempDir() : TempFolder("palvorin") {}

  // The folder with a final "/", ready for concatenation as the program does with its folders.
  std::string folder() const { return path() + "/"; }
  // The full path of `relative` ("DADES/HFinca") inside the folder.
  std::string operator/(std::string_view relative) const {
    return path() + "/" + std::string(relative);
  }

  // Writes `bytes` to `relative`, creating the folders on the way; returns the full path.
  std::string Write(std::string_view relative, std::string_view bytes) const {
    const std::filesystem::path file = std::filesystem::path(path()) / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }
  // The content of `relative`, empty when it does not exist.
  std::string Read(std::string_view relative) const {
    return FileContent((std::filesystem::path(path()) / relative).string());
  }
  bool Exists(std::string_view relative) const {
    return std::filesystem::exists(std::filesystem::path(path()) / relative);
  }
  // Creates the folder `relative` (and its parents); returns its full path.
  std::string MakeDir(std::string_view relative) const {
    const std::filesystem::path dir = std::filesystem::path(path()) / relative;
    std::filesystem::create_directories(dir);
    return dir.string();
  }
};

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SUPPORT_TEMP_DIR_H_
