// The form-file reader, and the module's own form file as shipped.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "console/console.h"
#include "os/codepage.h"
#include "screen/forms.h"
#include "session/language.h"
#include "session/session.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

std::string Same(const std::string& text) { return text; }

FormLoad Parse(std::string_view text, FormState& into, std::string& message) {
  return ParseForm(text, "FORMS/TEST.ZPN", Same, into, message);
}

// A small good form: two screens, one pick list.
constexpr std::string_view kGoodForm =
    "' a comment before the header\r\n"
    "2,3\r\n"
    "' screen 1\r\n"
    "\"d,1b,4800,5000\",2,2,0,0,0,0\r\n"
    "2,3,\"Nom, cognoms: \",20,0,0,0,0,1,\r\n"
    "3,3,Codi  ,4,0,5,9,7,0,\"|S,Si|N,No\"\r\n"
    "   ' screen 2, in a window\n"
    "\"d,1b\",1,0,5,10,12,70\n"
    "1,2,\"Notes: \",40,20,0,1,0,0,\"\"\n"
    "\r\n"
    "' the lists\r\n"
    "1\r\n"
    "' list 1\r\n"
    "42,1,3,6,22,75,0,\"NOM       CODI\",0\r\n";

TEST(ParseForm, ReadsScreensFieldsAndLists) {
  FormState form;
  std::string message;
  ASSERT_EQ(Parse(kGoodForm, form, message), FormLoad::Ok) << message;
  EXPECT_EQ(form.maxFields, 3);
  ASSERT_EQ(form.screens.size(), 2u);
  const FormScreen& s1 = form.screens[0];
  EXPECT_EQ(s1.keys, "d,1b,4800,5000");
  EXPECT_EQ(s1.nextScreen, 2);
  EXPECT_EQ(s1.top, 0);
  ASSERT_EQ(s1.fields.size(), 2u);
  EXPECT_EQ(s1.fields[0].prompt, "Nom, cognoms: ");  // a quoted comma
  EXPECT_EQ(s1.fields[0].help, "");                  // empty item at the line end
  EXPECT_EQ(s1.fields[0].pickList, 1);
  EXPECT_EQ(s1.fields[0].value, std::string(20, ' '));
  EXPECT_EQ(s1.fields[1].prompt, "Codi  ");  // unquoted, trailing spaces kept
  EXPECT_EQ(s1.fields[1].extraWidth, 5);
  EXPECT_EQ(s1.fields[1].flags, 9);
  EXPECT_EQ(s1.fields[1].kind, 7);
  EXPECT_EQ(s1.fields[1].help, "|S,Si|N,No");
  const FormScreen& s2 = form.screens[1];
  EXPECT_EQ((std::vector<int>{s2.top, s2.left, s2.bottom, s2.right}),
            (std::vector<int>{5, 10, 12, 70}));
  EXPECT_EQ(s2.fields[0].pieceLength, 20);
  EXPECT_EQ(s2.fields[0].Lines(), 2);
  ASSERT_EQ(form.lists.size(), 1u);
  EXPECT_EQ(form.lists[0].file, 42);
  EXPECT_EQ(form.lists[0].keyNumber, 1);
  EXPECT_EQ(form.lists[0].right, 75);
  EXPECT_EQ(form.lists[0].header, "NOM       CODI");
}

TEST(ParseForm, TranslatesPromptsHelpAndHeadersAsRead) {
  FormState form;
  std::string message;
  auto upper = [](const std::string& t) {
    std::string u = t;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
  };
  ASSERT_EQ(ParseForm(kGoodForm, "x", upper, form, message), FormLoad::Ok) << message;
  EXPECT_EQ(form.screens[0].fields[0].prompt, "NOM, COGNOMS: ");
  EXPECT_EQ(form.screens[0].fields[1].help, "|S,SI|N,NO");
  EXPECT_EQ(form.lists[0].header, "NOM       CODI");
  EXPECT_EQ(form.screens[0].keys, "d,1b,4800,5000");  // key lists are not texts to translate
}

