#include "ui/languages.h"

#include <gtest/gtest.h>

#include "base/os_facts.h"

namespace ui {
namespace {

class FakeOsFacts : public base::OsFacts {
 public:
  base::OsVersion Version() override { return {}; }
  bool HasSse2() override { return true; }
  base::Architecture NativeArchitecture() override { return base::Architecture::kX64; }
  bool HasSafeDllSearch() override { return true; }
  LANGID UserUiLanguage() override { return ui_language; }
  LANGID ui_language = 1033;
};

TEST(LanguagesTest, EveryCodeRoundTripsThroughItsIdentifier) {
  const struct {
    const char* code;
    int id;
  } kTable[] = {{"ru", 1049},    {"uk", 1058},    {"tr", 1055},    {"de", 1031},
                {"es", 3082},    {"fr", 1036},    {"it", 1040},    {"ja", 1041},
                {"pt-PT", 2070}, {"pt-BR", 1046}, {"zh-CN", 2052}, {"zh-TW", 1028},
                {"kk", 1087},    {"uz", 1091},    {"cs", 1029},    {"en", 1033}};
  FakeOsFacts facts;
  for (const auto& row : kTable) {
    EXPECT_EQ(LanguageIdFromCode(row.code), row.id) << row.code;
    facts.ui_language = static_cast<LANGID>(row.id);
    EXPECT_EQ(LanguageCodeFromSystem(&facts), row.code) << row.id;
  }
}

TEST(LanguagesTest, UnknownInputsFallBackToEnglish) {
  FakeOsFacts facts;
  facts.ui_language = 1045;  // Polish has no string table.
  EXPECT_EQ(LanguageCodeFromSystem(&facts), "en");
  facts.ui_language = 2057;  // English (United Kingdom) is not the table's English.
  EXPECT_EQ(LanguageCodeFromSystem(&facts), "en");

  EXPECT_EQ(LanguageIdFromCode("pt-br"), 1033);  // Case matters.
  EXPECT_EQ(LanguageIdFromCode("RU"), 1033);
  EXPECT_EQ(LanguageIdFromCode("ru-RU"), 1033);
  EXPECT_EQ(LanguageIdFromCode(""), 1033);
  EXPECT_EQ(LanguageIdFromCode(std::string("ru\0x", 4)), 1033);
}

}  // namespace
}  // namespace ui
