// Reads the string tables of the lite_installer.exe the build made.

#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "ui/languages.h"

namespace ui {
namespace {

constexpr int kEnglish = 1033;

// The ids the window uses; English has exactly these.
constexpr unsigned kIds[] = {400, 401, 402, 403, 404, 406, 409, 410, 411, 412, 413, 414, 415,
                             416, 417, 418, 419, 421, 422, 423, 424, 425, 426, 427, 428, 429,
                             430, 431, 432, 433, 435, 436, 437, 438, 439, 440, 441, 442, 443};

constexpr const char* kCodes[] = {"ru", "uk",    "tr",    "de",    "es", "fr", "it", "ja",
                                  "pt-PT", "pt-BR", "zh-CN", "zh-TW", "kk", "uz", "cs", "en"};

size_t Count(const std::wstring& text, std::wstring_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class StringTableTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = base::WidenBytes(TX_TEST_BUILD_DIR "/lite_installer.exe");
    module_.reset(::LoadLibraryExW(path.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_.is_valid()) << "error " << ::GetLastError();
  }

  std::wstring Load(unsigned id, int language) const {
    return LoadUiString(module_.get(), id, language);
  }

  base::ScopedModule module_;
};

TEST_F(StringTableTest, EveryLanguageHasItsOwnTableWithExactlyTheEnglishIds) {
  for (const char* code : kCodes) {
    const int language = LanguageIdFromCode(code);
    // A block missing in the language would silently answer in English.
    for (unsigned block = 400 / 16 + 1; block <= 443 / 16 + 1; ++block) {
      EXPECT_TRUE(::FindResourceExW(module_.get(), RT_STRING, MAKEINTRESOURCEW(block),
                                    static_cast<WORD>(language)))
          << code << " block " << block;
    }
    for (unsigned id = 384; id < 464; ++id) {
      const bool listed = std::find(std::begin(kIds), std::end(kIds), id) != std::end(kIds);
      EXPECT_EQ(!Load(id, language).empty(), listed) << code << " " << id;
    }
  }
}

TEST_F(StringTableTest, TranslationsKeepTheLayoutMarks) {
  for (const char* code : kCodes) {
    const int language = LanguageIdFromCode(code);
    for (unsigned id : kIds) {
      const std::wstring text = Load(id, language);
      EXPECT_EQ(Count(text, L"\n"), Count(Load(id, kEnglish), L"\n")) << code << " " << id;
      EXPECT_EQ(text.find(L'\uFFFD'), std::wstring::npos) << code << " " << id;
    }
    // The licence sentence: one link, with words in it.
    const std::wstring licence = Load(410, language);
    ASSERT_EQ(Count(licence, L"(("), 1u) << code;
    ASSERT_EQ(Count(licence, L"))"), 1u) << code;
    EXPECT_LT(licence.find(L"((") + 2, licence.find(L"))")) << code;
    if (language != kEnglish) {
      EXPECT_NE(licence, Load(410, kEnglish)) << code;
    }
    // One accelerator in the default-browser checkbox.
    const std::wstring checkbox = Load(439, language);
    EXPECT_EQ(Count(checkbox, L"&"), 1u) << code;
    EXPECT_FALSE(checkbox.ends_with(L'&')) << code;
  }
}

// Each table really arrives in its own script, i.e. the UTF-8 files were
// read as UTF-8.
TEST_F(StringTableTest, TextsComeBackInTheirScripts) {
  const struct {
    const char* code;
    wchar_t first;
    wchar_t last;
  } kWholeWord[] = {
      {"ru", 0x0400, 0x04FF}, {"uk", 0x0400, 0x04FF}, {"kk", 0x0400, 0x04FF},
      {"ja", 0x30A0, 0x30FF}, {"zh-CN", 0x4E00, 0x9FFF}, {"zh-TW", 0x4E00, 0x9FFF},
  };
  for (const auto& row : kWholeWord) {
    const std::wstring install = Load(404, LanguageIdFromCode(row.code));
    ASSERT_FALSE(install.empty()) << row.code;
    for (wchar_t c : install)
      EXPECT_TRUE(c >= row.first && c <= row.last) << row.code << " U+" << std::hex << int(c);
  }
  EXPECT_EQ(Load(404, 2052), L"\u5B89\u88C5");  // Simplified.
  EXPECT_EQ(Load(404, 1028), L"\u5B89\u88DD");  // Traditional.

  const struct {
    const char* code;
    unsigned id;
    wchar_t letter;
  } kLetters[] = {
      {"tr", 415, L'\u00FC'}, {"de", 432, L'\u00DF'}, {"es", 401, L'\u00F3'},
      {"fr", 415, L'\u00E9'}, {"it", 402, L'\u00E8'}, {"pt-PT", 401, L'\u00E7'},
      {"pt-BR", 401, L'\u00E3'}, {"uz", 404, L'\u02BB'}, {"cs", 415, L'\u010D'},
      {"kk", 415, L'\u049A'},
  };
  for (const auto& row : kLetters) {
    EXPECT_NE(Load(row.id, LanguageIdFromCode(row.code)).find(row.letter), std::wstring::npos)
        << row.code << " " << row.id;
  }
}

// Makes the thread speak Russian, which the system's own resource search
// would then prefer.
class ScopedRussianThread {
 public:
  ScopedRussianThread() {
    ::SetThreadUILanguage(1049);
    ::SetThreadLocale(1049);
  }
  ~ScopedRussianThread() {
    ::SetThreadUILanguage(saved_ui_);
    ::SetThreadLocale(saved_locale_);
  }

 private:
  const LANGID saved_ui_ = ::GetThreadUILanguage();
  const LCID saved_locale_ = ::GetThreadLocale();
};

TEST_F(StringTableTest, LanguagesWithoutATableFallBackToEnglishNotToTheThreadLanguage) {
  ASSERT_EQ(Load(404, kEnglish), L"Install");
  std::wstring english[std::size(kIds)];
  for (size_t i = 0; i < std::size(kIds); ++i)
    english[i] = Load(kIds[i], kEnglish);

  ScopedRussianThread russian;
  // Polish, English (United Kingdom), Uzbek (Cyrillic), and identifiers that
  // name no language.
  for (int language : {1045, 2057, 2115, 0, -1, 0x10000}) {
    for (size_t i = 0; i < std::size(kIds); ++i)
      EXPECT_EQ(Load(kIds[i], language), english[i]) << language << " " << kIds[i];
  }
  EXPECT_EQ(Load(404, 1033), L"Install");
}

TEST_F(StringTableTest, MissingStringsAreEmpty) {
  for (unsigned id : {405u, 420u, 434u, 444u, 9999u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Load(id, 1049), L"") << id;
    EXPECT_EQ(Load(id, kEnglish), L"") << id;
  }
  // The test executable has no string table at all.
  EXPECT_EQ(LoadUiString(nullptr, 404, kEnglish), L"");
}

}  // namespace
}  // namespace ui
