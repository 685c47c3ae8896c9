// Translation of screen texts. Every screen text of the module is written in Catalan; for
// another language each text is looked up in the module's language file LOCALE\<module>.LNG
// under the installation root: records of four comma-separated fields, the Catalan text (the
// key, matched byte for byte) and its Galician, Aranese and Spanish versions. Texts are CP850.
// Fixed library messages do not come through here: they carry their own texts per language.
#ifndef PALVORIN_SESSION_LANGUAGE_H_
#define PALVORIN_SESSION_LANGUAGE_H_

#include <string>
#include <string_view>
#include <unordered_map>

namespace palvorin {

// The operator's languages. Library messages carry their own text in each of them.
enum class Language { Catalan, Galician, Aranese, Spanish };

// The language a code stands for by its first three characters: "GLG", "OCI", "SPA"; a blank
// or any other code is Catalan.
Language LanguageOf(std::string_view code);

// The language of the session's language code.
Language OperatorLanguage();

// A text the program carries in its four forms (UTF-8 literals), in the operator's language
// and in code page 850; for messages that must not depend on the language file.
std::string BuiltInText(const char* catalan, const char* spanish, const char* galician,
                        const char* aranese);

// The language files' state: the base name of the file, empty until the first translation
// sets it to the session's module name ("PALVORIN" when the start-up has not set one), and the
// file's translations into the session's language, read at that first translation and kept
// for the run (a language file of any size is read once, not once a text).
struct LanguageFiles {
  std::string baseName;
  bool read = false;
  std::string languageCode;  // the code the translations below are for
  std::unordered_map<std::string, std::string> translations;  // Catalan text -> its translation
};
LanguageFiles& Languages();
void ResetLanguageForTest();

// The text to show for the Catalan text `text` in the session's language. Code "CAT" returns
// it at once; any other code looks it up in the language file (read at the first translation,
// and created empty when missing) and takes the first record whose key equals `text`: the
// Spanish field for "SPA", the Galician for "GLG", the Aranese for "OCI", `text` itself for any
// other code. A text without a record, or a language file that cannot be made, shows in
// Catalan.
std::string Translate(const std::string& text);

// The lookup of Translate over a language file's content already in memory.
std::string TranslateFromTable(std::string_view table, std::string_view languageCode,
                               const std::string& text);

}  // namespace palvorin

#endif  // PALVORIN_SESSION_LANGUAGE_H_
