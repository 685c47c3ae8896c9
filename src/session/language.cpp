#include "session/language.h"

#include "os/codepage.h"
#include "os/files.h"
#include "session/session.h"

namespace palvorin {
namespace {

constexpr std::string_view kDefaultModuleName = "PALVORIN";

// Which of the three translations a language code takes: 2 Galician, 3 Aranese, 4 Spanish;
// 0 for Catalan and any unknown code.
int TranslationField(std::string_view code) {
  switch (LanguageOf(code)) {
    case Language::Galician: return 2;
    case Language::Aranese: return 3;
    case Language::Spanish: return 4;
    case Language::Catalan: break;
  }
  return 0;
}

// Every record of a language file's content: its key and its translation for `languageCode`;
// the first record of a key wins.
std::unordered_map<std::string, std::string> TranslationsOf(std::string_view table,
                                                            std::string_view languageCode) {
  const int wanted = TranslationField(languageCode);
  std::unordered_map<std::string, std::string> translations;
  CsvFieldReader reader(table);
  std::string key;
  std::string fields[3];
  while (!reader.AtEnd()) {
    reader.ReadField(key);
    // A key that is the last thing in the file has no translations to go with it.
    if (reader.AtEnd()) break;
    for (std::string& field : fields) reader.ReadField(field);
    translations.try_emplace(key, wanted == 0 ? key : fields[wanted - 2]);
  }
  return translations;
}

std::string Lookup(const std::unordered_map<std::string, std::string>& translations,
                   const std::string& text) {
  const auto found = translations.find(text);
  return found == translations.end() ? text : found->second;
}

}  // namespace

Language LanguageOf(std::string_view code) {
  code = code.substr(0, 3);
  if (code == "GLG") return Language::Galician;
  if (code == "OCI") return Language::Aranese;
  if (code == "SPA") return Language::Spanish;
  return Language::Catalan;
}

Language OperatorLanguage() { return LanguageOf(SessionState().languageCode); }

std::string BuiltInText(const char* catalan, const char* spanish, const char* galician,
                        const char* aranese) {
  switch (OperatorLanguage()) {
    case Language::Spanish: return cp850(spanish);
    case Language::Galician: return cp850(galician);
    case Language::Aranese: return cp850(aranese);
    case Language::Catalan: break;
  }
  return cp850(catalan);
}

LanguageFiles& Languages() {
  static LanguageFiles files;
  return files;
}

void ResetLanguageForTest() { Languages() = LanguageFiles{}; }

std::string TranslateFromTable(std::string_view table, std::string_view languageCode,
                               const std::string& text) {
  return Lookup(TranslationsOf(table, languageCode), text);
}

std::string Translate(const std::string& text) {
  const Session& session = SessionState();
  if (session.languageCode == "CAT") return text;
  LanguageFiles& files = Languages();
  if (files.baseName.empty()) {
    files.baseName =
        session.moduleName.empty() ? std::string(kDefaultModuleName) : session.moduleName;
  }
  if (!files.read || files.languageCode != session.languageCode) {
    files.read = true;
    files.languageCode = session.languageCode;
    files.translations.clear();
    const std::string path = session.rootDir + "LOCALE\\" + files.baseName + ".LNG";
    // A missing file is created empty, so the operator or the installer finds where the
    // translations go; when it cannot be made (no LOCALE folder), texts show in Catalan.
    std::string table;
    if (CreateIfMissing(path).ok() && ReadWholeFile(path, table).ok()) {
      files.translations = TranslationsOf(table, session.languageCode);
    }
  }
  return Lookup(files.translations, text);
}

}  // namespace palvorin