TEST(ParseForm, RefusesMalformedFilesNamingTheLine) {
  struct Case {
    const char* what;
    std::string text;
    int line;
  };
  const std::string header = "1,2\r\n\"d\",1,0,0,0,0,0\r\n";
  const std::string field = "2,3,\"A: \",5,0,0,0,0,0,\"\"\r\n";
  const std::vector<Case> cases = {
      {"a letter for a number", "1,x\r\n", 1},
      {"the file ends in a screen", header, 3},
      {"the file ends before the lists", header + field, 4},
      {"an unclosed quote", header + "2,3,\"A: ,5,0,0,0,0,0,\"\"\r\n", 3},
      {"text after a closing quote", header + "2,3,\"A: \"x,5,0,0,0,0,0,\"\"\r\n", 3},
      {"more fields than the maximum", "1,1\r\n\"d\",2,0,0,0,0,0\r\n" + field + field + "0\r\n", 2},
      {"a next screen that does not exist", "1,2\r\n\"d\",1,2,0,0,0,0\r\n" + field + "0\r\n", 2},
      {"a screen continuing itself", "1,2\r\n\"d\",1,1,0,0,0,0\r\n" + field + "0\r\n", 2},
      {"a comment between fields",
       "1,2\r\n\"d\",2,0,0,0,0,0\r\n" + field + "' no\r\n" + field + "0\r\n", 4},
      {"a field beyond the screen", header + "2,75,\"A: \",5,0,0,0,0,0,\"\"\r\n0\r\n", 3},
      {"a field outside its window", "1,2\r\n\"d\",1,0,5,5,10,12\r\n" + field + "0\r\n", 3},
      {"a field on the frame line", "1,2\r\n\"d\",1,0,5,5,10,40\r\n0,3,\"A\",2,0,0,0,0,0,\r\n0\r\n",
       3},
      {"a window turned over", "1,2\r\n\"d\",0,0,10,5,5,20\r\n0\r\n", 2},
      {"a bad key list", "1,2\r\n\"d,zz\",0,0,0,0,0,0\r\n0\r\n", 2},
      {"a number too large", "1,2\r\n\"d\",0,0,0,0,0,0\r\n99999\r\n", 3},
      {"a list with no room for a row", header + field + "1\r\n0,0,3,3,4,20,0,\"H\",0\r\n", 5},
      {"a list opening itself", header + field + "1\r\n0,0,3,3,9,20,0,\"H\",1\r\n", 5},
  };
  for (const Case& c : cases) {
    FormState form;
    std::string message;
    EXPECT_EQ(Parse(c.text, form, message), FormLoad::Malformed) << c.what;
    EXPECT_NE(message.find("FORMS/TEST.ZPN"), std::string::npos) << c.what << ": " << message;
    EXPECT_NE(message.find(cp850("línia ") + std::to_string(c.line) + ":"), std::string::npos)
        << c.what << ": " << message;
  }
}

TEST(ParseForm, RefusesChainsThatComeBackAndMissingLists) {
  const std::string field = "2,3,\"A: \",5,0,0,0,0,0,\"\"\r\n";
  FormState form;
  std::string message;
  EXPECT_EQ(
      Parse("2,1\r\n\"d\",1,2,0,0,0,0\r\n" + field + "\"d\",1,1,0,0,0,0\r\n" + field + "0\r\n",
            form, message),
      FormLoad::Malformed);
  EXPECT_NE(message.find("pantalla 1"), std::string::npos) << message;
  EXPECT_EQ(
      Parse("1,1\r\n\"d\",1,0,0,0,0,0\r\n2,3,\"A: \",5,0,0,0,0,2,\"\"\r\n0\r\n", form, message),
      FormLoad::Malformed);
  EXPECT_NE(message.find("llista 2"), std::string::npos) << message;
}

TEST(ParseForm, AFailedReadLeavesTheTablesAsTheyWere) {
  FormState form;
  std::string message;
  ASSERT_EQ(Parse(kGoodForm, form, message), FormLoad::Ok);
  form.screens[0].fields[0].value = "kept";
  EXPECT_EQ(Parse("2,3\r\n\"d\",1", form, message), FormLoad::Malformed);
  EXPECT_EQ(form.screens.size(), 2u);
  EXPECT_EQ(form.screens[0].fields[0].value, "kept");
}

