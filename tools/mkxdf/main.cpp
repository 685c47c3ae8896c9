// mkxdf SOURCE DIR: writes DIR/<base>.xdf for every file the dictionary source describes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "datafile/dictionary.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: mkxdf SOURCE DIR\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "mkxdf: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<palvorin::DictFile> files;
  std::string error;
  if (!palvorin::ParseDictionarySource(text.str(), files, error)) {
    std::cerr << argv[1] << ": " << error << "\n";
    return 1;
  }
  std::filesystem::path dir(argv[2]);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (const palvorin::DictFile& file : files) {
    // Written beside and renamed over, so a dictionary is never seen half written.
    std::filesystem::path target = dir / (file.base + ".xdf");
    std::filesystem::path temp = dir / (file.base + ".xdf.tmp");
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      std::string bytes = palvorin::DictionaryBytes(file);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!out) {
        std::cerr << "mkxdf: cannot write " << temp << "\n";
        return 1;
      }
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
      std::cerr << "mkxdf: cannot write " << target << ": " << ec.message() << "\n";
      return 1;
    }
  }
  return 0;
}
