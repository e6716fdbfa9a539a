#include "ui/languages.h"

#include "base/os_facts.h"

namespace ui {

namespace {

struct Language {
  const char* code;
  int id;
};

// The languages the string tables exist for. English comes last: it is
// also what unknown codes and identifiers fall back to.
constexpr Language kLanguages[] = {
    {"ru", 1049},    {"uk", 1058},    {"tr", 1055},    {"de", 1031},
    {"es", 3082},    {"fr", 1036},    {"it", 1040},    {"ja", 1041},
    {"pt-PT", 2070}, {"pt-BR", 1046}, {"zh-CN", 2052}, {"zh-TW", 1028},
    {"kk", 1087},    {"uz", 1091},    {"cs", 1029},    {"en", 1033},
};

constexpr int kEnglishId = 1033;

}  // namespace

std::string LanguageCodeFromSystem(base::OsFacts* os_facts) {
  const int id = os_facts->UserUiLanguage();
  for (const Language& language : kLanguages) {
    if (language.id == id)
      return language.code;
  }
  return "en";
}

int LanguageIdFromCode(const std::string& code) {
  for (const Language& language : kLanguages) {
    if (code == language.code)
      return language.id;
  }
  return kEnglishId;
}

}  // namespace ui
