#include "ui/slide_show.h"

namespace ui {

void SlideShow::Start(int64_t now_ms) {
  animation_start_ms_ = now_ms;
  index_ = 0;
  showing_ = false;
  fading_ = false;
}

SlideShow::Step SlideShow::Advance(int64_t now_ms, size_t available) {
  Step step;
  if (!showing_) {
    if (available == 0)
      return step;
    // The first slide starts its own animation, so it gets its full time.
    showing_ = true;
    animation_start_ms_ = now_ms;
    step.take_slide = true;
  } else if (now_ms - animation_start_ms_ >= kAnimationMs) {
    ++index_;
    animation_start_ms_ = now_ms;
    step.take_slide = true;
    step.moved = true;
  }
  // Repaint through the fade, and once more when it is over, so that the
  // picture ends fully opaque; the rest of the animation is still.
  const bool fading = now_ms - animation_start_ms_ < kFadeMs;
  step.repaint = step.take_slide || fading || fading_;
  fading_ = fading;
  return step;
}

float SlideShow::Opacity(int64_t now_ms) const {
  const int64_t elapsed = now_ms - animation_start_ms_;
  if (elapsed >= kFadeMs)
    return 1.0f;
  return elapsed <= 0 ? 0.0f : static_cast<float>(elapsed) / static_cast<float>(kFadeMs);
}

}  // namespace ui
