#include "ui/slide_show.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(SlideShowTest, WaitsForTheFirstSlideThenCyclesEveryTenSecondsAndWraps) {
  SlideShow show;
  show.Start(1000);
  // Nothing downloaded yet: the background stays, nothing to repaint.
  SlideShow::Step step = show.Advance(5000, 0);
  EXPECT_FALSE(step.take_slide || step.repaint || step.moved);

  // The first slide is taken as soon as it is there, with a full period.
  step = show.Advance(6000, 1);
  EXPECT_TRUE(step.take_slide && step.repaint);
  EXPECT_FALSE(step.moved);
  EXPECT_EQ(show.index(), 0u);
  EXPECT_FALSE(show.Advance(15990, 3).take_slide);

  size_t indexes[4] = {};
  for (int n = 0; n < 4; ++n) {
    step = show.Advance(16000 + n * SlideShow::kAnimationMs, 3);
    EXPECT_TRUE(step.take_slide && step.moved && step.repaint) << n;
    indexes[n] = show.index() % 3;
  }
  // With three slides the fourth animation shows the first one again.
  EXPECT_EQ(indexes[0], 1u);
  EXPECT_EQ(indexes[1], 2u);
  EXPECT_EQ(indexes[2], 0u);
  EXPECT_EQ(indexes[3], 1u);
}

TEST(SlideShowTest, RepaintsWhileFadingAndOnceAfterOnly) {
  SlideShow show;
  show.Start(0);
  show.Advance(100, 1);
  EXPECT_EQ(show.Opacity(100), 0.0f);
  EXPECT_TRUE(show.Advance(100 + SlideShow::kFadeMs / 2, 1).repaint);
  EXPECT_GT(show.Opacity(100 + SlideShow::kFadeMs / 2), 0.4f);
  // The tick that ends the fade paints it fully opaque; then all is still.
  EXPECT_TRUE(show.Advance(100 + SlideShow::kFadeMs, 1).repaint);
  EXPECT_EQ(show.Opacity(100 + SlideShow::kFadeMs), 1.0f);
  EXPECT_FALSE(show.Advance(100 + SlideShow::kFadeMs + 20, 1).repaint);
  EXPECT_FALSE(show.Advance(5000, 1).repaint);
}

}  // namespace
}  // namespace ui
