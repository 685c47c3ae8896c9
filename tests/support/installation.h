// The parts of a temporary installation that the receipt, program and demo-data tests build
// alike: the list of the module's data files, their dictionaries, and a record-file layer
// that neither draws, beeps nor waits.
#ifndef PALVORIN_TESTS_SUPPORT_INSTALLATION_H_
#define PALVORIN_TESTS_SUPPORT_INSTALLATION_H_

#include <string>
#include <vector>

#include "datafile/datafile.h"
#include "datafile/dictionary.h"
#include "receipts/layouts.h"
#include "support/temp_dir.h"

namespace palvorin::testing {

// Every data file of DADES with the handle the module opens it under.
struct ModuleDataFile {
  const char* base;
  int handle;
};
inline constexpr ModuleDataFile kModuleDataFiles[] = {
    {"HFinca", hfinca::kHandle},     {"HProBase", hprobase::kHandle},
    {"HProEcon", hproecon::kHandle}, {"HProBanc", hprobanc::kHandle},
    {"HRebuts", hrebuts::kHandle},   {"HConcept", hconcept::kHandle},
    {"HCapRebu", hcaprebu::kHandle}, {"HLinRebu", hlinrebu::kHandle},
    {"HNOTIFIC", hnotific::kHandle}, {"HTransfe", htransfe::kHandle},
    {"HCobros", hcobros::kHandle},   {"Remeses", remeses::kHandle},
    {"HPeriodi", hperiodi::kHandle}};

// The module's dictionary source, as the installation's dictionaries are generated from it.
inline std::string ModuleDictionarySource() {
  return FileContent(std::string(PALVORIN_SOURCE_DIR) + "/install/dict/files.txt");
}

// Writes ddf/<file>.xdf in `dir` for every data file of the module's dictionary source. False,
// with the parser's `error`, when the source does not parse.
inline bool WriteModuleDictionaries(const TempDir& dir, std::string& error) {
  std::vector<DictFile> files;
  if (!ParseDictionarySource(ModuleDictionarySource(), files, error)) return false;
  for (const DictFile& f : files) dir.Write("ddf/" + f.base + ".xdf", DictionaryBytes(f));
  return true;
}

// The record-file layer shows no message, beeps at no one and never waits or sleeps. What an
// exit does is left to the caller.
inline void SilenceDataFiles() {
  DbEnvironment& env = DataFiles().env;
  env.showMessage = [](int, const std::string&) {};
  env.closeMessage = [] {};
  env.beep = [] {};
  env.discardKeys = [] {};
  env.waitKey = [] {};
  env.sleep = [](int) {};
}

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SUPPORT_INSTALLATION_H_
