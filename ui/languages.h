#ifndef UI_LANGUAGES_H_
#define UI_LANGUAGES_H_

#include <string>

namespace base {
class OsFacts;
}

namespace ui {

// The language code ("ru", "pt-BR", ...) of the user's Windows interface
// language; "en" for a language the installer does not speak. `os_facts` is
// not owned.
std::string LanguageCodeFromSystem(base::OsFacts* os_facts);

// The language identifier of the string table for `code` (exact,
// case-sensitive match); 1033 for an unknown code.
int LanguageIdFromCode(const std::string& code);

}  // namespace ui

#endif  // UI_LANGUAGES_H_