TEST(ParseForm, DamagedFilesNeverCrashTheReader) {
  std::mt19937 random(12345);
  const std::string good(kGoodForm);
  for (int i = 0; i < 5000; ++i) {
    std::string text = good;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = static_cast<char>(random() % 256);
          break;
        case 1:
          text.erase(at, 1 + random() % 8);
          break;
        default:
          text.insert(at, 1, ",\"\r\n9'"[random() % 6]);
          break;
      }
      if (text.empty()) text = "1";
    }
    FormState form;
    std::string message;
    const FormLoad result = Parse(text, form, message);
    if (result == FormLoad::Ok) {
      for (const FormScreen& screen : form.screens)
        for (const FormField& field : screen.fields)
          ASSERT_EQ(field.value.size(), static_cast<size_t>(field.width));
    } else {
      ASSERT_FALSE(message.empty());
    }
  }
}

class FormFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetConsoleForTest();
    ResetSessionForTest();
    ResetLanguageForTest();
    ResetFormsForTest();
    SessionState().rootDir = root_.folder();
    SessionState().languageCode = "CAT";
    SessionState().moduleName = "PALVORIN";
  }
  void TearDown() override { ResetFormsForTest(); }

  void InstallShippedForm() {
    std::string bytes;
    const std::string shipped = std::string(PALVORIN_SOURCE_DIR) + "/install/FORMS/PALVORIN.ZPN";
    FILE* f = std::fopen(shipped.c_str(), "rb");
    ASSERT_NE(f, nullptr) << shipped;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    std::fclose(f);
    root_.Write("FORMS/PALVORIN.ZPN", bytes);
  }

  testing::TempDir root_;
};

TEST_F(FormFileTest, AMissingFormFileIsReportedWithItsPath) {
  std::string message;
  EXPECT_EQ(LoadForm(message), FormLoad::Missing);
  EXPECT_NE(message.find(root_.path() + "/FORMS/PALVORIN.ZPN"), std::string::npos) << message;
  EXPECT_TRUE(Forms().screens.empty());
}

TEST_F(FormFileTest, TextsAreTranslatedWhileTheFormIsRead) {
  InstallShippedForm();
  SessionState().languageCode = "SPA";
  root_.Write(
      "LOCALE/PALVORIN.LNG",
      cp850("\"Data d'emissió ............. : \",,,\"Fecha de emisión ........... : \"\r\n"));
  std::string message;
  ASSERT_EQ(LoadForm(message), FormLoad::Ok) << message;
  EXPECT_EQ(FormFieldAt(1, 2).prompt, cp850("Fecha de emisión ........... : "));
  EXPECT_EQ(FormFieldAt(1, 3).prompt, cp850("Mes d'emissió .............. : "));
}

