// A temporary installation for the program's start-up: dictionaries generated from the
// module's source, the shipped form file, session files in the temporary folder and the
// environment pointing at them, on the headless console. Every piece of module state is reset
// before and after, and the current directory is put back.
#ifndef PALVORIN_TESTS_SHELL_STARTUP_PROGRAM_FIXTURE_H_
#define PALVORIN_TESTS_SHELL_STARTUP_PROGRAM_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>

#include "console/console.h"
#include "console/headless.h"
#include "datafile/datafile.h"
#include "datafile/dictionary.h"
#include "engine/engine.h"
#include "os/codepage.h"
#include "os/paths.h"
#include "print/spool.h"
#include "receipts/files.h"
#include "receipts/generation.h"
#include "receipts/layouts.h"
#include "receipts/run_params.h"
#include "screen/browse.h"
#include "screen/calculator.h"
#include "screen/forms.h"
#include "screen/keyboard.h"
#include "screen/windows.h"
#include "session/language.h"
#include "session/session.h"
#include "shell/startup.h"
#include "support/installation.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "textlib/dates.h"
#include "textlib/numbers.h"
#include "textlib/text.h"

namespace palvorin::testing {

inline std::string SourceFile(const std::string& relative) {
  return FileContent(std::string(PALVORIN_SOURCE_DIR) + "/" + relative);
}

inline void ResetModuleState() {
  ResetConsoleForTest();
  ResetSessionForTest();
  ResetLanguageForTest();
  ResetFormsForTest();
  ResetBrowseForTest();
  ResetKeyboardForTest();
  ResetWindowsForTest();
  ResetCalculatorForTest();
  ResetDataFilesForTest();
  ResetEngineForTest();
  ResetReceiptFilesForTest();
  ResetReceiptRunForTest();
  ResetRunParametersForTest();
  ResetPrintForTest();
  ResetNumbersForTest();
  ResetCurrencyForTest();
  ResetDatesForTest();
  ResetFoldingForTest();
  ResetProgramForTest();
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedDir_ = CurrentDir();
    ResetModuleState();
    Quiet();
    dir_.MakeDir("DADES");
    dir_.MakeDir("tmp");
    dir_.MakeDir("exe");
    dir_.MakeDir("LOCALE");
    std::string error;
    ASSERT_TRUE(WriteModuleDictionaries(dir_, error)) << error;
    dir_.Write("FORMS/PALVORIN.ZPN", SourceFile("install/FORMS/PALVORIN.ZPN"));
    WriteTerminalFile("CAT");
    dir_.Write("tmp/Sessio.ini", "[Menu]\r\nTitol=PREPARACIO DE REBUTS\r\nNomMenu=PALVORIN\r\n");
    env_.Set("ZEPROOT", dir_.folder()).Set("ZEPEXE", dir_.folder() + "exe/");
    env_.Set("ZEPTMP", dir_.folder() + "tmp/");
    MakeDatabase();
  }

  // An installation in use has its data folder's database; a new one is announced at start-up.
  void MakeDatabase() {
    DataFiles().dictionaryFolder = dir_.folder() + "ddf/";
    std::string area;
    int status = -1;
    DbOpen(hperiodi::kHandle, dir_.folder() + "DADES/HPeriodi", area, status);
    DbReset(status);
    ResetDataFilesForTest();
    Quiet();
  }

  void TearDown() override {
    int status = 0;
    DbReset(status);
    ResetModuleState();
    (void)SetCurrentDir(savedDir_);
  }

  // The record-file layer neither waits, draws nor ends the process in tests.
  void Quiet() {
    DbEnvironment& env = DataFiles().env;
    env.showMessage = [](int, const std::string&) {};
    env.closeMessage = [] {};
    env.waitKey = [] {};
    env.sleep = [](int) {};
    env.exit = [](int) {};
  }

  void WriteTerminalFile(const std::string& language) {
    dir_.Write("tmp/KoraTerm.ini", "[Sistema]\r\nData=20250315\r\nSortida=" + dir_.folder() +
                                       "out.txt\r\nIdioma=" + language + "\r\n");
  }

  // Start-up as the program does it, expected to succeed.
  void Start() {
    std::string message;
    ASSERT_TRUE(StartUp(message)) << message;
    Quiet();
  }

  int Insert(int handle, const std::string& record) {
    RecordArea(handle) = record;
    int status = 0;
    DbInsert(handle, status);
    return status;
  }

  void AddConcept(const std::string& code, char type, const std::string& description) {
    std::string r = BlankRecord(hconcept::kLength);
    PutText(r, hconcept::kCode, 3, code);
    PutText(r, hconcept::kDescription, hconcept::kDescriptionWidth, description);
    PutText(r, hconcept::kType, 1, std::string(1, type));
    ASSERT_EQ(Insert(hconcept::kHandle, r), 0) << code;
  }

  void AddCoOwner(const std::string& code, const std::string& name, const std::string& address,
                  const std::string& department) {
    std::string r = BlankRecord(hprobase::kLength);
    PutText(r, hprobase::kCode, 4, code);
    PutWord(r, hprobase::kBlocked, 0);
    PutText(r, hprobase::kOwnerName, hprobase::kTextWidth, name);
    PutText(r, hprobase::kAddress, hprobase::kTextWidth, address);
    PutText(r, hprobase::kDepartment, hprobase::kDepartmentWidth, department);
    ASSERT_EQ(Insert(hprobase::kHandle, r), 0) << name;
  }

  // A field's stored value without its padding.
  static std::string Value(int screen, int field) {
    std::string v = FormFieldAt(screen, field).value;
    while (!v.empty() && v.back() == ' ') v.pop_back();
    return v;
  }

  static std::string Row(int row) { return Headless().RowText(row); }

  TempDir dir_;
  ScopedEnv env_;
  std::string savedDir_;
};

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SHELL_STARTUP_PROGRAM_FIXTURE_H_
