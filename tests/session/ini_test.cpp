#include <gtest/gtest.h>

#include <string>

#include "os/codepage.h"
#include "session/session.h"
#include "support/temp_dir.h"

namespace palvorin {
namespace {

TEST(CompleteFolder, AddsTheSeparatorOnlyWhereOneIsMissing) {
  struct Case {
    const char* given;
    const char* want;
  };
  static constexpr Case kCases[] = {
      {"C:\\TMP", "C:\\TMP\\"}, {"C:", "C:"},           {"C:\\TMP\\", "C:\\TMP\\"},
      {"", ""},                 {"zeptmp", "zeptmp\\"}, {"zeptmp/", "zeptmp/"},
      {" ", " \\"},
  };
  for (const Case& c : kCases) EXPECT_EQ(CompleteFolder(c.given), c.want) << c.given;
}

TEST(ReadIniValue, ReadsFromAFileInDosOrLinuxForm) {
  palvorin::testing::TempDir dir;
  dir.Write("Sessio.ini", "[Menu]\r\nTitol=COMUNITATS\r\n");
  EXPECT_EQ(ReadIniValue(dir / "Sessio.ini", "Menu", "Titol"), "COMUNITATS");
  EXPECT_EQ(ReadIniValue(dir.path() + "\\sessio.INI", "menu", "TITOL"), "COMUNITATS");
  EXPECT_EQ(ReadIniValue(dir / "Missing.ini", "Menu", "Titol"), "");
  EXPECT_EQ(ReadIniValue(dir.path(), "Menu", "Titol"), "") << "a folder is no file";
}

struct IniCase {
  const char* what;
  std::string text;
  std::string section;
  std::string key;
  std::string want;
};

TEST(IniValueFromText, FollowsTheSuitesFileRules) {
  const IniCase kCases[] = {
      {"plain", "[Sistema]\r\nIdioma=SPA\r\n", "Sistema", "Idioma", "SPA"},
      {"remark after a space keeps the space", "[Sistema]\r\nIdioma=SPA ; castella\r\n", "Sistema",
       "Idioma", "SPA "},
      {"semicolon inside quotes is still a remark", "[S]\r\nK=\"a;b\"\r\n", "S", "K", "\"a"},
      {"quotes stripped", "[S]\r\nK=\"  x  \"\r\n", "S", "K", "  x  "},
      {"lone quote kept", "[S]\r\nK=\"\r\n", "S", "K", "\""},
      {"two quotes give empty", "[S]\r\nK=\"\"\r\n", "S", "K", ""},
      {"quote at one end only", "[S]\r\nK=\"x\r\n", "S", "K", "\"x"},
      {"value unchanged after the first =", "[S]\r\nK= a=b \r\n", "S", "K", " a=b "},
      {"key after a second header not found", "[Menu]\r\nTitol=X\r\n[Menu]\r\nNomMenu=Y\r\n",
       "Menu", "NomMenu", ""},
      {"first section only", "[Menu]\r\n[Menu]\r\nTitol=X\r\n", "Menu", "Titol", ""},
      {"lower-case header with spaces", "[  sistema ]\r\nData=20260307\r\n", "Sistema", "Data",
       "20260307"},
      {"wanted names trimmed", "[Sistema]\r\nData=1\r\n", " Sistema ", " data ", "1"},
      {"header without closing bracket", "[Sistema\r\nData=1\r\n", "Sistema", "Data", "1"},
      {"text after the bracket ignored", "[Sistema] x\r\nData=1\r\n", "Sistema", "Data", "1"},
      {"indented lines", "   [Sistema]\r\n   Data  =2\r\n", "Sistema", "Data", "2"},
      {"key leading spaces in file are not part of it", "[S]\r\n Key=1\r\n", "S", "KEY", "1"},
      {"first matching key wins", "[S]\r\nK=1\r\nK=2\r\n", "S", "K", "1"},
      {"key is not a prefix", "[S]\r\nKey2=1\r\nKey=2\r\n", "S", "Key", "2"},
      {"commented-out key", "[S]\r\n;K=1\r\nK=2\r\n", "S", "K", "2"},
      {"commented-out header", ";[S]\r\nK=1\r\n[S]\r\nK=2\r\n", "S", "K", "2"},
      {"lines without = ignored", "[S]\r\nnothing here\r\nK=3\r\n", "S", "K", "3"},
      {"keys before any section ignored", "K=0\r\n[S]\r\nK=4\r\n", "S", "K", "4"},
      {"other section first", "[A]\r\nK=1\r\n[S]\r\nK=5\r\n", "S", "K", "5"},
      {"next section ends the search", "[S]\r\n[T]\r\nK=1\r\n", "S", "K", ""},
      {"missing section", "[A]\r\nK=1\r\n", "S", "K", ""},
      {"empty value", "[S]\r\nK=\r\n", "S", "K", ""},
      {"empty key", "[S]\r\n=v\r\n", "S", "", "v"},
      {"Linux line ends", "[S]\nK=6\n", "S", "K", "6"},
      {"no final line end", "[S]\r\nK=7", "S", "K", "7"},
      {"tab is not a space", "[S]\r\n\tK=8\r\nK=9\r\n", "S", "K", "9"},
      {"ó is not among the folded letters", cp850("[Configuració]\r\nAñy=1\r\n"),
       cp850("CONFIGURACIÓ"), cp850("AÑY"), ""},
      {"the listed accented letters fold", cp850("[àçé]\r\nñ=1\r\n"), cp850("àÇÉ"), cp850("Ñ"),
       "1"},
  };
  for (const IniCase& c : kCases) {
    EXPECT_EQ(IniValueFromText(c.text, c.section, c.key), c.want) << c.what;
  }
}

TEST(IniValueFromText, FoldsExactlyTheSevenAccentedSmallLetters) {
  // ä ö ü é ñ å ç match their capitals; other accented letters only themselves.
  for (const char* pair : {"äÄ", "öÖ", "üÜ", "éÉ", "ñÑ", "åÅ", "çÇ"}) {
    const std::string letters = cp850(pair);
    const std::string text = "[S" + letters.substr(0, 1) + "]\r\nK=yes\r\n";
    EXPECT_EQ(IniValueFromText(text, "s" + letters.substr(1, 1), "k"), "yes") << pair;
  }
  for (const char* pair : {"àÀ", "óÓ", "íÍ", "úÚ", "èÈ"}) {
    const std::string letters = cp850(pair);
    const std::string text = "[S" + letters.substr(0, 1) + "]\r\nK=yes\r\n";
    EXPECT_EQ(IniValueFromText(text, "s" + letters.substr(1, 1), "k"), "") << pair;
  }
}

TEST(IniValueFromText, HasNoLimitOnLineLength) {
  const std::string longValue(300000, 'x');
  const std::string text = "[S]\r\n" + std::string(100000, ' ') + "K=" + longValue + "\r\n";
  EXPECT_EQ(IniValueFromText(text, "S", "K"), longValue);
}

}  // namespace
}  // namespace palvorin
