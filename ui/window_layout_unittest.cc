#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "ui/layout.h"
#include "ui/licence_text.h"
#include "ui/main_window.h"
#include "ui/scaler.h"
#include "ui/window_options.h"

namespace ui {
namespace {

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Every variant at the scales people use: controls inside the window, none
// on top of another on the same screen, exactly the offered checkboxes.
TEST(LayoutTest, EveryVariantFitsWithoutOverlaps) {
  const std::vector<std::string> first_screen = {
      "title", "install_button", "cancel_button", "default_checkbox", "statistics_checkbox",
      "taskbar_checkbox", "licence", "privacy_link"};
  const std::vector<std::string> progress_screen = {"close_button", "progress_bar",
                                                    "percent_text", "progress_licence"};
  for (double factor : {1.0, 1.25, 1.5, 2.0}) {
    const Scaler scaler(factor);
    const RECT window = scaler.ToDevice(RECT{0, 0, kWindowWidth, kWindowHeight});
    for (int variant = 0; variant < 8; ++variant) {
      SCOPED_TRACE(testing::Message() << "variant " << variant << " at " << factor);
      const Layout layout = LayoutFor(variant);
      EXPECT_EQ(Empty(layout.default_checkbox), !(variant & kOffersDefault));
      EXPECT_EQ(Empty(layout.statistics_checkbox), !(variant & kOffersStatistics));
      EXPECT_EQ(Empty(layout.taskbar_checkbox), !(variant & kOffersTaskbar));
      for (const auto* screen : {&first_screen, &progress_screen}) {
        std::vector<NamedRect> placed;
        for (const NamedRect& named : NamedRects(layout)) {
          bool on_screen = false;
          for (const std::string& name : *screen)
            on_screen |= name == named.name;
          if (!on_screen || Empty(named.rect))
            continue;
          const RECT device = scaler.ToDevice(named.rect);
          EXPECT_TRUE(Inside(device, window)) << named.name;
          for (const NamedRect& other : placed)
            EXPECT_FALSE(Overlap(device, scaler.ToDevice(other.rect)))
                << named.name << " overlaps " << other.name;
          placed.push_back(named);
        }
      }
    }
  }
  const DialogLayout dialog = DialogLayoutFor(true);
  EXPECT_FALSE(Overlap(dialog.action_button, dialog.dismiss_button));
  EXPECT_TRUE(Inside(dialog.dismiss_button, RECT{0, 0, kDialogWidth, kDialogHeight}));
}

distribution::DistribInfoParams Params(std::initializer_list<std::pair<const char*, const char*>> pairs) {
  distribution::DistribInfoParams params;
  for (const auto& [key, value] : pairs)
    params.Set(key, value);
  return params;
}

TEST(WindowOptionsTest, DistributionDecidesWhatTheFirstScreenOffers) {
  distribution::BrandInfo prompts;
  prompts.quova_taskbar_shortcut_promt = distribution::kTriTrue;
  distribution::BrandInfo quiet;

  EXPECT_EQ(LayoutVariant(ReadWindowOptions(Params({})), prompts), 7);
  EXPECT_EQ(LayoutVariant(ReadWindowOptions(Params({})), quiet), 3);
  EXPECT_EQ(LayoutVariant(ReadWindowOptions(Params({{"def", "2"}, {"stat", "1"},
                                                    {"quovashortcut", "1"}})),
                          prompts),
            0);
  // "statpromo" counts whatever its value; a "def" that is no boolean does not.
  WindowOptions promo = ReadWindowOptions(Params({{"statpromo", "true"}, {"def", "yes"}}));
  EXPECT_TRUE(promo.send_statistics.given && promo.send_statistics.value);
  EXPECT_FALSE(promo.make_default.given);
  EXPECT_FALSE(ReadWindowOptions(Params({{"statpromo", "1"}})).send_statistics.value);

  EXPECT_TRUE(ReadWindowOptions(Params({{"first", "1"}, {"def", "1"}, {"stat", "2"}}))
                  .skip_first_screen);
  EXPECT_TRUE(ReadWindowOptions(Params({{"first", "1"}, {"def", "1"}, {"statpromo", "x"}}))
                  .skip_first_screen);
  EXPECT_FALSE(ReadWindowOptions(Params({{"first", "1"}, {"def", "1"}})).skip_first_screen);
  EXPECT_FALSE(ReadWindowOptions(Params({{"first", "2"}, {"def", "1"}, {"stat", "1"}}))
                   .skip_first_screen);
  EXPECT_TRUE(ReadWindowOptions(Params({{"cancel", "1"}})).keep_close_button);
}

TEST(ProgressScaleTest, SourcesMapOntoTheBar) {
  EXPECT_EQ(PercentForDownload(0.0f), 5);
  EXPECT_EQ(PercentForDownload(0.5f), 22);
  EXPECT_EQ(PercentForDownload(1.0f), 40);
  EXPECT_EQ(PercentForSetupStage(5), 75);
  EXPECT_EQ(PercentForSetupStage(7), 79);
  EXPECT_EQ(PercentForSetupStage(6), 0);
  EXPECT_EQ(PercentForImport(0), 80);
  EXPECT_EQ(PercentForImport(50), 90);
  EXPECT_EQ(PercentForImport(99), 99);
  EXPECT_EQ(PercentForImport(100), 100);
  EXPECT_EQ(PercentForImport(1000), 100);
}

// Seven pixels a character, ten for a blank.
int Measure(const std::wstring& text) {
  int width = 0;
  for (wchar_t c : text)
    width += c == L' ' ? 10 : 7;
  return width;
}

TEST(LicenceTextTest, WrapsWordsAndKeepsTheLinkApart) {
  const std::wstring sentence =
      L"By using Tarnix Browser, you agree to the Terms and Conditions of the "
      L"((License Agreement)).";
  const RECT box = {10, 100, 310, 160};
  std::vector<TextRun> runs = LayOutLicenceText(sentence, box, 15, Measure);
  std::wstring link;
  for (size_t i = 0; i < runs.size(); ++i) {
    const TextRun& run = runs[i];
    EXPECT_GE(run.rect.left, box.left);
    EXPECT_LE(run.rect.right, box.right);
    EXPECT_EQ(run.rect.bottom - run.rect.top, 15);
    if (run.link)
      link += (link.empty() ? L"" : L" ") + run.text;
    // One control per kind and line: neighbours on a line differ in kind.
    if (i > 0 && runs[i - 1].rect.top == run.rect.top) {
      EXPECT_NE(runs[i - 1].link, run.link);
    }
  }
  EXPECT_EQ(link, L"License Agreement");
  // The full stop follows the link directly, on the link's line.
  ASSERT_FALSE(runs.empty());
  EXPECT_EQ(runs.back().text, L".");
  EXPECT_FALSE(runs.back().link);
  EXPECT_EQ(runs.back().rect.left, runs[runs.size() - 2].rect.right);
  EXPECT_GT(runs.back().rect.top, box.top);  // It did wrap.
  // Nothing is lost or doubled.
  std::wstring words;
  for (const TextRun& run : runs)
    words += run.text;
  std::wstring expected;
  for (wchar_t c : sentence)
    if (c != L' ' && c != L'(' && c != L')')
      expected += c;
  words.erase(std::remove(words.begin(), words.end(), L' '), words.end());
  EXPECT_EQ(words, expected);
}

TEST(LicenceTextTest, ScriptsWithoutBlanksWrapAnywhereAndOverflowIsDropped) {
  const std::wstring sentence = L"使用本浏览器即表示您同意((许可协议))的条款。";
  std::vector<TextRun> runs = LayOutLicenceText(sentence, RECT{0, 0, 70, 30}, 15, Measure);
  ASSERT_FALSE(runs.empty());
  for (const TextRun& run : runs)
    EXPECT_LE(run.rect.right, 70);
  // Two lines fit; the rest does not appear below the box.
  for (const TextRun& run : runs)
    EXPECT_LE(run.rect.bottom, 30);
}

}  // namespace
}  // namespace ui