// What the selection screens need from the shipped form file.
TEST_F(FormFileTest, TheShippedFormHasTheSelectionScreens) {
  InstallShippedForm();
  std::string message;
  ASSERT_EQ(LoadForm(message), FormLoad::Ok) << message;
  ASSERT_GE(FormScreenCount(), 4);

  // Screen 1: the selection, continued by the concepts.
  const FormScreen& s1 = FormScreenAt(1);
  ASSERT_EQ(s1.fields.size(), 10u);
  EXPECT_EQ(s1.nextScreen, 2);
  const std::vector<int> kinds = {5, 1, 3, 2, 2, 4, 4, 0, 0, 0};
  const std::vector<int> widths = {1, 10, 2, 9, 9, 4, 4, 1, 1, 1};
  const std::vector<int> lists = {0, 0, 0, 1, 1, 3, 3, 0, 0, 0};
  for (int f = 1; f <= 10; ++f) {
    const FormField& field = FormFieldAt(1, f);
    EXPECT_EQ(field.kind, kinds[static_cast<size_t>(f - 1)]) << "field " << f;
    EXPECT_EQ(field.width, widths[static_cast<size_t>(f - 1)]) << "field " << f;
    EXPECT_EQ(field.pickList, lists[static_cast<size_t>(f - 1)]) << "field " << f;
    EXPECT_FALSE(field.prompt.empty());
  }
  for (const char* code : {"|V,", "|A,", "|P,"})
    EXPECT_NE(FormFieldAt(1, 1).help.find(code), std::string::npos) << code;
  EXPECT_GE(FormFieldAt(1, 1).extraWidth, 15);  // room for the mode's label
  EXPECT_GE(FormFieldAt(1, 3).extraWidth, 2);   // the month shows with the year's two digits
  for (int f = 8; f <= 10; ++f) {
    EXPECT_EQ(FormFieldAt(1, f).flags & kFieldSkip, kFieldSkip) << "editable only in mode A";
    EXPECT_EQ(FormFieldAt(1, f).help.find('|'), 0u) << "an option list";
  }
  EXPECT_NE(FormFieldAt(1, 8).help.find("|F,"), std::string::npos);
  EXPECT_NE(FormFieldAt(1, 9).help.find("|S,"), std::string::npos);
  EXPECT_NE(FormFieldAt(1, 10).help.find("|F,"), std::string::npos);
  EXPECT_NE(s1.keys.find("3e00"), std::string::npos) << "F4 opens the pick lists";
  EXPECT_EQ(s1.keys.find("4f00"), std::string::npos) << "Enter must not become End";

  // Screen 2: five type flags and the concept codes, in a window with room for its title.
  const FormScreen& s2 = FormScreenAt(2);
  EXPECT_NE(s2.top, 0);
  EXPECT_GE(s2.right - s2.left - 1, 24);
  ASSERT_GE(s2.fields.size(), 17u);
  for (int f = 1; f <= 5; ++f) {
    EXPECT_EQ(FormFieldAt(2, f).width, 1) << "flag " << f;
    EXPECT_NE(FormFieldAt(2, f).help.find("|S,"), std::string::npos) << "flag " << f;
    EXPECT_NE(FormFieldAt(2, f).help.find("|N,"), std::string::npos) << "flag " << f;
  }
  for (int f = 6; f <= static_cast<int>(s2.fields.size()); ++f) {
    EXPECT_EQ(FormFieldAt(2, f).kind, 6) << "concept " << f;
    EXPECT_EQ(FormFieldAt(2, f).width, 3) << "concept " << f;
    EXPECT_EQ(FormFieldAt(2, f).pickList, 2) << "concept " << f;
    EXPECT_GE(FormFieldAt(2, f).extraWidth, 22) << "code, two blanks, 20 of description";
  }

  // Screen 3: the confirmation.
  ASSERT_EQ(FormScreenAt(3).fields.size(), 1u);
  EXPECT_EQ(FormFieldAt(3, 1).width, 1);
  EXPECT_NE(FormFieldAt(3, 1).help.find("|S,"), std::string::npos);

  // The pick lists: co-owners with a search screen of name and address, concepts, remittances.
  ASSERT_EQ(PickListCount(), 3);
  const PickListDef& owners = PickListAt(1);
  EXPECT_EQ(owners.file, 42);
  ASSERT_NE(owners.searchScreen, 0);
  const FormScreen& search = FormScreenAt(owners.searchScreen);
  ASSERT_EQ(search.fields.size(), 2u);
  EXPECT_GE(search.fields[0].width, 20);
  EXPECT_GE(search.fields[1].width, 20);
  EXPECT_EQ(owners.right - owners.left - 1, 40 + 2 + 15 + 2 + 9) << "one co-owner row";
  EXPECT_GE(owners.header.size(), 9u) << "the order's title overwrites its start";
  EXPECT_EQ(PickListAt(2).file, 49);
  EXPECT_GE(PickListAt(2).right - PickListAt(2).left - 1, 33);
  EXPECT_EQ(PickListAt(3).file, 62);
  EXPECT_GE(PickListAt(3).right - PickListAt(3).left - 1, 45);
  // Each column title stands over its column of the rows.
  EXPECT_EQ(owners.header.substr(42, 11), "DEPARTAMENT");
  EXPECT_EQ(owners.header.substr(59, 4), "CODI");
  EXPECT_EQ(PickListAt(2).header.substr(5, 4), "DESC");
  EXPECT_EQ(PickListAt(2).header.substr(3 + 2 + 20 + 2, 6), "T  AUX");
  EXPECT_EQ(PickListAt(3).header.substr(5, 4), "DESC");
  for (int l = 1; l <= 3; ++l) {
    EXPECT_FALSE(PickListAt(l).header.empty()) << "list " << l;
    EXPECT_GE(PickListAt(l).bottom - PickListAt(l).top - 1, 10) << "list " << l;
  }

  // Code page 850 text, not UTF-8.
  EXPECT_EQ(FormFieldAt(1, 2).prompt.find(cp850("ó")), 13u);
}

}  // namespace
}  // namespace palvorin
